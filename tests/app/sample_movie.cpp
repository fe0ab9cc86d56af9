// samples/sample.swf is the movie SampleMovie() builds. To regenerate it:
//   TOVRANI_WRITE_SAMPLE=1 build/tovrani_tests --gtest_filter=SampleMovie.*
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/program_runner.h"
#include "support/swf_writer.h"

namespace tovrani::test {

std::vector<uint8_t> SampleMovie(uint8_t version, bool compressed) {
  SwfWriter w(version);
  w.tag(9, {0xFF, 0xFF, 0xFF});  // white background

  // DefineShape 1: a 100-pixel red square.
  SwfBytes shape;
  shape.u16(1).rect(1000, 3000, 1000, 3000);
  shape.u8(1).u8(0x00).u8(0xE0).u8(0x20).u8(0x20);  // one solid fill
  shape.u8(0);                                    // no line styles
  shape.ubits(1, 4).ubits(0, 4);                  // fill and line index bits
  shape.ubits(0, 1).ubits(0b00101, 5);            // style change: fill 1, move
  shape.ubits(12, 5).sbits(1000, 12).sbits(1000, 12).ubits(1, 1);
  const int32_t sides[4][2] = {{2000, 0}, {0, 2000}, {-2000, 0}, {0, -2000}};
  for (const auto& d : sides) {
    shape.ubits(1, 1).ubits(1, 1).ubits(12 - 2, 4).ubits(0, 1);  // straight, not general
    shape.ubits(d[0] == 0 ? 1 : 0, 1).sbits(d[0] == 0 ? d[1] : d[0], 12);
  }
  shape.ubits(0, 6).align();
  w.tag(2, shape.data());

  SwfBytes place;
  place.u8(0x06).u16(1).u16(1).matrix(0, 0);
  w.tag(26, place.data());
  w.tag(43, {'s', 't', 'a', 'r', 't', 0});
  w.showFrame();
  SwfBytes move;
  move.u8(0x05).u16(1).matrix(2000, 1000);
  w.tag(26, move.data());
  w.showFrame();
  w.end();
  return w.build(compressed);
}

TEST(SampleMovie, RepositoryCopyIsCurrent) {
  const std::string path = std::string(TOVRANI_SOURCE_DIR) + "/samples/sample.swf";
  const auto movie = SampleMovie();
  if (std::getenv("TOVRANI_WRITE_SAMPLE")) WriteFileBytes(path, movie);
  EXPECT_EQ(ReadFileBytes(path), movie);
}

}  // namespace tovrani::test
