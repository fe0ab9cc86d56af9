// The sound tags through the engine: media streams and library records of
// each route, the event-sound and stream-sound layers byte by byte, item
// numbers, and sounds that cannot be read.
#include "convert/sound_tags.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>

#include "fla/archive.h"
#include "fla/keyframe_records.h"
#include "fla/layer_records.h"
#include "fla/sound_records.h"
#include "fla/stream_placement.h"
#include "fla/work_files.h"
#include "media/mpeg_test_frames.h"
#include "support/independent_readers.h"
#include "support/recording_shell.h"
#include "support/swf_writer.h"
#include "support/temp_dir.h"
#include "convert/converter_context.h"
#include "convert/engine.h"

namespace tovrani {
namespace {

using Bytes = std::vector<uint8_t>;
using test::SwfBytes;
using test::SwfWriter;

// Converts a movie into a document and keeps the sound layers as the finish
// finds them, with every stream of the document.
struct SoundRun {
  test::TempDir dir;
  ConverterContext ctx;
  test::RecordingShell shell;
  Bytes eventLayer, streamLayer;
  bool eventsSeen = false, streamSeen = false;
  std::vector<DocumentLibrary::Sound> sounds;
  std::map<std::string, Bytes> streams;
  uint32_t result = 0;

  explicit SoundRun(const Bytes& movie, const std::function<void(ConverterContext&)>& setUp = {}) {
    ctx.m_pShell = &shell;
    if (setUp) setUp(ctx);
    EngineServices services = DefaultEngineServices();
    auto finish = services.finish;
    services.finish = [&, finish](ConverterContext& c) {
      for (auto [file, bytes] : {std::pair{c.m_sceneSounds.eventFile, &eventLayer}, {c.m_sceneSounds.streamFile, &streamLayer}})
        if (file) *bytes = test::WorkFiles::Contents(file);
      eventsSeen = c.m_sceneSounds.eventsSeen;
      streamSeen = c.m_sceneSounds.streamSeen;
      sounds = c.m_library.sounds;
      return finish(c);
    };
    test::WriteFileBytes(dir.file("in.swf"), movie);
    result = ConvertMovie(ctx, dir.file("in.swf"), dir.file("out.fla"), 0, services);
    if (result == 0) {
      EXPECT_TRUE(test::ReadCompoundFile(dir.file("out.fla"), streams));
    }
  }
  const Bytes& media(uint16_t n) { return streams["Media " + std::to_string(n)]; }
};

Bytes DefineSound(uint16_t id, uint8_t format, uint32_t samples, const Bytes& data) {
  SwfBytes b;
  b.u16(id).u8(format).u32(samples).bytes(data);
  return b.data();
}

Bytes StartSound(uint16_t id, uint8_t flags = 0, const Bytes& rest = {}) {
  SwfBytes b;
  b.u16(id).u8(flags).bytes(rest);
  return b.data();
}

// 16-bit mono PCM at 44 kHz: a ramp of n samples.
Bytes PcmSamples(size_t n) {
  Bytes b;
  for (size_t i = 0; i < n; ++i) {
    b.push_back(uint8_t(i * 7));
    b.push_back(uint8_t(i));
  }
  return b;
}

// What the decoders make of PcmSamples: each sample on both channels.
Bytes PcmAsStereo(const Bytes& mono) {
  Bytes out;
  for (size_t i = 0; i + 1 < mono.size(); i += 2)
    for (int c = 0; c < 2; ++c) out.insert(out.end(), {mono[i], mono[i + 1]});
  return out;
}

// ---- the event-sound layer, byte by byte ----

struct Keyframe {
  uint16_t duration;
  int soundId;  // -1: an empty keyframe
  uint8_t envelopePoints = 0;
  uint16_t loops = 0;
  uint32_t sync = 0;
};

Bytes Envelope(uint8_t points) {
  Bytes e;
  for (uint32_t i = 0; i < points * 8u; ++i) e.push_back(uint8_t(i * 13));
  return e;
}

// A sound layer as the frames should give it: the layers in front, the
// lead, the keyframes joined by 05 80, the tail and the layer end.
Bytes ExpectedLayer(uint8_t level, const char* name, uint16_t end, const std::vector<Keyframe>& frames,
                    const std::vector<Bytes>& inFront = {}) {
  const bool next = IsNewFlaFormat(level);
  std::FILE* f = std::tmpfile();
  for (auto it = inFront.rbegin(); it != inFront.rend(); ++it) std::fwrite(it->data(), 1, it->size(), f);
  const uint8_t lead[] = {0x01, 0x03, 0x80, FlaVersionByte(level), 0x00, 0x05, 0x80};
  std::fwrite(lead, 1, sizeof lead, f);
  for (size_t i = 0; i < frames.size(); ++i) {
    const Keyframe& k = frames[i];
    if (i) std::fwrite("\x05\x80", 1, 2, f);
    long pos = next ? WriteFrameHeadNew(f) : WriteFrameHeadOld(f);
    if (k.soundId >= 0) {
      SwfBytes block;
      block.u16(uint32_t(k.soundId));
      if (k.envelopePoints)
        block.u16(k.envelopePoints).bytes(Envelope(k.envelopePoints));
      else
        block.u32(1).u32(0x80000000u).u16(0x8000);
      block.u16(k.loops).u32(k.sync).u8(0);
      std::fwrite(block.data().data(), 1, block.size(), f);
      next ? FinishLastFrameNew(f) : FinishLastFrameOld(f);
    } else {
      next ? WriteLastFrameTailNew(f) : WriteLastFrameTailOld(f);
    }
    long after = std::ftell(f);
    std::fseek(f, pos, SEEK_SET);
    std::fwrite(&k.duration, 1, 2, f);  // little-endian host
    std::fseek(f, after, SEEK_SET);
  }
  next ? WriteLayerTailNew(f, name, true, false, false, 0, 0)
       : WriteLayerTailOld(f, name, true, false, false, 0, 0);
  next ? WriteLayerEndNew(f, end) : WriteLayerEndOld(f, end);
  Bytes out = test::WorkFiles::Contents(f);
  std::fclose(f);
  return out;
}

// The event layer of a movie without stream sound.
Bytes ExpectedEventLayer(uint8_t level, const std::vector<Keyframe>& frames,
                         const std::vector<Bytes>& inFront = {}) {
  return ExpectedLayer(level, "EventSound", 4, frames, inFront);
}

// The stream layer: an empty keyframe for the frames before the stream
// (when any), then the stream's keyframe (loop 1, sync 3).
Bytes ExpectedStreamLayer(uint8_t level, uint16_t before, uint16_t frames, uint16_t itemNo) {
  std::vector<Keyframe> k;
  if (before) k.push_back({before, -1});
  k.push_back({frames, itemNo, 0, 1, 3});
  return ExpectedLayer(level, "StreamSound", 2, k);
}

TEST(EventSoundLayer, KeyframesFollowTheFramesThatStartSounds) {
  struct Case {
    const char* what;
    int frames;
    std::vector<std::pair<int, uint16_t>> starts;  // frame (from 0), sound id
    std::vector<Keyframe> expected;
    uint8_t envelopePoints = 0;
  };
  const std::vector<Case> cases = {
      {"frame 1 only", 1, {{0, 5}}, {{1, 5}}},
      {"frames 1 and 3 of 5", 5, {{0, 5}, {2, 5}}, {{1, 5}, {1, -1}, {1, 5}, {2, -1}}},
      {"first in frame 5 of 6", 6, {{4, 5}}, {{4, -1}, {1, 5}, {1, -1}}},
      {"frames 2 and 3 of 3", 3, {{1, 5}, {2, 5}}, {{1, -1}, {1, 5}, {1, 5}}},
      {"an envelope of 200 points", 2, {{0, 5}}, {{1, 5, 200}, {1, -1}}, 200},
      // Started after the last frame shown: taken back.
      {"after the last frame", 2, {{0, 5}, {2, 5}}, {{1, 5}, {1, -1}}},
      {"only after the last frame", 2, {{2, 5}}, {{2, -1}}},
  };
  for (uint8_t version : {6, 8}) {
    const uint8_t level = version < 7 ? 0 : 2;
    for (const Case& c : cases) {
      SwfWriter w(version);
      w.tag(14, DefineSound(5, 0x3E, 4, PcmSamples(4)));
      for (int frame = 0; frame <= c.frames; ++frame) {
        for (const auto& [at, id] : c.starts)
          if (at == frame)
            w.tag(15, c.envelopePoints
                          ? StartSound(id, 8, SwfBytes().u8(c.envelopePoints).bytes(Envelope(c.envelopePoints)))
                          : StartSound(id));
        if (frame < c.frames) w.showFrame();
      }
      SoundRun run(w.end().build());
      ASSERT_EQ(run.result, 0u) << c.what;
      EXPECT_EQ(run.eventLayer, ExpectedEventLayer(level, c.expected)) << c.what << " v" << int(version);
      uint32_t length = 0;
      for (const Keyframe& k : c.expected) length += k.duration;
      EXPECT_EQ(length, uint32_t(c.frames)) << c.what;
    }
  }
}

TEST(EventSoundLayer, FurtherStartSoundsOfAFrameGetLayersInFront) {
  for (uint8_t version : {6, 8}) {
    const uint8_t level = version < 7 ? 0 : 2;
    // Three in the first frame, two in the third.
    SwfWriter w(version);
    w.tag(14, DefineSound(5, 0x3E, 4, PcmSamples(4))).tag(14, DefineSound(6, 0x3E, 4, PcmSamples(4)));
    w.tag(15, StartSound(5)).tag(15, StartSound(6)).tag(15, StartSound(5, 0x0C, SwfBytes().u16(3).u8(1).bytes(Envelope(1))));
    w.showFrame().showFrame();
    w.tag(15, StartSound(6)).tag(15, StartSound(5)).showFrame().end();
    SoundRun run(w.build());
    ASSERT_EQ(run.result, 0u);
    SoundEnvelope none, one{true, 1, {}};
    const Bytes env = Envelope(1);
    one.points = env;
    // Each further layer went in front of everything before it.
    const std::vector<Bytes> inFront = {StartSoundLayerRecord(level, 0, 6, none),
                                        StartSoundLayerRecord(level, 0, 5, one),
                                        StartSoundLayerRecord(level, 2, 5, none)};
    const std::vector<Keyframe> frames = {{1, 5}, {1, -1}, {1, 6}};
    EXPECT_EQ(run.eventLayer, ExpectedEventLayer(level, frames, inFront)) << int(version);
  }
}

TEST(EventSoundLayer, ALayerRecordHasTheTemplatesOffsetsAndLengths) {
  struct Case {
    uint8_t level;
    uint16_t frame;
    size_t length, idAt;
    int frameAt;
  };
  const Case cases[] = {{0, 0, 185, 65, -1}, {2, 0, 220, 67, -1}, {1, 7, 312, 192, 59}, {2, 7, 367, 214, 61}};
  const Bytes env = Envelope(200);
  for (const Case& c : cases) {
    const Bytes r = StartSoundLayerRecord(c.level, c.frame, 0x1234, SoundEnvelope{});
    ASSERT_EQ(r.size(), c.length) << int(c.level) << ' ' << c.frame;
    EXPECT_EQ(r[c.idAt] | (r[c.idAt + 1] << 8), 0x1234);
    if (c.frameAt >= 0) {
      EXPECT_EQ(r[size_t(c.frameAt)] | (r[size_t(c.frameAt) + 1] << 8), 7);
    }
    EXPECT_EQ(StartSoundLayerRecord(c.level, c.frame, 1, SoundEnvelope{true, 200, env}).size(),
              c.length + 8 * 200 - 8);
  }
}

TEST(EventSoundLayer, SoundsWithoutLibraryItemAndBadFieldsWriteNothing) {
  SwfWriter w(8);
  w.tag(14, DefineSound(5, 0x3E, 4, PcmSamples(4)));
  w.tag(15, StartSound(9));                                     // no such sound
  w.tag(15, StartSound(5, 0x08, SwfBytes().u8(255).u32(0).u32(0).u16(0)));  // 255 points in 10 bytes
  w.showFrame().end();
  SoundRun run(w.build());
  ASSERT_EQ(run.result, 0u);
  EXPECT_FALSE(run.eventsSeen);
  ASSERT_EQ(run.shell.messages.size(), 1u);
  EXPECT_NE(run.shell.messages[0].find("StartSound 5"), std::string::npos);
}

// ---- defined sounds ----

TEST(DefineSound, EachRouteGivesItsStreamAndRecord) {
  const Bytes mp3 = test::SilentMp3Frames(test::MpegVersion::k2, 8, 0, true, 64);
  Bytes seekAndMp3 = {0, 0};
  seekAndMp3.insert(seekAndMp3.end(), mp3.begin(), mp3.end());
  const Bytes pcm = PcmSamples(3000);
  Bytes pcm8 = {0x80, 0xFF, 0x00};
  // ADPCM, 2-bit codes, mono: a packet head (sample 0x0100, index 0) and
  // the code 00 (up by 7 >> 1 = 3).
  const Bytes adpcm = {0x00, 0x40, 0x00, 0x10};
  SwfWriter w(8);
  w.tag(14, DefineSound(1, 0x2A, 36864, seekAndMp3));  // MP3 22 kHz 16-bit mono
  w.tag(14, DefineSound(2, 0x3E, 3000, pcm));           // PCM little-endian 44 kHz
  w.tag(14, DefineSound(3, 0x08, 3, pcm8));             // PCM 8-bit 22 kHz
  w.tag(14, DefineSound(4, 0x1E, 2, adpcm));            // ADPCM 44 kHz
  w.tag(14, DefineSound(5, 0x5E, 2, pcm));              // a format no route takes
  w.showFrame().end();
  SoundRun run(w.build());
  ASSERT_EQ(run.result, 0u);
  ASSERT_EQ(run.sounds.size(), 4u);

  Bytes mp3Stream = mp3;
  mp3Stream.push_back(1);
  mp3Stream.insert(mp3Stream.end(), 9216, 0x80);
  EXPECT_EQ(run.media(1), mp3Stream);
  const auto& s = run.sounds[0];
  EXPECT_EQ(std::tuple(s.itemNo, s.format, s.sampleCount), std::tuple(1, 0x2A, mp3Stream.size()));
  ASSERT_TRUE(s.mp3Data);
  SwfBytes rec;
  rec.u8(0x2A).u8(0).u32(36864).u8(1).u8(0).u8(7).u8(0).u32(uint32_t(mp3.size())).u8(1).u8(0).u8(0).u32(9216);
  EXPECT_EQ(Bytes(s.mp3Data->begin(), s.mp3Data->end()), rec.data());

  EXPECT_EQ(run.media(2), PcmAsStereo(pcm));
  Bytes twice;
  for (uint8_t v : {0x80, 0xFF, 0x00})
    for (int i = 0; i < 4; ++i) twice.insert(twice.end(), {0, uint8_t(int(v) - 128)});
  EXPECT_EQ(run.media(3), twice);
  EXPECT_EQ(run.media(4), (Bytes{0x00, 0x01, 0x00, 0x01, 0x03, 0x01, 0x03, 0x01}));
  for (size_t i = 1; i < 4; ++i) {
    const auto& t = run.sounds[i];
    EXPECT_EQ(std::tuple(t.format, t.itemNo, t.mediaNo, t.mp3Data.has_value(), t.sampleCount),
              std::tuple(0x0F, i + 1, i + 1, false, run.media(uint16_t(i + 1)).size()));
  }
  // PCM of 3000 samples is 12,000 bytes: regular sectors; the others mini.
  const auto& big = run.ctx.m_pBigStreamList;
  EXPECT_EQ(std::tuple(big.at(0), big.at(1), big.at(2)), std::tuple(kSoundStreamTag, kSoundStreamTag + 1, 0u));
  EXPECT_TRUE(run.shell.messages.empty());
}

// ---- the stream sound ----

Bytes StreamHead(uint8_t format, uint16_t samplesPerBlock) {
  return SwfBytes().u8(format).u8(format).u16(samplesPerBlock).data();
}

TEST(StreamSound, BlocksUpToTheFirstFrameWithoutOneBecomeTheStream) {
  for (uint8_t version : {6, 8}) {
    const uint8_t level = version < 7 ? 0 : 2;
    // Shapes use ids 1 to 3; the head comes in frame 2, blocks in frames
    // 3 and 4, none in 5, one more in 6 (a stretch of its own).
    SwfWriter w(version);
    for (uint16_t id = 1; id <= 3; ++id)
      w.tag(2, SwfBytes().u16(id).rect(0, 20, 0, 20).u8(0).u8(0).u8(0x00).data());
    w.showFrame().tag(18, StreamHead(0x0E, 100)).showFrame();
    const Bytes a = PcmSamples(100), b = PcmSamples(50);
    w.tag(19, a).showFrame().tag(19, b).showFrame().showFrame().tag(19, a).showFrame().end();
    SoundRun run(w.build());
    ASSERT_EQ(run.result, 0u);
    ASSERT_EQ(run.sounds.size(), 2u);
    EXPECT_GT(run.sounds[0].itemNo, 3) << "an item number no character uses";
    EXPECT_EQ(run.sounds[0].format, 0x0F);
    Bytes both = PcmAsStereo(a), tail = PcmAsStereo(b);
    both.insert(both.end(), tail.begin(), tail.end());
    EXPECT_EQ(run.media(1), both);
    EXPECT_EQ(run.media(2), PcmAsStereo(a));
    EXPECT_EQ(run.streamLayer, ExpectedLayer(level, "StreamSound", 2,
                                             {{2, -1}, {2, run.sounds[0].itemNo, 0, 1, 3}, {1, -1},
                                              {1, run.sounds[1].itemNo, 0, 1, 3}}))
        << int(version);
  }
}

// Blocks in frames 1-3, none in 4-6, blocks again in 7-9: the second
// stretch is a sound of its own, after an empty keyframe for the gap, and
// the layer's frames add up to the timeline's. An all-zero block after the
// stream (silence) starts nothing.
TEST(StreamSound, BlocksAfterAGapStartANewStretch) {
  for (uint8_t version : {6, 7, 8}) {
    SCOPED_TRACE(int(version));
    const uint8_t level = version < 7 ? 0 : version == 7 ? 1 : 2;
    const Bytes a = PcmSamples(20), b = PcmSamples(30);
    auto movie = [&](const Bytes& seventh) {
      SwfWriter w(version);
      w.tag(18, StreamHead(0x0E, 20));
      for (int frame = 1; frame <= 9; ++frame) {
        if (frame <= 3) w.tag(19, a);
        if (frame == 7) w.tag(19, seventh);
        if (frame >= 8) w.tag(19, b);
        w.showFrame();
      }
      return w.end().build();
    };
    SoundRun run(movie(a));
    ASSERT_EQ(run.result, 0u);
    ASSERT_EQ(run.sounds.size(), 2u);
    Bytes second = PcmAsStereo(a), tail = PcmAsStereo(b);
    for (int i = 0; i < 2; ++i) second.insert(second.end(), tail.begin(), tail.end());
    EXPECT_EQ(run.media(2), second);
    EXPECT_EQ(run.streamLayer, ExpectedLayer(level, "StreamSound", 2,
                                             {{3, run.sounds[0].itemNo, 0, 1, 3}, {3, -1},
                                              {3, run.sounds[1].itemNo, 0, 1, 3}}));
    // Silence in frame 7 and nothing after it.
    SwfWriter quiet(version);
    quiet.tag(18, StreamHead(0x0E, 20));
    for (int frame = 1; frame <= 9; ++frame) {
      if (frame <= 3) quiet.tag(19, a);
      if (frame == 7) quiet.tag(19, Bytes(40, 0));
      quiet.showFrame();
    }
    SoundRun silent(quiet.end().build());
    ASSERT_EQ(silent.result, 0u);
    ASSERT_EQ(silent.sounds.size(), 1u);
    EXPECT_EQ(silent.streamLayer, ExpectedStreamLayer(level, 0, 3, silent.sounds[0].itemNo));
  }
}

TEST(StreamSound, EachRouteGivesItsStreamAndPlacement) {
  struct Case {
    const char* what;
    uint8_t format;
    Bytes block;
    size_t mediaBytes;  // of the two blocks
    uint8_t recorded;
  };
  const Bytes frames = test::SilentMp3Frames(test::MpegVersion::k1, 9, 0, false, 2);
  Bytes mp3 = {0x80, 0x04, 0, 0};
  mp3.insert(mp3.end(), frames.begin(), frames.end());
  const Case cases[] = {
      // 1,024 mono 16-bit samples a block: 4,096 bytes of stereo.
      {"PCM, regular sectors", 0x0E, PcmSamples(1024), 2 * 4096, 0x0F},
      {"PCM, mini stream", 0x0E, PcmSamples(511), 2 * 2044, 0x0F},
      // A head and one code a block, at 44 kHz.
      {"ADPCM", 0x1E, {0x00, 0x40, 0x00, 0x10, 0x00, 0x00}, 2 * 8, 0x0F},
      // 4 frames of 1,152 stereo samples: 576 points of 2 bytes.
      {"MP3", 0x2F, mp3, 2 * frames.size() + 1 + 576 * 2, 0x2F},
  };
  for (const Case& c : cases) {
    SwfWriter w(8);
    w.tag(18, StreamHead(c.format, 2)).tag(19, c.block).showFrame().tag(19, c.block).showFrame().end();
    SoundRun run(w.build());
    ASSERT_EQ(run.result, 0u) << c.what;
    ASSERT_EQ(run.sounds.size(), 1u) << c.what;
    EXPECT_EQ(run.sounds[0].format, c.recorded) << c.what;
    EXPECT_EQ(run.sounds[0].mp3Data.has_value(), c.recorded != 0x0F) << c.what;
    EXPECT_EQ(run.media(1).size(), c.mediaBytes) << c.what;
    EXPECT_EQ(run.ctx.m_pBigStreamList.at(0), c.mediaBytes >= 4096 ? kSoundStreamTag : 0u) << c.what;
    EXPECT_EQ(run.streamLayer, ExpectedStreamLayer(2, 0, 2, run.sounds[0].itemNo)) << c.what;
  }
}

// The stream's scan is a sub-task over the bytes from the head to the
// movie's end, stepped at each block; an MP3 sound's peaks are one more over
// the decoded sound, stepped at each piece.
TEST(StreamSound, SubProgressFollowsTheScanAndThePeaks) {
  const Bytes frames = test::SilentMp3Frames(test::MpegVersion::k1, 9, 0, false, 2);
  Bytes mp3 = {0x80, 0x04, 0, 0};
  mp3.insert(mp3.end(), frames.begin(), frames.end());
  for (bool isMp3 : {false, true}) {
    SCOPED_TRACE(isMp3);
    const Bytes block = isMp3 ? mp3 : PcmSamples(8);
    SwfWriter w(8);
    w.tag(18, StreamHead(isMp3 ? 0x2F : 0x0E, isMp3 ? 2 : 8)).tag(19, block).showFrame().tag(19, block);
    w.showFrame().end();
    const Bytes movie = w.build();
    SoundRun run(movie);
    ASSERT_EQ(run.result, 0u);
    const size_t headEnd = movie.size() - w.tags().size() + 2 + 4;
    const size_t blockTag = SwfWriter::TagBytes(19, block).size();
    std::vector<std::string> expected = {"sub 0 " + std::to_string(movie.size() - headEnd),
                                         "bytes " + std::to_string(blockTag),
                                         "bytes " + std::to_string(2 * blockTag + 2)};
    // From the scan's sub-task on (the engine's own come before it).
    const auto& all = run.shell.subProgress;
    const std::vector<std::string> got(std::find(all.begin(), all.end(), expected[0]), all.end());
    ASSERT_GE(got.size(), expected.size()) << ::testing::PrintToString(all);
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + 3), expected);
    if (!isMp3) {
      EXPECT_EQ(got.size(), 3u);
      continue;
    }
    // 4 frames of 1,152 stereo samples at 44.1 kHz, 4 bytes each.
    ASSERT_GE(got.size(), 5u);
    EXPECT_EQ(got[3], "sub 0 " + std::to_string(4 * 1152 * 4));
    uint32_t last = 0;
    for (size_t i = 4; i < got.size(); ++i) {
      ASSERT_TRUE(got[i].starts_with("bytes ")) << got[i];
      const uint32_t at = uint32_t(std::stoul(got[i].substr(6)));
      EXPECT_GT(at, last);
      last = at;
    }
    EXPECT_LE(last, 4u * 1152 * 4);
  }
}

