// Every bitmap of the real movies of ../shared/corpus becomes a media stream
// whose pixels are the movie's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "convert/bitmap_tags.h"
#include "convert/converter_context.h"
#include "convert/engine.h"
#include "fla/file_helpers.h"
#include "media/jpeg_import.h"
#include "support/bitmap_data.h"
#include "support/independent_readers.h"
#include "support/corpus.h"
#include "support/recording_shell.h"
#include "support/temp_dir.h"
#include "swf/jpeg_data.h"
#include "swf/swf_reader.h"

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct BitmapTag {
  uint16_t code;
  Bytes body;
};

// The bitmap and JPEGTables tags of a movie body (from the frame rate on) in
// the order the tag loop meets them, those of sprites at the sprite.
void CollectBitmapTags(std::span<const uint8_t> tags, std::vector<BitmapTag>& out) {
  SwfReader r(tags);
  TagHeader h;
  while (r.tagHeader(h) && h.length <= r.remaining()) {
    std::span<const uint8_t> body = r.take(h.length);
    if (h.code == 39 && body.size() > 4) CollectBitmapTags(body.subspan(4), out);
    if (h.code == 6 || h.code == 8 || h.code == 20 || h.code == 21 || h.code == 35 || h.code == 36)
      out.push_back({h.code, Bytes(body.begin(), body.end())});
    if (h.code == 0) break;
  }
}

Bytes MovieBody(const Bytes& file) {
  if (file.size() < 8) return {};
  Bytes body;
  if (file[0] == 'C') {
    InflateZlibToVector(std::span(file).subspan(8), 64u << 20, body);
  } else {
    body.assign(file.begin() + 8, file.end());
  }
  if (body.empty()) return {};
  const size_t rectBytes = (5 + (body[0] >> 3) * 4 + 7) / 8;
  return body.size() > rectBytes + 4 ? Bytes(body.begin() + rectBytes + 4, body.end()) : Bytes{};
}

void CheckLossless(const BitmapTag& t, const Bytes& media) {
  SwfReader r(t.body);
  r.u16();
  const uint8_t format = r.u8();
  const uint32_t w = r.u16(), h = r.u16();
  const size_t at = format == 3 ? 8 : 7;
  const uint32_t colours = format == 3 ? t.body[7] + 1u : 0;
  const bool alpha = t.code == 36;
  Bytes data;
  InflateZlibToVector(std::span(t.body).subspan(at), 256u << 20, data);
  const size_t table = colours * (alpha ? 4 : 3);
  const size_t row = format == 3 ? (w + 3) / 4 * 4 : format == 4 ? (w * 2 + 3) / 4 * 4 : w * 4;
  ASSERT_GE(data.size(), table + row * h);
  Bytes argb;
  for (uint32_t i = 0; i < colours; ++i) {
    const uint8_t* c = &data[i * (alpha ? 4 : 3)];
    argb.insert(argb.end(), {alpha ? c[3] : uint8_t(0xFF), c[0], c[1], c[2]});
  }
  const Bytes head = RecordHead(format, uint16_t(w), uint16_t(h), colours || alpha ? 1 : 0, argb);
  ASSERT_GT(media.size(), head.size());
  EXPECT_EQ(Bytes(media.begin(), media.begin() + head.size()), head);
  Bytes pixels;
  ASSERT_TRUE(RecordPixels(media, head.size(), pixels));
  EXPECT_TRUE(pixels == Bytes(data.begin() + table, data.begin() + table + row * h));
}

void CheckJpeg(const BitmapTag& t, const Bytes& stream, const Bytes& tables) {
  const Bytes media = JpegOfMedia(stream);
  ASSERT_GE(media.size(), 4u);
  EXPECT_EQ(Bytes(media.begin(), media.begin() + 2), Bytes({0xFF, 0xD8}));
  EXPECT_EQ(Bytes(media.end() - 2, media.end()), Bytes({0xFF, 0xD9}));
  DecodedImage fromMedia, fromMovie;
  ASSERT_EQ(RecodeJpeg(media, kDecodeOnlyQuality, fromMedia), kRecodeDone);
  const Bytes plain = PlainJpeg(std::span(t.body).subspan(2), t.code == 6 ? std::span(tables) : std::span<const uint8_t>());
  ASSERT_EQ(RecodeJpeg(plain, kDecodeOnlyQuality, fromMovie), kRecodeDone);
  ASSERT_EQ(std::pair(fromMedia.width, fromMedia.height), std::pair(fromMovie.width, fromMovie.height));
  EXPECT_EQ(stream, JpegMedia(media, fromMedia.width, fromMedia.height));
  const size_t n = size_t(fromMedia.width) * fromMedia.height * 3;
  EXPECT_EQ(std::memcmp(fromMedia.rgb.get(), fromMovie.rgb.get(), n), 0);
}

