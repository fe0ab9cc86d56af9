// Expected page-stream bytes, laid out field by field from the record
// tables of the format, for the page-record tests.
#pragma once

#include <string>
#include <vector>

#include "support/byte_sink.h"

namespace tovrani::test {

inline bool NewForm(int level) { return level >= 2; }
inline int Version(int level) { return NewForm(level) ? 4 : 1; }

inline void AppendU24(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(x & 0xFF);
  v.push_back((x >> 8) & 0xFF);
  v.push_back((x >> 16) & 0xFF);
}

// ASCII text in the old (length, bytes) or new (FF FE FF, length, UTF-16LE) form.
inline std::vector<uint8_t> ExpectedString(const std::string& s, bool isNew) {
  std::vector<uint8_t> v;
  if (isNew) Append(v, Bytes({0xFF, 0xFE, 0xFF}));
  if (s.size() < 255) {
    v.push_back(static_cast<uint8_t>(s.size()));
  } else {
    v.push_back(0xFF);
    AppendU16(v, static_cast<uint32_t>(s.size()));
  }
  for (char c : s) {
    v.push_back(static_cast<uint8_t>(c));
    if (isNew) v.push_back(0);
  }
  return v;
}

// Keyframe head H with duration d.
inline std::vector<uint8_t> ExpectedHead(bool isNew, uint32_t d) {
  std::vector<uint8_t> v = Bytes({isNew ? 4 : 1, 0, 0});
  AppendU32(v, 0);
  AppendU32(v, 0x80);
  AppendU32(v, isNew ? 0x03000080 : 0x280);
  if (isNew) AppendU16(v, 0);
  AppendU32(v, 1);
  AppendU32(v, 0), AppendU32(v, 0), AppendU16(v, 1);
  AppendU32(v, 0), AppendU32(v, 0), AppendU16(v, 5);
  for (int i = 0; i < 3; ++i) AppendU32(v, 0);
  AppendU32(v, (d << 8) + (isNew ? 0x18 : 0x16));
  Append(v, Bytes({6, 0, 0}));
  return v;
}

// Keyframe tail T named `name` (empty: unnamed) with flag byte F.
inline std::vector<uint8_t> ExpectedTail(bool isNew, const std::string& name = "", int flag = 0) {
  std::vector<uint8_t> v = Bytes({0});
  if (isNew) {
    AppendU32(v, 0x01000000);
    AppendU32(v, 0), AppendU16(v, 0);
    AppendU32(v, 0x3FFFFFFF);
    AppendU16(v, 0xFFFF);
    Append(v, ExpectedString(name, true));
    for (uint32_t x : {4u, 1u, 0u, 0u}) AppendU32(v, x);
    Append(v, Bytes({0xFF, 0xFE, 0xFF}));
    for (int i = 0; i < 5; ++i) AppendU32(v, 0);
    v.push_back(0);
    Append(v, Bytes({0xFF, 0xFE, 0xFF}));
    AppendU32(v, 0x100), AppendU32(v, 0);
    AppendU32(v, static_cast<uint32_t>(flag) << 8);
    AppendU32(v, 0x100), AppendU32(v, 0);
  } else {
    AppendU32(v, 0), AppendU32(v, 0), AppendU16(v, 0);
    AppendU32(v, 0x3FFFFFFF);
    AppendU16(v, 0xFFFF);
    Append(v, ExpectedString(name, false));
    v.push_back(1);
    Append(v, Bytes({0, 0, 0}));
    AppendU32(v, 2);
    for (int i = 0; i < 7; ++i) AppendU32(v, 0);
    AppendU32(v, 0x100), AppendU32(v, 0);
    AppendU32(v, static_cast<uint32_t>(flag) << 8);
  }
  return v;
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
