#include "platform/resource_bound.h"

#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

#include "platform/heap_count.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOVRANI_ASAN_HEAP 1
#endif
#if __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define TOVRANI_SLOW_BUILD 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TOVRANI_ASAN_HEAP 1
#endif
#if defined(TOVRANI_ASAN_HEAP) || defined(__SANITIZE_THREAD__) || !defined(__OPTIMIZE__)
#define TOVRANI_SLOW_BUILD 1
#endif

#ifdef TOVRANI_ASAN_HEAP
// The sanitizer's allocator keeps its own count (mallinfo2 gives 0 under
// it); GCC 12 ships no header that declares it.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace tovrani {

namespace resource_detail {
int32_t g_countdown = 1;
uint8_t g_crossed = 0;
}  // namespace resource_detail

namespace heap_count {
constinit State g_heap;
}  // namespace heap_count

namespace {

using resource_detail::g_countdown;
using resource_detail::g_crossed;

#ifdef TOVRANI_SLOW_BUILD
constexpr uint64_t kBuildTimeFactor = 20;
#else
constexpr uint64_t kBuildTimeFactor = 1;
#endif

// The coarse clock (a few ns) is read every this many looks, the processor
// clock (a system call, 0.2 to 2 µs) only once the coarse one has moved on
// (every 4 ms at most).
constexpr int32_t kLooksPerTick = 64;
// mallinfo2 walks every free chunk (some 20 to 30 ms with 100,000 of them):
// the heap is read every 50 ms of processor time, and never more often
// than keeps its reading under 1 % of the time.
constexpr uint64_t kHeapReadIntervalNs = 50 * 1000 * 1000;
constexpr uint64_t kHeapReadCostFactor = 100;
// Asks below this are granted unseen where the heap is not counted.
constexpr uint64_t kUnseenAsk = uint64_t(1) << 20;
// Past the first refusal the conversion's way out (the detail's text,
// destructors that flush, work files that move to disk) may take this much
// more, or a tenth of the bound where that is less.
constexpr uint64_t kWayOutMargin = uint64_t(64) << 20;

struct State {
  bool active = false;
  ResourceRates rates;
  uint64_t fileBytes = 0;
  bool builder = false;
  uint64_t cpuStart = 0;
  uint64_t timeLimit = UINT64_MAX;  // processor ns from the start
  uint64_t heapStart = 0;
  uint64_t heapLimit = UINT64_MAX;  // bytes above the start's
  uint64_t heapSeen = 0;            // above the start's, at the last reading
  uint64_t heapAsked = 0;           // asked for since that reading
  uint64_t nextHeapRead = 0;        // processor ns from the start
  int64_t lastCoarse = -1;
  // The count at the allocator: what it held and had counted at the start.
  uint64_t countStart = 0;
  uint64_t allocationsStart = 0;
  uint64_t pausedAllocations = 0;  // counted while refusals were paused
  int pauses = 0;
  bool memoryCrossed = false;  // the way out's margin is given
};

using heap_count::g_heap;

std::optional<ResourceRates> g_nextRates;
State g_state;
struct Outer {
  State state;
  int32_t countdown;
  uint8_t crossed;
  uint64_t peak, refuseAt;
};
std::vector<Outer> g_outer;
uint64_t g_refuseNth = 0;
HeapCountReport g_lastCount;

uint64_t Add(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }
uint64_t Mul(uint64_t a, uint64_t b) { return b && a > UINT64_MAX / b ? UINT64_MAX : a * b; }

uint64_t ProcessorNs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
}

int64_t CoarseNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
  return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The heap in use, large blocks (mapped apart) included.
uint64_t HeapInUse() {
#ifdef TOVRANI_ASAN_HEAP
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 m = mallinfo2();
  return uint64_t(m.uordblks) + uint64_t(m.hblkhd);
#endif
}

// Where the count refuses: the conversion's bound, and past its first
// crossing the way out's margin; nowhere outside a conversion, while
// refusals are paused or where the program does not count.
void SetCeiling() {
  if (!g_heap.counted || !g_state.active || g_state.pauses) {
    g_heap.ceiling = UINT64_MAX;
    return;
  }
  uint64_t ceiling = Add(g_state.countStart, g_state.heapLimit);
  if (g_state.memoryCrossed) ceiling = Add(ceiling, std::min(kWayOutMargin, g_state.heapLimit / 10));
  g_heap.ceiling = ceiling;
}

void Cross(uint32_t result) {
  if (!g_crossed) g_crossed = uint8_t(result);
  g_countdown = 0;
  if (result == kResultTooMuchMemory && !g_state.memoryCrossed) {
    g_state.memoryCrossed = true;
    SetCeiling();
  }
}

