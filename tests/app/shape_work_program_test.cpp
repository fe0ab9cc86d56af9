// The movie's allowance of shape work through the program: shapes past it
// are written as decoded (the first named, one line for the rest), fills
// are charged for every row their edges cross, and a rewrite does not send
// the analysis back to the shape's start.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "app/converted_movie.h"
#include "shape/shape_test_support.h"
#include "support/document_frames.h"
#include "support/swf_writer.h"

namespace tovrani::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Streams = std::map<std::string, Bytes>;

constexpr uint8_t kLevel = 2;  // the format level of a version 8 movie

using Converted = ConvertedMovie;

// The program alone, each document under 2 MB.
void ConvertAndBound(Converted& r, const Bytes& movie, std::vector<std::string> options = {}) {
  ConvertOnce(r, movie, std::move(options), 16);
  EXPECT_LT(r.flaBytes, 2u << 20);
}

const std::string kAsked = "the movie asks for more shape analysis than its size allows";

// Edge records of shape `id`'s page, one count per object.
std::vector<uint32_t> RecordCounts(Converted& r, uint16_t id) {
  const std::string name = "Symbol " + std::to_string(id);
  std::vector<uint32_t> counts;
  EXPECT_TRUE(r.streams.count(name)) << name;
  EXPECT_TRUE(CheckShapePage(r.streams[name], kLevel, id, &counts)) << name;
  return counts;
}

// A vertical stretch of `dy` twips in edges a record can hold.
void Tall(ShapeRecords& r, int32_t dx, int32_t dy) {
  const int32_t pieces = (std::abs(dy) + 59999) / 60000;
  for (int32_t k = 0; k < pieces; ++k) r.Straight(k == 0 ? dx : 0, dy / pieces + (k == 0 ? dy % pieces : 0));
}

// Two line runs that draw the same edge: the analysis removes one.
void RepeatedLine(ShapeRecords& r, int32_t y) {
  r.Change(std::pair(100, y), 0u, std::nullopt, 1u);
  r.Straight(50, 0);
  r.Change(std::pair(100, y), std::nullopt, std::nullopt, std::nullopt);
  r.Straight(50, 0);
}

// A filled triangle `height` twips tall and one twip wide, then a repeated
// line.
Bytes TallTriangleShape(uint16_t id, int32_t height) {
  return OneFillOneLineShape(id, [height](ShapeRecords& r) {
    r.Change(std::pair(0, 0), 1u, std::nullopt, 0u);
    Tall(r, 1, height);
    r.Straight(-1, 0);
    Tall(r, 0, -height);
    RepeatedLine(r, 0);
  });
}

Bytes Movie(const std::vector<Bytes>& shapes, size_t padding = 0) {
  SwfWriter w(8);
  if (padding) w.tag(87, Bytes(padding, 0));  // DefineBinaryData: bytes the converter passes over
  for (const Bytes& s : shapes) w.tag(22, s, true);
  for (const Bytes& s : shapes)
    w.tag(26, SwfBytes().u8(0x06).u16(uint16_t(s[0] | s[1] << 8)).u16(uint16_t(s[0] | s[1] << 8)).matrix(0, 0).data());
  w.showFrame().end();
  return w.build();
}

// ---- The movie's allowance of shape work ----

// Twelve shapes whose fills each cost some 3 M units: an allowance of 2^24
// and 256 units a byte takes a few of them whole; the one it gives out on
// and every later one go out as decoded (their repeated line kept), the
// first named and one line for the others. Behind 96 KB of other data the
// same shapes are all analysed, in every problem-search mode, with nothing
// said.
TEST(ShapeWork, ShapesPastTheMoviesAllowanceAreWrittenAsDecoded) {
  std::vector<Bytes> shapes;
  for (uint16_t id = 1; id <= 12; ++id) shapes.push_back(TallTriangleShape(id, 100000));
  const Bytes movie = Movie(shapes);
  ASSERT_LT(movie.size(), 2000u);
  Converted r;
  ConvertAndBound(r, movie);
  const uint32_t decoded = RecordCounts(r, 12).at(0);
  uint16_t analysed = 0;
  while (analysed < 12 && RecordCounts(r, uint16_t(analysed + 1)).at(0) == decoded - 1) ++analysed;
  EXPECT_GE(analysed, 2u);
  EXPECT_LE(analysed, 9u);
  for (uint16_t id = uint16_t(analysed + 1); id <= 12; ++id) EXPECT_EQ(RecordCounts(r, id).at(0), decoded) << id;
  EXPECT_EQ(Occurrences(r.run.output, kAsked), 2u) << r.run.output;
  EXPECT_NE(r.run.output.find("DefineShape2 (character " + std::to_string(analysed + 1) + "): " + kAsked +
                              "; the shape was written without the problem search."),
            std::string::npos)
      << r.run.output;
  EXPECT_NE(r.run.output.find(std::to_string(12 - analysed - 1) +
                              " more shapes were written without the problem search: " + kAsked + "."),
            std::string::npos)
      << r.run.output;
  EXPECT_EQ(r.run.output.find("ectorization"), std::string::npos) << r.run.output;

  const Bytes padded = Movie(shapes, 96 << 10);
  for (const char* mode : {"", "Exact Problem Search / Vectorization=on", "Heuristic Problem Search=off"}) {
    SCOPED_TRACE(mode);
    Converted whole;
    ConvertOnce(whole, padded, *mode ? std::vector<std::string>{"--set", mode} : std::vector<std::string>{});
    EXPECT_EQ(whole.run.output.find(kAsked), std::string::npos) << whole.run.output;
    for (uint16_t id = 1; id <= 12; ++id) EXPECT_LT(RecordCounts(whole, id).at(0), decoded) << id;
  }
}

