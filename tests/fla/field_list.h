// Expected bytes from a field list in the notation of the record tables:
//   "u32 0x1FFFF; u16 13; ANSI \"CDocumentPage\"; u8 17, 6; u32 0 x 3, -1; M"
// u8/u16/u32 take comma-separated values, each optionally "x N" repeated;
// M is the marker FF FE FF; ANSI "..." the bytes, UTF-16 "..." each byte
// followed by 00.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tovrani::test {

inline std::string TrimField(const std::string& s) {
  const size_t a = s.find_first_not_of(" \n\t");
  const size_t b = s.find_last_not_of(" \n\t.");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

inline std::vector<uint8_t> FieldBytes(const std::string& list) {
  std::vector<uint8_t> out;
  size_t pos = 0;
  while (pos <= list.size()) {
    size_t end = list.find(';', pos);
    if (end == std::string::npos) end = list.size();
    const std::string item = TrimField(list.substr(pos, end - pos));
    pos = end + 1;
    if (item.empty()) continue;
    if (item == "M") {
      out.insert(out.end(), {0xFF, 0xFE, 0xFF});
      continue;
    }
    const size_t q1 = item.find('"');
    if (q1 != std::string::npos) {
      const std::string text = item.substr(q1 + 1, item.rfind('"') - q1 - 1);
      const bool wide = item.rfind("UTF-16", 0) == 0;
      for (unsigned char c : text) {
        out.push_back(c);
        if (wide) out.push_back(0);
      }
      continue;
    }
    const size_t sp = item.find(' ');
    const std::string type = item.substr(0, sp);
    const int width = type == "u8" ? 1 : type == "u16" ? 2 : type == "u32" ? 4 : 0;
    if (width == 0) throw std::runtime_error("bad field: " + item);
    std::string rest = item.substr(sp + 1);
    size_t vpos = 0;
    while (vpos <= rest.size()) {
      size_t vend = rest.find(',', vpos);
      if (vend == std::string::npos) vend = rest.size();
      const std::string v = TrimField(rest.substr(vpos, vend - vpos));
      vpos = vend + 1;
      const size_t times = v.find(" x ");
      const long long value = std::stoll(v.substr(0, times), nullptr, 0);
      const long long repeat = times == std::string::npos ? 1 : std::stoll(v.substr(times + 3));
      for (long long r = 0; r < repeat; ++r)
        for (int i = 0; i < width; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i)));
    }
  }
  return out;
}

}  // namespace tovrani::test
