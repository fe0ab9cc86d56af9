// Masks the depth pass repairs, end to end through the program, in the main
// movie and inside a sprite: the documents pass the independent readers,
// every page walks, the scene and the sprite's page show what the movie
// shows, and the layers stand at the repaired depths.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string_view>

#include "app/program_runner.h"
#include "shape/shape_test_support.h"
#include "support/document_frames.h"
#include "timeline/display_model.h"
#include "support/work_budget.h"

namespace tovrani::test {
namespace {

using namespace std::string_view_literals;

// A filled square: character `id`.
std::vector<uint8_t> Square(uint16_t id) {
  SwfBytes b;
  b.u16(id).rect(0, 400, 0, 400);
  b.u8(1).u8(0).u8(uint8_t(id * 30)).u8(0x80).u8(0).u8(0).u8(0x10);
  ShapeRecords r{b, 1, 0};
  r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt);
  r.Straight(400, 0).Straight(0, 400).Straight(-400, 0).Straight(0, -400).End();
  return b.data();
}

std::vector<uint8_t> Frames(int n) {
  std::vector<uint8_t> v;
  for (int i = 0; i < n; ++i) v = Tags({v, ShowFrameTag()});
  return v;
}

// The "Level n" layers a page names, old (ANSI) or new (UTF-16) form.
std::set<int> Levels(const std::vector<uint8_t>& page) {
  std::set<int> levels;
  const std::string text(page.begin(), page.end());
  for (size_t at = 0; (at = text.find("L\0e\0v\0e\0l\0 \0"sv, at)) != std::string::npos; at += 12) {
    int n = 0;
    for (size_t i = at + 12; i + 1 < text.size() && text[i] >= '0' && text[i] <= '9' && !text[i + 1]; i += 2)
      n = n * 10 + (text[i] - '0');
    levels.insert(n);
  }
  for (size_t at = 0; (at = text.find("Level ", at)) != std::string::npos; at += 6) {
    int n = 0;
    for (size_t i = at + 6; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) n = n * 10 + (text[i] - '0');
    levels.insert(n);
  }
  return levels;
}

struct MaskMovie {
  const char* name;
  std::vector<uint8_t> tags;
  int frames;
  std::set<int> levels;  // the repaired depths
};

std::vector<uint8_t> Movie(const MaskMovie& m, bool inSprite) {
  SwfWriter w(8);
  for (uint16_t id = 1; id <= 7; ++id) w.tag(2, Square(id));
  std::vector<uint8_t> tags = m.tags;
  if (inSprite) {
    SwfBytes sprite;
    sprite.u16(20).u16(uint16_t(m.frames)).bytes(tags).bytes(SwfWriter::TagBytes(0, {}));
    w.tag(39, sprite.data());
    tags = Tags({PlaceObject2Tag({.depth = 1, .character = 20}), ShowFrameTag()});
  }
  ForEachTag(tags, 0, tags.size(), [&](uint32_t code, size_t body, uint32_t len) {
    w.tag(uint16_t(code), std::vector<uint8_t>(tags.begin() + long(body), tags.begin() + long(body + len)));
  });
  return w.end().build();
}

TEST(MaskMovie, RepairedMasksThroughTheProgram) {
  const MaskMovie movies[] = {
      {"deep clip regrouped",
       Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 40000}),
             PlaceObject2Tag({.depth = 2, .character = 7}), Frames(3), RemoveObject2Tag(1), Frames(2),
             PlaceObject2Tag({.depth = 2, .move = true, .x = 40}), Frames(1)}),
       6,
       {1, 2, 4}},
      {"nested masks apart in time",
       Tags({PlaceObject2Tag({.depth = 2, .character = 1, .clip = 4}),
             PlaceObject2Tag({.depth = 3, .character = 2}), Frames(9), RemoveObject2Tag(2),
             RemoveObject2Tag(3), Frames(10), PlaceObject2Tag({.depth = 4, .character = 3, .clip = 5}),
             PlaceObject2Tag({.depth = 5, .character = 4}), Frames(10)}),
       29,
       {2, 3, 5, 6}},
      {"partly covering mask",
       Tags({PlaceObject2Tag({.depth = 1, .character = 1, .clip = 3}),
             PlaceObject2Tag({.depth = 3, .character = 2}), Frames(4), RemoveObject2Tag(3), Frames(5),
             PlaceObject2Tag({.depth = 1, .character = 3, .clip = 2, .move = true}), Frames(2),
             PlaceObject2Tag({.depth = 3, .character = 2}), Frames(3), RemoveObject2Tag(3), Frames(1)}),
       15,
       {1, 3, 5}},
  };
  for (const MaskMovie& m : movies) {
    for (const bool inSprite : {false, true}) {
      SCOPED_TRACE(std::string(m.name) + (inSprite ? ", in a sprite" : ""));
      TempDir dir;
      const std::vector<uint8_t> movie = Movie(m, inSprite);
      WriteFileBytes(dir.file("in.swf"), movie);
      ExpectSameBytesWhereverWorkFilesLive({dir.file("in.swf")});
      const ProgramRun run = RunProgram({"-q", dir.file("in.swf"), "-o", dir.file("out.fla")}, dir.file("config"));
      ASSERT_EQ(run.status, 0) << run.output;
      std::map<std::string, std::vector<uint8_t>> streams = ExpectReadableDocument(dir.file("out.fla"));
      EXPECT_TRUE(DocumentShowsMovie(movie, streams));
      // The timeline of the masks: the scene, or the sprite's symbol (the
      // one page of layers among the shapes' symbols).
      std::string timeline = "Page 1";
      for (const auto& [name, page] : streams)
        if (inSprite && name.starts_with("Symbol ") && !Levels(page).empty()) timeline = name;
      EXPECT_EQ(Levels(streams[timeline]), m.levels) << timeline;
    }
  }
}

}  // namespace
}  // namespace tovrani::test