// A fill costs every row each of its edges crosses, not the rows it spans:
// a closed zigzag of 1,000 edges each 30,000 rows tall asks for 30 M units,
// more than a movie of 3 KB allows, and its shape is written as decoded,
// while one of 100 edges is analysed. Charged by its 30,000 rows alone the
// large one would be analysed.
TEST(ShapeWork, AFillIsChargedForEveryRowEachOfItsEdgesCrosses) {
  auto zigzag = [](uint16_t id, int32_t edges) {
    return OneFillOneLineShape(id, [edges](ShapeRecords& r) {
      r.Change(std::pair(0, 0), 1u, std::nullopt, 0u);
      for (int32_t i = 0; i < edges; ++i) r.Straight(1, i % 2 ? -30000 : 30000);
      r.Straight(-edges, 0);
      RepeatedLine(r, -500);
    });
  };
  const Bytes movie = Movie({zigzag(1, 100), zigzag(2, 1000)});
  ASSERT_LT(movie.size(), 8000u);
  Converted r;
  ConvertAndBound(r, movie);
  EXPECT_EQ(RecordCounts(r, 1), std::vector<uint32_t>{100 + 1 + 1});
  EXPECT_EQ(RecordCounts(r, 2), std::vector<uint32_t>{1000 + 1 + 2});
  EXPECT_EQ(Occurrences(r.run.output, kAsked), 1u) << r.run.output;
  EXPECT_NE(r.run.output.find("DefineShape2 (character 2): " + kAsked), std::string::npos) << r.run.output;
}

// One run of 20,000 edges, then 4,000 pairs of repeated line runs: each
// removal sends the analysis back only to the runs before the pair, so all
// pairs but one lose a run within the shape's own cap (decoding the shape
// from its start again after each removal gives the same). Doing that
// instead would take some 80 M units, and the analysis would stop after
// some 3,300 pairs.
TEST(ShapeWork, ARewriteSendsTheAnalysisBackOnlyToTheRunsBeforeIt) {
  const Bytes shape = OneFillOneLineShape(1, [](ShapeRecords& r) {
    r.Change(std::pair(0, 0), 0u, std::nullopt, 1u);
    for (int i = 0; i < 20000; ++i) r.Straight(1, 0);
    for (int k = 0; k < 4000; ++k)
      for (int copy = 0; copy < 2; ++copy) {
        r.Change(std::pair(0, 100 + 3 * k), std::nullopt, std::nullopt, std::nullopt);
        r.Straight(5, 0);
      }
  });
  Converted r;
  ConvertAndBound(r, Movie({shape}));
  EXPECT_EQ(RecordCounts(r, 1), std::vector<uint32_t>{20000 + 4000 + 1});
  EXPECT_EQ(r.run.output.find(kAsked), std::string::npos) << r.run.output;
}

// The retrace of a problem area fills each outline it traced and sets it
// against those before it, at the area's size: 64 lines over 400,000 twips
// ask for far more than a movie of 3 KB allows, and the shape goes out as
// decoded, named. Eight lines over 2,000 twips are retraced.
TEST(ShapeWork, ARetracedAreaIsChargedForTheFillsOfItsOutlines) {
  const std::vector<std::string> exact = {"--set", "Exact Problem Search / Vectorization=on"};
  const std::vector<std::string> none = {"--set", "No Problem Search=on"};
  for (const auto& [side, lines] : {std::pair{400000, 64}, std::pair{2000, 8}}) {
    SCOPED_TRACE(lines);
    const Bytes movie = Movie({OneFillOneLineShape(1, [&](ShapeRecords& r) { SelfCrossingGrid(r, side, lines); })});
    ASSERT_LT(movie.size(), 4000u);
    Converted decoded, searched;
    ConvertAndBound(decoded, movie, none);
    ConvertAndBound(searched, movie, exact);
    const bool refused = lines == 64;
    EXPECT_EQ(RecordCounts(searched, 1) == RecordCounts(decoded, 1), refused);
    EXPECT_EQ(searched.run.output.find("DefineShape2 (character 1): " + kAsked) != std::string::npos, refused)
        << searched.run.output;
    EXPECT_EQ(searched.run.output.find("ectorization"), std::string::npos) << searched.run.output;
  }
}

}  // namespace
}  // namespace tovrani::test
