#include "tools/panelsession.h"

#include <exception>

#include "panel/transfers.h"

namespace {

// No reply for this long after the last frame, or after the last reply, ends a transfer:
// the window's time-out.
constexpr int kReplyTimeoutMs = 1000;

}  // namespace

TPanelSession::TPanelSession() {
  SetPanelLine(port_);
  port_.OnRxChar = [this](QObject*, std::uint32_t) { RxChar(); };
  timeout_.setSingleShot(true);
  timeout_.setInterval(kReplyTimeoutMs);
  timeout_.setTimerType(Qt::PreciseTimer);  // never early
  QObject::connect(&timeout_, &QTimer::timeout, [this] { Finish(End::TimedOut); });
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

TPanelSession::Result TPanelSession::QueryLengths() {
  Begin(kFirstSlot);
  query_ = true;
  SendLengthRequests(link_);
  return Wait();
}

TPanelSession::Result TPanelSession::ReadValues(std::uint8_t unit) {
  Begin(kFirstSlot);
  SendReadRequests(link_, unit);
  return Wait();
}

TPanelSession::Result TPanelSession::WriteValues(std::uint8_t unit) {
  Begin(FirstWrittenSlot(record_));
  SendWriteRequests(link_, unit);
  return Wait();
}

void TPanelSession::Begin(int first) {
  first_ = first;
  query_ = false;
  end_.reset();
  result_ = Result{};
  named_.fill(false);
  for (auto& text : texts_) text.reset();
}

TPanelSession::Result TPanelSession::Wait() {
  QEventLoop loop;
  loop_ = &loop;
  timeout_.start();
  if (!end_) loop.exec();
  loop_ = nullptr;
  timeout_.stop();
  result_.end = end_.value_or(End::TimedOut);
  link_.AbandonTransfer();
  result_.answered = static_cast<int>(link_.AnsweredSlots().count());
  result_.expected = static_cast<int>(link_.AskedSlots().count());
  result_.silent = SlotNumbers(link_.MissingSlots());
  return result_;
}

// Every byte waiting goes through the link, which stores, counts and reports each reply; a
// length query reports nothing of its own, so its end is seen in the count.
void TPanelSession::RxChar() {
  link_.ReadReplies();
  if (query_ && link_.State() == TTransferState::Complete) Finish(End::Complete);
}

void TPanelSession::Finish(End end) {
  if (end_) return;  // the first end stands
  end_ = end;
  timeout_.stop();
  if (loop_) loop_->quit();
}

void TPanelSession::ReplyArrived() {
  if (end_) return;
  timeout_.start();  // a second from this reply
  const int slot = link_.DecodedReply().slot;
  if (slot >= kFirstSlot && slot <= kLastSlot) named_[static_cast<std::size_t>(slot)] = true;
}

void TPanelSession::AllDataReceived() { Finish(End::Complete); }

void TPanelSession::AllDataWritten() { Finish(End::Complete); }

void TPanelSession::WriteRejected(int slot, int status) {
  if (end_) return;
  result_.rejectedSlot = slot;
  result_.rejectedStatus = status;
  Finish(End::Rejected);
}

void TPanelSession::TextReceived(int slot, std::string_view text) {
  texts_[static_cast<std::size_t>(slot)] = std::string(text);
}
