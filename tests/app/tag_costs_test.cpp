// What the number of a movie's tags costs, through the program: labels
// heaped on one frame stop at what the movie's bytes allow, the first left
// out named and the others counted, and objects placed and removed again
// within one frame leave the document as one such pair does.
#include <gtest/gtest.h>

#include <string>

#include "app/converted_movie.h"
#include "support/swf_writer.h"

namespace tovrani::test {
namespace {

using Bytes = std::vector<uint8_t>;

// A short string of a page as the document writes it: FF FE FF, its length
// in code units, then UTF-16.
std::string PageString(const std::string& ascii) {
  std::string out = "\xFF\xFE\xFF" + std::string(1, char(ascii.size()));
  for (char c : ascii) out += {c, '\0'};
  return out;
}

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

Bytes Place(uint16_t depth, uint16_t id, int32_t x = 0, const char* name = nullptr) {
  SwfBytes p;
  p.u8(name ? 0x26 : 0x06).u16(depth).u16(id).matrix(x, 0);
  if (name) p.str(name);
  return p.data();
}

Bytes Move(uint16_t depth, int32_t x) { return SwfBytes().u8(0x05).u16(depth).matrix(x, 0).data(); }

Bytes Remove(uint16_t depth) { return SwfBytes().u16(depth).data(); }

// 3,000 labels on frame 1 and one on each of frames 2 and 3, over a square
// shown throughout: the labels after the first of frame 1 take a "Labels"
// layer each, 1,024 and one per 16 bytes of the movie; the rest are left
// out, the first named. A movie of one label a frame says nothing.
TEST(FrameLabelBudget, FurtherLabelsOfAFrameStopAtTheMoviesBudget) {
  SwfWriter w(8);
  w.tag(2, SquareShape(1, 0, 400, 0x2040C0)).tag(26, Place(1, 1));
  for (int i = 0; i < 3000; ++i) w.tag(43, SwfBytes().str(std::string("L").append(std::to_string(i))).data());
  w.showFrame().tag(43, SwfBytes().str("two").data()).showFrame();
  w.tag(43, SwfBytes().str("three").data()).showFrame();
  const Bytes movie = w.end().build();
  const size_t kept = 1024 + (movie.size() - 8) / 16;
  ASSERT_LT(kept, 2999u);

  ConvertedMovie r;
  ConvertOnce(r, movie);
  const std::string page = Text(r.streams.at("Page 1"));
  // One layer for the first label of each frame, one for each further label kept.
  EXPECT_EQ(Occurrences(page, PageString("Labels")), 1 + kept);
  for (const std::string& label : std::vector<std::string>{"L0", "two", "three", std::string("L").append(std::to_string(kept))})
    EXPECT_NE(page.find(PageString(label)), std::string::npos) << label;
  EXPECT_EQ(page.find(PageString(std::string("L").append(std::to_string(kept + 1)))), std::string::npos);
  EXPECT_NE(r.run.output.find("FrameLabel \"L" + std::to_string(kept + 1) +
                              "\" in frame 1: the movie puts more labels on its frames than its size allows; "
                              "the label was left out."),
            std::string::npos)
      << r.run.output;
  EXPECT_NE(r.run.output.find(std::to_string(2999 - kept - 1) +
                              " more frame labels were left out: the movie puts more labels on its frames "
                              "than its size allows."),
            std::string::npos)
      << r.run.output;

  ConvertedMovie honest;
  SwfWriter one(8);
  one.tag(2, SquareShape(1, 0, 400, 0x2040C0)).tag(26, Place(1, 1));
  for (int f = 0; f < 5; ++f) one.tag(43, SwfBytes().str(std::string("F").append(std::to_string(f))).data()).showFrame();
  ConvertOnce(honest, one.end().build());
  EXPECT_EQ(Occurrences(Text(honest.streams.at("Page 1")), PageString("Labels")), 1u);
  EXPECT_EQ(honest.run.output.find("label"), std::string::npos) << honest.run.output;
}

// Runs of `pairs` placements removed in the frame that made them, among
// placements that stay, moves, replacements and a mask, on the scene and in
// a sprite. The player shows none of the pairs: the document shows the movie
// frame by frame, and is the same whether a run holds three pairs or sixty.
Bytes PairsAmongPlacements(int pairs) {
  const auto run = [pairs](SwfWriter& w, uint16_t depth, uint16_t id) {
    for (int i = 0; i < pairs; ++i)
      w.tag(26, Place(depth, id, 20 * (i % 5), i % 2 ? "pair" : nullptr)).tag(28, Remove(depth));
  };
  SwfWriter inner(8);
  run(inner, 1, 1);
  inner.tag(26, Place(1, 2)).showFrame();
  run(inner, 2, 2);
  inner.tag(26, Move(1, 100)).showFrame();

  SwfWriter w(8);
  w.tag(2, SquareShape(1, 0, 400, 0xC02020)).tag(2, SquareShape(2, 100, 200, 0x20C020));
  w.tag(39, SwfBytes().u16(3).u16(2).bytes(inner.tags()).u16(0).data());
  w.tag(26, Place(1, 1, 0, "kept"));
  run(w, 2, 2);
  w.tag(26, Place(2, 3)).tag(26, Place(5, 2));
  run(w, 4, 1);
  w.showFrame();
  w.tag(26, Move(1, 200));
  run(w, 3, 2);
  w.tag(28, Remove(2));
  run(w, 2, 1);
  w.tag(26, SwfBytes().u8(0x46).u16(6).u16(1).matrix(0, 0).u16(7).data());
  run(w, 7, 2);
  w.tag(26, Place(7, 2)).showFrame();
  w.tag(28, Remove(1));
  run(w, 1, 2);
  w.tag(26, Place(1, 2, 300)).tag(26, SwfBytes().u8(0x07).u16(5).u16(1).matrix(50, 0).data()).showFrame();
  return w.end().build();
}

TEST(PlacedAndRemovedInOneFrame, TheDocumentShowsTheMovieWhateverTheRunsHold) {
  ConvertedMovie few, many;
  ConvertOnce(few, PairsAmongPlacements(3));
  ConvertOnce(many, PairsAmongPlacements(60));
  EXPECT_EQ(few.streams, many.streams);
  EXPECT_EQ(ReadFileBytes(few.dir.file("m.fla.jsfl")), ReadFileBytes(many.dir.file("m.fla.jsfl")));
}

}  // namespace
}  // namespace tovrani::test
