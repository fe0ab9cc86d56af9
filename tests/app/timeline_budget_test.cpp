// The movie's budget on timelines through the program: groups of nested
// masks, shape tweens of morph runs, video streams whose frames skip
// numbers or whose tags the frame search reads another way than the tag
// loop, and the comparisons that approximate motion tweens. Each movie declares far more than it holds; the document holds
// what the budget allows, names the first element refused and counts the
// others, and an honest movie converts whole with nothing said.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>

#include "app/converted_movie.h"
#include "shape/shape_test_support.h"
#include "support/document_frames.h"
#include "support/page_walker.h"
#include "support/swf_writer.h"
#include "support/timeline_movies.h"
#include "swf/movie_budget.h"

namespace tovrani::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Streams = std::map<std::string, Bytes>;

using Converted = ConvertedMovie;

// The number after `lead` in `text`, -1 when `lead` is not there.
long NumberAfter(const std::string& text, const std::string& lead) {
  const size_t at = text.find(lead);
  return at == std::string::npos ? -1 : std::stol(text.substr(at + lead.size()));
}

// The number that ends just before `tail` in `text`, -1 when none does.
long NumberBefore(const std::string& text, const std::string& tail) {
  size_t at = text.find(tail);
  if (at == std::string::npos) return -1;
  size_t from = at;
  while (from > 0 && std::isdigit(static_cast<unsigned char>(text[from - 1]))) --from;
  return from == at ? -1 : std::stol(text.substr(from, at - from));
}

size_t SymbolPages(const Streams& streams) {
  size_t n = 0;
  for (const auto& [name, bytes] : streams) n += name.starts_with("Symbol ");
  return n;
}

Bytes Place(uint16_t depth, uint16_t id, int32_t clip = -1) {
  SwfBytes p;
  p.u8(clip >= 0 ? 0x46 : 0x06).u16(depth).u16(id).matrix(0, 0);
  if (clip >= 0) p.u16(uint32_t(clip));
  return p.data();
}

Bytes Remove(uint16_t depth) { return SwfBytes().u16(depth).data(); }

// ---- Groups of nested masks ----

// A mask at depth 1 over depths 3 to `depths` + 2, each holding a square
// for the whole movie; `groups` times a mask nested in it at depth 2, for
// one frame: the depth pass disables each, and each becomes a group whose
// page holds a layer for every depth it covers.
Bytes NestedMasksMovie(int groups, uint16_t depths) {
  SwfWriter w(8);
  w.tag(2, SquareShape(1, 0, 400, 0xC02020));
  w.tag(26, Place(1, 1, depths + 2));
  for (uint16_t d = 3; d < depths + 3; ++d) w.tag(26, Place(d, 1));
  w.showFrame();
  for (int g = 0; g < groups; ++g) w.tag(26, Place(2, 1, depths + 2)).showFrame().tag(28, Remove(2)).showFrame();
  return w.end().build();
}

// Two hundred groups of 61 layers each, from a movie of some 5 KB: the
// budget (4,096 layers and one per 32 bytes) builds the first few dozen;
// the others stay on the scene as ordinary layers, the first named and one
// line for the rest. Five such groups are no burden and all become symbols.
TEST(GroupLayerBudget, GroupsOfNestedMasksStopAtTheMoviesBudget) {
  const uint16_t depths = 60;
  const Bytes movie = NestedMasksMovie(200, depths);
  Converted r;
  ConvertOnce(r, movie);
  // Every page but the square's own is a group's.
  const size_t built = SymbolPages(r.streams) - 1;
  EXPECT_GE(built, 10u);
  EXPECT_LE(built * (depths + 1), 4096 + (movie.size() - 8) / 32);
  EXPECT_NE(r.run.output.find(") would write more layers than the movie holds; it was left on its timeline as "
                              "ordinary layers."),
            std::string::npos)
      << r.run.output;
  EXPECT_EQ(NumberBefore(r.run.output, " more groups of nested masks were left on their timelines as ordinary "
                                        "layers: their layers would take more than the movie holds."),
            long(200 - built - 1))
      << r.run.output;
  EXPECT_LT(std::filesystem::file_size(r.dir.file("m.fla")), 4u << 20);

  Converted honest;
  ConvertOnce(honest, NestedMasksMovie(5, 10));
  EXPECT_EQ(SymbolPages(honest.streams), 6u);
  EXPECT_EQ(honest.run.output.find("nested masks"), std::string::npos) << honest.run.output;
}

