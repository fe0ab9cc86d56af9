// Every DefineShape of the real movies beside the project becomes a shape
// page that the structural check accepts, at the movie's own level and at
// the other two.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <map>

#include "fla/archive.h"
#include "shape/decode/define_shape.h"
#include "shape/shape_test_support.h"
#include "support/byte_sink.h"
#include "support/independent_readers.h"
#include "support/page_walker.h"
#include "support/recording_shell.h"
#include "support/temp_dir.h"
#include "swf/engine.h"
#include "swf/tag_loop.h"
#include "swf/swf_reader.h"
#include "swf/swf_values.h"

namespace tovrani {
namespace {

namespace fs = std::filesystem;

// The movie's tags after the header, inflated when compressed; empty when
// the file is no FWS or CWS movie.
std::vector<uint8_t> MovieTags(const std::vector<uint8_t>& file, uint8_t& version) {
  if (file.size() < 8 || file[1] != 'W' || file[2] != 'S') return {};
  version = file[3];
  std::vector<uint8_t> body;
  if (file[0] == 'F') {
    body.assign(file.begin() + 8, file.end());
  } else if (file[0] == 'C') {
    uLongf declared = uint32_t(file[4] | file[5] << 8 | file[6] << 16 | uint32_t(file[7]) << 24);
    body.resize(std::min<uLongf>(declared, 64u << 20));
    z_stream z{};
    inflateInit(&z);
    z.next_in = const_cast<Bytef*>(file.data() + 8);
    z.avail_in = uInt(file.size() - 8);
    z.next_out = body.data();
    z.avail_out = uInt(body.size());
    inflate(&z, Z_FINISH);
    body.resize(z.total_out);
    inflateEnd(&z);
  } else {
    return {};
  }
  SwfReader r(body);
  SwfRect frame;
  ReadSwfRect(r, frame);
  r.skip(4);
  if (!r.ok()) return {};
  return std::vector<uint8_t>(body.begin() + long(r.pos()), body.end());
}

struct ShapeTag {
  uint16_t code;
  std::vector<uint8_t> body;
  bool inSprite;
};

void CollectShapes(std::span<const uint8_t> tags, std::vector<ShapeTag>& out, int depth = 0) {
  SwfReader r(tags);
  TagHeader h;
  while (r.tagHeader(h) && h.code != 0) {
    if (h.length > r.remaining()) break;
    std::span<const uint8_t> body = r.take(h.length);
    if ((h.code == 2 || h.code == 22 || h.code == 32 || h.code == 83) && body.size() > 2)
      out.push_back({h.code, std::vector<uint8_t>(body.begin() + 2, body.end()), depth > 0});
    if (h.code == 39 && body.size() > 4 && depth < 4) CollectShapes(body.subspan(4), out, depth + 1);
  }
}

// The page head and shape head every shape page starts with.
bool StartsAsShapePage(const std::vector<uint8_t>& page, uint8_t level) {
  test::ByteSink s;
  WriteShapeRecordHeadShort(s.file(), true, level);
  const std::vector<uint8_t> head = s.bytes();
  return page.size() > head.size() && std::equal(head.begin(), head.end(), page.begin());
}

TEST(CorpusShapes, EveryDefineShapeBecomesAWellFormedPage) {
  const fs::path corpus = fs::path(TOVRANI_SHARED_DIR) / "corpus";
  if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus";
  size_t shapes = 0;
  for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
    if (entry.path().extension() != ".swf") continue;
    uint8_t version = 0;
    const std::vector<uint8_t> tags = MovieTags(test::ReadFileBytes(entry.path().string()), version);
    std::vector<ShapeTag> found;
    CollectShapes(tags, found);
    const uint8_t ownLevel = version < 7 ? 0 : version == 7 ? 1 : 2;
    for (const ShapeTag& shape : found) {
      for (uint8_t level : {ownLevel, uint8_t((ownLevel + 1) % 3)}) {
        ConverterContext ctx;
        ctx.m_nFlaFormat = level;
        ctx.m_bShapesOn = 1;
        std::FILE* f = std::tmpfile();
        ASSERT_TRUE(f);
        const ShapePageResult result = BuildShapePage(ctx, shape.code, shape.body, f, 5);
        std::vector<uint8_t> page;
        std::rewind(f);
        for (int c; (c = std::fgetc(f)) != EOF;) page.push_back(uint8_t(c));
        std::fclose(f);
        ASSERT_TRUE(result.ok);
        ASSERT_TRUE(test::CheckShapePage(page, level, 5))
            << entry.path() << " tag " << shape.code << " level " << int(level);
        ASSERT_TRUE(test::PageWalksClean(page)) << entry.path();
      }
      ++shapes;
    }
  }
  EXPECT_GT(shapes, 100u);
}

// The whole conversion of each well-formed movie: its shapes are symbol
// pages of the document, and the scene walks clean.
TEST(CorpusShapes, MoviesGiveASymbolPagePerShape) {
  const fs::path corpus = fs::path(TOVRANI_SHARED_DIR) / "corpus";
  if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus";
  test::TempDir dir;
  size_t movies = 0;
  for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
    if (entry.path().extension() != ".swf") continue;
    uint8_t version = 0;
    std::vector<ShapeTag> found;
    CollectShapes(MovieTags(test::ReadFileBytes(entry.path().string()), version), found);
    size_t converted = 0;
    for (const ShapeTag& shape : found)
      converted += !shape.inSprite || IsLiftedSpriteDefinition(shape.code);
    if (converted == 0) continue;
    ConverterContext ctx;
    test::RecordingShell shell;
    ctx.m_pShell = &shell;
    if (ConvertMovie(ctx, entry.path().string(), dir.file("out.fla"), 0) != kResultDone) continue;
    std::map<std::string, std::vector<uint8_t>> streams;
    ASSERT_TRUE(test::ReadCompoundFile(dir.file("out.fla"), streams)) << entry.path();
    const uint8_t level = ctx.m_nFlaFormat;
    size_t shapePages = 0;
    for (const auto& [name, page] : streams) {
      if (name.rfind("Symbol ", 0) != 0 || !StartsAsShapePage(page, level)) continue;
      EXPECT_TRUE(test::CheckShapePage(page, level, std::nullopt)) << entry.path() << " " << name;
      EXPECT_TRUE(test::PageWalksClean(page)) << entry.path() << " " << name;
      ++shapePages;
    }
    EXPECT_GE(shapePages, converted) << entry.path();
    ASSERT_TRUE(streams.count("Page 1"));
    EXPECT_TRUE(test::WalkPage(streams["Page 1"]).ok) << entry.path();
    ++movies;
  }
  EXPECT_GT(movies, 10u);
}

}  // namespace
}  // namespace tovrani
