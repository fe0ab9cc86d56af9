// Expected bytes of timeline pages, laid out from the record tables of the
// format: keyframes, layer heads and tails, symbol instance records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fla/expected_records.h"
#include "support/byte_sink.h"

namespace tovrani::test {

// A keyframe holding `element` and lasting d frames; `next` ends it with the
// joint that opens the following keyframe, else with the frame list's end.
inline std::vector<uint8_t> ExpectedKeyframe(bool isNew, const std::vector<uint8_t>& element,
                                             uint32_t d, bool next) {
  const std::vector<uint8_t> head = ExpectedHead(isNew, d);
  std::vector<uint8_t> v = Slice(head, 0, 2);
  Append(v, element);
  Append(v, Slice(head, 2, head.size()));
  Append(v, ExpectedTail(isNew));
  Append(v, next ? Bytes({0, 0x05, 0x80}) : Bytes({0}));
  return v;
}

inline std::vector<uint8_t> ExpectedEmptyFrame(bool isNew, uint32_t d, bool next) {
  return ExpectedKeyframe(isNew, {}, d, next);
}

inline std::vector<uint8_t> ExpectedLabelFrame(bool isNew, const std::string& label, bool next,
                                               int anchor) {
  return Concat({ExpectedHead(isNew, 1), ExpectedTail(isNew, label, anchor),
                 next ? Bytes({0, 0x05, 0x80}) : Bytes({0})});
}

// A further layer and its first keyframe object.
inline std::vector<uint8_t> ExpectedLayerHead(bool isNew, bool shortLead) {
  std::vector<uint8_t> v;
  if (!shortLead) v.push_back(1);
  Append(v, Bytes({0x03, 0x80, isNew ? 4 : 1, 0, 0x05, 0x80}));
  return v;
}

enum class TailCase { kPlain, kMasked, kMask, kFollower };

inline std::vector<uint8_t> ExpectedLayerTail(bool isNew, const std::string& name, TailCase c,
                                              uint16_t ref = 0, bool refFlag = false) {
  std::vector<uint8_t> v;
  AppendU32(v, 0);
  AppendU32(v, 0x8000);
  if (isNew) {
    AppendU32(v, 0x8000);
    v.push_back(0x0B);
  } else {
    Append(v, Bytes({0x00, 0x80, 0x0A}));
  }
  Append(v, ExpectedString(name, isNew));
  Append(v, Bytes({0, 0, 0}));
  for (uint32_t x : {0xFFFFFFFFu, 0xFFFFFFFFu, 0u, 1u}) AppendU32(v, x);
  switch (c) {
    case TailCase::kPlain: AppendU32(v, 0x01000000); break;
    case TailCase::kMasked: v.push_back(0); break;
    case TailCase::kMask:
      AppendU32(v, 0x01000004);
      Append(v, Bytes({1, 1, 1}));
      if (refFlag) AppendU16(v, ref);
      break;
    case TailCase::kFollower:
      v.push_back(0);
      AppendU16(v, ref);
      Append(v, Bytes({1, 0}));
      if (refFlag) AppendU16(v, ref);
      break;
  }
  return v;
}

// The class tag of an element: its new-class tag, or 0x8000 | index.
inline std::vector<uint8_t> NewClass(const std::string& name) {
  std::vector<uint8_t> v = Bytes({0xFF, 0xFF, 1, 0});
  AppendU16(v, uint32_t(name.size()));
  AppendAscii(v, name);
  return v;
}
inline std::vector<uint8_t> KnownClass(uint32_t index) {
  std::vector<uint8_t> v;
  AppendU16(v, 0x8000 | index);
  return v;
}

// The fields of an instance record the tests vary.
struct InstanceFields {
  int32_t a = 0x10000, b = 0, c = 0, d = 0x10000, tx = 0, ty = 0;
  uint16_t frameOffset = 0, playMode = 0, symbol = 0;
  int16_t cx[8] = {256, 0, 256, 0, 256, 0, 256, 0};  // alpha, red, green, blue: mult, add
  int16_t alphaPercent = 100;
  uint8_t flag400 = 0, display = 1;
};

// The record from its version byte to its common end (no sprite or button
// tail).
inline std::vector<uint8_t> ExpectedInstanceBody(bool isNew, const InstanceFields& f) {
  std::vector<uint8_t> v = Bytes({isNew ? 4 : 1, 0, 0, 0});
  AppendU32(v, uint32_t(f.tx));
  AppendU32(v, uint32_t(f.ty));
  if (isNew) Append(v, Bytes({0, f.flag400, 0x13}));
  else v.push_back(0x0A);
  for (int32_t x : {f.a, f.b, f.c, f.d, f.tx, f.ty}) AppendU32(v, uint32_t(x));
  AppendU16(v, f.frameOffset);
  AppendU16(v, f.playMode);
  v.push_back(1);
  for (int16_t x : f.cx) AppendU16(v, uint16_t(x));
  AppendU16(v, 3);
  AppendU16(v, uint16_t(f.alphaPercent));
  AppendU32(v, 0xFFFFFFFF);
  Append(v, ExpectedString("", isNew));
  AppendU16(v, f.symbol);
  AppendU16(v, 0);
  if (isNew) Append(v, Bytes({0, 0, 0, 0, f.display, 0, 0}));
  return v;
}

// A movie clip's tail with an instance name and no parameters.
inline std::vector<uint8_t> ExpectedSpriteTail(bool isNew, const std::string& name) {
  std::vector<uint8_t> v;
  if (isNew) {
    v.push_back(0x08);
    for (uint32_t x : {4u, 1u, 0u, 0u}) AppendU32(v, x);
    Append(v, Bytes({0xFF, 0xFE, 0xFF, 0}));
  } else {
    v.push_back(0x06);
    for (uint32_t x : {1u, 0u, 0u, 0u, 0u, 0u}) AppendU32(v, x);
  }
  Append(v, ExpectedString(name, isNew));
  v.push_back(2);
  AppendU32(v, 0);
  if (isNew) {
    for (uint32_t x : {0u, 0u, 1u}) AppendU32(v, x);
    v.push_back(1);
    AppendU32(v, 1);
    Append(v, Bytes({0xFF, 0xFE, 0xFF, 0}));
  } else {
    for (uint32_t x : {1u, 0u, 1u}) AppendU32(v, x);
  }
  return v;
}

}  // namespace tovrani::test