// ---- Shape tweens of morph runs ----

// DefineMorphShape `id`: a zigzag of `edges` edges a half, filled.
Bytes ZigzagMorph(uint16_t id, int edges) {
  SwfBytes styles;
  styles.u8(1).u8(0).u32(0xFF0000FF).u32(0xFFFF0000).u8(0);
  const auto zigzag = [edges](ShapeRecords& r) {
    r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt);
    for (int i = 0; i < edges; ++i) r.Straight(10, i % 2 ? -10 : 10);
  };
  Bytes body = SwfBytes().u16(id).data();
  const Bytes rest = MorphBody(46, styles.data(), zigzag, [edges](ShapeRecords& r) {
    for (int i = 0; i < edges; ++i) r.Straight(10, i % 2 ? 10 : -10);
  }, 1, 0);
  body.insert(body.end(), rest.begin(), rest.end());
  return body;
}

// Three morphs of 3,000 edges a half, each placed from ratio 0 in sixty runs
// of two frames, in turn: every run would be a shape tween of its own
// holding the whole morph again, some 110 KB each. The budget (16 MB and
// 20 a byte of the movie) makes the first runs tweens; then each morph's
// next run is refused (the first named, one line for the two others), and
// from there every run shows frames of its morph's one ratio symbol. Three
// runs of a small morph become tweens with nothing said.
TEST(MorphTweenBudget, RunsOfMorphPlacementsStopAtTheMoviesBudget) {
  SwfWriter w(8);
  for (uint16_t id = 1; id <= 3; ++id) w.tag(46, ZigzagMorph(id, 3000), true);
  const auto place = [](uint16_t id, uint16_t ratio) {
    return SwfBytes().u8(0x16).u16(1).u16(id).matrix(0, 0).u16(ratio).data();
  };
  const Bytes move = SwfBytes().u8(0x11).u16(1).u16(40000).data();
  for (int run = 0; run < 60; ++run)
    for (uint16_t id = 1; id <= 3; ++id)
      w.tag(26, place(id, 0)).showFrame().tag(26, move).showFrame().tag(28, Remove(1)).showFrame();
  const Bytes movie = w.end().build();
  Converted r;
  ConvertOnce(r, movie);
  // The three ratio symbols and one tween per run made before the budget ran out.
  const size_t tweens = SymbolPages(r.streams) - 3;
  EXPECT_GE(tweens, 100u);
  EXPECT_LT(tweens, 180u);
  EXPECT_EQ(Occurrences(r.run.output, "its shape tweens would take more than the movie holds"), 1u) << r.run.output;
  EXPECT_NE(r.run.output.find("2 more runs of morph placements were shown through their morph's one tween symbol: "
                              "their shape tweens would take more than the movie holds."),
            std::string::npos)
      << r.run.output;
  // The tweens within the budget; the scene, the ratio symbols and the
  // document's own records besides.
  EXPECT_LT(std::filesystem::file_size(r.dir.file("m.fla")), (17u << 20) + 20 * movie.size());

  SwfWriter small(8);
  small.tag(46, ZigzagMorph(1, 20));
  for (int run = 0; run < 3; ++run)
    small.tag(26, place(1, 0)).showFrame().tag(26, move).showFrame().tag(28, Remove(1)).showFrame();
  Converted honest;
  ConvertOnce(honest, small.end().build());
  EXPECT_EQ(SymbolPages(honest.streams), 3u);
  EXPECT_EQ(honest.run.output.find("Morph shape"), std::string::npos) << honest.run.output;
}

// ---- Video streams ----

Bytes StreamTag(uint16_t id, uint16_t frames) {
  return SwfBytes().u16(id).u16(frames).u16(32).u16(24).u8(0).u8(2).data();
}

Bytes FrameTag(uint16_t id, uint16_t frame) { return SwfBytes().u16(id).u16(frame).u8(0xAB).u8(0xCD).data(); }

