// The movie's budgets of sound through the program: decoded sound, sound
// items and layers of further StartSounds stop at what the movie's bytes
// allow, the first refused named and the others counted, while sounds whose
// data is all there convert whole. And work once done over and over: stream
// heads rescanning one stretch, and a button's sounds on each of its
// definitions, stopped at the allowance of sound layers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <random>

#include "app/converted_movie.h"
#include "fla/item_names.h"
#include "media/mpeg_test_frames.h"
#include "support/document_frames.h"
#include "support/library_items.h"
#include "support/page_walker.h"
#include "support/swf_writer.h"
#include "swf/movie_budget.h"

namespace tovrani::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Streams = std::map<std::string, Bytes>;

struct Converted {
  TempDir dir;
  ProgramRun run;
  Streams streams;
  uint64_t flaBytes = 0;
  const Bytes& media(size_t n) { return streams[MakeMediaName(uint16_t(n))]; }
  size_t sounds() const {
    std::set<uint16_t> items, sounds;
    EXPECT_TRUE(ReadLibraryItems(streams.at("Contents"), items, nullptr, nullptr, &sounds));
    return sounds.size();
  }
};

// Converts a movie with the program, each file it writes under `limitMb` MB.
// A document of thousands of streams is read by olefile alone, only
// Contents, the scene page and the media `some` names (the second reader
// takes a process a stream).
void ConvertOnce(Converted& r, const Bytes& movie, int limitMb = 32,
                 std::optional<std::vector<uint16_t>> some = std::nullopt) {
  WriteFileBytes(r.dir.file("m.swf"), movie);
  const std::string fla = r.dir.file("m.fla");
  r.run = RunProgram({r.dir.file("m.swf"), "-o", fla}, r.dir.file("config"),
                     "ulimit -f " + std::to_string(limitMb * 2048) + "; TMPDIR=" +
                         ShellQuote(r.dir.path().string()) + ' ');
  ASSERT_EQ(r.run.status, 0) << r.run.output;
  if (some) {
    for (const std::string name : {"Contents", "Page 1"}) r.streams[name] = ReadSavedStream(fla, name);
    for (uint16_t n : *some) r.streams[MakeMediaName(n)] = ReadSavedStream(fla, MakeMediaName(n));
    EXPECT_TRUE(PageWalksClean(r.streams["Page 1"]));
  } else {
    r.streams = ExpectReadableDocument(fla);
  }
  EXPECT_TRUE(DocumentShowsMovie(movie, r.streams));
  r.flaBytes = std::filesystem::file_size(fla);
}

Bytes DefineSound(uint16_t id, uint8_t format, uint32_t samples, const Bytes& data) {
  return SwfBytes().u16(id).u8(format).u32(samples).bytes(data).data();
}
Bytes Mp3Sound(uint16_t id, uint8_t format, const Bytes& frames) {
  return DefineSound(id, format, 0, SwfBytes().u16(0).bytes(frames).data());
}
Bytes SmallSound(uint16_t id) { return DefineSound(id, 0x3E, 2, {1, 2, 3, 4}); }  // 8 bytes of document
Bytes StartSound(uint16_t id) { return SwfBytes().u16(id).u8(0).data(); }
Bytes StreamHead(uint8_t format, uint16_t samples) { return SwfBytes().u8(format).u8(format).u16(samples).data(); }

uint64_t Budgeted(const Bytes& movie) {
  return BudgetedMovieBytes((movie[4] | movie[5] << 8 | movie[6] << 16 | uint64_t(movie[7]) << 24) - 8,
                            movie[0] == 'C', movie.size());
}

// The first refused named with `reason`, one closing line for the others.
void ExpectRefused(const std::string& output, const std::string& first, size_t more, const std::string& kind,
                   const std::string& reason) {
  EXPECT_NE(output.find(first + ": " + reason), std::string::npos) << first << "\n" << output;
  EXPECT_NE(output.find(std::to_string(more) + " more " + kind + "s were skipped: " + reason + "."), std::string::npos)
      << output;
  EXPECT_EQ(Occurrences(output, reason), 2u) << output;
}

size_t SoundLayers(const Bytes& page) {
  size_t n = 0;
  for (const PageLayer& layer : ReadPageLayers(page, WalkPage(page)))
    n += std::any_of(layer.keyframes.begin(), layer.keyframes.end(), [](const PageKeyframe& k) { return k.sound; });
  return n;
}

