// The heap counted at the allocator inside a conversion's bounds: what
// would pass the bound is refused and crosses it, the way out then has its
// margin, tokens count until released, and nothing is refused outside a
// conversion or while refusals pause. A program that does not count keeps
// the periodic reading alone.
#include <gtest/gtest.h>

#include <new>

#include "platform/heap_count.h"
#include "platform/resource_bound.h"

namespace tovrani {
namespace {

constexpr uint64_t kMiB = uint64_t(1) << 20;
constexpr uint64_t kBound = 8 * kMiB;  // the way out's margin: 838,860 bytes

// The bounds of the next scope: no time bound to speak of, `kBound` of heap.
void NextBound() { SetNextResourceRates({uint64_t(1) << 50, 0, 0, kBound, 0}); }

// An allocation taken and given back (a call the compiler may not elide).
bool Takes(uint64_t bytes) {
  void* p = ::operator new(size_t(bytes), std::nothrow);
  ::operator delete(p);
  return p != nullptr;
}

struct Block {
  explicit Block(uint64_t bytes) : p(::operator new(size_t(bytes))) {}
  ~Block() { ::operator delete(p); }
  void* p;
};

TEST(HeapCount, AnAllocationPastTheBoundIsRefusedAndTheWayOutHasItsMargin) {
  ASSERT_TRUE(HeapCountedAtAllocator());
  NextBound();
  {
    ResourceScope scope;
    const Block held(6 * kMiB);
    EXPECT_THROW(Block(3 * kMiB), std::bad_alloc);
    EXPECT_EQ(ResourceBoundResult(), kResultTooMuchMemory);
    // Past the first refusal, a tenth of the bound more, and no more.
    const Block wayOut(2 * kMiB + 512 * 1024);
    EXPECT_FALSE(Takes(kMiB));
    EXPECT_FALSE(ReserveHeap(1));
    EXPECT_GE(LastHeapCount().peakBytes, 8 * kMiB + 512 * 1024);
    EXPECT_LE(LastHeapCount().peakBytes, kBound + kBound / 10);
  }
  EXPECT_EQ(ResourceBoundResult(), 0u);
  EXPECT_TRUE(Takes(4 * kBound));
}

TEST(HeapCount, ATokenCountsItsBytesUntilReleased) {
  NextBound();
  {
    ResourceScope scope;
    HeapToken token = ReserveHeap(6 * kMiB);
    ASSERT_TRUE(token);
    token.ShrinkTo(kMiB);
    EXPECT_TRUE(Takes(6 * kMiB));
    HeapToken moved = std::move(token);
    token.Release();
    moved.Release();
    EXPECT_TRUE(Takes(7 * kMiB + 512 * 1024));
    // Asked for and dropped at once: a check alone.
    EXPECT_TRUE(ReserveHeap(7 * kMiB));
    EXPECT_TRUE(Takes(7 * kMiB));
    EXPECT_EQ(ResourceBoundResult(), 0u);
  }
  for (const bool ask : {false, true}) {
    NextBound();
    ResourceScope scope;
    HeapToken token = ReserveHeap(6 * kMiB);
    ASSERT_TRUE(token);
    EXPECT_FALSE(ask ? bool(ReserveHeap(3 * kMiB)) : Takes(3 * kMiB));
    EXPECT_EQ(ResourceBoundResult(), kResultTooMuchMemory);
  }
}

// The hook refuses the allocation it names, once, and the bound counts as
// crossed; those made while refusals pause take no number.
TEST(HeapCount, TheHookRefusesTheNthAllocationOfEachConversionOnce) {
  RefuseNthAllocation(3);
  for (const bool paused : {false, true}) {
    ResourceScope scope;
    EXPECT_TRUE(Takes(16));
    if (paused) {
      const HeapRefusalPause pause;
      EXPECT_TRUE(Takes(16));
      EXPECT_TRUE(Takes(16));
      EXPECT_TRUE(Takes(4 * kBound));
      EXPECT_EQ(ResourceBoundResult(), 0u);
    }
    EXPECT_TRUE(Takes(16));
    EXPECT_FALSE(Takes(16));
    EXPECT_EQ(ResourceBoundResult(), kResultTooMuchMemory);
    EXPECT_TRUE(Takes(16));
    EXPECT_EQ(LastHeapCount().allocations, 4u);
  }
  RefuseNthAllocation(0);
  EXPECT_EQ(LastHeapCount().allocations, 4u);
}

// Without the count, allocations pass and large asks are held to the
// periodic reading and what was asked since.
TEST(HeapCount, AProgramThatDoesNotCountKeepsThePeriodicReading) {
  heap_count::g_heap.counted = false;
  NextBound();
  {
    ResourceScope scope;
    EXPECT_TRUE(Takes(2 * kBound));
    EXPECT_EQ(ResourceBoundResult(), 0u);
    EXPECT_TRUE(ReserveHeap(kBound / 2));
    EXPECT_FALSE(ReserveHeap(kBound + kMiB));
    EXPECT_EQ(ResourceBoundResult(), kResultTooMuchMemory);
  }
  heap_count::g_heap.counted = true;
}

}  // namespace
}  // namespace tovrani
