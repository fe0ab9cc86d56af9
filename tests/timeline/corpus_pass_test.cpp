// The pass over the main movie and every sprite of the real movies in the
// shared corpus: no frame of any timeline may show something else afterwards.
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>

#include "support/temp_dir.h"
#include "timeline/display_model.h"
#include "timeline/pass_runner.h"

namespace tovrani {
namespace {

using namespace test;
namespace fs = std::filesystem;

// The whole movie, uncompressed; empty when it is not a FWS/CWS movie.
std::vector<uint8_t> Uncompressed(const std::vector<uint8_t>& file) {
  if (file.size() < 8 || file[1] != 'W' || file[2] != 'S') return {};
  if (file[0] == 'F') return file;
  if (file[0] != 'C') return {};
  std::vector<uint8_t> out(file.begin(), file.begin() + 8);
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return {};
  z.next_in = const_cast<uint8_t*>(file.data() + 8);
  z.avail_in = uInt(file.size() - 8);
  uint8_t chunk[65536];
  int rc = Z_OK;
  while (rc == Z_OK && out.size() < (64u << 20)) {
    z.next_out = chunk;
    z.avail_out = sizeof chunk;
    rc = inflate(&z, Z_NO_FLUSH);
    out.insert(out.end(), chunk, chunk + (sizeof chunk - z.avail_out));
    if (rc == Z_BUF_ERROR && z.avail_in == 0) break;
  }
  inflateEnd(&z);
  return out;
}

size_t TagsStart(const std::vector<uint8_t>& movie) {
  if (movie.size() < 9) return movie.size();
  size_t rectBits = 5 + 4 * size_t(movie[8] >> 3);
  return std::min(movie.size(), 8 + (rectBits + 7) / 8 + 4);
}

TEST(CorpusPass, EveryTimelineShowsTheSameFrames) {
  fs::path dir = fs::path(TOVRANI_SHARED_DIR) / "corpus";
  if (!fs::is_directory(dir)) GTEST_SKIP() << "no corpus at " << dir;
  int movies = 0, sprites = 0;
  for (const auto& item : fs::recursive_directory_iterator(dir)) {
    if (!item.is_regular_file() || item.path().extension() != ".swf") continue;
    std::vector<uint8_t> movie = Uncompressed(ReadFileBytes(item.path().string()));
    if (movie.empty()) continue;
    ++movies;
    SCOPED_TRACE(item.path().string());
    std::vector<uint8_t> tags(movie.begin() + long(TagsStart(movie)), movie.end());
    std::vector<uint8_t> original = tags;
    ConverterContext ctx;
    auto start = std::chrono::steady_clock::now();
    RunMainPass(ctx, tags);
    EXPECT_TRUE(ShownFrames(tags, 0, tags.size()) == ShownFrames(original, 0, original.size()));

    // Every sprite of the original tags.
    size_t pos = 0;
    while (original.size() - pos >= 2) {
      uint32_t word = original[pos] | (original[pos + 1] << 8);
      uint32_t len = word & 63;
      size_t body = pos + 2;
      if (len == 63) {
        if (original.size() - body < 4) break;
        len = original[body] | (original[body + 1] << 8) | (original[body + 2] << 16) |
              (uint32_t(original[body + 3]) << 24);
        body += 4;
      }
      if (len > original.size() - body) break;
      if ((word >> 6) == 39 && len > 4) {
        std::vector<uint8_t> sprite(original.begin() + long(body), original.begin() + long(body + len));
        auto before = ShownFrames(sprite, 4, sprite.size());
        RunSpritePass(ctx, sprite);
        EXPECT_TRUE(ShownFrames(sprite, 4, sprite.size()) == before) << "sprite at " << pos;
        ++sprites;
      }
      pos = body + len;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 2.0);
  }
  EXPECT_GT(movies, 0);
  RecordProperty("sprites", sprites);
}

}  // namespace
}  // namespace tovrani
