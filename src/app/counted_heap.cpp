// The program's global operator new and delete: every allocation passes
// the heap count of platform/heap_count.h, which refuses one that would
// take a conversion past its memory bound. Linked into each executable (a
// static library's replacement would be taken or not by link order).
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <new>

#include "platform/heap_count.h"

namespace {

namespace count = tovrani::heap_count;

// A counted block, or null where malloc has nothing left.
void* Block(std::size_t n) noexcept {
  void* p = std::malloc(n ? n : 1);
  if (p) count::Allocated(p);
  return p;
}

void* AlignedBlock(std::size_t n, std::align_val_t align) noexcept {
  void* p = nullptr;
  if (posix_memalign(&p, std::max(std::size_t(align), sizeof(void*)), n ? n : 1) != 0) return nullptr;
  count::Allocated(p);
  return p;
}

void Give(void* p) noexcept {
  if (!p) return;
  count::Freeing(p);
  std::free(p);
}

// As the standard library's operator new: a refusal of the bound throws at
// once; where malloc fails, the new-handler is asked first.
template <typename Make>
void* TakeOrThrow(std::size_t n, Make make) {
  for (;;) {
    if (!count::MayAllocate(n)) throw std::bad_alloc();
    if (void* p = make()) return p;
    std::new_handler handler = std::get_new_handler();
    if (!handler) throw std::bad_alloc();
    handler();
  }
}

[[maybe_unused]] const bool g_counted = (count::g_heap.counted = true);

}  // namespace

void* operator new(std::size_t n) { return TakeOrThrow(n, [n] { return Block(n); }); }
void* operator new[](std::size_t n) { return TakeOrThrow(n, [n] { return Block(n); }); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return count::MayAllocate(n) ? Block(n) : nullptr; }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  return count::MayAllocate(n) ? Block(n) : nullptr;
}
void* operator new(std::size_t n, std::align_val_t a) { return TakeOrThrow(n, [n, a] { return AlignedBlock(n, a); }); }
void* operator new[](std::size_t n, std::align_val_t a) {
  return TakeOrThrow(n, [n, a] { return AlignedBlock(n, a); });
}
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
  return count::MayAllocate(n) ? AlignedBlock(n, a) : nullptr;
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
  return count::MayAllocate(n) ? AlignedBlock(n, a) : nullptr;
}

void operator delete(void* p) noexcept { Give(p); }
void operator delete[](void* p) noexcept { Give(p); }
void operator delete(void* p, std::size_t) noexcept { Give(p); }
void operator delete[](void* p, std::size_t) noexcept { Give(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Give(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Give(p); }
void operator delete(void* p, std::align_val_t) noexcept { Give(p); }
void operator delete[](void* p, std::align_val_t) noexcept { Give(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { Give(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { Give(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { Give(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { Give(p); }
