#include "shape/geometry/held_memory.h"

namespace tovrani {

namespace {

constexpr uint64_t kPricedBytes = HeldMemory::kMostBytes - HeldMemory::kFreeBytes;

}  // namespace

HeldMemory::HeldMemory(uint64_t cap, uint64_t records)
    : cap_(cap), records_(records), regionsBefore_(Region::HeldBytes()) {}

uint64_t HeldMemory::Raise(uint64_t bytes) {
  most_ = bytes;
  if (bytes <= kFreeBytes) return 0;
  // Rounded up: what is held never passes what is paid.
  const unsigned __int128 priced = (unsigned __int128)(bytes - kFreeBytes) * cap_;
  const uint64_t total = uint64_t((priced + kPricedBytes - 1) / kPricedBytes);
  const uint64_t owed = total - paid_;
  paid_ = total;
  return owed;
}

uint64_t HeldMemory::Room(uint64_t units) const {
  if (cap_ == 0) return UINT64_MAX;
  const unsigned __int128 affordable =
      kFreeBytes + ((unsigned __int128)paid_ + units) * kPricedBytes / cap_;
  const uint64_t now = Now();
  if (affordable >= UINT64_MAX) return UINT64_MAX;
  return uint64_t(affordable) > now ? uint64_t(affordable) - now : 0;
}

}  // namespace tovrani