// Ten streams, each with one frame numbered 65535: the first gets its
// 65,535 entries for the numbers before it (the budget's fixed part is one
// stream's worth); the others, from a movie of 300 bytes, get their frame
// without them. Frames numbered one after the other need no entries.
TEST(VideoGapBudget, FramesThatSkipNumbersStopAtTheMoviesBudget) {
  SwfWriter w(8);
  for (uint16_t id = 1; id <= 10; ++id) w.tag(60, StreamTag(id, 1)).tag(61, FrameTag(id, 65535));
  w.showFrame();
  Converted r;
  ConvertOnce(r, w.end().build());
  const size_t entries = 17;
  EXPECT_GE(r.streams["Media 1"].size(), 65535 * entries);
  for (int k = 2; k <= 10; ++k) EXPECT_LT(r.streams["Media " + std::to_string(k)].size(), 200u) << k;
  EXPECT_NE(r.run.output.find("DefineVideoStream 2: its frames skip more frame numbers than the movie holds "
                              "(65535 before frame 65535); the gap was left unfilled."),
            std::string::npos)
      << r.run.output;
  EXPECT_NE(r.run.output.find("8 more gaps in videos' frame numbers were left unfilled: the frames skip more "
                              "numbers than the movie holds."),
            std::string::npos)
      << r.run.output;
  EXPECT_LT(std::filesystem::file_size(r.dir.file("m.fla")), 2u << 20);

  SwfWriter counted(8);
  counted.tag(60, StreamTag(1, 2000));
  for (uint16_t f = 0; f < 2000; ++f) counted.tag(61, FrameTag(1, f)).showFrame();
  Converted honest;
  ConvertOnce(honest, counted.end().build());
  EXPECT_GE(honest.streams["Media 1"].size(), 2000 * (entries + 2));
  EXPECT_EQ(honest.run.output.find("DefineVideoStream"), std::string::npos) << honest.run.output;
}

// A DefineSprite that the frame search enters and reads one byte out of
// step with the tag loop: a search that reaches it in step leaves it on odd
// bytes, one that reaches it on an odd byte leaves it in step, and both
// jump past the stream that follows it. From the end of stream k the search
// thus misses the end of stream k + 1, and searches from two streams in
// turn never meet. The sprite's own timeline ends at its End.
Bytes OutOfStepSprite(uint16_t id) {
  const Bytes inner = {0x41, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x0C};
  return SwfBytes().u16(id).u16(1).bytes(inner).data();
}

// Forty streams, each after such a sprite, then 150,000 tags of two bytes
// that both readings walk alike: each stream's search walks the rest of the
// movie. The budget of tags walked (1 Mi and 2 a byte) lasts for the first
// few; every other stream after them, whose end the last search passed
// through, still finds its frames there, the rest are left without frames.
TEST(VideoWalkBudget, SearchesThatNeverMeetStopAtTheMoviesBudget) {
  SwfWriter w(8);
  for (uint16_t k = 1; k <= 40; ++k) w.tag(39, OutOfStepSprite(uint16_t(1000 + k)), true).tag(60, StreamTag(k, 1));
  for (int i = 0; i < 150000; ++i) w.tag(514);
  w.showFrame();
  const Bytes movie = w.end().build();
  Converted r;
  ConvertOnce(r, movie);
  const long first = NumberAfter(r.run.output, "BRASKELON Tovrani Warning: DefineVideoStream ");
  ASSERT_GT(first, 5) << r.run.output;
  EXPECT_NE(r.run.output.find("DefineVideoStream " + std::to_string(first) +
                              ": finding its frames would walk the movie's tags more often than the movie holds; "
                              "the video was left without frames."),
            std::string::npos)
      << r.run.output;
  // Streams first, first + 2, ... are refused; the others are found.
  const long refused = (40 - first) / 2 + 1;
  EXPECT_NE(r.run.output.find(std::to_string(refused - 1) +
                              " more video streams were left without frames: finding their frames would walk the "
                              "movie's tags more often than the movie holds."),
            std::string::npos)
      << r.run.output;
  EXPECT_LE((first - 1) * 150000, long((1 << 20) + 2 * (movie.size() - 8)));
  for (int k = 1; k <= 40; ++k) EXPECT_TRUE(r.streams.count("Media " + std::to_string(k))) << k;
}

// ---- Motion tweens ----

// The durations of the motion tweens of a page.
std::vector<uint32_t> Tweens(const Bytes& page) {
  std::vector<uint32_t> durations;
  for (const PageLayer& layer : ReadPageLayers(page, WalkPage(page)))
    for (const PageKeyframe& k : layer.keyframes)
      if (k.tween) durations.push_back(k.duration);
  return durations;
}