TEST(StreamSound, WithoutTheMainTimelineTheStreamIsALibraryItemOnly) {
  SwfWriter w(8);
  w.tag(18, StreamHead(0x0E, 4)).tag(19, PcmSamples(4)).showFrame().tag(19, PcmSamples(4)).showFrame();
  w.tag(18, StreamHead(0x0E, 4)).tag(19, PcmSamples(4)).showFrame().end();
  SoundRun run(w.build(), [](ConverterContext& c) { c.options.mainTimeline = 0; });
  ASSERT_EQ(run.result, 0u);
  EXPECT_TRUE(run.shell.messages.empty());
  EXPECT_EQ(run.sounds.size(), 1u);
  EXPECT_FALSE(run.streamSeen);
}

TEST(StreamSound, AStreamThatCannotBeReadWritesNoKeyframe) {
  SwfWriter w(8);
  w.tag(18, StreamHead(0x2E, 576)).tag(19, Bytes(200, 0xFF)).showFrame().tag(19, Bytes(200, 0xFF));
  w.showFrame().end();
  SoundRun run(w.build());
  ASSERT_EQ(run.result, 0u);
  EXPECT_TRUE(run.sounds.empty());
  EXPECT_FALSE(run.streamSeen);
  EXPECT_EQ(run.shell.messages.size(), 1u);
}