void CheckJpegWithAlpha(const BitmapTag& t, const Bytes& media) {
  SwfReader r(t.body);
  r.u16();
  const uint32_t offset = r.u32();
  ASSERT_LE(offset, t.body.size() - 6);
  DecodedImage image;
  const Bytes plain = PlainJpeg(std::span(t.body).subspan(6, offset), {});
  ASSERT_EQ(RecodeJpeg(plain, kDecodeOnlyQuality, image), kRecodeDone);
  const uint32_t w = image.width, h = image.height;
  Bytes alpha;
  InflateZlibToVector(std::span(t.body).subspan(6 + offset), uint64_t(w) * h, alpha);
  alpha.resize(size_t(w) * h, 0xFF);
  const Bytes head = RecordHead(5, uint16_t(w), uint16_t(h), 1, {});
  ASSERT_GT(media.size(), head.size());
  EXPECT_EQ(Bytes(media.begin(), media.begin() + head.size()), head);
  Bytes pixels;
  ASSERT_TRUE(RecordPixels(media, head.size(), pixels));
  ASSERT_EQ(pixels.size(), size_t(w) * h * 4);
  size_t wrong = 0;
  for (size_t i = 0; i < size_t(w) * h; ++i) {
    const uint8_t* p = &pixels[i * 4];
    const uint8_t* c = image.rgb.get() + i * 3;
    const bool clear = alpha[i] == 0;
    wrong += p[0] != alpha[i] || p[1] != (clear ? 0 : c[0]) || p[2] != (clear ? 0 : c[1]) ||
             p[3] != (clear ? 0 : c[2]);
  }
  EXPECT_EQ(wrong, 0u);
}

TEST(BitmapCorpus, EveryBitmapBecomesAMediaStreamOfItsPixels) {
  const auto corpus = CorpusMovies();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  TempDir dir;
  int movies = 0;
  for (const CorpusMovie& movie : corpus) {
    if (!movie.has("DefineBits") || !movie.problems.empty() || movie.signature == "ZWS") continue;
    SCOPED_TRACE(movie.name);
    const Bytes file = ReadFileBytes(movie.path.string());
    std::vector<BitmapTag> tags;
    CollectBitmapTags(MovieBody(file), tags);
    ConverterContext ctx;
    RecordingShell shell;
    ctx.m_pShell = &shell;
    const std::string fla = dir.file("out.fla");
    ASSERT_EQ(ConvertMovie(ctx, movie.path.string(), fla, 0), kResultDone);
    std::map<std::string, Bytes> streams;
    ASSERT_TRUE(ReadCompoundFile(fla, streams));
    for (const std::string& m : shell.messages) EXPECT_EQ(m.find("Bitmap"), std::string::npos) << m;
    // Bitmaps and sounds share the media numbers: each bitmap's stream is
    // the one its library record names.
    const auto& lib = ctx.m_library.bitmaps;
    size_t k = 0;
    Bytes tables;  // as the handler keeps them, to rebuild DefineBits
    std::vector<uint16_t> ids;
    for (const BitmapTag& t : tags) {
      if (t.code == 8) {
        tables = t.body.size() >= 4 ? Bytes(t.body.begin() + 2, t.body.end() - 2) : Bytes{};
        continue;
      }
      ids.push_back(uint16_t(t.body[0] | t.body[1] << 8));
      ASSERT_LT(k, lib.size());
      const std::string name = "Media " + std::to_string(lib[k++].mediaNo);
      SCOPED_TRACE(name);
      ASSERT_EQ(streams.count(name), 1u);
      if (t.code == 20 || t.code == 36) CheckLossless(t, streams[name]);
      if (t.code == 6 || t.code == 21) CheckJpeg(t, streams[name], tables);
      if (t.code == 35) CheckJpegWithAlpha(t, streams[name]);
    }
    const size_t mediaStreams = lib.size() + ctx.m_library.sounds.size();
    EXPECT_EQ(streams.count("Media " + std::to_string(mediaStreams + 1)), 0u);
    // One library record per bitmap: its character id (a number of its own
    // for character 0), media numbers rising.
    ASSERT_EQ(lib.size(), ids.size());
    const uint16_t highest = *std::max_element(ids.begin(), ids.end());
    for (size_t j = 0; j < lib.size(); ++j) {
      if (ids[j])
        EXPECT_EQ(lib[j].itemNo, ids[j]);
      else
        EXPECT_GT(lib[j].itemNo, highest);
      if (j) {
        EXPECT_LT(lib[j - 1].mediaNo, lib[j].mediaNo);
      }
    }
    ++movies;
  }
  EXPECT_GT(movies, 0);
}

}  // namespace
}  // namespace tovrani::test
