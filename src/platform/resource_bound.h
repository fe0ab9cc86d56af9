// The processor time and the heap one conversion may spend, whatever does
// the work: each counted from the conversion's start, each a fixed part
// plus so much a byte of the movie's file. The allowances of
// swf/movie_budget.h cut the kinds of work they name gracefully and fit
// inside these; a bound crossed stops what nothing named, and the
// conversion fails with a result of its own.
//
// One conversion runs at a time per process, and some of the places that
// look have no context at hand (libjpeg's progress monitor, potrace's
// callback, the inflater): the state is the process's, started and ended
// by a ResourceScope around each conversion. A look is a countdown: only
// every 64 looks is the coarse wall clock read (a few ns), only when it has
// moved on the processor clock (a system call), and only every 50 ms of
// processor time or more the heap (mallinfo2 walks the free chunks).
//
// A program that links app/counted_heap.cpp counts its heap at the
// allocator as well: every operator new and delete passes one count, and
// an allocation that would take it past the bound is refused with
// std::bad_alloc. Blocks malloc'd by the libraries are counted while the
// token of their ReserveHeap is held (regions note their own); the
// periodic reading stays behind both, for what neither sees.
#pragma once

#include <cstdint>
#include <string>

namespace tovrani {

// The engine's results past the bounds.
constexpr uint32_t kResultTooMuchTime = 47;
constexpr uint32_t kResultTooMuchMemory = 48;

// A conversion may use 30 s of processor time and 30 µs more per byte of
// its file. Real movies of over 10 KB use at most 1.5 µs a byte with the
// default options, and a game of 2.4 MB 4.3 µs a byte (10.4 s) with the
// exact problem search on. The shape builder's work allowance grants up to
// 300 µs a byte of file (swf/movie_budget.h): while the builder may run,
// 300 µs a byte more. A build with a sanitizer or without optimisation
// runs 10 to 50 times slower and is given 20 times as long (the slowest
// conversion of the tests there, a movie of 8 KB with the exact search,
// takes 57 s).
// The heap it may hold: 768 MiB and 64 bytes per byte of its file. The
// fixed part holds one bitmap at the 64-Mpixel cap (a progressive
// DefineBitsJPEG3, the largest, takes some 570 MiB) or a shape object at
// its cap (200 MiB, shape/shape_work.h); real movies peak at 44 MB
// resident at most, with any option.
struct ResourceRates {
  uint64_t timeFixedNs = uint64_t(30) * 1000 * 1000 * 1000;
  uint64_t timeNsPerFileByte = 30 * 1000;
  uint64_t builderTimeNsPerFileByte = 300 * 1000;
  uint64_t heapFixedBytes = uint64_t(768) << 20;
  uint64_t heapBytesPerFileByte = 64;
};

// The rates of the next conversion alone (tests and benchmarks lower them);
// every other one is given the defaults.
void SetNextResourceRates(const ResourceRates& rates);

// Starts the bounds for one conversion: processor time and heap counted
// from here, the fixed parts holding until the file is known. Ends them on
// every road out (those of a scope it was opened inside come back).
class ResourceScope {
 public:
  ResourceScope();
  ~ResourceScope();
  ResourceScope(const ResourceScope&) = delete;
  ResourceScope& operator=(const ResourceScope&) = delete;
  // The movie's file holds `fileBytes`; `shapeBuilder`: the shape builder
  // may run (the exact problem search on, or the heuristic one off).
  void Limit(uint64_t fileBytes, bool shapeBuilder);
};

namespace resource_detail {
// Looks left before the clock is read; 0 or less once a bound is crossed,
// so that every look then asks.
extern int32_t g_countdown;
extern uint8_t g_crossed;  // 0, or the result of the bound crossed
bool Tick();
}  // namespace resource_detail

// A look at the bounds between two steps of work: true once one is crossed.
inline bool ResourceLook() { return --resource_detail::g_countdown <= 0 && resource_detail::Tick(); }
// Whether a bound was crossed, without a look.
inline bool ResourceBoundCrossed() { return resource_detail::g_crossed != 0; }
// A look that reads the processor clock whatever the countdown says: where
// a conversion changes phase, so that a short one is held to its bound too.
bool ResourceLookNow();
// kResultTooMuchTime or kResultTooMuchMemory once crossed; 0 before.
uint32_t ResourceBoundResult();
// What the user reads past the bound: the bound, the file's size and the
// rates.
std::string ResourceBoundDetail();

// Bytes asked for through ReserveHeap. Where the program counts its heap,
// a granted token counts them until it is released or destroyed: held
// while a malloc'd buffer lives, which the count does not see otherwise. A
// buffer that operator new gives is counted there: its token is dropped at
// once (`if (!ReserveHeap(n)) ...`). Elsewhere the bytes count until the
// next reading of the heap, as they always did.
class [[nodiscard]] HeapToken {
 public:
  HeapToken() = default;
  HeapToken(HeapToken&& other) noexcept : bytes_(other.bytes_), granted_(other.granted_) { other.bytes_ = 0; }
  HeapToken& operator=(HeapToken&& other) noexcept;
  ~HeapToken() { Release(); }
  explicit operator bool() const { return granted_; }
  // The buffer is gone, or only `bytes` of it stay.
  void Release() { ShrinkTo(0); }
  void ShrinkTo(uint64_t bytes);

 private:
  friend HeapToken ReserveHeap(uint64_t bytes);
  uint64_t bytes_ = 0;  // counted
  bool granted_ = false;
};

// A buffer asks before it is allocated: a token that converts to false,
// and the memory bound crossed, when `bytes` more would pass the bound.
// Without the count, asks below 1 MiB are granted unseen: the heap is read
// often enough for them.
HeapToken ReserveHeap(uint64_t bytes);
// Whether `bytes` more would leave at least `margin` below the memory
// bound. A refusal crosses nothing: a work file goes to disk instead.
bool HeapHasRoom(uint64_t bytes, uint64_t margin);

// Whether this program counts its heap at the allocator. Without it, the
// periodic reading alone holds the memory bound.
bool HeapCountedAtAllocator();

// What the count saw of the last conversion (or of the one running):
// the most it held above what was held at its start, in bytes, and the
// allocations counted inside it.
struct HeapCountReport {
  uint64_t peakBytes = 0;
  uint64_t allocations = 0;
};
HeapCountReport LastHeapCount();

// A test hook: each conversion from now on refuses its `nth` counted
// allocation (from 1; 0 refuses none), once, as past the memory bound.
void RefuseNthAllocation(uint64_t nth);

// Nothing is refused while one stands: for the recovery of what a killed
// run left, which must run to its end. Its allocations are counted but
// take no number of the test hook's.
class HeapRefusalPause {
 public:
  HeapRefusalPause();
  ~HeapRefusalPause();
  HeapRefusalPause(const HeapRefusalPause&) = delete;
  HeapRefusalPause& operator=(const HeapRefusalPause&) = delete;

 private:
  uint64_t refuseAt_, allocations_;
};

}  // namespace tovrani
