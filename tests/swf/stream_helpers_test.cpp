#include "swf/stream_helpers.h"

#include <gtest/gtest.h>

#include "support/byte_sink.h"

namespace tovrani {
namespace {

using test::Bytes;
using test::ByteSink;

std::FILE* FileWith(const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  return f;
}

TEST(StreamHelpersTest, AppendStreamFileTakesUpToTheWritePosition) {
  std::FILE* src = FileWith({1, 2, 3, 4});
  std::fseek(src, 3, SEEK_SET);  // the fourth byte is past the write position
  ByteSink dst;
  ASSERT_TRUE(AppendStreamFile(src, dst, false));
  std::fseek(src, 3, SEEK_SET);
  ASSERT_TRUE(AppendStreamFile(src, dst, true));
  std::fseek(src, 1, SEEK_SET);
  ASSERT_TRUE(AppendStreamFile(src, dst, true));  // nothing after the first byte
  EXPECT_BYTES(dst.bytes(), Bytes({1, 2, 3, 2, 3}));
  std::fclose(src);
}

TEST(StreamHelpersTest, SectorRunsAndMarkers) {
  ByteSink out;
  uint32_t next = 3;
  ASSERT_TRUE(WriteSectorRun(out, 2, next, 0xFFFFFFFE));
  EXPECT_EQ(next, 6u);
  ASSERT_TRUE(WriteSectorRun(out, 0, next, 0xFFFFFFFE));
  EXPECT_EQ(next, 7u);
  ASSERT_TRUE(WriteFatMarkerPair(123, 1, out));
  ASSERT_TRUE(WriteFatMarkerPair(123, 0, out));
  EXPECT_BYTES(out.bytes(),
               Bytes({3,    0,    0,    0,    4,    0,    0,    0,   0xFE, 0xFF, 0xFF, 0xFF,  //
                      0xFE, 0xFF, 0xFF, 0xFF,                                                 //
                      0xFD, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF}));
}

}  // namespace
}  // namespace tovrani
