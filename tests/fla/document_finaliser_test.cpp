#include "fla/document_finaliser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "fla/document_page.h"
#include "fla/expected_records.h"
#include "fla/field_list.h"
#include "fla/jsfl_script.h"
#include "fla/stream_placement.h"
#include "support/independent_readers.h"
#include "support/library_items.h"
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

  // Item ids count on from the main page's: each folder at its first use,
  // then the item's.
  EXPECT_EQ(folderIds, (std::vector<uint32_t>{2, 5, 7, 9, 11, 13}));
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
  EXPECT_EQ(folderIds, std::vector<uint32_t>{3});
  EXPECT_TRUE(HoldsText("PublishQTProperties::QTSndSettings"));
  EXPECT_FALSE(HoldsText("<mobileSettings>"));

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

// The page record after its name, as the main page has it (from the u32
// run that follows its empty name).
const char* const kPageRest[3] = {
    "u32 0, 0, 1, 0, -1, 0; u8 0; u32 512; u16 0; u32 1, 1, 3; u8 0, 0, 0, 0; u32 1; u8 0, 0; "
    "u32 0, 0, 1, 0, -1, 512, 0, 0x2000000, 0 x 5; u16 0",
    "u32 0 x 2, 1, 0, -1, 0; u8 0; M; u8 0; M; u32 512; u16 0; u32 1 x 2, 5; u8 0; M; u8 0; M; u8 0; M; "
    "u16 0; u32 2; M; u8 0; M; u8 0; u32 0 x 2, 1, 0, -1, 5; u8 0; M; u32 0, 256, 0; u8 0; M; u8 0, 3; M; "
    "u8 0; u32 0 x 2; u8 3; M; u8 0; u32 0 x 2; u8 3; M; u8 0; u32 0 x 2; M; u8 0; u32 2; u8 0; u32 1; M; "
    "u8 0; u32 0 x 2; M; u8 0; M; u8 0; u32 0; M; u8 0",
    "u32 0 x 2, 1, 0, -1; u8 0; M; u32 0; u16 0; M; u8 0; M; u32 512; u16 0; u32 1 x 2, 7; u8 0; M; u8 0; "
    "M; u8 0; M; u16 0; u32 2; M; u8 0; M; u8 0; u32 0 x 2, 1, 0, -1; u8 0; M; u8 0; u32 6; u8 0; M; "
    "u32 0, 256, 0; u8 0; M; u8 0, 3; M; u8 0; u32 0 x 2; u8 3; M; u8 0; u32 0 x 2; u8 3; M; u8 0; "
    "u32 0 x 2; M; u8 0; u32 2; u8 0; u32 1; M; u8 0; u32 0 x 3; M; u8 0; M; u8 0; u32 1; M; u8 0; u32 0; "
    "u16 0; u32 0x8000 x 3; u16 0x8000"};

