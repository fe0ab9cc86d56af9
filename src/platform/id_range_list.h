// The shape ids typed by the user ("IDs:"), as closed ranges.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tovrani {

class IdRangeList {
 public:
  // Appends min(a, b) .. max(a, b); ranges are kept as typed, neither sorted
  // nor merged.
  void AddRange(uint16_t a, uint16_t b);
  void Clear();
  bool Contains(uint16_t id) const;

  int32_t count() const { return int32_t(lows_.size()); }
  uint16_t low(int32_t k) const { return lows_[size_t(k)]; }
  uint16_t high(int32_t k) const { return highs_[size_t(k)]; }

 private:
  std::vector<uint16_t> lows_, highs_;
};

// Adds the items of a typed list such as "12,20-25,": one range per item
// ("n" gives n..n, "a-b" gives a..b). Items are separated by commas; other
// characters are ignored. A single id 0 is not added. A digit extends a value
// only while it is below 10000, and a value above 65535 is clamped to it. An
// item with no digits adds nothing; a range missing one bound is the single
// id it has.
void AddIdRangesFromText(std::string_view text, IdRangeList& list);

}  // namespace tovrani
