// The font tags: records, names, the installed test, the layout text of the
// script, code tables and glyphs, and bodies that do not hold what they claim.
#include <gtest/gtest.h>

#include <tuple>

#include "convert/converter_context.h"
#include "convert/edit_text.h"
#include "convert/font_tags.h"
#include "convert/text_test_support.h"
#include "fla/jsfl_script.h"
#include "shape/shape_test_support.h"
#include "support/independent_readers.h"
#include "support/recording_shell.h"

namespace tovrani {
namespace {

using test::ShapeRecords;
using test::SwfBytes;
using Bytes = std::vector<uint8_t>;
using test::DefineFont2;

Bytes FontInfo(uint16_t id, const std::string& name, uint8_t flags, const Bytes& codes, bool second) {
  SwfBytes b;
  b.u16(id).u8(uint8_t(name.size()));
  for (char c : name) b.u8(uint8_t(c));
  b.u8(flags);
  if (second) b.u8(1);
  b.bytes(codes);
  return b.data();
}

class FontTags : public ::testing::Test {
 protected:
  FontTags() {
    ctx.m_pShell = &shell;
    ctx.m_nSwfVersion = 8;
    shell.fonts = {"Arial", "DejaVu Sans"};
  }
  void Tag(uint16_t code, const Bytes& body) { HandleFontTag(ctx, code, body); }
  const FontRecord& Font(size_t i) { return ctx.m_library.fonts.at(i); }

