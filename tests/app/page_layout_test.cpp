// The known stops of the page and media check: each is still met by a small
// movie that writes the record, so the entry goes when the program is mended.
#include "support/page_layout.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "app/program_runner.h"
#include "support/corpus.h"
#include "support/swf_writer.h"

namespace tovrani::test {
namespace {

// PlaceObject2 of `id` at `depth`.
std::vector<uint8_t> Place(uint16_t id, uint16_t depth) {
  return SwfBytes().u8(0x06).u16(depth).u16(id).matrix(0, 0).data();
}

TEST(PageLayout, EveryKnownStopIsStillMet) {
  if (!std::filesystem::exists(SharedDir() / "tools" / "page_grammar.py"))
    GTEST_SKIP() << "no " << (SharedDir() / "tools" / "page_grammar.py").string();
  std::vector<std::vector<uint8_t>> movies;
  {  // A button at level 0.
    SwfWriter w(6);
    w.tag(2, SquareShape(1, 0, 400, 0xFF0000));
    w.tag(7, SwfBytes().u16(2).u8(0x0F).u16(1).u16(1).matrix(0, 0).u8(0).u8(0).data());
    movies.push_back(w.tag(26, Place(2, 1)).showFrame().end().build());
  }
  {  // A sprite with init actions, moved: its wrapper clip at level 0.
    SwfWriter w(6);
    w.tag(2, SquareShape(1, 0, 400, 0xFF0000));
    SwfBytes sprite;
    sprite.u16(10).u16(1).bytes(SwfWriter::TagBytes(26, Place(1, 1)));
    sprite.bytes(SwfWriter::TagBytes(1, {})).bytes(SwfWriter::TagBytes(0, {}));
    w.tag(39, sprite.data()).tag(59, SwfBytes().u16(10).u8(0).data());
    w.tag(26, SwfBytes().u8(0x26).u16(1).u16(10).matrix(0, 0).str("comp").data()).showFrame();
    w.tag(26, SwfBytes().u8(0x05).u16(1).matrix(200, 0).data()).showFrame();
    movies.push_back(w.end().build());
  }
  TempDir dir;
  std::set<size_t> met;
  for (size_t m = 0; m < movies.size(); ++m) {
    const std::string swf = dir.file(std::to_string(m) + ".swf");
    WriteFileBytes(swf, movies[m]);
    ASSERT_EQ(RunProgram({"-q", swf, "-o", swf + ".fla"}, dir.file("config")).status, 0);
    const PageFindings f = FindPageDifferences(swf + ".fla");
    EXPECT_TRUE(f.structural.empty()) << f.output;
    met.insert(f.known.begin(), f.known.end());
  }
  for (size_t k = 0; k < kKnownPageStops.size(); ++k)
    EXPECT_TRUE(met.count(k)) << "no longer met, remove it: " << kKnownPageStops[k].finding;
}

}  // namespace
}  // namespace tovrani::test
