// Small movies through the program: placements a player handles in
// a way of its own (placed and removed in one frame, taken over, moved,
// swapped or given a new clip depth in their frame, placed after the last
// frame, moved where nothing is shown, placed twice, placed without a
// character, masks to the end) give documents that show, frame by frame,
// what the movie shows.
#include <gtest/gtest.h>

#include <map>

#include "app/program_runner.h"
#include "support/document_frames.h"
#include "support/independent_readers.h"
#include "support/page_walker.h"
#include "support/swf_writer.h"
#include "support/temp_dir.h"
#include "timeline/display_model.h"
#include "support/work_budget.h"

namespace tovrani {
namespace {

using test::Place;
using test::PlaceObject2Tag;
using test::PlaceObject3Tag;
using test::RemoveObject2Tag;
using test::ShowFrameTag;
using test::SwfBytes;

// A PlaceObject2 with nothing but its flags and depth: no move, no
// character. And a PlaceObject3 whose class name is cut short.
std::vector<uint8_t> PlaceOfNothing() { return test::SwfWriter::TagBytes(26, {0x04, 1, 0, 0}); }
std::vector<uint8_t> CutPlaceObject3() { return test::SwfWriter::TagBytes(70, {0x02, 0x08, 1, 0, 'a'}); }

// A DefineSprite of one frame count holding `tags` and its End tag.
std::vector<uint8_t> SpriteTag(uint16_t id, std::initializer_list<std::vector<uint8_t>> tags) {
  SwfBytes b;
  b.u16(id).u16(1);
  for (const std::vector<uint8_t>& t : tags) b.bytes(t);
  b.u16(0);
  return test::SwfWriter::TagBytes(39, b.data());
}

struct MovieCase {
  const char* name;
  std::vector<std::vector<uint8_t>> tags;  // after the shapes' definitions
};

std::vector<MovieCase> Cases() {
  const auto frame = ShowFrameTag();
  return {
      {"placed and removed in one frame",
       {PlaceObject2Tag({.depth = 1, .character = 1}), RemoveObject2Tag(1), frame,
        PlaceObject2Tag({.depth = 1, .character = 2, .x = 100}), frame, frame}},
      {"two placements on one depth in one frame",
       {PlaceObject2Tag({.depth = 1, .character = 1}), PlaceObject2Tag({.depth = 1, .character = 2, .move = true}),
        frame, PlaceObject2Tag({.depth = 1, .move = true, .x = 300}), frame, frame}},
      // Each frame shows what its last placement at a depth leaves there.
      {"moves and swaps in the frame of the placement",
       {PlaceObject2Tag({.depth = 1, .character = 1}), PlaceObject2Tag({.depth = 1, .move = true, .x = 100}),
        PlaceObject2Tag({.depth = 1, .character = 2, .move = true}),
        PlaceObject3Tag({.depth = 1, .character = 1, .move = true, .x = 200}), frame,
        PlaceObject2Tag({.depth = 1, .move = true, .x = 300}),
        PlaceObject2Tag({.depth = 1, .character = 2, .move = true}), frame, frame}},
      {"placed, moved and removed in one frame",
       {PlaceObject2Tag({.depth = 1, .character = 1}), PlaceObject2Tag({.depth = 1, .move = true, .x = 100}),
        RemoveObject2Tag(1), frame, PlaceObject2Tag({.depth = 2, .character = 2, .x = 300}), frame, frame}},
      {"a clip depth changed in the frame of the mask",
       {PlaceObject2Tag({.depth = 1, .character = 1, .clip = 2}), PlaceObject2Tag({.depth = 2, .character = 2}),
        PlaceObject2Tag({.depth = 3, .character = 2, .x = 300}), PlaceObject2Tag({.depth = 1, .clip = 3, .move = true}),
        frame, frame}},
      {"the same inside sprites",
       {SpriteTag(5, {PlaceObject2Tag({.depth = 1, .character = 1}),
                      PlaceObject2Tag({.depth = 1, .move = true, .x = 100}),
                      PlaceObject2Tag({.depth = 1, .character = 2, .move = true}),
                      PlaceObject3Tag({.depth = 1, .character = 1, .move = true, .x = 60}),
                      PlaceObject2Tag({.depth = 2, .character = 2, .clip = 3}),
                      PlaceObject2Tag({.depth = 2, .clip = 2, .move = true}), frame}),
        SpriteTag(6, {PlaceObject2Tag({.depth = 1, .character = 1}),
                      PlaceObject2Tag({.depth = 1, .move = true, .x = 100}),
                      RemoveObject2Tag(1), PlaceObject2Tag({.depth = 2, .character = 2}), frame}),
        PlaceObject2Tag({.depth = 1, .character = 5}), PlaceObject2Tag({.depth = 2, .character = 6, .x = 500}), frame,
        frame}},
      {"a placement after the last frame",
       {PlaceObject2Tag({.depth = 1, .character = 1}), frame, frame, PlaceObject2Tag({.depth = 2, .character = 2})}},
      {"a mask as the last layer, all removed in frame 3",
       {PlaceObject2Tag({.depth = 1, .character = 1, .clip = 2}), PlaceObject2Tag({.depth = 2, .character = 2}),
        frame, frame, RemoveObject2Tag(1), RemoveObject2Tag(2), frame, frame, frame, frame, frame, frame, frame,
        frame}},
      {"place, remove, then a move without a character",
       {PlaceObject2Tag({.depth = 1, .character = 1}), frame, RemoveObject2Tag(1), frame,
        PlaceObject2Tag({.depth = 1, .move = true, .x = 40}), frame, frame}},
      {"a second placement without the move flag",
       {PlaceObject2Tag({.depth = 1, .character = 1, .x = 20}), frame,
        PlaceObject2Tag({.depth = 1, .character = 2, .x = 500}), frame, PlaceObject3Tag({.depth = 1, .character = 2}),
        frame}},
      {"placements of no character",
       {PlaceOfNothing(), frame, CutPlaceObject3(), frame, PlaceObject2Tag({.depth = 1, .character = 2}), frame}},
      // A player shows a video of no frames for the frame it is placed in.
      {"a video of no frames",
       {test::SwfWriter::TagBytes(60, SwfBytes().u16(5).u16(0).u16(32).u16(24).u8(0).u8(2).data()),
        PlaceObject2Tag({.depth = 1, .character = 5}), PlaceObject2Tag({.depth = 2, .character = 1, .x = 600}),
        frame, frame, frame}},
      // A sprite without a ShowFrame shows one frame of what it placed.
      {"a sprite without a frame",
       {SpriteTag(5, {PlaceObject2Tag({.depth = 1, .character = 1}),
                      PlaceObject2Tag({.depth = 2, .character = 2, .x = 300})}),
        PlaceObject2Tag({.depth = 1, .character = 5}), frame, frame}},
      // Sprite 5 places sprite 6, defined after it and before the frame
      // that shows sprite 5: a player resolves it when sprite 5 is shown.
      {"a sprite placing a sprite defined after it",
       {SpriteTag(5, {PlaceObject2Tag({.depth = 1, .character = 6}), frame}),
        SpriteTag(6, {PlaceObject2Tag({.depth = 1, .character = 2, .x = 200}), frame}),
        PlaceObject2Tag({.depth = 1, .character = 5}), frame, frame}},
      // A chain: 5 places 6, 6 places 7 and a shape, 7 comes last; the
      // scene places 5 and 6.
      {"sprites waiting for each other",
       {SpriteTag(5, {PlaceObject2Tag({.depth = 1, .character = 6}), frame}),
        SpriteTag(6, {PlaceObject2Tag({.depth = 1, .character = 7}), PlaceObject2Tag({.depth = 2, .character = 1}),
                      frame}),
        SpriteTag(7, {PlaceObject2Tag({.depth = 1, .character = 2, .x = 200}), frame}),
        PlaceObject2Tag({.depth = 1, .character = 5}), PlaceObject2Tag({.depth = 2, .character = 6, .x = 900}),
        frame, frame}},
  };
}

class MovieFrames : public ::testing::TestWithParam<int> {};

TEST_P(MovieFrames, DocumentShowsWhatTheMovieShows) {
  for (const MovieCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    test::SwfWriter w{uint8_t(GetParam())};
    w.tag(2, test::SquareShape(1, 0, 400, 0x3C8000)).tag(2, test::SquareShape(2, 0, 400, 0x788000));
    for (const std::vector<uint8_t>& tag : c.tags) {
      const uint16_t word = uint16_t(tag[0] | tag[1] << 8);
      if (word >> 6 == 1) {
        w.showFrame();
        continue;
      }
      const size_t head = (word & 63) == 63 ? 6 : 2;
      w.tag(word >> 6, std::vector<uint8_t>(tag.begin() + long(head), tag.end()));
    }
    const std::vector<uint8_t> movie = w.end().build();
    test::TempDir dir;
    test::WriteFileBytes(dir.file("in.swf"), movie);
    test::ExpectSameBytesWhereverWorkFilesLive({dir.file("in.swf")});
    const test::ProgramRun run =
        test::RunProgram({"-q", dir.file("in.swf"), "-o", dir.file("out.fla")}, dir.path().string());
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(test::DocumentShowsMovie(movie, test::ExpectReadableDocument(dir.file("out.fla"))));
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, MovieFrames, ::testing::Values(6, 8));

// A player ignores a placement of a character the movie defines only later:
// the depth stays free, and the placement once it is defined shows.
TEST(MovieFrames, APlacementBeforeItsCharactersDefinitionLeavesTheDepthFree) {
  test::SwfWriter w{8};
  w.tag(26, SwfBytes().u8(0x06).u16(1).u16(7).matrix(0, 0).data()).showFrame();
  w.tag(2, test::SquareShape(7, 0, 400, 0x0000C0));
  w.tag(26, SwfBytes().u8(0x06).u16(1).u16(7).matrix(100, 0).data()).showFrame().showFrame();
  const std::vector<uint8_t> movie = w.end().build();
  test::TempDir dir;
  test::WriteFileBytes(dir.file("in.swf"), movie);
  const test::ProgramRun run =
      test::RunProgram({"-q", dir.file("in.swf"), "-o", dir.file("out.fla")}, dir.path().string());
  ASSERT_EQ(run.status, 0) << run.output;
  const auto streams = test::ExpectReadableDocument(dir.file("out.fla"));
  EXPECT_TRUE(test::DocumentShowsMovie(movie, streams));
  const std::vector<uint8_t>& scene = streams.at("Page 1");
  std::vector<bool> shown(3, false);
  for (const test::PageLayer& layer : test::ReadPageLayers(scene, test::WalkPage(scene)))
    for (const test::PageKeyframe& k : layer.keyframes)
      for (uint32_t f = k.start; f < k.start + k.duration && f < shown.size(); ++f)
        for (const test::PageInstance& i : k.instances) shown[f] = shown[f] || i.symbol == 7;
  EXPECT_EQ(shown, std::vector<bool>({false, true, true}));
}

}  // namespace
}  // namespace tovrani
