// Expected bytes from a field list in the notation of the record tables:
//   "u32 0x1FFFF; u16 13; ANSI \"CDocumentPage\"; u8 17, 6; u32 0 x 3, -1; M"
// u8/u16/u32 take comma-separated values, each optionally "x N" repeated;
// M is the marker FF FE FF; ANSI "..." the bytes, UTF-16 "..." each byte
// followed by 00. Fields are separated by ';'.
#pragma once

#include <cstdint>
#include <iomanip>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tovrani::test {

inline std::vector<uint8_t> FieldBytes(const std::string& list) {
  std::vector<uint8_t> out;
  std::istringstream fields(list);
  for (std::string item; std::getline(fields, item, ';');) {
    std::istringstream in(item);
    std::string type;
    if (!(in >> type)) continue;
    if (type == "M" || type == "M.") {
      out.insert(out.end(), {0xFF, 0xFE, 0xFF});
    } else if (type == "ANSI" || type == "UTF-16") {
      const size_t q = item.find('"');
      for (unsigned char c : item.substr(q + 1, item.rfind('"') - q - 1)) {
        out.push_back(c);
        if (type == "UTF-16") out.push_back(0);
      }
    } else {
      const int width = type == "u8" ? 1 : type == "u16" ? 2 : type == "u32" ? 4 : 0;
      if (width == 0) throw std::runtime_error("bad field: " + item);
      std::string value;
      while (std::getline(in >> std::ws, value, ',')) {
        std::istringstream v(value);
        long long x = 0, repeat = 1;
        std::string times;
        if (v >> std::setbase(0) >> x >> times && times == "x") v >> std::dec >> repeat;
        for (long long r = 0; r < repeat; ++r)
          for (int i = 0; i < width; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(x) >> (8 * i)));
      }
    }
  }
  return out;
}

}  // namespace tovrani::test