TEST(StreamSound, AHeadWithoutBlocksWritesNothingAndTheMovieGoesOn) {
  SwfWriter w(8);
  w.tag(18, StreamHead(0x2E, 1152)).showFrame().tag(45, StreamHead(0x2E, 1152));
  w.tag(14, DefineSound(4, 0x3E, 2, PcmSamples(2))).tag(15, StartSound(4)).showFrame().end();
  SoundRun run(w.build());
  ASSERT_EQ(run.result, 0u);
  EXPECT_FALSE(run.streamSeen);
  ASSERT_EQ(run.sounds.size(), 1u);
  EXPECT_EQ(run.sounds[0].itemNo, 4);
  EXPECT_TRUE(run.eventsSeen);
}

TEST(StreamSound, ATagRunningPastTheEndAfterTheHeadGivesResult24) {
  // A sprite-like body: the blocks, then a tag claiming 256 bytes.
  Bytes body = SwfWriter::TagBytes(19, PcmSamples(2));
  const Bytes shown = SwfWriter::TagBytes(1, {});
  body.insert(body.end(), shown.begin(), shown.end());
  body.insert(body.end(), {0xFF, 0x04, 0x00, 0x01, 0x00, 0x00});
  ConverterContext ctx;
  SoundLayerState layers;
  BodyTagSource source(body, 0);
  EXPECT_EQ(HandleSoundStreamHead(ctx, layers, StreamHead(0x0E, 2), source),
            uint32_t(kResultSoundStreamPastEnd));
  EXPECT_EQ(source.pos(), 0u);
  EXPECT_FALSE(layers.streamSeen);
}

}  // namespace
}  // namespace tovrani