// Compressed movies of zeros: ten ADPCM sounds of 48 KiB (6 MB of document
// each), ten MP3 sounds of 8 kbit/s frames whose format byte asks for peaks
// as for 5.5 kHz, or a stream of a small stretch and six of such ADPCM
// blocks. The big sounds that fit are whole, and a small one still fits.
// Their data is all there: the movie asks for more than its size allows.
TEST(SoundBudget, SoundsOfACompressedMovieStopAtTheMoviesBudget) {
  const Bytes mp3 = SilentMp3Frames(MpegVersion::k2, 1, 1, true, 600);
  for (const std::string kind : {"ADPCM", "MP3", "stream"}) {
    SCOPED_TRACE(kind);
    SwfWriter w(8);
    Bytes block(4096, 0);
    block.back() = 1;
    if (kind == "stream") w.tag(18, StreamHead(0x12, 65535)).tag(19, {0, 0, 0, 0, 0, 1}).showFrame().showFrame();
    for (uint16_t n = 1; n <= (kind == "stream" ? 6 : 10); ++n)
      if (kind == "stream") {
        for (int frame = 0; frame < 10; ++frame) w.tag(19, block).showFrame();
        w.showFrame();
      } else {
        w.tag(14, kind == "MP3" ? Mp3Sound(n, 0x22, mp3) : DefineSound(n, 0x12, 0xFFFFFFFF, Bytes(48 << 10, 0)), true);
      }
    const Bytes movie = w.tag(14, SmallSound(20)).showFrame().end().build(true);
    Converted r;
    ConvertOnce(r, movie);
    const size_t first = kind == "stream" ? 2 : 1, big = kind == "stream" ? 6 : 10;
    // An MP3 is charged 32 bytes of decoding for each of its peak points.
    const uint64_t charged = kind == "MP3" ? (r.media(first).size() - mp3.size() - 1) * 32 : r.media(first).size();
    const uint64_t allowance =
        kSoundAllowance + kSoundBytesPerMovieByte * Budgeted(movie) - r.media(1).size() * (first - 1);
    const size_t fit = size_t(allowance / charged);
    ASSERT_TRUE(fit >= 1 && fit <= 4) << fit;
    ASSERT_EQ(r.sounds(), first + fit);
    EXPECT_EQ(r.media(first + fit - 1), r.media(first));
    EXPECT_EQ(r.media(first + fit).size(), 8u);
    ExpectRefused(r.run.output,
                  kind == "stream" ? "SoundStreamHead in frame " + std::to_string(3 + fit * 11)
                                   : "DefineSound " + std::to_string(fit + 1),
                  big - fit - 1, "sound", "the movie asks for more sound data than its size allows");
    EXPECT_LT(r.flaBytes, kSoundAllowance + (4u << 20));
  }
}

// 3,000 DefineSounds of one sample, or 3,000 stretches of a stream: the
// sounds beyond what the movie's size allows are skipped.
TEST(SoundItemBudget, SoundsBeyondWhatTheMoviesSizeAllowsAreSkipped) {
  for (bool stream : {false, true}) {
    SwfWriter w(8);
    if (stream) w.tag(18, StreamHead(0x12, 1));
    for (uint16_t id = 1; id <= 3000; ++id)
      stream ? w.tag(19, {0, 0, 0, 0, 0, 1}).showFrame().showFrame() : w.tag(14, DefineSound(id, 0x12, 1, {0, 0, 0}));
    const Bytes movie = w.showFrame().end().build();
    const size_t allowed = kSoundItemAllowance + Budgeted(movie) / kMovieBytesPerSoundItem;
    Converted r;
    ConvertOnce(r, movie, 32, std::vector<uint16_t>{});
    ASSERT_EQ(r.sounds(), allowed) << stream;
    ExpectRefused(r.run.output,
                  stream ? "SoundStreamHead in frame " + std::to_string(2 * allowed + 1)
                         : "DefineSound " + std::to_string(allowed + 1),
                  3000 - allowed - 1, "sound", "the movie holds more sounds than its size allows");
  }
}

// 2,000 StartSounds in one frame: those after the first are layers of their
// own, as many as the movie's size allows.
TEST(SoundLayerBudget, StartSoundsOfOneFrameBeyondWhatTheMoviesSizeAllowsAreSkipped) {
  SwfWriter w(8);
  w.tag(14, SmallSound(1));
  for (int i = 0; i < 2000; ++i) w.tag(15, StartSound(1));
  const Bytes movie = w.showFrame().end().build();
  const size_t allowed = kSoundLayerAllowance + Budgeted(movie) / kMovieBytesPerSoundLayer;
  Converted r;
  ConvertOnce(r, movie);
  EXPECT_EQ(SoundLayers(r.streams["Page 1"]), 1 + allowed);
  ExpectRefused(r.run.output, "StartSound 1 in frame 1", 1999 - allowed - 1, "sound layer",
                "the movie asks for more sound layers than its size allows");
}

