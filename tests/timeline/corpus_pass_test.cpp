// The pass over the main movie and every sprite of the real movies in the
// shared corpus: no frame of any timeline may show something else afterwards.
#include <gtest/gtest.h>

#include "fla/file_helpers.h"
#include "support/corpus.h"
#include "support/temp_dir.h"
#include "timeline/display_model.h"

namespace tovrani {
namespace {

using namespace test;

TEST(CorpusPass, EveryTimelineShowsTheSameFrames) {
  const auto corpus = CorpusMovies();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  int movies = 0;
  for (const CorpusMovie& item : corpus) {
    std::vector<uint8_t> movie = ReadFileBytes(item.path.string());
    if (movie.size() < 9 || movie[1] != 'W' || movie[2] != 'S') continue;
    if (movie[0] == 'C') {
      std::vector<uint8_t> body;
      InflateZlibToVector(std::span<const uint8_t>(movie).subspan(8), 64u << 20, body);
      movie.resize(8);
      movie.insert(movie.end(), body.begin(), body.end());
    }
    if (movie.size() < 9) continue;
    ++movies;
    SCOPED_TRACE(item.name);
    const size_t rectBits = 5 + 4 * size_t(movie[8] >> 3);
    const std::vector<uint8_t> tags(movie.begin() + long(std::min(movie.size(), 8 + (rectBits + 7) / 8 + 4)),
                                    movie.end());
    ConverterContext ctx;
    PassKeepsDisplay(ctx, tags, 2.0);
    // Every sprite of the original tags.
    ForEachTag(tags, 0, tags.size(), [&](uint32_t code, size_t body, uint32_t len) {
      if (code != 39 || len <= 4) return;
      std::vector<uint8_t> sprite(tags.begin() + long(body), tags.begin() + long(body + len));
      const auto before = ShownFrames(sprite, 4, sprite.size());
      RunSpritePass(ctx, sprite);
      const PassRecords records = SpriteRecords(ctx);
      const FramesDiff diff = CompareFrames(before, ShownFrames(sprite, 4, sprite.size(), &records));
      EXPECT_EQ(diff.changed, 0u) << "sprite at " << body << ", " << diff.first;
    });
  }
  EXPECT_GT(movies, 0);
}

}  // namespace
}  // namespace tovrani