  ConverterContext ctx;
  test::RecordingShell shell;
};

TEST_F(FontTags, SizeSuffixIsCutFromDefineFont3NamesOnly) {
  const std::pair<std::string, std::string> cases[] = {
      {"Arial_12pt_st", "Arial"}, {"Arial_8pt_st", "Arial"},  {"Verdana_pt_st", "Verdana_pt_st"},
      {"ab_pt_st", "ab_pt_st"},   {"pt_st", "pt_st"},         {"a_b_10pt_st", "a_b"},
  };
  for (const auto& [in, out] : cases) {
    Tag(75, DefineFont2(1, 0, in, {}));
    EXPECT_EQ(Font(ctx.m_library.fonts.size() - 1).name, out) << in;
    EXPECT_EQ(Font(ctx.m_library.fonts.size() - 1).nameFlag, in != out) << in;
  }
  Tag(48, DefineFont2(2, 0, "Arial_12pt_st", {}));
  EXPECT_EQ(ctx.m_library.fonts.back().name, "Arial_12pt_st");
}

TEST_F(FontTags, RecordCodesGlyphsAndLayoutText) {
  Tag(48, DefineFont2(7, 0x80 | 0x01, "A", {'x', 'y'}));                 // layout, bold
  Tag(75, DefineFont2(8, 0x80 | 0x08 | 0x04 | 0x02, "B", {0x263A, 'z'}));  // wide offsets and codes, italic
  Tag(48, DefineFont2(9, 0x00, "", {'q'}));
  Tag(48, SwfBytes().u16(10).u8(0).u8(0).u8(1).u8('D').u16(0).data());  // device font: no tables
  const FontRecord& a = Font(0);
  EXPECT_EQ(std::tuple(a.id, a.flags, a.styleA, a.styleB, a.nameKnown, a.definingTag),
            std::tuple(7, 0x8100, 1, 0, true, 48));
  EXPECT_EQ(a.codes, (std::vector<uint16_t>{'x', 'y'}));
  ASSERT_EQ(a.glyphs.size(), 2u);
  EXPECT_EQ(a.glyphs[1].recordCount, 1u);
  EXPECT_EQ(a.glyphs[1].maxX, 101);
  const FontRecord& b = Font(1);
  EXPECT_EQ(std::tuple(b.flags, b.styleB, b.definingTag), std::tuple(0x8E00, 1, 75));
  EXPECT_EQ(b.codes, (std::vector<uint16_t>{0x263A, 'z'}));
  EXPECT_EQ(b.glyphs.size(), 2u);
  EXPECT_EQ(b.glyphs[0].recordCount, 1u);
  EXPECT_FALSE(Font(2).nameKnown);
  EXPECT_TRUE(Font(2).installed);  // an empty name counts as installed

  EXPECT_EQ(ctx.m_library.jsflPendingText, "__");
  EXPECT_EQ(ctx.m_library.jsflFontAttrs,
            "e6.setTextAttr('face','A',0,1);e6.setTextAttr('bold',true,0,1);e6.setTextAttr('italic',false,0,1);"
            "e6.setTextAttr('face','B',1,2);e6.setTextAttr('bold',false,1,2);e6.setTextAttr('italic',true,1,2);");
  EXPECT_TRUE(shell.messages.empty());
}

// A font of several records (each style, each size of text) is named once.
TEST_F(FontTags, InstalledTestAndMissingFontList) {
  for (const char* name : {"Ari", "arial", "Arial Black", "Gill", "dejavu", "Zapf", "Gill", "Arial Black"})
    Tag(48, DefineFont2(1, 0, name, {}));
  const bool installed[] = {true, true, false, false, true, false, false, false};
  for (size_t i = 0; i < std::size(installed); ++i) EXPECT_EQ(Font(i).installed, installed[i]) << i;
  EXPECT_EQ(ctx.m_strMissingFonts, "Arial Black, Gill, Zapf");
  EXPECT_EQ(ctx.m_nMissingFonts, 3u);
  ReportMissingFonts(ctx);
  EXPECT_EQ(shell.messages, (std::vector<std::string>{
                                "BRASKELON Tovrani: Fonts not found on this system: Arial Black, Gill, Zapf"}));
}

TEST_F(FontTags, FontInfoGivesNameStyleAndCodes) {
  Tag(10, SwfBytes().u16(3).u16(6).u16(7).u16(8).u8(0x10).u8(0).u8(0).data());  // three empty glyphs
  Tag(10, SwfBytes().u16(4).u16(2).u8(0x10).u8(0).data());
  ASSERT_EQ(ctx.m_library.fonts.size(), 2u);
  EXPECT_EQ(Font(0).glyphs.size(), 3u);
  EXPECT_FALSE(Font(0).nameKnown);

  Tag(62, FontInfo(4, "Gill", 0x01 | 0x04, {'A', 0, 'B', 0}, true));
  EXPECT_EQ(Font(1).codes, (std::vector<uint16_t>{'A', 'B'}));
  EXPECT_EQ(std::tuple(Font(1).name, Font(1).nameKnown, Font(1).infoFlag, Font(1).styleB, Font(1).installed),
            std::tuple("Gill", true, 1, 1, false));

  // 300 codes for a font of 3 glyphs: the lengths stay apart.
  Tag(13, FontInfo(3, "Arial", 0x02, Bytes(300, 'c'), false));
  EXPECT_EQ(Font(0).glyphCount(), 300u);
  EXPECT_EQ(Font(0).glyphs.size(), 3u);
  EXPECT_TRUE(Font(0).HasGlyph(2));
  EXPECT_FALSE(Font(0).HasGlyph(3));
  EXPECT_EQ(Font(0).styleA, 1);
  EXPECT_TRUE(Font(0).installed);

  Tag(13, FontInfo(99, "Nobody", 0, {'a'}, false));  // no such font: ignored
  EXPECT_EQ(ctx.m_strMissingFonts, "Gill");
  EXPECT_TRUE(shell.messages.empty());
}

TEST_F(FontTags, TextSettingsAndAlignZonesFindTheirRecords) {
  for (uint16_t id : {5, 6, 7, 8}) {
    ctx.m_pEditTexts.emplace_back().characterId = id;
  }
  const Bytes sharp = {1, 2, 3, 4, 5, 6, 0xEE};
  auto settings = [&](uint16_t id, uint8_t flags, uint8_t thicknessLow) {
    Tag(74, SwfBytes().u16(id).u8(flags).u8(thicknessLow).u8(0).bytes(sharp).data());
  };
  settings(5, 0x48, 0);
  settings(6, 0x50, 0);
  settings(7, 0x40, 0);
  settings(8, 0x48, 1);
  settings(9, 0x48, 0);
  EXPECT_EQ(ctx.m_pEditTexts[0].optionsOn, 1);
  EXPECT_EQ(ctx.m_pEditTexts[0].optionBytes, (std::array<uint8_t, 6>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(ctx.m_pEditTexts[1].optionsOn, 1);
  EXPECT_EQ(ctx.m_pEditTexts[2].optionsOn, 0);
  EXPECT_EQ(ctx.m_pEditTexts[3].optionsOn, 0);

  Tag(48, DefineFont2(12, 0, "A", {}));
  Tag(73, Bytes{12, 0, 1, 2, 3, 4, 5});
  Tag(73, Bytes{13, 0, 1, 2});
  EXPECT_EQ(Font(0).fontKind, 7u);
}

// Lookups by id find the records a scan would: a font id's first record
// for DefineFontInfo, any of its records for a device font's name (the
// first renamed since), the first edit text of an id for CSMTextSettings,
// else the first static text; a table emptied and filled again anew.
TEST_F(FontTags, LookupsByIdFindTheRecordsAScanWould) {
  for (const auto& [id, name] :
       {std::pair(7, "Arial"), std::pair(7, "_sans"), std::pair(9, "Arial"), std::pair(9, "Verdana")})
    Tag(48, DefineFont2(uint16_t(id), 0, name, {}));
  Tag(13, FontInfo(7, "Gill", 0, {}, false));
  EXPECT_EQ(std::tuple(Font(0).name, Font(1).name), std::tuple("Gill", "_sans"));
  auto device = [&](uint16_t font) {
    test::Field f;
    f.fontId = font;
    HandleEditText(ctx, f.Body());
    return (ctx.m_pEditTexts.back().textFlags & kEditTextNotDeviceFont) == 0;
  };
  EXPECT_EQ(std::tuple(device(7), device(9), device(8)), std::tuple(true, false, false));
  Tag(13, FontInfo(9, "_typewriter", 0, {}, false));
  EXPECT_TRUE(device(9));

  auto settings = [&](uint16_t id) { Tag(74, SwfBytes().u16(id).u8(0x48).u8(0).u8(0).bytes(Bytes(6, 1)).data()); };
  ctx.m_pEditTexts.clear();
  for (uint16_t id : {5, 5, 6}) ctx.m_pEditTexts.emplace_back().characterId = id;
  for (uint16_t id : {6, 8, 8}) ctx.m_pStaticTexts.emplace_back().characterId = id;
  for (uint16_t id : {5, 6, 8}) settings(id);
  std::vector<int> on;
  for (const auto& t : ctx.m_pEditTexts) on.push_back(t.optionsOn);
  for (const auto& t : ctx.m_pStaticTexts) on.push_back(t.optionsOn);
  EXPECT_EQ(on, (std::vector<int>{1, 0, 1, 0, 1, 0}));
  ctx.m_library.fonts.clear();
  Tag(48, DefineFont2(9, 0, "Fresh", {}));
  Tag(13, FontInfo(9, "_serif", 0, {}, false));
  EXPECT_EQ(Font(0).name, "_serif");
}

TEST_F(FontTags, NamesCannotBreakTheScript) {
  for (const char* name : {"O'Neil", "a\\b", "new\nline", "sep\xE2\x80\xA8" "arator", "</script>\"'"})
    Tag(48, DefineFont2(1, 0x80, name, {}));
  const std::string script = JsflHeader() +
                             JsflFontLayoutPiece(ctx.m_library.jsflPendingText, ctx.m_library.jsflFontAttrs) +
                             JsflClosingSave();
  EXPECT_TRUE(test::IsValidJavaScript(script));
  EXPECT_EQ(ctx.m_library.jsflPendingText, "_____");
}

TEST_F(FontTags, BadBodiesKeepWhatLiesInside) {
  struct Case {
    const char* what;
    uint16_t code;
    Bytes body;
    size_t glyphs, codes;
  };
  Bytes claims60000 = SwfBytes().u16(1).u8(0).u8(0).u8(1).u8('A').u16(60000).u16(4).u16(0).u16(0).u16(0).u16(0).data();
  Bytes codesPastEnd = DefineFont2(2, 0, "B", {'a', 'b'});
  codesPastEnd[5 + 1 + 2 + 4] = 0xF0;  // the code-table offset
  Bytes wideCut = DefineFont2(3, 0x04, "C", {'a', 'b', 'c'});
  wideCut.pop_back();
  Bytes nameCut = SwfBytes().u16(4).u8(0).u8(0).u8(200).u8('D').data();
  const Case cases[] = {
      {"60,000 glyphs in 18 bytes", 48, claims60000, 4, 4},
      {"code table past the end", 48, codesPastEnd, 2, 0},
      {"wide code table cut", 48, wideCut, 3, 2},
      {"name past the end", 75, nameCut, 0, 0},
      {"DefineFont count past the end", 10, SwfBytes().u16(5).u16(400).u8(0x10).data(), 1, 0},
  };
  for (const Case& c : cases) {
    shell.messages.clear();
    ctx.m_library.fonts.clear();
    Tag(c.code, c.body);
    ASSERT_EQ(ctx.m_library.fonts.size(), 1u) << c.what;
    EXPECT_EQ(Font(0).glyphs.size(), c.glyphs) << c.what;
    EXPECT_EQ(Font(0).codes.size(), c.codes) << c.what;
    EXPECT_EQ(shell.messages.size(), 1u) << c.what;
  }
  ctx.m_library.fonts.clear();
  Tag(48, DefineFont2(6, 0, "E", {'a'}));
  shell.messages.clear();
  Tag(13, SwfBytes().u16(6).u8(50).u8('F').data());  // name length past the end
  EXPECT_EQ(Font(0).name, "F");
  EXPECT_EQ(shell.messages.size(), 1u);
}

}  // namespace
}  // namespace tovrani
