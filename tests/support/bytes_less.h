// Byte strings ordered as std::less orders them, for the keys of maps and
// sets: GCC 12 warns falsely on the memcmp of vector's operator<=> once a
// tree's search inlines it, and not on lexicographical_compare's.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace tovrani::test {

struct BytesLess {
  bool operator()(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
  }
};

}  // namespace tovrani::test
