// The heap counted at the allocator: the state that the program's global
// operator new and delete (app/counted_heap.cpp) keep, and the one compare
// each allocation makes. The bounds of platform/resource_bound.h set the
// ceiling and read the count.
#pragma once

#include <malloc.h>

#include <cstddef>
#include <cstdint>

namespace tovrani::heap_count {

struct State {
  // Usable bytes of the blocks operator new gave and delete has not taken
  // back, with the tokens held and the regions' blocks.
  uint64_t inUse = 0;
  uint64_t peak = 0;  // the most inUse has been since the conversion's start
  // An allocation that would take inUse past this takes the slow road:
  // the bound's ceiling inside a conversion, none outside.
  uint64_t ceiling = UINT64_MAX;
  uint64_t allocations = 0;       // counted so far, by the process
  uint64_t refuseAt = UINT64_MAX;  // the test hook's number
  bool counted = false;           // the program counts (set before main)
};

// Constant-initialised: allocations made before any constructor runs are
// counted too. Plain fields: the program allocates from one thread (the
// library starts none).
extern constinit State g_heap;

// The slow road of an allocation of `bytes`: false refuses it.
bool Admit(uint64_t bytes);

inline bool MayAllocate(size_t bytes) {
  State& h = g_heap;
  const uint64_t number = ++h.allocations;
  if (h.inUse + bytes > h.ceiling || number == h.refuseAt) [[unlikely]]
    return Admit(bytes);
  return true;
}

inline void Add(uint64_t bytes) {
  State& h = g_heap;
  h.inUse += bytes;
  if (h.inUse > h.peak) h.peak = h.inUse;
}

inline void Subtract(uint64_t bytes) { g_heap.inUse -= bytes; }

// A block malloc gave, and one about to be freed.
inline void Allocated(void* block) { Add(malloc_usable_size(block)); }
inline void Freeing(void* block) { Subtract(malloc_usable_size(block)); }

}  // namespace tovrani::heap_count
