// The font and edit-text tags of the real movies of ../shared/corpus: every
// glyph decodes into well-formed edge records, every font's codes stay
// within what its tags gave, and every edit text's runs cover its text.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "convert/converter_context.h"
#include "convert/engine.h"
#include "fla/text_encoding.h"
#include "shape/decode/encoded_shape.h"
#include "support/corpus.h"
#include "support/recording_shell.h"
#include "support/temp_dir.h"

namespace tovrani {
namespace {


TEST(TextCorpus, FontsAndEditTextsGiveUsableRecords) {
  const auto corpus = test::CorpusMovies();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  test::TempDir dir;
  size_t fonts = 0, glyphs = 0, texts = 0;
  for (const test::CorpusMovie& movie : corpus) {
    if (!movie.has("Font") && !movie.has("EditText")) continue;
    SCOPED_TRACE(movie.name);
    ConverterContext ctx;
    test::RecordingShell shell;
    ctx.m_pShell = &shell;
    const uint32_t r = ConvertMovie(ctx, movie.path.string(), dir.file("out.fla"), 0);
    if (movie.sound()) {
      EXPECT_EQ(r, kResultDone);
    }
    for (const FontRecord& font : ctx.m_library.fonts) {
      ++fonts;
      for (const GlyphShape& g : font.glyphs) {
        ++glyphs;
        std::vector<uint8_t> stream = g.edges;
        stream.push_back(0);
        const auto extent = MeasureEdgeStream(stream);
        ASSERT_TRUE(extent.has_value()) << "font " << font.id;
        EXPECT_EQ(extent->records, g.recordCount) << "font " << font.id;
      }
      if (!font.infoFlag && font.definingTag != 10) {
        EXPECT_EQ(font.codes.size(), font.glyphs.size()) << "font " << font.id;
      }
    }
    for (const EditTextRecord& text : ctx.m_pEditTexts) {
      ++texts;
      uint32_t covered = 0;
      for (const TextStyleRun& run : text.runs) {
        EXPECT_EQ(run.start, covered) << "edit text " << text.characterId;
        EXPECT_GT(run.length, 0u);
        covered += run.length;
      }
      if (!text.runs.empty()) {
        EXPECT_EQ(covered, Utf16FromUtf8(text.initialText).size()) << "edit text " << text.characterId;
      }
    }
  }
  EXPECT_GT(fonts, 0u);
  EXPECT_GT(glyphs, 0u);
  EXPECT_GT(texts, 0u);
}

}  // namespace
}  // namespace tovrani