void ReadHeap() {
  const uint64_t now = HeapInUse();
  g_state.heapSeen = now > g_state.heapStart ? now - g_state.heapStart : 0;
  g_state.heapAsked = 0;
  if (g_state.heapSeen > g_state.heapLimit) Cross(kResultTooMuchMemory);
}

bool Fits(uint64_t bytes, uint64_t margin) {
  return Add(Add(Add(g_state.heapSeen, g_state.heapAsked), bytes), margin) <= g_state.heapLimit;
}

// Processor time since the conversion's start (0 in a child forked from it
// before its own clock came this far).
uint64_t ProcessorUsed() {
  const uint64_t now = ProcessorNs();
  return now > g_state.cpuStart ? now - g_state.cpuStart : 0;
}

bool ReadClock() {
  const uint64_t used = ProcessorUsed();
  if (used > g_state.timeLimit) {
    Cross(kResultTooMuchTime);
  } else if (used >= g_state.nextHeapRead) {
    ReadHeap();
    const uint64_t after = std::max(ProcessorUsed(), used);
    g_state.nextHeapRead = after + std::max(kHeapReadIntervalNs, kHeapReadCostFactor * (after - used));
  }
  return g_crossed != 0;
}

// Seconds (or microseconds) from nanoseconds, with up to three decimals.
std::string Decimal(uint64_t ns, uint64_t unit) {
  std::string text = std::to_string(ns / unit);
  const uint64_t thousandths = ns % unit / (unit / 1000);
  if (thousandths) {
    std::string frac = std::to_string(1000 + thousandths).substr(1);
    while (frac.back() == '0') frac.pop_back();
    text += "." + frac;
  }
  return text;
}

