// samples/sample.swf is the movie SampleMovie() builds. To regenerate it:
//   TOVRANI_WRITE_SAMPLE=1 build/tovrani_tests --gtest_filter=SampleMovie.*
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/program_runner.h"

namespace tovrani::test {
namespace {

TEST(SampleMovie, RepositoryCopyIsCurrent) {
  const std::string path = std::string(TOVRANI_SOURCE_DIR) + "/samples/sample.swf";
  const auto movie = SampleMovie();
  if (std::getenv("TOVRANI_WRITE_SAMPLE")) WriteFileBytes(path, movie);
  EXPECT_EQ(ReadFileBytes(path), movie);
}

}  // namespace
}  // namespace tovrani::test
