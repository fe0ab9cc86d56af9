#include "platform/id_range_list.h"

#include <algorithm>

namespace tovrani {

void IdRangeList::AddRange(uint16_t a, uint16_t b) {
  lows_.push_back(std::min(a, b));
  highs_.push_back(std::max(a, b));
}

void IdRangeList::Clear() {
  lows_.clear();
  highs_.clear();
}

bool IdRangeList::Contains(uint16_t id) const {
  for (size_t k = 0; k < lows_.size(); ++k)
    if (lows_[k] <= id && id <= highs_[k]) return true;
  return false;
}

namespace {

struct TypedValue {
  uint32_t value = 0;
  bool hasDigits = false;
  uint16_t clamped() const { return uint16_t(std::min<uint32_t>(value, 0xFFFF)); }
};

void AddItem(const TypedValue& first, const TypedValue& second, bool isRange, IdRangeList& list) {
  if (isRange && first.hasDigits && second.hasDigits) {
    list.AddRange(first.clamped(), second.clamped());
    return;
  }
  const TypedValue& single = first.hasDigits ? first : second;
  if (single.hasDigits && single.value != 0) list.AddRange(single.clamped(), single.clamped());
}

}  // namespace

void AddIdRangesFromText(std::string_view text, IdRangeList& list) {
  TypedValue first, second;
  bool isRange = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      TypedValue& v = isRange ? second : first;
      if (v.value < 10000) v.value = v.value * 10 + uint32_t(c - '0');
      v.hasDigits = true;
    } else if (c == '-') {
      isRange = true;
    } else if (c == ',') {
      AddItem(first, second, isRange, list);
      first = second = TypedValue{};
      isRange = false;
    }
  }
  AddItem(first, second, isRange, list);
}

}  // namespace tovrani
