// The panel link's receiving side (ReadPass + ProcessFrame) and request building, in frames
// per second, with every heap allocation counted: the link must allocate nothing per frame.
// Global operator new and delete are replaced in this executable to count them; a benchmark
// that sees an allocation inside its timed loop fails with an error.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "model/unitdatarecord.h"
#include "panel/panellink.h"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Plays a fixed stream of bytes again and again; writes go nowhere.
class ReplayPort : public TPanelPort {
 public:
  explicit ReplayPort(std::vector<std::uint8_t> stream) : stream_(std::move(stream)) {}
  void Rewind() { at_ = 0; }
  std::int32_t Write(const char*, unsigned long count) override { return static_cast<std::int32_t>(count); }
  std::int32_t InQueCount() override { return static_cast<std::int32_t>(stream_.size() - at_); }
  std::int32_t Read(char* buffer, unsigned long count) override {
    if (count == 0 || at_ == stream_.size()) return 0;
    buffer[0] = static_cast<char>(stream_[at_++]);
    return 1;
  }

 private:
  std::vector<std::uint8_t> stream_;
  std::size_t at_ = 0;
};

class QuietOwner : public TPanelLinkOwner {
 public:
  void ReplyArrived() override {}
  void AllDataReceived() override { ++completed; }
  void AllDataWritten() override { ++completed; }
  void WriteRejected(int, int) override {}
  long completed = 0;
};

void Append(std::vector<std::uint8_t>& stream, std::uint8_t kind, std::uint8_t slot,
            const std::vector<std::uint8_t>& payload) {
  std::array<std::uint8_t, kFrameBufferSize> frame{};
  const std::size_t n = EncodeFrame(kind, slot, payload, frame);
  stream.insert(stream.end(), frame.begin(), frame.begin() + static_cast<long>(n));
}

// The replies of one Get Data (41 texts) or one length query (41 bytes).
std::vector<std::uint8_t> ReplyStream(bool texts) {
  std::vector<std::uint8_t> stream;
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    std::vector<std::uint8_t> payload;
    if (texts) {
      const std::string text = slot == 1 ? "07 DEC 1999" : "Value of slot " + std::to_string(slot) + "   ";
      payload = {kTextData, static_cast<std::uint8_t>(text.size())};
      payload.insert(payload.end(), text.begin(), text.end());
    } else {
      payload = {kByteData, 16};
    }
    Append(stream, kReadReply, static_cast<std::uint8_t>(slot), payload);
  }
  return stream;
}

void ReceiveReplies(benchmark::State& state, bool texts) {
  UnitDataRecord record;
  TPanelLink link(record);
  ReplayPort port(ReplyStream(texts));
  QuietOwner owner;
  link.SetPort(&port);
  link.SetOwner(&owner);
  long frames = 0;
  long allocations = 0;
  for (auto _ : state) {
    const long before = g_allocations.load(std::memory_order_relaxed);
    port.Rewind();
    link.BeginTransfer(texts ? TTransferKind::Values : TTransferKind::Lengths, AllSlots());
    while (link.ReadPass()) {
      link.ProcessFrame();
      ++frames;
    }
    allocations += g_allocations.load(std::memory_order_relaxed) - before;
  }
  benchmark::DoNotOptimize(record.JobName());
  state.SetItemsProcessed(frames);
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  state.counters["allocs/frame"] = frames == 0 ? 0.0 : static_cast<double>(allocations) / static_cast<double>(frames);
  if (allocations != 0) state.SkipWithError("the link allocated while receiving");
  if (texts && owner.completed == 0) state.SkipWithError("no transfer completed");
}

void BM_ReceiveTextReplies(benchmark::State& state) { ReceiveReplies(state, true); }
void BM_ReceiveLengthReplies(benchmark::State& state) { ReceiveReplies(state, false); }

void BM_BuildAndSendWriteRequests(benchmark::State& state) {
  UnitDataRecord record;
  TPanelLink link(record);
  ReplayPort port({});
  link.SetPort(&port);
  record.SetCommissionDate("03 FEB 2003");
  for (int slot = 2; slot <= kSlotCount; ++slot) record.SetSlot(slot, "A typical value");
  long frames = 0;
  long allocations = 0;
  for (auto _ : state) {
    const long before = g_allocations.load(std::memory_order_relaxed);
    for (int slot = 1; slot <= kSlotCount; ++slot) {
      link.BuildWriteRequest(kFieldObjectType, static_cast<std::uint8_t>(slot));
      link.SendFrame();
    }
    frames += kSlotCount;
    allocations += g_allocations.load(std::memory_order_relaxed) - before;
  }
  state.SetItemsProcessed(frames);
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  state.counters["allocs/frame"] = frames == 0 ? 0.0 : static_cast<double>(allocations) / static_cast<double>(frames);
  if (allocations != 0) state.SkipWithError("the link allocated while building");
}

}  // namespace

BENCHMARK(BM_ReceiveTextReplies);
BENCHMARK(BM_ReceiveLengthReplies);
BENCHMARK(BM_BuildAndSendWriteRequests);

BENCHMARK_MAIN();
