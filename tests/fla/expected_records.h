// Expected page-stream bytes, laid out field by field from the record
// tables of the format, for the page-record tests.
#pragma once

#include <string>
#include <vector>

#include "fla/field_list.h"
#include "support/byte_sink.h"

namespace tovrani::test {

// What a writer puts into a FILE*.
template <class Write>
std::vector<uint8_t> Written(Write write) {
  ByteSink sink;
  write(sink.file());
  return sink.bytes();
}

// The length field of an archive string: one byte, FF u16, or FF FFFF u32.
inline std::string LengthFields(size_t n) {
  const std::string s = std::to_string(n);
  return n < 0xFF ? "u8 " + s : n < 0xFFFE ? "u8 0xFF; u16 " + s : "u8 0xFF; u16 0xFFFF; u32 " + s;
}

// ASCII text in the old (length, bytes) or new (FF FE FF, length, UTF-16LE) form.
inline std::string StringFields(const std::string& s, bool isNew) {
  return (isNew ? "M; " : "") + LengthFields(s.size()) + (isNew ? "; UTF-16 \"" : "; ANSI \"") + s + "\"";
}
inline std::vector<uint8_t> ExpectedString(const std::string& s, bool isNew) {
  return FieldBytes(StringFields(s, isNew));
}

// Keyframe head H with duration d.
inline std::vector<uint8_t> ExpectedHead(bool isNew, uint32_t d) {
  const std::string word = std::to_string((d << 8) + (isNew ? 0x18 : 0x16));
  return FieldBytes(std::string(isNew ? "u8 4, 0, 0; u32 0, 0x80, 0x03000080; u16 0" : "u8 1, 0, 0; u32 0, 0x80, 0x280") +
                    "; u32 1, 0, 0; u16 1; u32 0, 0; u16 5; u32 0 x 3, " + word + "; u8 6, 0, 0");
}

// Keyframe tail T named `name` (empty: unnamed) with flag byte F.
inline std::vector<uint8_t> ExpectedTail(bool isNew, const std::string& name = "", int flag = 0) {
  const std::string f = std::to_string(flag << 8);
  return FieldBytes(std::string(isNew ? "u8 0; u32 0x01000000, 0" : "u8 0; u32 0, 0") +
                    "; u16 0; u32 0x3FFFFFFF; u16 0xFFFF; " + StringFields(name, isNew) +
                    (isNew ? "; u32 4, 1, 0, 0; M; u32 0 x 5; u8 0; M; u32 0x100, 0, " + f + ", 0x100, 0"
                           : "; u8 1, 0, 0, 0; u32 2, 0 x 7, 0x100, 0, " + f));
}

inline std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, size_t from, size_t to) {
  return std::vector<uint8_t>(v.begin() + from, v.begin() + to);
}
inline std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> v;
  for (const auto& p : parts) Append(v, p);
  return v;
}

}  // namespace tovrani::test