// Copies of a sprite moved on 1,000 frames, every step unlike the ones
// before: each run compares 72 M channel pairs. Two of them (60 KB, which
// allow 67 M and 512 a byte): the first becomes one tween; the second keeps
// its keyframes, its page byte for byte as with the option off, the refused
// run named and one line for the 998 keyframes after it. One alone becomes
// one tween with nothing said.
TEST(TweenPairBudget, RunsPastTheMoviesBudgetKeepTheirKeyframes) {
  const std::vector<std::string> on = {"--set", "Approximate Motion Tweens...=on", "--set",
                                       "Approximate Easing Value=on"};
  const uint64_t run = 498501 * 144;  // each new step against every distinct one before it
  for (const uint16_t sprites : {2, 1}) {
    const Bytes movie = EasedSpritesMovie(sprites, 1000, false, false);
    const uint64_t allowed = kTweenPairAllowance + kTweenPairsPerMovieByte * (movie.size() - 8);
    ASSERT_TRUE(run < allowed && (sprites == 1 || 2 * run > allowed));
    Converted r, off;
    ConvertOnce(r, movie, on);
    ConvertOnce(off, movie);
    std::vector<std::vector<uint32_t>> changed;
    for (const auto& [name, page] : r.streams)
      if (off.streams[name] != page) changed.push_back(Tweens(page));
    EXPECT_EQ(changed, std::vector<std::vector<uint32_t>>{{999}});
    EXPECT_EQ(Occurrences(r.run.output, "motion tween"), sprites == 2 ? 3u : 0u) << r.run.output;
    if (sprites == 1) continue;
    EXPECT_NE(r.run.output.find("Character 1 (frame 1): approximating its motion tween would take more than the "
                                "movie's size allows; it and the runs after it keep their keyframes."),
              std::string::npos);
    EXPECT_NE(r.run.output.find("998 more keyframes were kept without a motion tween: approximating their motion "
                                "tweens would take more than the movie's size allows."),
              std::string::npos);
  }
}

// ---- The depth and mask-layer pass ----

const std::string kPassRefused =
    "rearranging its masks would take more than the movie's size allows; its layers are kept as far as they "
    "were rearranged.";
const std::string kPassTooLong = "take too long to rearrange";

// Twelve sprites of 500 masks in one frame, all clipping to one depth: the
// pass disables them one by one, some 1.75 M units a sprite, within its own
// cap (2^24), and a compressed file of 1.5 KB allows some 18 M. The sprites
// it covers are rearranged; the one it gives out on is named, and the one
// left with nothing takes the road of a spent budget, counted in one line.
// Every frame still shows what the movie shows. Uncompressed (78 KB), the
// same sprites spend 21 M, more than the fixed part, with nothing said; one
// sprite of 1,600 masks spends its own cap and says so as before, the
// movie's allowance not refusing it.
TEST(MaskPassBudget, SpritesPastTheMoviesAllowanceKeepTheirLayers) {
  const Bytes movie = MasksInOneFrameMovie(12, 500, 0, true);
  const uint64_t allowed = kMaskPassAllowance + kMaskPassUnitsPerMovieByte * kCompressedBytesPerFileByte * movie.size();
  ASSERT_LT(allowed, 12 * 1600000u);
  Converted r;
  ConvertOnce(r, movie);
  const long named = NumberBefore(r.run.output, "): " + kPassRefused);
  EXPECT_GE(named, long(2 + allowed / 2000000)) << r.run.output;
  EXPECT_LE(named, 13) << r.run.output;
  EXPECT_EQ(Occurrences(r.run.output, kPassRefused), 1u) << r.run.output;
  const long more = 13 - named;
  EXPECT_EQ(NumberBefore(r.run.output, more == 1 ? " more timeline was kept without further rearranging: "
                                                 : " more timelines were kept without further rearranging: "),
            more)
      << r.run.output;
  EXPECT_EQ(r.run.output.find(kPassTooLong), std::string::npos) << r.run.output;

  Converted under;
  ConvertOnce(under, MasksInOneFrameMovie(12, 500, 0, false));
  EXPECT_EQ(under.run.output.find("size allows"), std::string::npos) << under.run.output;
  EXPECT_EQ(under.run.output.find(kPassTooLong), std::string::npos) << under.run.output;

  Converted capped;
  ConvertOnce(capped, MasksInOneFrameMovie(1, 1600, 0, false));
  EXPECT_EQ(Occurrences(capped.run.output, kPassTooLong), 1u) << capped.run.output;
  EXPECT_EQ(capped.run.output.find("size allows"), std::string::npos) << capped.run.output;
}

}  // namespace
}  // namespace tovrani::test
