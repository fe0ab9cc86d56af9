// A converter with an open page stream that starts with the page head, and
// builders for the depth tracks the timeline tests feed it.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fla/class_tags.h"
#include "fla/layer_records.h"
#include "fla/archive.h"
#include "swf/converter_context.h"
#include "swf/display_list.h"
#include "support/byte_sink.h"

namespace tovrani::test {

class PageFixture : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    g_shortLayerEndLead = 0;
    g_omitLayerLink = 0;
    ctx.m_nFlaFormat = uint8_t(GetParam());
    page_ = std::tmpfile();
    ASSERT_NE(page_, nullptr);
    ctx.m_pPageStream = page_;
    // The page head of this level, up to the first keyframe's version.
    ByteSink head;
    WritePageHeadTags(head, ctx.m_nFlaFormat);
    const std::vector<uint8_t> headBytes = head.bytes();
    std::fwrite(headBytes.data(), 1, headBytes.size() - 2, page_);
    headSize_ = size_t(std::ftell(page_));
    tracks.assign(1, DepthTrack{});
    tracks[0].lastEntry = -1;
    tracks[0].entries.clear();
    usedTracks_ = 0;
    state = PageClassState{};
  }
  void TearDown() override {
    if (page_) std::fclose(page_);
    page_ = nullptr;
    g_shortLayerEndLead = 0;
    g_omitLayerLink = 0;
  }

  bool isNew() const { return GetParam() >= 2; }

  // A track at depth `key`; the first call fills track 0 (which also holds
  // the labels), later calls add tracks.
  DepthTrack& track(uint32_t key) {
    if (usedTracks_ > 0) tracks.emplace_back();
    DepthTrack& t = tracks[usedTracks_++];
    t.key = key;
    t.entries.clear();
    t.lastEntry = -1;
    return t;
  }
  static PlacementEntry& place(DepthTrack& t, uint16_t start, uint16_t end, uint16_t id) {
    PlacementEntry& e = t.entries.emplace_back();
    e.startFrame = start;
    e.endFrame = end;
    e.characterId = id;
    t.lastEntry = int32_t(t.entries.size()) - 1;
    return e;
  }
  int32_t lastTrack() const { return int32_t(usedTracks_) - 1; }

  // The whole page.
  std::vector<uint8_t> pageBytes() {
    std::fflush(page_);
    std::vector<uint8_t> v;
    std::rewind(page_);
    int c;
    while ((c = std::fgetc(page_)) != EOF) v.push_back(uint8_t(c));
    std::fseek(page_, 0, SEEK_END);
    return v;
  }
  // What was written after the page head.
  std::vector<uint8_t> body() {
    const std::vector<uint8_t> all = pageBytes();
    return std::vector<uint8_t>(all.begin() + long(headSize_), all.end());
  }

  ConverterContext ctx;
  std::vector<DepthTrack> tracks;
  PageClassState state;

 private:
  std::FILE* page_ = nullptr;
  size_t headSize_ = 0;
  size_t usedTracks_ = 0;
};

}  // namespace tovrani::test
