#include "tools/panelsession.h"

#include <exception>

#include "panel/transfers.h"

namespace {

// No counted reply for this long after the last frame, or after the last counted reply,
// ends a transfer: the window's time-out.  A stop collects the replies due for as long.
constexpr int kReplyTimeoutMs = 1000;
constexpr int kStopCheckMs = 20;

std::string SlotRanges(const std::vector<int>& numbers) {
  std::string out;
  for (std::size_t i = 0; i < numbers.size();) {
    std::size_t j = i;
    while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
    if (!out.empty()) out += ", ";
    out += std::to_string(numbers[i]);
    if (j - i >= 2) {
      out += " to " + std::to_string(numbers[j]);
    } else if (j == i + 1) {
      out += ", " + std::to_string(numbers[j]);
    }
    i = j + 1;
  }
  return out;
}

}  // namespace

TPanelSession::TPanelSession() {
  SetPanelLine(port_);
  port_.OnRxChar = [this](QObject*, std::uint32_t) { RxChar(); };
  timeout_.setSingleShot(true);
  timeout_.setInterval(kReplyTimeoutMs);
  timeout_.setTimerType(Qt::PreciseTimer);  // never early
  QObject::connect(&timeout_, &QTimer::timeout, [this] {
    Finish(rejected_ ? End::Rejected : draining_ ? End::Interrupted : End::TimedOut);
  });
  stopWatch_.setInterval(kStopCheckMs);
  QObject::connect(&stopWatch_, &QTimer::timeout, [this] { CheckStop(); });
  link_.SetPort(&port_);
  link_.SetOwner(this);
}

TPanelSession::~TPanelSession() {
  link_.SetOwner(nullptr);
  link_.SetPort(nullptr);
  port_.Close();
}

bool TPanelSession::Open(const QString& name, std::string& reason) {
  port_.SetDeviceName(name);
  try {
    port_.Open();
  } catch (const std::exception& error) {
    reason = error.what();
    port_.Close();
    return false;
  }
  if (port_.Enabled()) return true;
  reason = port_.OpenFailureText().toStdString();
  return false;
}

TPanelSession::Result TPanelSession::QueryLengths() { return Run(Kind::Lengths, kEnglishUnits, AllSlots(), nullptr); }

TPanelSession::Result TPanelSession::ReadValues(std::uint8_t unit, TSlotValues& into, const TSlotSet& asked) {
  into.Clear();
  return Run(Kind::Values, unit, asked, &into);
}

TPanelSession::Result TPanelSession::WriteValues(std::uint8_t unit, const TSlotSet& asked) {
  return Run(Kind::Writes, unit, asked, nullptr);
}

TPanelSession::Result TPanelSession::Run(Kind kind, std::uint8_t unit, const TSlotSet& asked, TSlotValues* into) {
  static const char* const kWords[] = {"lengths", "reading", "writing"};
  doing_ = kWords[static_cast<int>(kind)];
  Result result;
  result.asked = asked & AllSlots();
  result.expected = static_cast<int>(result.asked.count());
  TSlotSet missing = result.asked;
  rejectedSlot_ = 0;
  rejectedStatus_ = 0;
  for (int attempt = 0;; ++attempt) {
    if (TransferStopRequested() != 0) {
      result.end = End::Interrupted;
      break;
    }
    end_.reset();
    draining_ = false;
    rejected_ = false;
    switch (kind) {
      case Kind::Lengths: SendLengthRequests(link_, missing); break;
      case Kind::Values: SendReadRequests(link_, unit, missing, into); break;
      case Kind::Writes: SendWriteRequests(link_, unit, missing); break;
    }
    result.end = Wait();
    result.answeredSlots |= link_.AnsweredSlots();
    result.sent |= link_.SentSlots();
    result.refused |= link_.RefusedSlots();
    missing = link_.MissingSlots();
    if (result.end != End::TimedOut || link_.AnsweredSlots().none() || attempt >= retries_) break;
    if (err_ != nullptr) {
      if (progress_) *err_ << "\n";
      *err_ << "quellso-tool: no reply for slot" << (missing.count() > 1 ? "s " : " ")
            << SlotRanges(SlotNumbers(missing)) << "; asking again (" << attempt + 1 << " of " << retries_ << ")\n";
    }
  }
  DrawProgress(true);
  if (result.end == End::Rejected) {
    result.rejectedSlot = rejectedSlot_;
    result.rejectedStatus = rejectedStatus_;
  }
  result.answered = static_cast<int>(result.answeredSlots.count());
  result.silent = SlotNumbers(result.asked & ~result.answeredSlots);
  return result;
}

TPanelSession::End TPanelSession::Wait() {
  if (link_.State() == TTransferState::Complete) return End::Complete;
  QEventLoop loop;
  loop_ = &loop;
  timeout_.start();
  stopWatch_.start();
  CheckStop();
  if (!end_) loop.exec();
  loop_ = nullptr;
  timeout_.stop();
  stopWatch_.stop();
  link_.AbandonTransfer();
  return end_.value_or(End::TimedOut);
}

void TPanelSession::CheckStop() {
  if (draining_ || end_ || TransferStopRequested() == 0) return;
  // The frame in flight is finished and nothing more is sent: wait only for the replies due.
  draining_ = true;
  timeout_.start();
}

// Every byte waiting goes through the link, which stores, counts and reports each reply.
void TPanelSession::RxChar() {
  link_.ReadReplies();
  if (link_.Transfer() == TTransferKind::Lengths && link_.State() == TTransferState::Complete)
    Finish(End::Complete);
  // After a refusal, the replies to the frames already sent tell what else was written.
  if (rejected_ && (link_.SentSlots() & ~link_.AnsweredSlots() & ~link_.RefusedSlots()).none())
    Finish(End::Rejected);
}

void TPanelSession::Finish(End end) {
  if (end_) return;  // the first end stands
  end_ = end;
  timeout_.stop();
  if (loop_) loop_->quit();
}

void TPanelSession::ReplyArrived() {
  if (end_) return;
  if (!draining_) timeout_.start();  // a second from this reply
  DrawProgress(false);
}

void TPanelSession::AllDataReceived() { Finish(End::Complete); }

void TPanelSession::AllDataWritten() { Finish(End::Complete); }

void TPanelSession::WriteRejected(int slot, int status) {
  if (end_) return;
  rejectedSlot_ = slot;
  rejectedStatus_ = status;
  rejected_ = true;
  timeout_.start();  // the replies due, for up to a second
}

void TPanelSession::DrawProgress(bool last) {
  if (!progress_ || err_ == nullptr) return;
  *err_ << "\r" << doing_ << " " << link_.ReplyCount() << "/" << kSlotCount << (last ? "\n" : "") << std::flush;
}
