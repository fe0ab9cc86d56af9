// Sounds through the program: movies with event and stream sounds become
// documents that the independent readers, the page walker, node and the
// walk of the authoring tool's Contents layout accept; bad sounds are
// reported and skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "app/program_runner.h"
#include "media/mpeg_test_frames.h"
#include "support/document_frames.h"
#include "support/independent_readers.h"
#include "support/page_walker.h"
#include "support/swf_writer.h"
#include "support/work_budget.h"

namespace tovrani {
namespace {

using Bytes = std::vector<uint8_t>;
using test::SwfBytes;
using test::SwfWriter;

Bytes DefineSound(uint16_t id, uint8_t format, uint32_t samples, const Bytes& data) {
  return SwfBytes().u16(id).u8(format).u32(samples).bytes(data).data();
}

Bytes Mp3Sound() {
  Bytes b = {0, 0};
  const Bytes frames = test::SilentMp3Frames(test::MpegVersion::k2, 8, 0, true, 16);
  b.insert(b.end(), frames.begin(), frames.end());
  return b;
}

// Converts `movie` with the program; the streams of the document.
struct Converted {
  test::TempDir dir;
  test::ProgramRun run;
  std::map<std::string, Bytes> streams;

  explicit Converted(const Bytes& movie, std::vector<std::string> options = {}) {
    test::WriteFileBytes(dir.file("in.swf"), movie);
    test::ExpectSameBytesWhereverWorkFilesLive({dir.file("in.swf")});
    options.insert(options.end(), {"-q", dir.file("in.swf"), "-o", dir.file("out.fla")});
    run = test::RunProgram(options, dir.file("config"));
    if (run.status == 0) {
      streams = test::ExpectReadableDocument(dir.file("out.fla"));
    }
  }
  size_t messages() const {
    size_t n = 0;
    for (size_t at = 0; (at = run.output.find("BRASKELON Tovrani Sound", at)) != std::string::npos; ++at) ++n;
    return n;
  }
};

// A layer name as the page holds it at the level.
Bytes Name(const std::string& s, bool wide) {
  Bytes b;
  for (char c : s) {
    b.push_back(uint8_t(c));
    if (wide) b.push_back(0);
  }
  return b;
}

size_t Find(const Bytes& hay, const Bytes& needle) {
  auto it = std::search(hay.begin(), hay.end(), needle.begin(), needle.end());
  return it == hay.end() ? std::string::npos : size_t(it - hay.begin());
}

TEST(SoundMovie, EventAndStreamSoundsMakeAWellFormedDocument) {
  for (uint8_t version : {5, 8}) {
    const bool wide = version >= 8;
    SwfWriter w(version);
    w.tag(14, DefineSound(1, 0x2A, 9216, Mp3Sound()));
    w.tag(14, DefineSound(2, 0x3A, 2, {1, 2, 3, 4}));  // PCM 22 kHz 16-bit mono
    w.tag(15, SwfBytes().u16(1).u8(0).data()).tag(18, SwfBytes().u8(0x0E).u8(0x0E).u16(2).data());
    for (int i = 0; i < 3; ++i) {
      w.tag(19, {1, 0, 2, 0, 3, 0, 4, 0});
      if (i == 1) w.tag(15, SwfBytes().u16(2).u8(0x10).data());
      w.showFrame();
    }
    Converted c(w.end().build());
    ASSERT_EQ(c.run.status, 0) << c.run.output;
    EXPECT_EQ(c.messages(), 0u);
    // The MP3 data, 01 and one mono peak per 4 samples; the PCM twice over
    // on two channels; the stream's 3 blocks of 4 samples.
    EXPECT_EQ(c.streams["Media 1"].size(), 16u * 208 + 1 + 16 * 576 / 4);
    EXPECT_EQ(c.streams["Media 2"].size(), 2u * 2 * 4);
    EXPECT_EQ(c.streams["Media 3"].size(), 3u * 4 * 4);
    const Bytes& page = c.streams["Page 1"];
    const size_t event = Find(page, Name("EventSound", wide));
    const size_t stream = Find(page, Name("StreamSound", wide));
    ASSERT_NE(event, std::string::npos) << int(version);
    ASSERT_NE(stream, std::string::npos) << int(version);
    EXPECT_LT(event, stream);
  }
}

// Whether any page of the document holds a layer of that name.
bool AnyPageHasLayer(const std::map<std::string, Bytes>& streams, const std::string& name, bool wide) {
  for (const auto& [stream, bytes] : streams)
    if ((stream.starts_with("Page ") || stream.starts_with("Symbol ")) && Find(bytes, Name(name, wide)) != std::string::npos)
      return true;
  return false;
}

Bytes Square(uint16_t id) {
  return SwfBytes().u16(id).rect(0, 200, 0, 200).u8(1).u8(0).u8(0).u8(0).u8(0).u8(0).u8(0x10).data();
}

// A stream that pauses for three frames and starts again, and one whose
// block after the pause is silence: the program's documents walk clean and
// show the movie frame by frame.
TEST(SoundMovie, StreamStretchesMakeAWellFormedDocument) {
  for (bool silence : {false, true}) {
    SwfWriter w(8);
    w.tag(2, Square(1)).tag(26, SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0).data());
    w.tag(18, SwfBytes().u8(0x0E).u8(0x0E).u16(4).data());
    for (int frame = 1; frame <= 9; ++frame) {
      if (frame <= 3 || frame >= 8) w.tag(19, {1, 0, 2, 0, 3, 0, 4, 0});
      if (frame == 7) w.tag(19, silence ? Bytes(8, 0) : Bytes{5, 0, 6, 0, 7, 0, 8, 0});
      w.showFrame();
    }
    const Bytes movie = w.end().build();
    Converted c(movie);
    ASSERT_EQ(c.run.status, 0) << c.run.output;
    EXPECT_EQ(c.messages(), 0u);
    ASSERT_EQ(c.streams.count("Media 2"), 1u);
    EXPECT_EQ(c.streams["Media 2"].size(), silence ? 2u * 4 * 4 : 3u * 4 * 4) << silence;
    EXPECT_TRUE(test::DocumentShowsMovie(movie, c.streams)) << silence;
  }
}

// Sounds inside a sprite follow the option "Sound" alone: with "Main
// Timeline" off the sprite still gets both sound layers, with "Sound" off
// neither. A stream of uncompressed little-endian samples (format 3) comes
// out on the main timeline and in a sprite as the other formats do.
TEST(SoundMovie, SpriteSoundsAndLittleEndianStreams) {
  auto streamTags = [](SwfWriter& t, uint8_t format) {
    t.tag(18, SwfBytes().u8(format).u8(format).u16(4).data());
    for (int i = 0; i < 3; ++i) t.tag(19, {1, 0, 2, 0, 3, 0, 4, 0}).showFrame();
  };
  auto movie = [&](uint8_t format, bool inSprite) {
    SwfWriter sprite;
    sprite.tag(15, SwfBytes().u16(1).u8(0).data());
    streamTags(sprite, format);
    SwfWriter w(8);
    w.tag(14, DefineSound(1, 0x3A, 2, {1, 2, 3, 4}));
    if (inSprite) {
      w.tag(39, SwfBytes().u16(5).u16(3).bytes(sprite.end().tags()).data());
      w.tag(26, SwfBytes().u8(0x06).u16(1).u16(5).matrix(0, 0).data()).showFrame();
    } else {
      streamTags(w, format);
    }
    return w.end().build();
  };
  struct Case {
    const char* what;
    uint8_t format;
    bool inSprite;
    std::vector<std::string> options;
    bool layers;
  };
  const Case cases[] = {
      {"sprite, main timeline off", 0x0E, true, {"--set", "Main Timeline=off"}, true},
      {"sprite, sound off", 0x0E, true, {"--set", "Sound=off"}, false},
      {"format 3 stream, main timeline", 0x32, false, {}, true},
      {"format 3 stream, sprite", 0x32, true, {}, true},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    Converted c(movie(k.format, k.inSprite), k.options);
    ASSERT_EQ(c.run.status, 0) << c.run.output;
    EXPECT_EQ(AnyPageHasLayer(c.streams, "EventSound", true), k.layers && k.inSprite);
    EXPECT_EQ(AnyPageHasLayer(c.streams, "StreamSound", true), k.layers);
    // The stream's sound after the event sound's.
    EXPECT_EQ(c.streams.count("Media 2"), k.layers ? 1u : 0u);
  }
}

TEST(SoundMovie, HostileSoundsAreSkippedAndTheRestConverts) {
  struct Case {
    const char* what;
    std::vector<std::pair<uint16_t, Bytes>> tags;
    size_t messages;
    size_t firstMedia;  // bytes of "Media 1" when the sound converts
  };
  // Eleven of the sixteen frames of 208 bytes are whole; twelve are counted.
  Bytes cut = Mp3Sound();
  cut.resize(2 + 11 * 208 + 100);
  const std::vector<std::pair<uint16_t, Bytes>> many(10000, {15, SwfBytes().u16(9).u8(0).data()});
  const std::vector<Case> cases = {
      {"truncated MP3 frames", {{14, DefineSound(1, 0x2A, 9216, cut)}}, 0, 11 * 208 + 100 + 1 + 12 * 576 / 4},
      {"an MP3 of only FF bytes", {{14, DefineSound(1, 0x2A, 9216, Bytes(4000, 0xFF))}}, 1, 0},
      {"255 envelope points in 10 bytes",
       {{15, SwfBytes().u16(9).u8(0x08).u8(255).u32(0).u32(0).u8(0).data()}}, 1, 0},
      {"a DefineSound of 3 bytes", {{14, {1, 0, 0x3E}}}, 1, 0},
      // The packet's first sample and five 3-bit codes, at 44 kHz.
      {"ADPCM claiming 2^32 - 1 samples", {{14, DefineSound(1, 0x1E, 0xFFFFFFFF, {0x40, 0, 0, 0x12, 0x34})}}, 0, 6 * 4},
      {"10,000 StartSounds in one frame", many, 0, 0},
  };
  for (const Case& k : cases) {
    SwfWriter w(8);
    for (const auto& [code, body] : k.tags) w.tag(code, body);
    w.tag(14, DefineSound(9, 0x3E, 2, {1, 2, 3, 4}));
    w.showFrame().tag(15, SwfBytes().u16(9).u8(0).data()).showFrame().end();
    Converted c(w.build());
    ASSERT_EQ(c.run.status, 0) << k.what << c.run.output;
    EXPECT_EQ(c.messages(), k.messages) << k.what << c.run.output;
    // The good sound converts after the bad one.
    EXPECT_EQ(c.streams["Media " + std::string(k.firstMedia ? "2" : "1")].size(), 2u * 4) << k.what;
    if (k.firstMedia) {
      EXPECT_EQ(c.streams["Media 1"].size(), k.firstMedia) << k.what;
    }
  }
}

}  // namespace
}  // namespace tovrani