// Sounds whose data is all there, past each budget's fixed part, convert
// whole with nothing said: 2-bit ADPCM at 5.5 kHz (19 MB from 151 KB), an
// MP3 of 8 kbit/s, a stream, 2,100 MP3 sounds of a tenth of a second, and
// two sounds started together in each of 1,100 frames.
TEST(SoundBudgets, SoundsWhoseDataIsAllThereConvertWhole) {
  Bytes adpcm(151000);
  std::mt19937 random(11);
  for (uint8_t& b : adpcm) b = uint8_t(random());
  adpcm[0] &= 0x3F;  // 2-bit codes
  const Bytes mp3 = SilentMp3Frames(MpegVersion::k2, 1, 0, true, 2000);
  const Bytes tenth = SilentMp3Frames(MpegVersion::k2, 1, 0, true, 4);
  SwfWriter w(8);
  w.tag(14, DefineSound(1, 0x12, 600000, adpcm), true).tag(14, Mp3Sound(2, 0x2A, mp3), true);
  for (uint16_t id = 3; id < 3 + 2100; ++id) w.tag(14, Mp3Sound(id, 0x2A, tenth));
  w.tag(18, StreamHead(0x12, 4000));
  for (int i = 0; i < 1100; ++i) {
    if (i < 3) w.tag(19, Bytes(adpcm.begin(), adpcm.begin() + 1003));
    w.tag(15, StartSound(3)).tag(15, StartSound(4)).showFrame();
  }
  const Bytes movie = w.end().build();
  ASSERT_TRUE(600000u * 32 > kSoundAllowance && 2102 > kSoundItemAllowance && 1100 > kSoundLayerAllowance);
  Converted r;
  ConvertOnce(r, movie, 64, std::vector<uint16_t>{1, 2, 2103});
  EXPECT_EQ(r.run.output.find("skipped"), std::string::npos) << r.run.output;
  ASSERT_EQ(r.sounds(), 2103u);
  EXPECT_EQ(r.media(1).size(), 600000u * 32);
  EXPECT_EQ(r.media(2).size(), mp3.size() + 1 + 2000 * 576 / 4);  // the data, 01, a peak per 4 samples
  EXPECT_EQ(r.media(2103).size(), 3u * 4000 * 32);
  EXPECT_EQ(SoundLayers(r.streams["Page 1"]), 1u + 1100 + 1);  // the event layer, 1,100 more, the stream
}

// Fifty heads before blocks too short to read: the heads among the stretch
// the first one scanned are not scanned again (one message, not fifty),
// and a head after that stretch still places its stream.
TEST(SoundStreamScan, HeadsAmongAStretchAlreadyScannedAreNotScannedAgain) {
  SwfWriter w(8);
  for (int i = 0; i < 50; ++i) w.tag(18, StreamHead(0x12, 0));
  for (int i = 0; i < 50; ++i) w.tag(19, {1}).showFrame();
  w.showFrame().tag(18, StreamHead(0x0E, 4));
  for (int i = 0; i < 3; ++i) w.tag(19, {1, 0, 2, 0, 3, 0, 4, 0}).showFrame();
  Converted r;
  ConvertOnce(r, w.end().build());
  EXPECT_EQ(Occurrences(r.run.output, "the stream cannot be read and is skipped"), 1u) << r.run.output;
  EXPECT_EQ(r.sounds(), 1u);
}

// A button defined three times, with two DefineButtonSounds: each page of
// it gets the two sound layers. Defined two hundred times with two hundred
// sound tags, it would ask for 40,000 layers: the movie's allowance of sound
// layers stops it, the first refused named and the others counted.
TEST(ButtonSoundLayers, EachDefinitionOfAButtonGetsItsSoundsAsFarAsTheMoviesBytesAllow) {
  const Bytes slots = SwfBytes().u16(2).u16(1).u8(0).u16(0).u16(0).u16(1).u8(0).data();
  const Bytes button = SwfBytes().u16(2).u8(0).u16(0).u8(0x0F).u16(3).u16(1).matrix(0, 0).u16(0).data();
  for (const int times : {3, 200}) {
    SCOPED_TRACE(times);
    const int tags = times == 3 ? 2 : times;
    SwfWriter w(8);
    w.tag(14, SmallSound(1)).tag(2, SquareShape(3, 0, 200, 0xFF0000));
    for (int i = 0; i < times; ++i) w.tag(34, button);
    for (int i = 0; i < tags; ++i) w.tag(17, slots);
    w.tag(26, SwfBytes().u8(0x06).u16(1).u16(2).matrix(0, 0).data()).showFrame();
    const Bytes movie = w.end().build();
    Converted r;
    ConvertOnce(r, movie);
    size_t layers = 0;
    std::vector<size_t> perPage;
    for (const auto& [name, page] : r.streams)
      if (name.starts_with("Symbol ") && SoundLayers(page)) perPage.push_back(SoundLayers(page)), layers += perPage.back();
    if (times == 3) {
      EXPECT_EQ(perPage, std::vector<size_t>(3, 2));
      EXPECT_EQ(r.run.output.find("skipped"), std::string::npos) << r.run.output;
    } else {
      EXPECT_EQ(layers, kSoundLayerAllowance + (movie.size() - 8) / kMovieBytesPerSoundLayer);
      EXPECT_NE(r.run.output.find("DefineButtonSound of button 2: the movie asks for more sound layers than its "
                                  "size allows; the sound was skipped."),
                std::string::npos)
          << r.run.output;
      EXPECT_NE(r.run.output.find(" more sound layers were skipped: the movie asks for more sound layers than its "
                                  "size allows."),
                std::string::npos)
          << r.run.output;
      EXPECT_LT(r.flaBytes, 4u << 20);
    }
  }
}

}  // namespace
}  // namespace tovrani::test
