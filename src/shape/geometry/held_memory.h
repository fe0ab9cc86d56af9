// What the work on one shape object holds at once, priced in work units so
// that the object's cap of units bounds its memory as well as its time:
// the structures made of its records (so many bytes a record, held from the
// start), the regions it keeps, and each fill while it runs (FillWork).
// The object pays once for the most it has held, not for every allocation.
// The first kFreeBytes cost nothing: shapes of real movies hold less (16 MB
// at most in the shared corpus), and pay nothing for memory. The rest is
// priced so that the cap's units pay for what brings an object to
// kMostBytes.
#pragma once

#include <cstdint>

#include "platform/region.h"

namespace tovrani {

class HeldMemory {
 public:
  static constexpr uint64_t kFreeBytes = uint64_t{32} << 20;
  static constexpr uint64_t kMostBytes = uint64_t{200} << 20;

  HeldMemory() = default;  // memory costs nothing
  // An object whose cap is `cap` units and whose records hold `records`
  // bytes from the start.
  HeldMemory(uint64_t cap, uint64_t records);

  // The bytes held now: the records' structures and the regions made since
  // the object started.
  uint64_t Now() const {
    const uint64_t regions = Region::HeldBytes();
    return records_ + (regions > regionsBefore_ ? regions - regionsBefore_ : 0);
  }
  // Units still unpaid once `bytes` are held at once (nothing when no more
  // than the most held so far); they count as paid from here on.
  uint64_t Owed(uint64_t bytes) { return cap_ == 0 || bytes <= most_ ? 0 : Raise(bytes); }
  // Bytes that may be held on top of what is held now once `units` more
  // are paid.
  uint64_t Room(uint64_t units) const;

 private:
  uint64_t Raise(uint64_t bytes);

  uint64_t cap_ = 0;  // 0: memory costs nothing
  uint64_t records_ = 0;
  uint64_t regionsBefore_ = 0;
  uint64_t most_ = 0;
  uint64_t paid_ = 0;
};

}  // namespace tovrani