// One movie clip in the "_Shapes_" folder, one bitmap, one sound and the
// document properties up to the publish pairs; then, after the palette, the
// folder list and the view settings. Ids: folder 2, symbol 3, bitmap 4,
// sound 5 (stamp 0x43B71B80).
struct LevelRecords {
  const char* library;
  const char* closing;
};
const LevelRecords kRecords[3] = {
    {// level 0
     "u16 0x8001; u8 17; u8 10; ANSI \"Symbol 105\"; u8 10; ANSI \"Symbol 105\"; u16 5, 0; u8 2, 0; "
     "u32 1, 5, 1, 0x43B71B80, 2, 1, 0x43B71B80, 3, 0; u32 3; u8 0, 0, 0, 0; u32 1; u8 0; "
     "u8 10; ANSI \"Symbol 105\"; %REST%; u16 0, 8; "
     "u32 0x1FFFF; u16 10; ANSI \"CMediaBits\"; u8 5; u8 7; ANSI \"Media 1\"; u8 7; ANSI \"Media 1\"; u16 6; "
     "u8 0; u32 0; u32 5, 1, 0, 0, 1, 0x43B71B80, 4, 0; u32 3; u8 0, 0, 0, 0; u32 1; u8 0, 0; "
     "u32 0, 0, 1, 0, -1; u32 0, 0x01320003, 1234; "
     "u32 0x1FFFF; u16 11; ANSI \"CMediaSound\"; u8 5; u8 7; ANSI \"Media 2\"; u8 7; ANSI \"Media 2\"; u16 7; "
     "u8 0; u32 0; u32 5, 1, 0, 0, 1, 0x43B71B80, 5, 0; u32 3; u8 0, 0, 0, 0; u32 1; u8 0, 0; "
     "u32 0, 0, 1, 0, -1; u32 1; u8 8; u16 0x0E; u32 500, -1; u8 0 x 11; "
     "u16 0, 3, 5, 0, 0; u8 0; u32 11000, 0, 8000, 0x1680000; u16 3, 0x8D00; u8 0; u32 360 x 4; "
     "u8 1, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0; u8 0x12, 0x34, 0x56, 0xFF, 0xC0, 0xC0, 0xC0, 0xFF; "
     "u32 0x1E8000; u8 0, 0, 3, 0xB4, 0, 0, 0; u16 6",
     "u32 1; u32 3; u8 8; ANSI \"_Shapes_\"; u32 5, 1, 0, 0, 1, 0x43B71B80, 2; u32 1; u32 3; u8 0, 0, 0, 0; "
     "u32 1; u32 0, 0, 1, 0, -1; u8 0; "
     "u16 1; u8 34; ANSI \"PublishQTProperties::QTSndSettings\"; u32 0x1FFFF; u16 16; ANSI \"CQTAudioSettings\"; "
     "u16 0; u16 0; u8 1; u32 0xFF0000; u16 511; u8 0, 1; u32 0, 0; u16 0; u32 256; u16 256; "
     "u32 0; u8 0; u32 360; u8 0 x 16; u32 0"},
    {// level 1
     "u16 0x8001; u8 22; u8 10; UTF-16 \"Symbol 105\"; M; u8 10; UTF-16 \"Symbol 105\"; u16 5, 0; u8 2; M; "
     "u8 0; u32 1, 6, 1, 0x43B71B80, 2, 1, 0x43B71B80, 3, 0; u32 5; u8 0; M; u8 0; M; u8 0; M; u8 0, 0; "
     "u32 2; M; u8 0; M; u8 10; UTF-16 \"Symbol 105\"; %REST%; u16 0, 8; "
     "u32 0x1FFFF; u16 10; ANSI \"CMediaBits\"; u8 6; u8 7; UTF-16 \"Media 1\"; M; u8 7; UTF-16 \"Media 1\"; "
     "u16 6; M; u8 0; u32 0; u32 6, 1, 0, 0, 1, 0x43B71B80, 4, 0; u32 5; u8 0; M; u8 0; M; u8 0; M; u8 0, 0; "
     "u32 2; M; u8 0; M; u8 0; u32 0, 0, 1, 0, -1; u8 0; u32 1, 0x01320003, 1234; "
     "u32 0x1FFFF; u16 11; ANSI \"CMediaSound\"; u8 6; u8 7; UTF-16 \"Media 2\"; M; u8 7; UTF-16 \"Media 2\"; "
     "u16 7; M; u8 0; u32 0; u32 6, 1, 0, 0, 1, 0x43B71B80, 5, 0; u32 5; u8 0; M; u8 0; M; u8 0; M; u8 0, 0; "
     "u32 2; M; u8 0; M; u8 0; u32 0, 0, 1, 0, -1; u8 0; u32 1; u8 9; u16 0x0E; u32 500, -1; u8 0 x 11; M; u8 0; "
     "u16 0, 3, 5, 0, 0; u8 0; u32 11000, 0, 8000, 0x1680000; u16 3, 0x8D00; u8 0; u32 360 x 4; "
     "u8 1, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0; u8 0x12, 0x34, 0x56, 0xFF, 0xC0, 0xC0, 0xC0, 0xFF; "
     "u32 0x1E8000; u8 0, 0, 3, 0xB4, 0, 0, 0; u16 1; M; u8 17; UTF-16 \"legacyLineSpacing\"; M; u8 1; "
     "UTF-16 \"0\"; u32 1; u16 6",
     "u32 1; u32 4; M; u8 8; UTF-16 \"_Shapes_\"; u32 6, 1, 0, 0, 1, 0x43B71B80, 2; u32 1; u32 5; u8 0; M; "
     "u8 0; M; u8 0; M; u8 0, 0; u32 2; M; u8 0; M; u8 0; u32 0, 0, 1, 0, -1; u8 0; "
     "u16 0, 1; M; u8 34; UTF-16 \"PublishQTProperties::QTSndSettings\"; u32 0x1FFFF; u16 16; "
     "ANSI \"CQTAudioSettings\"; u16 0; u16 0; u8 1; u32 0xFF0000; u16 511; u8 0, 1; u32 0, 0; M; u16 0; "
     "u32 257; u16 256; u16 0; u8 0, 0, 0; u16 360; M; u8 0; M; u8 0; u16 0, 0; u32 0, 0, 0, 0; "
     "u32 1, 10, 10, 18; u16 1; u32 1, 0, 1, -1; M; u8 0; u32 1; M; u8 0; u32 0, 0"},
    {// level 2
     "u16 0x8001; u8 23; u8 10; UTF-16 \"Symbol 105\"; M; u8 10; UTF-16 \"Symbol 105\"; u16 5, 0; u8 2; M; "
     "u8 0; u32 1, 6, 1, 0x43B71B80, 2, 1, 0x43B71B80, 3, 0; u32 7; u8 0; M; u8 0; M; u8 0; M; u8 0, 0; "
     "u32 2; M; u8 0; M; u8 10; UTF-16 \"Symbol 105\"; %REST%; u16 0, 8; "
     "u32 0x1FFFF; u16 10; ANSI \"CMediaBits\"; u8 6; u8 7; UTF-16 \"Media 1\"; M; u8 7; UTF-16 \"Media 1\"; "
     "u16 6; M; u8 0; u32 0; u32 6, 1, 0, 0, 1, 0x43B71B80, 4, 0; u32 7; u8 0; M; u8 0; M; u8 0; M; u8 0, 0; "
     "u32 2; M; u8 0; M; u8 0; u32 0, 0, 1, 0, -1; u8 0; M; u8 0, 0; u32 1, 0x00320003, 1234; "
     "u32 0x1FFFF; u16 11; ANSI \"CMediaSound\"; u8 6; u8 7; UTF-16 \"Media 2\"; M; u8 7; UTF-16 \"Media 2\"; "
     "u16 7; M; u8 0; u32 0; u32 6, 1, 0, 0, 1, 0x43B71B80, 5, 0; u32 7; u8 0; M; u8 0; M; u8 0; M; u8 0, 0; "
     "u32 2; M; u8 0; M; u8 0; u32 0, 0, 1, 0, -1; u8 0; M; u8 0, 0; u32 1; u8 10; u16 0x0E; "
     "u32 500, -1; u8 0 x 11; M; u8 0; u32 0; "
     "u16 0, 3, 5, 0, 0; u8 0; u32 11000, 0, 8000, 0x1680000; u16 3, 0x8D00; u8 0; u32 360 x 4; "
     "u8 1, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0; u8 0x12, 0x34, 0x56, 0xFF, 0xC0, 0xC0, 0xC0, 0xFF; "
     "u32 0x1E8000; u8 0, 0, 3, 0xB4, 0, 0, 0; u16 1; M; u8 17; UTF-16 \"legacyLineSpacing\"; M; u8 1; "
     "UTF-16 \"0\"; u32 1; u16 6",
     "u8 0; u32 1; u32 4; M; u8 8; UTF-16 \"_Shapes_\"; u32 6, 1, 0, 0, 1, 0x43B71B80, 2; u32 1; u32 7; u8 0; "
     "M; u8 0; M; u8 0; M; u8 0, 0; u32 2; M; u8 0; M; u8 0; u32 0, 0, 1, 0, -1; u8 0; "
     "u8 0; u16 1; M; u8 34; UTF-16 \"PublishQTProperties::QTSndSettings\"; u32 0x1FFFF; u16 16; "
     "ANSI \"CQTAudioSettings\"; u16 0; u16 0; u8 1; u32 0xFF0000; u16 511; u8 0, 1; u32 0, 0; M; u16 0; "
     "u32 257; u16 256; u32 0; u8 0; u16 360; M; u8 0; M; u8 0; u32 0, 0, 0, 0, 0; u32 1, 0, 0, 18; u16 1; "
     "u32 1, 0, 1, -1; M; u8 0; u32 1; M; u8 0; u32 0, 0; M; u8 0; M; u8 176; %MOBILE%; u32 0, 0, -1, -1"},
};

