#include "fla/document_finaliser.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fla/document_page.h"
#include "fla/field_list.h"
#include "fla/jsfl_script.h"
#include "fla/stream_placement.h"
#include "support/independent_readers.h"
#include "support/temp_dir.h"
#include "convert/converter_context.h"

namespace tovrani::test {
namespace {

bool Holds(const std::vector<uint8_t>& hay, const std::vector<uint8_t>& needle) {
  return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}
// Whether the Contents stream holds the text in UTF-16.
bool HoldsText(const std::string& ascii) { return Holds(g_contents.Bytes(), FieldBytes("UTF-16 \"" + ascii + "\"")); }

struct Finaliser : ::testing::Test {
  void Level(uint8_t level) {
    ctx.m_nFlaFormat = level;
    WriteDocumentPage(g_contents, level);
    ctx.m_strJsflPath = dir.file("doc.fla.jsfl");
    ctx.m_strStaticTextFolder = dir.file("StaticText_doc.fla");
    ctx.m_strShapesFolder = dir.file("Shapes_doc.fla");
    ASSERT_TRUE(WriteJsflHeader(ctx.m_strJsflPath));
  }
  void Symbol(uint16_t item) {
    ctx.m_pStreamId[ctx.m_nStreams] = uint16_t(100 + item);
    ctx.m_pStreamItemNo[ctx.m_nStreams] = item;
    ++ctx.m_nStreams;
  }
  uint32_t Run() {
    uint32_t word = 1;
    uint32_t r = FinishDocument(ctx, library, folderIds, word);
    EXPECT_EQ(word, 0u);
    return r;
  }
  std::string Script() {
    const auto b = ReadFileBytes(ctx.m_strJsflPath);
    return {b.begin(), b.end()};
  }
  TempDir dir;
  ConverterContext ctx;
  DocumentLibrary library;
  std::vector<uint32_t> folderIds;
};

TEST_F(Finaliser, FoldersAndScriptPiecesFollowTheRules) {
  Level(2);
  ctx.options.exactProblemSearch = 1;  // with "Use JSFL": morph folders
  library.fonts.resize(2);
  for (auto& font : library.fonts) font.glyphsPlaced = true;
  library.fonts[0].nameKnown = true;
  library.fonts[0].name = "Serif";
  library.fonts[0].firstItemNo = 10;
  library.fonts[0].lastItemNo = 11;
  library.fonts[1].firstItemNo = 11;
  library.fonts[1].lastItemNo = 20;
  library.morphs = {{30, 32, {31}, {-50}}};
  ctx.m_pJsflStaticTextIds = {40};
  ctx.m_pJsflShapeIds = {50};
  for (uint16_t item : {10, 11, 20, 30, 31, 40, 50, 60}) Symbol(item);
  ASSERT_EQ(Run(), 0u);

  // Library ids run from 3: each folder at its first use, then the item's.
  EXPECT_EQ(folderIds, (std::vector<uint32_t>{3, 6, 8, 10, 12, 14}));
  for (const char* name : {"Serif", "NoName", "_Morph_Shapes_Elements_", "_Morph_Shapes_", "_Static_Text_",
                           "_Shapes_", "PublishQTProperties::QTSndSettings", "<mobileSettings>"})
    EXPECT_TRUE(HoldsText(name)) << name;

  const std::string script = Script();
  for (const char* piece : {"lib.selectItem('_Morph_Shapes_/Symbol 131');", "'tweenEasing', -50);_fr_.selectNone();",
                            "_Static_Text_/Symbol 140", "_Shapes_/Symbol 150"})
    EXPECT_NE(script.find(piece), std::string::npos) << piece;
  EXPECT_TRUE(script.ends_with(JsflClosingSave()));
  EXPECT_TRUE(IsValidJavaScript(script.substr(3)));
  EXPECT_EQ(ctx.m_bJsflWritten, 1);
}

TEST_F(Finaliser, MorphFoldersDependOnTheJsflOptions) {
  Level(1);
  library.morphs = {{30, 32, {31}, {7}}};
  Symbol(30);
  Symbol(31);
  ctx.options.shapeJsflImport = 1;  // elements stay outside any folder
  ASSERT_EQ(Run(), 0u);
  EXPECT_EQ(folderIds, std::vector<uint32_t>{4});
  EXPECT_FALSE(HoldsText("PublishQTProperties::QTSndSettings") || HoldsText("<mobileSettings>"));

  // Neither import nor "Use JSFL" with the exact search: no morph folder and
  // a script of its header alone.
  Level(0);
  ctx.options.shapeJsflImport = 0;
  ctx.m_bJsflWritten = 0;
  ASSERT_EQ(Run(), 0u);
  EXPECT_TRUE(folderIds.empty());
  EXPECT_EQ(Script(), JsflHeader());
  EXPECT_EQ(ctx.m_bJsflWritten, 0);
}

TEST_F(Finaliser, MediaItemsAndLinkage) {
  Level(2);
  Symbol(5);
  LinkageRecord first, later;
  first.itemNo = later.itemNo = 5;
  first.flags = later.flags = 1;
  first.strings[0] = "firstName";
  later.strings[0] = std::string(300, 'n');  // needs the long length
  ctx.m_pLinkages = {first, later};
  DocumentLibrary::Sound sound;
  sound.itemNo = 7;
  sound.format = 0x0F;
  sound.sampleCount = 1000;
  library.sounds = {sound};
  library.bitmaps = {{1, 6, false, false, 0}, {2, 8, true, true, 77}};
  ctx.options.pictureFolder = 0;
  ASSERT_EQ(Run(), 0u);
  const auto& c = g_contents.Bytes();
  EXPECT_FALSE(HoldsText("firstName") || HoldsText("_Pictures_"));
  EXPECT_TRUE(HoldsText("_Sounds_"));
  EXPECT_TRUE(Holds(c, FieldBytes("M; u8 0xFF; u16 300; UTF-16 \"n\"")));  // the long length
  EXPECT_TRUE(Holds(c, FieldBytes("u16 0x0F; u32 250")));  // 1000 samples counted by four
  EXPECT_TRUE(Holds(c, FieldBytes("ANSI \"CMediaSound\"")));
  EXPECT_TRUE(ctx.m_pLinkages.empty());
}

TEST_F(Finaliser, RefusesALibraryTooLargeToReference) {
  Level(2);
  for (int i = 0; i < 0x7FFF; ++i) Symbol(uint16_t(i));
  const size_t before = g_contents.Length();
  EXPECT_EQ(Run(), uint32_t(kResultTooManyItems));
  EXPECT_EQ(g_contents.Length(), before);
}

}  // namespace
}  // namespace tovrani::test
