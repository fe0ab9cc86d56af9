#include "support/byte_sink.h"

#include <algorithm>
#include <cstdio>

namespace tovrani::test {

std::string HexDump(const std::vector<uint8_t>& v, size_t from, size_t to) {
  std::string out;
  char buf[24];
  for (size_t i = from; i < std::min(to, v.size()); ++i) {
    if ((i - from) % 16 == 0) {
      std::snprintf(buf, sizeof buf, "\n%05zx:", i);
      out += buf;
    }
    std::snprintf(buf, sizeof buf, " %02X", v[i]);
    out += buf;
  }
  return out;
}

::testing::AssertionResult SameBytes(const std::vector<uint8_t>& actual,
                                     const std::vector<uint8_t>& expected) {
  size_t n = std::min(actual.size(), expected.size());
  size_t diff = 0;
  while (diff < n && actual[diff] == expected[diff]) ++diff;
  if (diff == n && actual.size() == expected.size()) return ::testing::AssertionSuccess();
  size_t from = diff >= 16 ? (diff - 16) & ~size_t(15) : 0;
  return ::testing::AssertionFailure()
         << "bytes differ at offset " << diff << " (actual " << actual.size() << " bytes, expected "
         << expected.size() << ")\nactual:" << HexDump(actual, from, diff + 32)
         << "\nexpected:" << HexDump(expected, from, diff + 32);
}

}  // namespace tovrani::test