std::string Filled(std::string list, const std::string& key, const std::string& value) {
  return list.replace(list.find(key), key.size(), value);
}

TEST_F(Finaliser, RecordsByteExactAtEachLevel) {
  for (uint8_t level : {0, 1, 2}) {
    SCOPED_TRACE(int(level));
    ctx.m_nStreams = 0;
    library = DocumentLibrary();
    Level(level);
    const size_t pageEnd = g_contents.Length();
    // GCC 12 takes the table's first growth for a write past its end.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#pragma GCC diagnostic ignored "-Wstringop-overflow"
#endif
    ctx.m_pStreamFlagA[0] = 1;  // a movie clip
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    Symbol(5);
    ctx.m_pJsflShapeIds = {5};
    ctx.options.pictureFolder = ctx.options.soundFolder = 0;
    library.bitmaps = {{1, 6, false, true, 1234}};
    DocumentLibrary::Sound sound;
    sound.mediaNo = 2, sound.itemNo = 7, sound.format = 0x0E, sound.sampleCount = 1000;
    library.sounds = {sound};
    ctx.m_wNextFreeItemNo = 8;
    ctx.m_rcFrame.xmax = 11000, ctx.m_rcFrame.ymax = 8000;
    ctx.m_rgbBackground = 0x563412;
    ctx.m_wFrameRate = 0x1E80;  // 30.5 frames a second
    ASSERT_EQ(Run(), 0u);

    const std::vector<uint8_t>& c = g_contents.Bytes();
    const std::vector<uint8_t> library = FieldBytes(Filled(kRecords[level].library, "%REST%", kPageRest[level]));
    ASSERT_GE(c.size(), pageEnd + library.size());
    EXPECT_BYTES(Slice(c, pageEnd, pageEnd + library.size()), library);
    // The palette (its size fixed by the level) stands between the two.
    const size_t palette = std::search(c.begin(), c.end(), std::begin("CColorDef"), std::end("CColorDef") - 1) - c.begin();
    const size_t paletteEnd = palette - 2 + (level == 2 ? 4292 : 4236);
    std::string closing = kRecords[level].closing;
    if (level == 2) {
      std::string mobile = "UTF-16 \"";
      for (const char* p = kMobileSettingsXml; *p; ++p) {
        if (*p == '\n') mobile += "\"; u16 10; UTF-16 \"";
        else if (*p == '"') mobile += "\"; u8 0x22, 0; UTF-16 \"";
        else mobile += *p;
      }
      closing = Filled(closing, "%MOBILE%", mobile + "\"");
    }
    EXPECT_BYTES(Slice(c, paletteEnd, c.size()), FieldBytes(closing));
    std::set<uint16_t> items;
    EXPECT_TRUE(ReadLibraryItems(c, items));
    EXPECT_EQ(items, (std::set<uint16_t>{5, 6, 7}));
  }
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
