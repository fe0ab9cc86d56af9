// DefineVideoStream: the media stream's layout, the key-bit search, and
// streams through the whole conversion.
#include "convert/video_tags.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "app/program_runner.h"
#include "convert/converter_context.h"
#include "convert/engine.h"
#include "fla/expected_records.h"
#include "support/byte_sink.h"
#include "support/document_frames.h"
#include "support/independent_readers.h"
#include "support/page_walker.h"
#include "support/recording_shell.h"
#include "support/swf_writer.h"
#include "support/temp_dir.h"
#include "support/work_budget.h"

namespace tovrani {
namespace {

using namespace test;

// The media streams of frameless 160 x 120 videos as the format holds them,
// for a frame rate of 0 and of 12.
const std::vector<uint8_t> kFrameless0 = FromHex(
    "03000000 00 0000000000000000 0000000000000000 00000000 00000000 A000 0000 7800 0000"
    "0000000000000000 01000000 01 01000000 00 01000000 0000000000005940 18 000000000000000000000000"
    "01 00000000 00000000 00000000 FFFEFF 00000000 00");
// At 12 frames per second the period is 1/12 in single precision, widened:
// 0x3FB5555560000000.
const std::vector<uint8_t> kFrameless12 = FromHex(
    "03000000 00 0000000000002840 0000000000000000 00000000 00000000 A000 0000 7800 0000"
    "00000060 5555B53F 01000000 01 01000000 00 01000000 000000000000F03F 18 000000000000000000000000"
    "01 00000000 00000000 00000000 FFFEFF 00000000 00");

// The head of a video with frames at 12 frames per second: its lead, the
// frameless head's bytes 4-20, the fixed fields, its bytes 35-79.
std::vector<uint8_t> Head(uint8_t codec, uint16_t width, uint16_t height) {
  std::vector<uint8_t> v;
  v.reserve(80);
  AppendU32(v, (uint32_t(codec) << 8) + 2);
  v.insert(v.end(), kFrameless12.begin() + 4, kFrameless12.begin() + 21);
  AppendU32(v, 0);
  AppendU32(v, 1);
  AppendU16(v, width);
  Append(v, Bytes({0, 0}));
  AppendU16(v, height);
  v.insert(v.end(), kFrameless12.begin() + 35, kFrameless12.begin() + 80);
  return v;
}

std::vector<uint8_t> Entry(uint32_t length, uint32_t kind, uint8_t more, uint32_t end) {
  std::vector<uint8_t> v;
  AppendU32(v, length);
  AppendU32(v, 1);
  AppendU32(v, kind);
  v.push_back(more);
  AppendU32(v, end);
  return v;
}

std::vector<uint8_t> FrameBody(uint16_t stream, uint16_t frame, const std::vector<uint8_t>& data) {
  return Concat({SwfBytes().u16(stream).u16(frame).data(), data});
}

const std::vector<uint8_t> kTail2 = FromHex("01 00000000 00000000");
const std::vector<uint8_t> kTail4 = FromHex("01 00000000 00000000 00000000 FFFEFF 00000000 00");

TEST(VideoTags, MissingFramesRotationAndTails) {
  // Frames 0, 1 and 3 of codec 2: an entry for frame 2 that ends where frame 1's data does.
  VideoMediaWriter two(2, 320, 240, -1, 12.0);
  two.addFrame(FrameBody(7, 0, {1, 2}));
  two.addFrame(FrameBody(7, 1, {3, 4, 5}));
  two.addFrame(FrameBody(7, 3, {6}));
  EXPECT_TRUE(SameBytes(two.finish(), Concat({Head(2, 320, 240), Entry(2, 5, 1, 2), Entry(3, 5, 1, 5),
                                              FromHex("00000000 01000000 04000000 01 05000000"),
                                              Entry(1, 5, 0, 6), Bytes({1, 2, 3, 4, 5, 6}), kTail2})));
  // Codec 4 keeps each frame's last byte in front and has the longer tail.
  VideoMediaWriter four(4, 16, 8, -1, 12.0);
  four.addFrame(FrameBody(7, 0, {0xAB, 0xCD, 0xEF}));
  EXPECT_TRUE(SameBytes(four.finish(),
                        Concat({Head(4, 16, 8), Entry(3, 5, 0, 3), Bytes({0xEF, 0xAB, 0xCD}), kTail4})));
  // Frame numbers going back write no entries; the frames stay in file order.
  VideoMediaWriter back(2, 1, 1, -1, 12.0);
  for (int i = 0; i < 6; ++i) back.addFrame(FrameBody(7, i % 2 ? 0 : 3, {uint8_t(i)}));
  const std::vector<uint8_t> media = back.finish();
  EXPECT_EQ(media.size(), Head(2, 1, 1).size() + 3 * 17 + 6 * 17 + 6 + kTail2.size());
}

// A frameless video's stream is the 101 bytes of the format, with its size
// and frame rate in their places; a video with frames holds the same blocks
// around its own fixed fields.
TEST(VideoTags, FramelessStreamsAndHeadBlocks) {
  EXPECT_TRUE(SameBytes(FramelessVideoMedia(160, 120, 0), kFrameless0));
  EXPECT_TRUE(SameBytes(FramelessVideoMedia(160, 120, 12.0), kFrameless12));
  std::vector<uint8_t> other = kFrameless12;
  other[29] = 0x40, other[30] = 0x01, other[33] = 0x01, other[34] = 0x02;
  EXPECT_TRUE(SameBytes(FramelessVideoMedia(320, 513, 12.0), other));
  VideoMediaWriter none(4, 160, 120, -1, 0);
  none.addFrame(FrameBody(7, 0, {1}));
  const std::vector<uint8_t> media = none.finish();
  ASSERT_GE(media.size(), 80u);
  using V = std::vector<uint8_t>;
  EXPECT_TRUE(SameBytes(V(media.begin() + 4, media.begin() + 21), V(kFrameless0.begin() + 4, kFrameless0.begin() + 21)));
  EXPECT_TRUE(SameBytes(V(media.begin() + 21, media.begin() + 35), FromHex("00000000 01000000 A000 0000 7800")));
  EXPECT_TRUE(SameBytes(V(media.begin() + 35, media.begin() + 80), V(kFrameless0.begin() + 35, kFrameless0.begin() + 80)));
}

TEST(VideoTags, KeyBitSearch) {
  using P = std::array<uint8_t, 3>;
  struct Row {
    std::vector<P> probes;
    int offset;
  };
  const Row rows[] = {
      {{}, -1},
      {{{1, 2, 3}}, -1},
      {{{1, 2, 3}, {1, 2, 3}, {1, 2, 3}}, -1},     // identical probes
      {{{0x41, 2, 3}, {0x61, 2, 3}}, 8},            // byte 8 differs in bit 5 only
      {{{0x41, 2, 3}, {0x40, 0x22, 3}}, 9},         // byte 8 differs otherwise
      {{{0, 0, 0x20}, {1, 1, 0x20}, {1, 1, 0}}, 10},
      {{{0x20, 0, 0}, {0x00, 0x20, 0x20}}, 8},
  };
  for (const Row& r : rows) EXPECT_EQ(FindKeyBitOffset(r.probes), r.offset);
  // With a key bit known, a frame whose byte has it is kind 4, else kind 5.
  VideoMediaWriter w(2, 1, 1, 9, 12.0);
  w.addFrame(FrameBody(7, 0, {0, 0, 0, 0, 0, 0x20}));
  w.addFrame(FrameBody(7, 1, {0, 0, 0, 0, 0, 0x00}));
  w.addFrame(FrameBody(7, 2, {0}));
  const std::vector<uint8_t> media = w.finish();
  const size_t head = Head(2, 1, 1).size();
  EXPECT_EQ(media[head + 8], 4);
  EXPECT_EQ(media[head + 17 + 8], 5);
  EXPECT_EQ(media[head + 34 + 8], 5);
}

std::vector<uint8_t> StreamTag(uint16_t id, uint16_t frames, uint8_t codec) {
  return SwfBytes().u16(id).u16(frames).u16(32).u16(24).u8(0).u8(codec).data();
}

struct EngineMovie {
  ConverterContext ctx;
  RecordingShell shell;
  TempDir dir;
  std::map<std::string, std::vector<uint8_t>> streams;
  EngineMovie() { ctx.m_pShell = &shell; }
  uint32_t operator()(const SwfWriter& w) {
    WriteFileBytes(dir.file("in.swf"), w.build());
    const uint32_t r = ConvertMovie(ctx, dir.file("in.swf"), dir.file("out.fla"), 0);
    if (r == kResultDone) { EXPECT_TRUE(ReadCompoundFile(dir.file("out.fla"), streams)); }
    return r;
  }
};

// The stream's frames from the main timeline and from a sprite after it,
// in file order; frames of other streams and before the definition are not.
TEST(VideoTags, FramesAreCollectedInFileOrder) {
  SwfWriter sprite;
  sprite.tag(61, FrameBody(7, 1, {0x11})).tag(61, FrameBody(8, 0, {0x99})).showFrame();
  sprite.tag(61, FrameBody(7, 2, {0x22})).showFrame();
  SwfWriter w(8);
  w.tag(61, FrameBody(7, 5, {0x55}));
  w.tag(60, StreamTag(7, 4, 2)).tag(60, StreamTag(9, 0, 2));
  w.tag(61, FrameBody(7, 0, {0x00})).showFrame();
  w.tag(39, SwfBytes().u16(3).u16(2).bytes(sprite.end().tags()));
  w.tag(61, FrameBody(7, 3, {0x33})).showFrame().end();
  EngineMovie run;
  ASSERT_EQ(run(w), uint32_t(kResultDone));
  VideoMediaWriter expected(2, 32, 24, -1, 12.0);
  for (uint8_t f : {0, 1, 2, 3}) expected.addFrame(FrameBody(7, f, {uint8_t(f * 0x11)}));
  ASSERT_TRUE(run.streams.count("Media 1"));
  EXPECT_TRUE(SameBytes(run.streams["Media 1"], expected.finish()));
  // A stream without frames has the frameless video's stream.
  ASSERT_TRUE(run.streams.count("Media 2"));
  EXPECT_TRUE(SameBytes(run.streams["Media 2"], FramelessVideoMedia(32, 24, 12.0)));
  ASSERT_EQ(run.ctx.m_library.videos.size(), 2u);
  EXPECT_EQ(run.ctx.m_library.videos[0].itemNo, 7);
  EXPECT_EQ(run.ctx.m_library.videos[0].flag, 1);
  EXPECT_EQ(run.ctx.m_library.videos[1].flag, 0);
}

// Both media streams, byte for byte, in documents of levels 0 and 2: a
// codec-4 video with two frames and a video without frames (the frame rate
// of the movie, 12).
TEST(VideoTags, MediaStreamsAtBothLevels) {
  for (const uint8_t version : {6, 8}) {
    SCOPED_TRACE(int(version));
    SwfWriter w(version);
    w.tag(60, SwfBytes().u16(7).u16(2).u16(160).u16(120).u8(0).u8(4).data());
    w.tag(60, SwfBytes().u16(9).u16(0).u16(160).u16(120).u8(0).u8(2).data());
    w.tag(61, FrameBody(7, 0, {0xA1, 0xA2})).showFrame().tag(61, FrameBody(7, 1, {0xB1})).showFrame().end();
    EngineMovie run;
    ASSERT_EQ(run(w), uint32_t(kResultDone));
    EXPECT_EQ(run.ctx.m_nFlaFormat, version == 6 ? 0 : 2);
    EXPECT_TRUE(SameBytes(run.streams["Media 1"], Concat({Head(4, 160, 120), Entry(2, 5, 1, 2), Entry(1, 5, 0, 3),
                                                          Bytes({0xA2, 0xA1, 0xB1}), kTail4})));
    EXPECT_TRUE(SameBytes(run.streams["Media 2"], kFrameless12));
  }
}

// Character 0 would be item 0, which names nothing: a video of id 0 takes a
// number above every character id, and its instance names that; so does a
// shape of id 0 with its instances.
TEST(VideoTags, CharacterZeroGetsAnItemOfItsOwn) {
  SwfWriter w(8);
  w.tag(60, StreamTag(0, 1, 2)).tag(61, FrameBody(0, 0, {1, 2, 3}));
  w.tag(26, SwfBytes().u8(0x06).u16(1).u16(0).matrix(0, 0).data()).tag(2, SquareShape(5, 0, 100, 0xFF0000));
  w.tag(26, SwfBytes().u8(0x06).u16(2).u16(5).matrix(0, 0).data()).showFrame().end();
  EngineMovie run;
  ASSERT_EQ(run(w), uint32_t(kResultDone));
  ASSERT_EQ(run.ctx.m_library.videos.size(), 1u);
  const uint16_t item = run.ctx.m_library.videos[0].itemNo;
  EXPECT_GT(item, 5);
  // The video record ends with u32 1 and the item it names.
  const std::vector<uint8_t> named = Concat({FromHex("01000000"), Bytes({item & 0xFF, item >> 8})});
  const std::vector<uint8_t>& scene = run.streams["Page 1"];
  EXPECT_NE(std::search(scene.begin(), scene.end(), named.begin(), named.end()), scene.end());
  EXPECT_TRUE(DocumentShowsMovie(w.build(), run.streams));

  SwfWriter shape(8);
  shape.tag(2, SquareShape(0, 0, 100, 0xFF0000)).tag(2, SquareShape(5, 0, 100, 0x00FF00));
  shape.tag(26, SwfBytes().u8(0x06).u16(1).u16(0).matrix(0, 0).data()).tag(26, SwfBytes().u8(0x06).u16(2).u16(5).matrix(0, 0).data());
  shape.showFrame().end();
  EngineMovie shapes;
  ASSERT_EQ(shapes(shape), uint32_t(kResultDone));
  const std::vector<PageLayer> layers = ReadPageLayers(shapes.streams["Page 1"], WalkPage(shapes.streams["Page 1"]));
  std::vector<uint16_t> symbols;
  for (const PageLayer& l : layers)
    for (const PageKeyframe& k : l.keyframes)
      for (const PageInstance& in : k.instances) symbols.push_back(in.symbol);
  std::sort(symbols.begin(), symbols.end());
  ASSERT_EQ(symbols.size(), 2u);
  EXPECT_EQ(symbols[0], 5);
  EXPECT_GT(symbols[1], 5);
  EXPECT_TRUE(DocumentShowsMovie(shape.build(), shapes.streams));
}

// Streams just below and at the size that leaves the mini stream.
TEST(VideoTags, StreamsAroundTheMiniStreamCutoff) {
  for (const uint32_t size : {4095u, 4096u}) {
    const size_t data = size - Head(2, 32, 24).size() - 17 - kTail2.size();
    std::vector<uint8_t> bytes(data);
    for (size_t i = 0; i < data; ++i) bytes[i] = uint8_t(i * 13);
    SwfWriter w(8);
    w.tag(60, StreamTag(7, 1, 2)).tag(61, FrameBody(7, 0, bytes)).showFrame().end();
    EngineMovie run;
    ASSERT_EQ(run(w), uint32_t(kResultDone));
    VideoMediaWriter expected(2, 32, 24, -1, 12.0);
    expected.addFrame(FrameBody(7, 0, bytes));
    ASSERT_EQ(run.streams["Media 1"].size(), size);
    EXPECT_TRUE(SameBytes(run.streams["Media 1"], expected.finish()));
  }
}

// Hostile frames through the program: numbers jumping back and forth, and
// bodies of 0 to 10 bytes; the document stays small and whole.
TEST(VideoTags, HostileFramesThroughTheProgram) {
  SwfWriter jumps(8);
  jumps.tag(60, StreamTag(7, 100, 4));
  for (int i = 0; i < 400; ++i) jumps.tag(61, FrameBody(7, i % 2 ? 0 : 65535, {1, 2, 3})).showFrame();
  SwfWriter shortBodies(8);
  shortBodies.tag(60, StreamTag(7, 20, 5));
  for (uint8_t n = 0; n <= 10; ++n) {
    std::vector<uint8_t> body = FrameBody(7, n, std::vector<uint8_t>(12, 0x20));
    body.resize(n);
    shortBodies.tag(61, body).showFrame();
  }
  shortBodies.tag(60, {7, 0, 1});
  for (SwfWriter* w : {&jumps, &shortBodies}) {
    TempDir dir;
    WriteFileBytes(dir.file("in.swf"), w->end().build());
    ExpectSameBytesWhereverWorkFilesLive({dir.file("in.swf")});
    ProgramRun run = RunProgram({"-q", dir.file("in.swf"), "-o", dir.file("out.fla")}, dir.path().string());
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_LT(std::filesystem::file_size(dir.file("out.fla")), 4u << 20);
    EXPECT_TRUE(ExpectReadableDocument(dir.file("out.fla")).count("Media 1"));
  }
}

// Sprites too short to hold their id and frame count (an empty tag among
// them) hold no tags: the walk goes on after each, and the frames after them
// still reach the media stream.
TEST(VideoTags, ShortSpritesBetweenDefinitionAndFrames) {
  for (const std::vector<uint8_t>& sprite : {std::vector<uint8_t>{}, std::vector<uint8_t>{9, 0},
                                             std::vector<uint8_t>{9, 0, 1, 0}}) {
    SCOPED_TRACE(sprite.size());
    SwfWriter w(8);
    w.tag(60, StreamTag(7, 2, 2)).tag(39, sprite).tag(61, FrameBody(7, 0, {0x10, 0x20}));
    w.showFrame().tag(61, FrameBody(7, 1, {0x30})).showFrame().end();
    TempDir dir;
    WriteFileBytes(dir.file("in.swf"), w.build());
    ProgramRun run = RunProgram({"-q", dir.file("in.swf"), "-o", dir.file("out.fla")}, dir.path().string());
    ASSERT_EQ(run.status, 0) << run.output;
    std::map<std::string, std::vector<uint8_t>> streams;
    ASSERT_TRUE(ReadCompoundFile(dir.file("out.fla"), streams));
    VideoMediaWriter expected(2, 32, 24, -1, 12.0);
    expected.addFrame(FrameBody(7, 0, {0x10, 0x20}));
    expected.addFrame(FrameBody(7, 1, {0x30}));
    EXPECT_TRUE(SameBytes(streams["Media 1"], expected.finish()));
  }
}

// A tag running past the movie's end inside a sprite after the stream's
// definition ends the conversion with the video pass's result.
TEST(VideoTags, TagPastTheEndEndsTheConversion) {
  SwfWriter w(8);
  w.tag(60, StreamTag(7, 2, 2)).showFrame();
  w.tag(39, SwfBytes().u16(3).u16(1).u16(61 << 6 | 0x3F).u32(1000).u16(7).u16(0).data());
  EngineMovie run;
  WriteFileBytes(run.dir.file("in.swf"), w.build());
  ExpectSameBytesWhereverWorkFilesLive({run.dir.file("in.swf")});
  EXPECT_EQ(ConvertMovie(run.ctx, run.dir.file("in.swf"), run.dir.file("out.fla"), 0), uint32_t(kResultVideoPastEnd));
  EXPECT_FALSE(std::filesystem::exists(run.dir.file("out.fla")));
}

// Streams defined twice: the player keeps the first definition of an id, so
// the later one is left out and the frames go to the first stream's media
// once; the placement shows the first stream's video.
TEST(VideoTags, AStreamOfAnIdDefinedBeforeIsLeftOut) {
  SwfWriter w(8);
  w.tag(60, StreamTag(7, 3, 2)).tag(60, SwfBytes().u16(7).u16(9).u16(64).u16(48).u8(0).u8(4).data());
  w.tag(60, StreamTag(8, 1, 2));
  for (uint16_t f = 0; f < 3; ++f) w.tag(61, FrameBody(7, f, {uint8_t(0x10 + f)}));
  w.tag(26, SwfBytes().u8(0x06).u16(1).u16(7).matrix(0, 0).data()).showFrame().end();
  EngineMovie run;
  ASSERT_EQ(run(w), uint32_t(kResultDone));
  ASSERT_EQ(run.ctx.m_library.videos.size(), 2u);
  EXPECT_EQ(run.ctx.m_library.videos[0].itemNo, 7);
  EXPECT_EQ(run.ctx.m_library.videos[1].itemNo, 8);
  VideoMediaWriter expected(2, 32, 24, -1, 12.0);
  for (uint8_t f = 0; f < 3; ++f) expected.addFrame(FrameBody(7, f, {uint8_t(0x10 + f)}));
  EXPECT_TRUE(SameBytes(run.streams["Media 1"], expected.finish()));
  EXPECT_TRUE(SameBytes(run.streams["Media 2"], FramelessVideoMedia(32, 24, 12.0)));
  EXPECT_FALSE(run.streams.count("Media 3"));
  EXPECT_TRUE(DocumentShowsMovie(w.build(), run.streams));
}

// Sprites whose last byte is stray: the frame search reads a tag of 15
// bytes from it, which swallows the stream after the sprite and the
// ShowFrame after that, so no stream's end is a tag the search met. Each
// stream walks only until it meets the search before it, and every tag is
// walked about once (each walked tag lets the shell pump its messages),
// however many streams there are; the streams' media are as before.
TEST(VideoTags, EachStreamWalksOnlyUntilItMeetsTheSearchBefore) {
  const uint16_t streams = 60, tail = 3000;
  SwfWriter w(8);
  for (uint16_t k = 1; k <= streams; ++k) {
    w.tag(39, SwfBytes().u16(uint16_t(1000 + k)).u16(1).u16(0).u8(0x0D).data());
    w.tag(60, StreamTag(k, 2, 2)).showFrame();
  }
  w.tag(61, FrameBody(1, 0, {0x11})).tag(61, FrameBody(streams, 1, {0x22}));
  for (uint16_t f = 0; f < tail; ++f) w.showFrame();
  EngineMovie run;
  ASSERT_EQ(run(w.end()), uint32_t(kResultDone));
  const int tags = streams * 3 + 2 + tail;
  EXPECT_LT(run.shell.pumps, 10 * tags);
  VideoMediaWriter first(2, 32, 24, -1, 12.0), last(2, 32, 24, -1, 12.0);
  first.addFrame(FrameBody(1, 0, {0x11}));
  last.addFrame(FrameBody(streams, 1, {0x22}));
  EXPECT_TRUE(SameBytes(run.streams["Media 1"], first.finish()));
  EXPECT_TRUE(SameBytes(run.streams["Media " + std::to_string(streams)], last.finish()));
  EXPECT_TRUE(SameBytes(run.streams["Media 2"], FramelessVideoMedia(32, 24, 12.0)));
}

}  // namespace
}  // namespace tovrani
