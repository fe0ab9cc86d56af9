#include "fla/item_names.h"

#include <cstdio>

namespace tovrani {

std::string MakeSymbolName(uint16_t n) { return "Symbol " + std::to_string(n); }

std::string MakeMediaName(uint16_t n) {
  // Directory entries of media streams keep their names within nine
  // characters, so the blank and then "ia" give way to wider numbers.
  if (n < 1000) return "Media " + std::to_string(n);
  if (n < 10000) return "Media" + std::to_string(n);
  return "Medx" + std::to_string(n);
}

std::string MakeLevelName(uint16_t n) { return "Level " + std::to_string(n); }

std::string MakeIdName(uint16_t n) { return "ID " + std::to_string(n); }

std::string MakeBNumberName(uint16_t n) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "b%05u", static_cast<unsigned>(n));
  return buf;
}

}  // namespace tovrani
