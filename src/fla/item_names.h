// Names of library items, compound-file streams and generated layers. Where
// one name is written twice (an item and its stream's directory entry) both
// places must use the same builder, since the name ties them together.
#pragma once

#include <cstdint>
#include <string>

namespace tovrani {

// "Symbol 0" to "Symbol 65535".
std::string MakeSymbolName(uint16_t n);
// At most nine characters: "Media 999", "Media1000", "Medx12345".
std::string MakeMediaName(uint16_t n);
// "Level 0" to "Level 65535".
std::string MakeLevelName(uint16_t n);
// "ID 0" to "ID 65535".
std::string MakeIdName(uint16_t n);
// "b" and exactly five digits: "b00042".
std::string MakeBNumberName(uint16_t n);

}  // namespace tovrani