std::string ByteText(uint64_t bytes) {
  if (bytes >= (uint64_t(1) << 20) && bytes % (uint64_t(1) << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  return std::to_string(bytes) + " bytes";
}

}  // namespace

namespace resource_detail {

bool Tick() {
  if (g_crossed) return true;
  g_countdown = kLooksPerTick;
  if (!g_state.active) return false;
  const int64_t coarse = CoarseNs();
  if (coarse == g_state.lastCoarse) return false;
  g_state.lastCoarse = coarse;
  return ReadClock();
}

}  // namespace resource_detail

namespace heap_count {

bool Admit(uint64_t bytes) {
  if (g_heap.allocations == g_heap.refuseAt) {
    g_heap.refuseAt = UINT64_MAX;
  } else if (g_heap.inUse + bytes <= g_heap.ceiling) {
    return true;
  }
  Cross(kResultTooMuchMemory);
  return false;
}

}  // namespace heap_count

void SetNextResourceRates(const ResourceRates& rates) { g_nextRates = rates; }

ResourceScope::ResourceScope() {
  // A conversion started inside another (a test's, or in a child forked
  // from one, whose clock starts again) is bounded by itself; the outer
  // one's bounds come back after it.
  if (g_state.active) g_outer.push_back({g_state, g_countdown, g_crossed, g_heap.peak, g_heap.refuseAt});
  g_state = State{};
  g_state.active = true;
  g_state.rates = g_nextRates.value_or(ResourceRates{});
  g_nextRates.reset();
  g_countdown = 1;
  g_crossed = 0;
  g_state.cpuStart = ProcessorNs();
  g_state.heapStart = HeapInUse();
  g_state.nextHeapRead = kHeapReadIntervalNs;
  g_state.lastCoarse = CoarseNs();
  g_state.countStart = g_heap.peak = g_heap.inUse;
  g_state.allocationsStart = g_heap.allocations;
  g_heap.refuseAt = g_refuseNth ? g_heap.allocations + g_refuseNth : UINT64_MAX;
  Limit(0, false);
}

ResourceScope::~ResourceScope() {
  g_lastCount = LastHeapCount();
  const uint64_t peak = g_heap.peak;
  g_state = State{};
  g_countdown = 1;
  g_crossed = 0;
  g_heap.refuseAt = UINT64_MAX;
  if (!g_outer.empty()) {
    g_state = g_outer.back().state;
    g_countdown = g_outer.back().countdown;
    g_crossed = g_outer.back().crossed;
    g_heap.peak = std::max(g_outer.back().peak, peak);
    g_heap.refuseAt = g_outer.back().refuseAt;
    g_outer.pop_back();
  }
  SetCeiling();
}

void ResourceScope::Limit(uint64_t fileBytes, bool shapeBuilder) {
  const ResourceRates& r = g_state.rates;
  g_state.fileBytes = fileBytes;
  g_state.builder = shapeBuilder;
  const uint64_t perByte = Add(r.timeNsPerFileByte, shapeBuilder ? r.builderTimeNsPerFileByte : 0);
  g_state.timeLimit = Mul(Add(r.timeFixedNs, Mul(perByte, fileBytes)), kBuildTimeFactor);
  g_state.heapLimit = Add(r.heapFixedBytes, Mul(r.heapBytesPerFileByte, fileBytes));
  SetCeiling();
}

bool ResourceLookNow() {
  if (!g_state.active || g_crossed) return g_crossed != 0;
  g_countdown = kLooksPerTick;
  return ReadClock();
}

uint32_t ResourceBoundResult() { return g_crossed; }

std::string ResourceBoundDetail() {
  const ResourceRates& r = g_state.rates;
  const std::string file = " for a file of " + std::to_string(g_state.fileBytes) + " bytes (";
  if (g_crossed == kResultTooMuchTime) {
    const uint64_t perByte =
        Mul(Add(r.timeNsPerFileByte, g_state.builder ? r.builderTimeNsPerFileByte : 0), kBuildTimeFactor);
    return "the conversion took more processor time than the movie's size allows: more than " +
           Decimal(g_state.timeLimit, 1000000000) + " s" + file +
           Decimal(Mul(r.timeFixedNs, kBuildTimeFactor), 1000000000) + " s and " + Decimal(perByte, 1000) +
           " µs a byte of the file" +
           (g_state.builder ? ", the shape builder on" : "") + ")";
  }
  if (g_crossed == kResultTooMuchMemory)
    return "the conversion needed more memory than the movie's size allows: more than " +
           std::to_string(g_state.heapLimit) + " bytes" + file + ByteText(r.heapFixedBytes) + " and " +
           std::to_string(r.heapBytesPerFileByte) + " bytes a byte of the file)";
  return {};
}

namespace {

bool ReserveLarge(uint64_t bytes) {
  if (!g_state.active) return true;
  if (g_crossed) return false;
  if (!Fits(bytes, 0)) ReadHeap();
  if (!g_crossed && Fits(bytes, 0)) {
    g_state.heapAsked = Add(g_state.heapAsked, bytes);
    return true;
  }
  Cross(kResultTooMuchMemory);
  return false;
}

}  // namespace

HeapToken& HeapToken::operator=(HeapToken&& other) noexcept {
  if (this != &other) {
    Release();
    bytes_ = other.bytes_;
    granted_ = other.granted_;
    other.bytes_ = 0;
  }
  return *this;
}

void HeapToken::ShrinkTo(uint64_t bytes) {
  if (bytes >= bytes_) return;
  heap_count::Subtract(bytes_ - bytes);
  bytes_ = bytes;
}

HeapToken ReserveHeap(uint64_t bytes) {
  HeapToken token;
  if (!g_heap.counted) {
    token.granted_ = bytes < kUnseenAsk || ReserveLarge(bytes);
    return token;
  }
  if (g_state.active && !g_state.pauses) {
    if (g_crossed) return token;
    if (Add(g_heap.inUse, bytes) > g_heap.ceiling) {
      Cross(kResultTooMuchMemory);
      return token;
    }
  }
  token.granted_ = true;
  token.bytes_ = bytes;
  heap_count::Add(bytes);
  return token;
}

bool HeapHasRoom(uint64_t bytes, uint64_t margin) {
  if (!g_state.active) return true;
  if (g_crossed) return false;
  if (g_heap.counted) return Add(Add(g_heap.inUse, bytes), margin) <= g_heap.ceiling;
  // Read again only where asks since the last reading may have been freed:
  // a file that grows near the bound would read it at every growth.
  if (!Fits(bytes, margin) && g_state.heapAsked) ReadHeap();
  if (g_crossed || !Fits(bytes, margin)) return false;
  if (bytes >= (uint64_t(1) << 20)) g_state.heapAsked = Add(g_state.heapAsked, bytes);
  return true;
}

bool HeapCountedAtAllocator() { return g_heap.counted; }

HeapCountReport LastHeapCount() {
  if (!g_state.active) return g_lastCount;
  return {g_heap.peak > g_state.countStart ? g_heap.peak - g_state.countStart : 0,
          g_heap.allocations - g_state.allocationsStart - g_state.pausedAllocations};
}

void RefuseNthAllocation(uint64_t nth) { g_refuseNth = nth; }

HeapRefusalPause::HeapRefusalPause() : refuseAt_(g_heap.refuseAt), allocations_(g_heap.allocations) {
  ++g_state.pauses;
  g_heap.refuseAt = UINT64_MAX;
  SetCeiling();
}

HeapRefusalPause::~HeapRefusalPause() {
  // Its allocations take no number: the hook's comes as many later.
  const uint64_t during = g_heap.allocations - allocations_;
  g_state.pausedAllocations += during;
  g_heap.refuseAt = refuseAt_ == UINT64_MAX ? refuseAt_ : refuseAt_ + during;
  --g_state.pauses;
  SetCeiling();
}

}  // namespace tovrani
