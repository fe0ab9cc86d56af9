// A converter with an open page stream that starts with the page head, the
// depth tracks the page tests feed it, and the expected bytes of timeline
// pages laid out from the record tables of the format.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "fla/archive.h"
#include "fla/expected_records.h"
#include "fla/layer_records.h"
#include "support/byte_sink.h"
#include "support/page_walker.h"
#include "convert/converter_context.h"
#include "timeline/display_list.h"

namespace tovrani::test {

inline std::vector<uint8_t> ReadAll(std::FILE* f) {
  std::fflush(f);
  std::vector<uint8_t> out;
  std::rewind(f);
  for (int c; (c = std::fgetc(f)) != EOF;) out.push_back(uint8_t(c));
  std::fseek(f, 0, SEEK_END);
  return out;
}

inline size_t CountOf(const std::vector<uint8_t>& page, const std::vector<uint8_t>& pattern) {
  size_t n = 0;
  for (auto it = page.begin();
       (it = std::search(it, page.end(), pattern.begin(), pattern.end())) != page.end(); ++it)
    ++n;
  return n;
}

// Every frame object has one keyframe body and every layer object one tail:
// the fixed fields before a keyframe's duration and at a tail's start.
inline void ExpectWholeObjects(const std::vector<uint8_t>& page, const PageWalk& w) {
  size_t bodies = 0, tails = 0;
  for (const bool isNew : {false, true}) {
    std::vector<uint8_t> duration = Bytes({0x05, 0x00});
    duration.resize(14, 0);
    duration.push_back(isNew ? 0x18 : 0x16);
    bodies += CountOf(page, duration);
    tails += CountOf(page, isNew ? Bytes({0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0x80, 0, 0, 0x0B})
                                 : Bytes({0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0x80, 0x0A}));
  }
  EXPECT_EQ(bodies, w.count("CPicFrame"));
  EXPECT_EQ(tails, w.count("CPicLayer"));
}

// Parameter: the format level (0 old form, 2 new form).
class PageFixture : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    g_shortLayerEndLead = g_omitLayerLink = 0;
    ctx.m_nFlaFormat = uint8_t(GetParam());
    page_ = std::tmpfile();
    ASSERT_NE(page_, nullptr);
    ctx.m_pPageStream = page_;
    // The page head of this level, up to the first keyframe's version.
    ByteSink head;
    WritePageHeadTags(head, ctx.m_nFlaFormat);
    std::fwrite(head.bytes().data(), 1, head.bytes().size() - 2, page_);
    headSize_ = size_t(std::ftell(page_));
    tracks.assign(1, DepthTrack{});
    tracks.reserve(32);  // references to tracks stay valid
    tracks[0].lastEntry = -1;
    usedTracks_ = 0;
    state = PageClassState{};
  }
  void TearDown() override {
    if (page_) std::fclose(page_);
    page_ = nullptr;
    g_shortLayerEndLead = g_omitLayerLink = 0;
  }
  void reset() { TearDown(), SetUp(); }
  bool isNew() const { return GetParam() >= 2; }

  // A track at depth `key`; the first fills track 0 (which also holds the
  // labels), later ones are added.
  DepthTrack& track(uint32_t key) {
    if (usedTracks_++ > 0) tracks.emplace_back().lastEntry = -1;
    tracks.back().key = key;
    return tracks.back();
  }
  static PlacementEntry& place(DepthTrack& t, uint16_t start, uint16_t end, uint16_t id) {
    PlacementEntry& e = t.entries.emplace_back();
    e.startFrame = start, e.endFrame = end, e.characterId = id;
    t.lastEntry = int32_t(t.entries.size()) - 1;
    return e;
  }
  int32_t lastTrack() const { return int32_t(usedTracks_) - 1; }
  std::vector<uint8_t> pageBytes() { return ReadAll(page_); }
  // What was written after the page head.
  std::vector<uint8_t> body() { return Slice(pageBytes(), headSize_, pageBytes().size()); }

  ConverterContext ctx;
  std::vector<DepthTrack> tracks;
  PageClassState state;

 private:
  std::FILE* page_ = nullptr;
  size_t headSize_ = 0;
  size_t usedTracks_ = 0;
};

// A keyframe holding `element` and lasting d frames; `next` ends it with the
// joint that opens the following keyframe, else with the frame list's end.
inline std::vector<uint8_t> ExpectedKeyframe(bool isNew, const std::vector<uint8_t>& element, uint32_t d,
                                             bool next) {
  const std::vector<uint8_t> head = ExpectedHead(isNew, d);
  return Concat({Slice(head, 0, 2), element, Slice(head, 2, head.size()), ExpectedTail(isNew),
                 next ? Bytes({0, 0x05, 0x80}) : Bytes({0})});
}
inline std::vector<uint8_t> ExpectedEmptyFrame(bool isNew, uint32_t d, bool next) {
  return ExpectedKeyframe(isNew, {}, d, next);
}
inline std::vector<uint8_t> ExpectedLabelFrame(bool isNew, const std::string& label, bool next,
                                               int anchor = 0) {
  return Concat({ExpectedHead(isNew, 1), ExpectedTail(isNew, label, anchor),
                 next ? Bytes({0, 0x05, 0x80}) : Bytes({0})});
}
// A further layer and its first keyframe object.
inline std::vector<uint8_t> ExpectedLayerHead(bool isNew, bool shortLead) {
  return Concat({shortLead ? Bytes({}) : Bytes({1}), Bytes({0x03, 0x80, isNew ? 4 : 1, 0, 0x05, 0x80})});
}

enum class TailCase { kPlain, kMasked, kMask };

// A layer's tail; a mask's names the layer object `ref` when refFlag is set.
inline std::vector<uint8_t> ExpectedLayerTail(bool isNew, const std::string& name,
                                              TailCase c = TailCase::kPlain, uint16_t ref = 0,
                                              bool refFlag = false) {
  std::vector<uint8_t> v;
  AppendU32(v, 0);
  AppendU32(v, 0x8000);
  if (isNew)
    AppendU32(v, 0x8000), v.push_back(0x0B);
  else
    Append(v, Bytes({0x00, 0x80, 0x0A}));
  Append(v, ExpectedString(name, isNew));
  Append(v, Bytes({0, 0, 0}));
  for (uint32_t x : {0xFFFFFFFFu, 0xFFFFFFFFu, 0u, 1u}) AppendU32(v, x);
  if (c == TailCase::kPlain) AppendU32(v, 0x01000000);
  if (c == TailCase::kMasked) v.push_back(0);
  if (c == TailCase::kMask) {
    AppendU32(v, 0x01000004);
    Append(v, Bytes({1, 1, 1}));
    if (refFlag) AppendU16(v, ref);
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

// The record from its version byte to its common end (no sprite or button tail).
inline std::vector<uint8_t> ExpectedInstanceBody(bool isNew, const InstanceFields& f) {
  std::vector<uint8_t> v = Bytes({isNew ? 4 : 1, 0, 0, 0});
  AppendU32(v, uint32_t(f.tx));
  AppendU32(v, uint32_t(f.ty));
  Append(v, isNew ? Bytes({0, f.flag400, 0x13}) : Bytes({0x0A}));
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

}  // namespace tovrani::test
