// Static texts through the whole conversion on each road: the small movie of
// the import road, the glyph instances of the shape road, the text records of
// the text-field road, the fallbacks, the fixed publish groups, and texts
// whose records do not hold what they claim.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "app/program_runner.h"
#include "convert/convert_swf_file.h"
#include "convert/converter_context.h"
#include "convert/engine.h"
#include "convert/font_tags.h"
#include "convert/static_text.h"
#include "fla/work_folder.h"
#include "convert/text_test_support.h"
#include "support/document_frames.h"
#include "support/independent_readers.h"
#include "support/page_walker.h"
#include "support/recording_shell.h"
#include "support/temp_dir.h"
#include "swf/swf_reader.h"
#include "support/work_budget.h"

namespace tovrani {
namespace {

using test::Bytes;
using test::SwfBytes;
using Streams = std::map<std::string, std::vector<uint8_t>>;

// One text record: a style part when `style`, then the glyphs.
struct Rec {
  bool style = true;
  std::optional<uint16_t> font = std::nullopt, height = std::nullopt;
  std::optional<uint32_t> color = std::nullopt;  // R G B (A) bytes in order, R first
  std::optional<int16_t> x = std::nullopt, y = std::nullopt;
  std::vector<std::pair<uint32_t, int32_t>> glyphs = {};  // index, advance
};

Bytes Text(uint16_t code, uint16_t id, const std::vector<Rec>& recs, unsigned glyphBits = 8,
           unsigned advanceBits = 12, bool end = true) {
  SwfBytes b;
  b.u16(id).rect(100, 2000, 0, 400).matrix(0, 0).u8(glyphBits).u8(advanceBits);
  for (const Rec& r : recs) {
    if (r.style) {
      b.u8(0x80 | (r.font ? 0x08 : 0) | (r.color ? 0x04 : 0) | (r.y ? 0x02 : 0) | (r.x ? 0x01 : 0));
      if (r.font) b.u16(*r.font);
      if (r.color) {
        for (int i = 0; i < (code == 33 ? 4 : 3); ++i) b.u8((*r.color >> (8 * i)) & 0xFF);
      }
      if (r.x) b.u16(uint16_t(*r.x));
      if (r.y) b.u16(uint16_t(*r.y));
      if (r.font) b.u16(*r.height);
    }
    b.u8(uint8_t(r.glyphs.size()));
    for (auto [index, advance] : r.glyphs) b.ubits(index, glyphBits).sbits(advance, advanceBits);
    b.align();
  }
  if (end) b.u8(0);
  return b.data();
}

Bytes Place(uint16_t id, uint16_t depth) { return SwfBytes().u8(0x06).u16(depth).u16(id).matrix(0, 0).data(); }

enum Road { kImport, kShapes, kFields, kAsk };

class StaticText : public ::testing::Test {
 protected:
  StaticText() {
    ctx.m_pShell = &shell;
    shell.fonts = {"Arial"};
  }
  void Options(Road road) {
    ctx.options.textJsflImport = road == kImport;
    ctx.options.textToTextfields = road == kFields;
    ctx.options.askMissingFonts = road == kAsk;
  }
  // Converts the tags (each placed text given by id in `place`).
  Streams Convert(test::SwfWriter& w, const std::vector<uint16_t>& place = {}) {
    uint16_t depth = 1;
    for (uint16_t id : place) w.tag(26, Place(id, depth++));
    w.showFrame().end();
    test::WriteFileBytes(dir.file("a.swf"), w.build());
    const auto outcomes = ConvertSwfFile(ctx, dir.file("a.swf") + ",", 1, 0);
    EXPECT_EQ(outcomes.size(), 1u);
    if (outcomes.size() == 1) { EXPECT_EQ(outcomes[0].result, 0u); }
    return test::ExpectReadableDocument(dir.file("a_.fla"));
  }
  // The tags handed straight to their handlers, so that the text records
  // can be seen before the finish writes and empties them.
  void Direct(const std::vector<std::pair<uint16_t, Bytes>>& tags) {
    ctx.m_library.fonts.clear();
    ctx.m_pStaticTexts.clear();
    ctx.m_nStaticTextExtraBytes = 0;
    shell.questions.clear();
    shell.messages.clear();
    ASSERT_TRUE(work.valid() || work.create());
    ctx.m_pWorkFolder = &work;
    for (const auto& [code, body] : tags) {
      if (code == 11 || code == 33)
        HandleStaticText(ctx, code, body, 0);
      else
        HandleFontTag(ctx, code, body);
    }
    ctx.m_pWorkFolder = nullptr;
  }
  // Converts the tags; on the text-field road hands them to their handlers
  // again afterwards.
  Streams ConvertAndDirect(const std::vector<std::pair<uint16_t, Bytes>>& tags, const std::vector<uint16_t>& place,
                           bool direct = true) {
    test::SwfWriter w(8);
    for (const auto& [code, body] : tags) w.tag(code, body);
    Streams streams = Convert(w, place);
    conversionMessages = shell.messages;
    if (direct) Direct(tags);
    return streams;
  }
  std::string Script() {
    const Bytes raw = test::ReadFileBytes(dir.file("a_.fla") + ".jsfl");
    return std::string(raw.begin(), raw.end());
  }
  test::TempDir dir;
  test::RecordingShell shell;
  ConverterContext ctx;
  WorkFolder work;
  std::vector<std::string> conversionMessages;
};

size_t Count(const std::vector<uint8_t>& hay, const Bytes& needle) {
  size_t n = 0;
  for (auto it = hay.begin(); (it = std::search(it, hay.end(), needle.begin(), needle.end())) != hay.end(); ++it) ++n;
  return n;
}

const Bytes kClassTag = {0xFF, 0xFF, 0x01, 0x00, 0x0A, 0x00, 'C', 'P', 'i', 'c', 'S', 'y', 'm', 'b', 'o', 'l'};

// The symbol pages that hold glyph instances or a class tag of them.
std::vector<std::string> TextPages(const Streams& streams) {
  std::vector<std::string> out;
  for (const auto& [name, bytes] : streams)
    if (name.rfind("Symbol ", 0) == 0 && Count(bytes, kClassTag)) out.push_back(name);
  return out;
}

TEST_F(StaticText, ImportRoadWritesTheTextWithItsFontsAndSettings) {
  Options(kImport);
  const Bytes font = test::DefineFont2(1, 0, "Arial", {'A', 'B'});
  const Bytes text = Text(11, 5, {{.font = 1, .height = 240, .glyphs = {{0, 300}, {1, 300}}}});
  const Bytes settings = SwfBytes().u16(5).u8(0x48).u32(0).u32(0).u8(0).data();
  test::SwfWriter w(8);
  w.tag(48, font).tag(11, text).tag(74, settings);
  Convert(w, {5});

  const Bytes movie = test::ReadFileBytes(ctx.m_strStaticTextFolder + "/Symbol 1.swf");
  SwfReader r(movie);
  r.skip(4);
  EXPECT_EQ(r.u32(), movie.size());
  SwfRect frame;
  ReadSwfRect(r, frame);
  r.skip(4);
  std::vector<std::pair<uint16_t, Bytes>> tags;
  TagHeader h;
  while (!r.atEnd() && r.tagHeader(h)) {
    const auto body = r.take(h.length);
    tags.emplace_back(h.code, Bytes(body.begin(), body.end()));
  }
  ASSERT_TRUE(r.ok());
  const std::vector<std::pair<uint16_t, Bytes>> expected = {
      {48, font}, {11, text}, {74, settings}, {26, {0x06, 0x01, 0x00, 0x05, 0x00, 0x00}}, {1, {}}, {0, {}}};
  EXPECT_EQ(tags, expected);
  const std::string script = Script();
  EXPECT_NE(script.find("Symbol%201.swf"), std::string::npos);
  EXPECT_NE(script.rfind("fl.getDocumentDOM().exitEditMode();_fr_.save();"), std::string::npos);
}

// The instance record of a glyph at (x, y) with the given scale and colour.
Bytes Instance(uint8_t level, bool first, int32_t x, int32_t y, uint32_t s, uint32_t color, uint16_t symbol) {
  SwfBytes b;
  const uint8_t v = level == 2 ? 4 : 1;
  if (first)
    b.bytes(kClassTag).u32(v);
  else
    b.u8(0x07).u8(0x80).u8(v).u8(0).u16(0);
  b.u32(uint32_t(x)).u32(uint32_t(y));
  if (level == 2) b.u8(0).u8(0).u8(0x13); else b.u8(0x0A);
  b.u32(s).u32(0).u32(0).u32(s).u32(uint32_t(x)).u32(uint32_t(y)).u32(0).u8(1);
  b.u16(256).u16(0).u16(256).u16(color & 0xFF).u16(256).u16((color >> 8) & 0xFF).u16(256).u16((color >> 16) & 0xFF);
  b.u16(2).u16(100).u32(color);
  if (level == 2) b.u8(0xFF).u8(0xFE).u8(0xFF).u8(0); else b.u8(0);
  b.u16(symbol).u16(0);
  if (level == 2) b.u32(0).u8(1).u8(0).u8(0);
  return b.data();
}

class StaticTextShapes : public StaticText, public ::testing::WithParamInterface<int> {};

TEST_P(StaticTextShapes, GlyphInstancesPerVisibleGlyphAndFontGlyphsOnce) {
  const uint8_t version = uint8_t(GetParam());
  const uint8_t level = version < 7 ? 0 : version == 7 ? 1 : 2;
  Options(kShapes);
  // "AB C" in DefineText2 with a half-transparent colour, "A" in the same
  // font, and a text of one space.
  test::SwfWriter w(version);
  w.tag(48, test::DefineFont2(1, 0, "Arial", {'A', 'B', ' ', 'C'}));
  w.tag(33, Text(33, 5, {{.font = 1, .height = 1024, .color = 0x80332211, .x = 100, .y = 50,
                          .glyphs = {{0, 300}, {1, 300}, {2, 200}, {3, 300}}}}));
  w.tag(11, Text(11, 6, {{.font = 1, .height = 1024, .glyphs = {{0, 300}}}}));
  w.tag(11, Text(11, 7, {{.font = 1, .height = 1024, .glyphs = {{2, 300}}}}));
  const Streams streams = Convert(w, {5, 6, 7});
  // Four glyph symbols, then the three texts.
  ASSERT_EQ(ctx.m_nSymbolStreams, 7u);
  const auto& font = ctx.m_library.fonts.at(0);
  ASSERT_TRUE(font.glyphsPlaced);
  const uint16_t symbolA = font.glyphs[0].itemNo, symbolB = font.glyphs[1].itemNo,
                 symbolC = font.glyphs[3].itemNo;
  const std::vector<std::string> pages = TextPages(streams);
  ASSERT_EQ(pages.size(), 2u);  // the text of one space has no class tag
  const Bytes& first = streams.at(pages[0]);
  // x = pen + xmin - smallest left edge (the box of "A" starts at 100).
  Bytes expected;
  for (const Bytes& part : {Instance(level, true, 0, 50, 65536, 0x80332211, symbolA),
                            Instance(level, false, 300, 50, 65536, 0x80332211, symbolB),
                            Instance(level, false, 800, 50, 65536, 0x80332211, symbolC)})
    expected.insert(expected.end(), part.begin(), part.end());
  EXPECT_EQ(Count(first, expected), 1u);
  EXPECT_EQ(Count(first, kClassTag), 1u);
  EXPECT_EQ(Count(streams.at(pages[1]), Instance(level, true, 0, 0, 65536, 0xFF000000, symbolA)), 1u);
}

INSTANTIATE_TEST_SUITE_P(Levels, StaticTextShapes, ::testing::Values(6, 7, 8));

TEST_F(StaticText, TextFieldRoadRunsAndLineStarts) {
  Options(kFields);
  // Two lines at x 40: a CR ends the first. A third line at x 0 and a run
  // at another x get none.
  ConvertAndDirect(
      {{48, test::DefineFont2(1, 0, "Arial", {' ', 'a', 'b'})},
       {11, Text(11, 5, {{.font = 1, .height = 1024, .x = 40, .y = 100, .glyphs = {{0, 50}, {1, 100}}},
                         {.x = 40, .y = 400, .glyphs = {{2, 100}, {7, 30}}},
                         {.x = 10, .y = 700, .glyphs = {{1, 60}}}})},
       {11, Text(11, 6, {{.font = 1, .height = 1024, .y = 100, .glyphs = {{1, 100}}},
                         {.y = 400, .glyphs = {{2, 100}}}})}},
      {5, 6});
  ASSERT_EQ(ctx.m_pStaticTexts.size(), 2u);
  const StaticTextRecord& t = ctx.m_pStaticTexts[0];
  ASSERT_EQ(t.runs.size(), 3u);
  EXPECT_EQ(t.runs[0].text, " a\r");
  EXPECT_EQ(t.runs[1].text, "b");  // index 7 names no glyph: advance only
  EXPECT_EQ(t.runs[1].width, 130);
  // The smallest left edge: x 10 and the box of "a" at 101 (the first line's
  // is 40, the space and 101).
  EXPECT_EQ(t.originX, 111);
  EXPECT_EQ(t.centred, 10u);
  EXPECT_EQ(t.centredWidth, 150);
  EXPECT_EQ(t.layoutWord, 40);
  const StaticTextRecord& u = ctx.m_pStaticTexts[1];
  ASSERT_EQ(u.runs.size(), 2u);
  EXPECT_EQ(u.runs[0].text, "a");
  EXPECT_EQ(u.layoutWord, 0);
}

// CSMTextSettings after a DefineText reach the static text's record on the
// text-field road; the text object shows them only at level 2: the mode
// byte (2: some option byte set) and the six option bytes.
TEST_F(StaticText, TextSettingsReachStaticTextsAsTextFields) {
  const Bytes font = test::DefineFont2(1, 0, "Arial", {'a'});
  const Bytes text = Text(11, 5, {{.font = 1, .height = 240, .glyphs = {{0, 10}}}});
  // Thickness 10.0 (its low half 0), sharpness 1.0.
  const Bytes settings = SwfBytes().u16(5).u8(0x48).u8(0).u8(0).u8(0x20).u8(0x41).u8(0).u8(0).u8(0x80).u8(0x3F).u8(0).data();
  const Bytes modeAndOptions = {0x02, 0x02, 0x00, 0x00, 0x20, 0x41, 0x00, 0x00, 0x80, 0x3F};
  for (uint8_t version : {6, 7, 8}) {
    SCOPED_TRACE(int(version));
    Streams with, without;
    for (bool csm : {true, false}) {
      ConverterContext run;
      test::RecordingShell quiet;
      quiet.fonts = {"Arial"};
      run.m_pShell = &quiet;
      run.options.textToTextfields = 1;
      test::SwfWriter w(version);
      w.tag(48, font).tag(11, text);
      if (csm) w.tag(74, settings);
      w.tag(26, Place(5, 1)).showFrame().end();
      const std::string in = dir.file(csm ? "with.swf" : "without.swf");
      test::WriteFileBytes(in, w.build());
      const auto outcomes = ConvertSwfFile(run, in + ",", 0, 0);
      ASSERT_EQ(outcomes.size(), 1u);
      ASSERT_EQ(outcomes[0].result, 0u);
      (csm ? with : without) = test::ExpectReadableDocument(outcomes[0].output);
    }
    auto holds = [&](const Streams& streams) {
      for (const auto& [name, bytes] : streams)
        if (Count(bytes, modeAndOptions)) return true;
      return false;
    };
    EXPECT_EQ(holds(with), version == 8);
    EXPECT_FALSE(holds(without));
    if (version < 8) {
      for (const auto& [name, bytes] : with)
        if (name.starts_with("Page ") || name.starts_with("Symbol ")) {
          EXPECT_EQ(bytes, without[name]) << name;
        }
    }
  }
}

TEST_F(StaticText, EmptyRectAndMatrixFormReadsGlyphBitsAt21) {
  Options(kFields);
  SwfBytes b;
  b.u16(5).u8(8);
  for (int i = 0; i < 18; ++i) b.u8(0);
  b.u8(8).u8(12).u8(0x88).u16(1).u16(1024).u8(1).ubits(1, 8).sbits(100, 12).align().u8(0);
  ConvertAndDirect({{48, test::DefineFont2(1, 0, "Arial", {'a', 'b'})}, {11, b.data()}}, {5});
  ASSERT_EQ(ctx.m_pStaticTexts.size(), 1u);
  EXPECT_EQ(ctx.m_pStaticTexts[0].runs.at(0).text, "b");
}

class StaticTextDummy : public StaticText, public ::testing::WithParamInterface<bool> {};

TEST_P(StaticTextDummy, AMovieWithoutFontsAsksOncePerText) {
  Options(kShapes);
  shell.answerYes = GetParam();
  test::SwfWriter w(8);
  w.tag(11, Text(11, 5, {{.font = 1, .height = 240, .glyphs = {{0, 10}}}}));
  w.tag(11, Text(11, 6, {{.font = 1, .height = 240, .glyphs = {{0, 10}}}}));
  const Streams streams = Convert(w, {5, 6});
  ASSERT_EQ(shell.questions.size(), 2u);
  // Each question names where the text's tag (its header) starts.
  const size_t first = w.build().size() - w.tags().size();
  const size_t second = first + 2 + Text(11, 5, {{.font = 1, .height = 240, .glyphs = {{0, 10}}}}).size();
  char expected[2][32];
  std::snprintf(expected[0], sizeof expected[0], "Missing font at byte x%zx...", first);
  std::snprintf(expected[1], sizeof expected[1], "Missing font at byte x%zx...", second);
  EXPECT_EQ(shell.questions[0].rfind(expected[0], 0), 0u) << shell.questions[0];
  EXPECT_EQ(shell.questions[1].rfind(expected[1], 0), 0u) << shell.questions[1];
  EXPECT_EQ(ctx.m_nSymbolStreams, GetParam() ? 2u : 0u);
  for (auto& m : shell.messages) ADD_FAILURE() << m;
}

INSTANTIATE_TEST_SUITE_P(Answers, StaticTextDummy, ::testing::Bool());

// Past 100 questions of a kind in a movie, a text takes the last answer
// given without being asked: No, so none gets a dummy.
TEST_F(StaticText, TextsPastAHundredQuestionsTakeTheLastAnswer) {
  Options(kShapes);
  test::SwfWriter w(8);
  for (uint16_t id = 1; id <= 105; ++id) w.tag(11, Text(11, id, {}));
  Convert(w);
  EXPECT_EQ(ctx.m_nSymbolStreams, 0u);
  EXPECT_EQ(shell.questions.size(), 100u);
  EXPECT_EQ(shell.messages, (std::vector<std::string>{"BRASKELON Tovrani: 5 more questions about static texts without "
                                                      "a font were not asked; each took the last answer given, No."}));
}

// A dummy shape is a symbol for a tag of nine bytes: a movie without fonts
// gets as many as it may have static texts as text fields, and the first
// text past them is named (the others are not asked about). The question is
// asked 100 times; the texts after those take the last answer.
TEST_F(StaticText, AMovieWithoutFontsGetsAtMost1999Dummies) {
  Options(kShapes);
  shell.answerYes = true;
  test::SwfWriter w(8);
  for (uint16_t id = 1; id <= 2010; ++id) w.tag(11, Text(11, id, {}));
  w.showFrame().end();
  test::WriteFileBytes(dir.file("d.swf"), w.build());
  ASSERT_EQ(ConvertMovie(ctx, dir.file("d.swf"), dir.file("d.fla"), 0), uint32_t(kResultDone));
  EXPECT_EQ(ctx.m_nSymbolStreams, 1999u);
  EXPECT_EQ(shell.questions.size(), 100u);
  EXPECT_EQ(shell.messages, (std::vector<std::string>{"BRASKELON Tovrani: DefineText 2000 is left out: the movie has "
                                                      "no font, and a document gets at most 1999 dummy shapes for "
                                                      "its texts.",
                                                      "BRASKELON Tovrani: 1899 more questions about static texts "
                                                      "without a font were not asked; each took the last answer "
                                                      "given, Yes."}));
}

// ---- The movie's budgets of glyphs ----

// DefineFont2 `id` of `count` glyphs whose offsets take turns at the start
// and the end of `data` (each other glyph spans all of it; all are empty
// without data), and one code.
Bytes OverlappingFont(uint16_t id, uint16_t count, const Bytes& data) {
  SwfBytes b;
  b.u16(id).u8(0).u8(0).u8(1).u8('A').u16(count);
  const uint16_t start = data.empty() ? 0 : uint16_t(2 * (count + 1));
  for (uint16_t i = 0; i < count; ++i) b.u16(i % 2 ? uint16_t(start + data.size()) : start);
  return b.u16(uint32_t(2 * (count + 1) + data.size())).bytes(data).u8('a').data();
}

bool Said(const test::RecordingShell& shell, const std::string& text) {
  return std::find(shell.messages.begin(), shell.messages.end(), "BRASKELON Tovrani: " + text) != shell.messages.end();
}

// Each other glyph spans one glyph of 16,000 edges: as many are decoded as
// 128 KB and 4 bytes a byte of the movie allow, the others stay empty (the
// first named, one line for the rest). A font of 20,000 glyphs all there,
// more than the fixed part, is decoded whole.
TEST_F(StaticText, GlyphDataStopsAtTheMoviesBudget) {
  Options(kShapes);
  SwfBytes glyph;
  glyph.u8(0x10);
  test::ShapeRecords edges{glyph, 1, 0};
  edges.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt);
  for (int i = 0; i < 16000; ++i) edges.Straight(0, i % 2 ? -1 : 1);
  edges.End();
  test::SwfWriter w(8);
  w.tag(48, OverlappingFont(1, 40, glyph.data()), true);
  w.tag(11, Text(11, 5, {{.font = 1, .height = 240, .glyphs = {{0, 10}}}}));
  const Streams streams = Convert(w, {5});
  const size_t fit =
      (kGlyphByteAllowance + kGlyphBytesPerMovieByte * (test::ReadFileBytes(dir.file("a.swf")).size() - 8)) / glyph.size();
  ASSERT_TRUE(fit >= 2 && fit < 19) << fit;
  size_t decoded = 0;
  for (const auto& [name, bytes] : streams) decoded += name.rfind("Symbol ", 0) == 0 && bytes.size() > 64000;
  EXPECT_EQ(decoded, fit);
  EXPECT_TRUE(Said(shell, "DefineFont2 1: the movie declares more glyph data than it holds (glyph " +
                              std::to_string(2 * fit) + " of 40); the glyph was left empty."));
  EXPECT_TRUE(Said(shell, std::to_string(20 - fit - 1) +
                              " more glyphs were left empty: the movie declares more glyph data than it holds."));

  shell.messages.clear();
  const std::vector<uint16_t> codes(20000, 'a');
  test::SwfWriter whole(8);
  whole.tag(48, test::DefineFont2(1, 0x08 | 0x04, "Arial", codes), true);
  Convert(whole);
  const auto& glyphs = ctx.m_library.fonts.at(0).glyphs;
  EXPECT_EQ(std::count_if(glyphs.begin(), glyphs.end(), [](const GlyphShape& g) { return g.recordCount == 1; }),
            20000);
  EXPECT_TRUE(shell.messages.empty());
}

// Fonts of 6,000 empty glyphs (two bytes of offset each) would make 6,000
// symbols: their texts are left out (the first named, one line for the
// other); the text of a small font converts. A font of 3,000 glyphs of
// some 11 bytes each becomes its symbols.
TEST_F(StaticText, FontsOfEmptyGlyphsAreNotMadeSymbols) {
  Options(kShapes);
  test::SwfWriter w(8);
  w.tag(48, OverlappingFont(1, 6000, {}), true).tag(48, OverlappingFont(2, 6000, {}), true);
  w.tag(48, test::DefineFont2(3, 0, "Arial", {'a', 'b'}));
  for (uint16_t font : {1, 2, 3})
    w.tag(11, Text(11, uint16_t(10 + font), {{.font = font, .height = 240, .glyphs = {{0, 10}}}}));
  const Streams streams = Convert(w, {11, 12, 13});
  EXPECT_EQ(ctx.m_nSymbolStreams, 3u);  // the small font's glyphs and its text
  EXPECT_TRUE(
      Said(shell, "DefineText 11 is left out: its fonts declare more glyphs than the movie holds (6000 glyphs)."));
  EXPECT_TRUE(Said(shell, "1 more static text was left out: their fonts declare more glyphs than the movie holds."));

  test::SwfWriter many(8);
  many.tag(48, test::DefineFont2(1, 0x04, "Arial", std::vector<uint16_t>(3000, 'a')), true);
  many.tag(11, Text(11, 5, {{.font = 1, .height = 240, .glyphs = {{0, 10}}}})).tag(26, Place(5, 1)).showFrame().end();
  test::WriteFileBytes(dir.file("f.swf"), many.build());
  shell.messages.clear();
  ASSERT_EQ(ConvertMovie(ctx, dir.file("f.swf"), dir.file("f.fla"), 0), uint32_t(kResultDone));
  EXPECT_EQ(ctx.m_nSymbolStreams, 3001u);
  EXPECT_TRUE(shell.messages.empty());
}

// Glyph fields of 0 bits make 127 references of a byte: after a text of
// 20,000 references written with their bits (whole), a text keeps what
// 16,384 and 2 a byte of the movie leave, and a third none (the second
// named, one line for the third).
TEST_F(StaticText, ReferencesStopAtTheMoviesBudget) {
  Options(kShapes);
  std::vector<Rec> real(1, Rec{.font = 1, .height = 240}), free(1, Rec{.font = 1, .height = 240});
  for (int i = 0; i < 20000; ++i) {
    if (real.back().glyphs.size() == 127) real.push_back(Rec{.style = false});
    real.back().glyphs.push_back({0, 1});  // one twip: larger coordinates look like tags to the page walker
  }
  for (int i = 0; i < 1000; ++i) free.push_back(Rec{.style = false, .glyphs = std::vector(127, std::pair(0u, 0))});
  test::SwfWriter w(8);
  w.tag(48, test::DefineFont2(1, 0, "Arial", {'a'}));
  w.tag(11, Text(11, 5, real, 1, 9), true);
  for (uint16_t id : {6, 7}) w.tag(11, Text(11, id, free, 0, 0), true);
  const Streams streams = Convert(w, {5, 6, 7});
  const size_t kept = 16384 + 2 * (test::ReadFileBytes(dir.file("a.swf")).size() - 8) - 20000;
  std::vector<size_t> instances;
  for (const std::string& page : TextPages(streams))
    instances.push_back(test::WalkPage(streams.at(page)).count("CPicSymbol"));
  EXPECT_EQ(instances, (std::vector<size_t>{20000, kept}));
  EXPECT_TRUE(Said(shell, "DefineText 6 is cut short: the movie declares more glyphs than it holds; the first " +
                              std::to_string(kept) + " glyphs are kept."));
  EXPECT_TRUE(Said(shell, "1 more static text was cut short: the movie declares more glyphs than it holds."));
}

// Without a shell (a library caller's conversion) every road runs, the
// questions taking their default answer (Yes: a dummy shape, shapes).
TEST_F(StaticText, EveryRoadRunsWithoutAShell) {
  ctx.m_pShell = nullptr;
  for (Road road : {kImport, kShapes, kFields, kAsk}) {
    SCOPED_TRACE(int(road));
    for (bool fonts : {false, true}) {
      ConverterContext bare;
      bare.options.textJsflImport = road == kImport;
      bare.options.textToTextfields = road == kFields;
      bare.options.askMissingFonts = road == kAsk;
      test::SwfWriter w(8);
      if (fonts) w.tag(48, test::DefineFont2(1, 0, "Nowhere", {'a'}));
      w.tag(11, Text(11, 5, {{.font = 1, .height = 240, .glyphs = {{0, 10}}}}));
      // A text cut short inside its glyphs.
      w.tag(11, Text(11, 6, {{.font = 1, .height = 240, .glyphs = {{0, 10}, {0, 10}}}}, 8, 12, false));
      w.tag(26, Place(5, 1)).tag(26, Place(6, 2)).showFrame().end();
      test::WriteFileBytes(dir.file("bare.swf"), w.build());
      ASSERT_EQ(ConvertMovie(bare, dir.file("bare.swf"), dir.file("bare.fla"), 0), uint32_t(kResultDone));
      Streams streams;
      ASSERT_TRUE(test::ReadCompoundFile(dir.file("bare.fla"), streams));
      for (const auto& [name, bytes] : streams)
        if (name.starts_with("Page ") || name.starts_with("Symbol ")) {
          EXPECT_TRUE(test::PageWalksClean(bytes)) << name;
        }
      if (!fonts && road != kImport) { EXPECT_EQ(bare.m_nSymbolStreams, 2u); }  // two dummy shapes
    }
  }
}

TEST_F(StaticText, AnUnknownFontGivesAnEmptyClipWithoutQuestion) {
  Options(kShapes);
  test::SwfWriter w(8);
  w.tag(48, test::DefineFont2(1, 0, "Arial", {'a'}));
  w.tag(11, Text(11, 5, {{.font = 9, .height = 240, .glyphs = {{0, 10}}}}));
  const Streams streams = Convert(w, {5});
  EXPECT_TRUE(shell.questions.empty());
  EXPECT_TRUE(TextPages(streams).empty());
  EXPECT_EQ(ctx.m_nSymbolStreams, 1u);  // the empty movie clip
}

TEST_F(StaticText, MissingFontQuestionChoosesTheRoad) {
  Options(kAsk);
  shell.fonts = {};
  shell.answerYes = false;
  ConvertAndDirect({{48, test::DefineFont2(1, 0, "Gone\x01", {'a'})},
                    {48, test::DefineFont2(2, 0, "Lost", {'b'})},
                    {11, Text(11, 5, {{.font = 1, .height = 240, .glyphs = {{0, 10}}},
                                      {.font = 2, .height = 240, .glyphs = {{0, 10}}}})}},
                   {5});
  ASSERT_EQ(shell.questions.size(), 1u);
  EXPECT_EQ(shell.questions[0],
            "A static text uses the missing fonts Gone\\x01, Lost.\nDo you want to rescue the text as shapes?");
  EXPECT_EQ(ctx.m_pStaticTexts.size(), 1u);
}

TEST_F(StaticText, PublishGroupsFollowTheEnginePairs) {
  Options(kFields);
  test::SwfWriter w(8, 11000, 8000);
  const Streams streams = Convert(w);
  const Bytes& contents = streams.at("Contents");
  auto find = [&](const std::string& ascii, size_t from = 0) {
    Bytes utf16;
    for (char c : ascii) utf16.insert(utf16.end(), {uint8_t(c), 0});
    auto it = std::search(contents.begin() + ptrdiff_t(from), contents.end(), utf16.begin(), utf16.end());
    return it == contents.end() ? std::string::npos : size_t(it - contents.begin()) + utf16.size();
  };
  const std::string keys[] = {"PublishRNWKProperties::showBitrateDlog", "PublishFormatProperties::rnwkDefaultName",
                              "PublishGifProperties::Width", "PublishQTProperties::Width",
                              "PublishPNGProperties::Transparent", "PublishFormatProperties::htmlDefaultName",
                              "PublishFormatProperties::rnwk", "PublishFormatProperties::png"};
  size_t last = 0;
  for (const std::string& key : keys) {
    // Each key once, after the one before it ("rnwk" is a prefix of another key).
    const size_t at = find(key, last);
    ASSERT_NE(at, std::string::npos) << key;
    EXPECT_EQ(find(key, at), std::string::npos) << key;
    last = at;
  }
  // The width value "550" right after its key.
  const Bytes width = {3, '5', 0, '5', 0, '0', 0};
  for (const char* key : {"PublishGifProperties::Width", "PublishQTProperties::Width"}) {
    const size_t at = find(key);
    auto it = std::search(contents.begin() + ptrdiff_t(at), contents.end(), width.begin(), width.end());
    EXPECT_LE(size_t(it - contents.begin()), at + 8) << key;
  }
}

class StaticTextHostile : public StaticText, public ::testing::WithParamInterface<int> {};

TEST_P(StaticTextHostile, BadRecordsAreCutAndTheRestConverts) {
  const Road road = Road(GetParam());
  Options(road);
  Bytes wide = Text(11, 5, {{.font = 1, .height = 240, .glyphs = {{0, 10}}}});
  wide[2 + SwfBytes().rect(100, 2000, 0, 400).matrix(0, 0).data().size()] = 200;  // GlyphBits
  Bytes cut = Text(11, 7, {{.font = 1, .height = 240, .glyphs = {{0, 10}, {1, 10}, {2, 10}}}}, 8, 12, false);
  cut.resize(cut.size() - 2);
  ConvertAndDirect({{48, test::DefineFont2(1, 0, "Arial", {'a', 'b', 'c'})},
                    {11, wide},
                    {11, Text(11, 6, {{.font = 1, .height = 240, .glyphs = {{5000, 10}, {1, 10}}}}, 13)},
                    {11, cut}},
                   {5, 6, 7}, road == kFields);
  if (road == kFields) {
    ASSERT_EQ(ctx.m_pStaticTexts.size(), 2u);
    EXPECT_EQ(ctx.m_pStaticTexts[0].runs.at(0).text, "b");
    EXPECT_EQ(ctx.m_pStaticTexts[1].runs.at(0).text, "ab");
  }
  if (road != kImport) { EXPECT_EQ(conversionMessages.size(), 2u); }
}

INSTANTIATE_TEST_SUITE_P(Roads, StaticTextHostile, ::testing::Values(kImport, kShapes, kFields, kAsk));

TEST_F(StaticText, AFontTooLargeForTheSymbolNumbersIsSkippedWithAMessage) {
  Options(kShapes);
  std::vector<uint16_t> codes(65535, 'x');
  test::SwfWriter w(8);
  w.tag(75, test::DefineFont2(1, 0x08, "Arial", codes));
  w.tag(11, Text(11, 5, {{.font = 1, .height = 240, .glyphs = {{0, 10}}}}));
  Convert(w, {5});
  EXPECT_EQ(ctx.m_nSymbolStreams, 0u);
  ASSERT_FALSE(shell.messages.empty());
  EXPECT_NE(shell.messages.back().find("DefineText 5"), std::string::npos);
}

// Two fonts, three texts (one of them DefineText2) and three hostile ones,
// through the program with each choice of the radio group and with the
// question about missing fonts on.
TEST(StaticTextProgram, EveryChoiceGivesAReadableDocumentAndScript) {
  test::SwfWriter w(8);
  w.tag(48, test::DefineFont2(1, 0, "Arial", {'a', 'b', ' '}));
  w.tag(48, test::DefineFont2(2, 0, "NoSuchFontAnywhere", {'c', 'd'}));
  w.tag(11, Text(11, 5, {{.font = 1, .height = 240, .x = 20, .y = 200, .glyphs = {{0, 100}, {2, 60}, {1, 100}}}}));
  w.tag(33, Text(33, 6, {{.font = 2, .height = 480, .color = 0x80102030, .glyphs = {{0, 200}, {1, 200}}}}));
  w.tag(11, Text(11, 7, {{.font = 1, .height = 240, .glyphs = {{1, 100}}}, {.font = 2, .height = 240, .y = 400, .glyphs = {{0, 100}}}}));
  Bytes wide = Text(11, 8, {{.font = 1, .height = 240, .glyphs = {{0, 10}}}});
  wide[2 + SwfBytes().rect(100, 2000, 0, 400).matrix(0, 0).data().size()] = 200;
  w.tag(11, wide);
  w.tag(11, Text(11, 9, {{.font = 1, .height = 240, .glyphs = {{5000, 10}, {0, 10}}}}, 13));
  Bytes cut = Text(11, 10, {{.font = 2, .height = 240, .glyphs = {{0, 10}, {1, 10}}}}, 8, 12, false);
  cut.pop_back();
  w.tag(11, cut);
  for (uint16_t id = 5; id <= 10; ++id) w.tag(26, Place(id, id));
  w.showFrame().end();
  const std::vector<std::vector<std::string>> choices = {
      {"--set", "Static Text: Convert Using JSFL Import=on"},
      {"--set", "Convert All To Textfields=on"},
      {"--set", "Convert All To Shapes=on"},
      {"--set", "Convert All To Shapes=on", "--set", "Ask For Fonts Not Found On System=on"}};
  for (const auto& choice : choices) {
    SCOPED_TRACE(choice.back());
    test::TempDir dir;
    test::WriteFileBytes(dir.file("t.swf"), w.build());
    test::ExpectSameBytesWhereverWorkFilesLive({dir.file("t.swf")});
    std::vector<std::string> args = {dir.file("t.swf"), "-o", dir.file("t.fla")};
    args.insert(args.end(), choice.begin(), choice.end());
    const test::ProgramRun run = test::RunProgram(args, dir.file("config"));
    ASSERT_EQ(run.status, 0) << run.output;
    test::ExpectReadableDocument(dir.file("t.fla"));
    const Bytes raw = test::ReadFileBytes(dir.file("t.fla") + ".jsfl");
    const std::string closing = "fl.getDocumentDOM().exitEditMode();_fr_.save();";
    const std::string text(raw.begin(), raw.end());
    // The closing save follows the pieces; only the import road has pieces here.
    const size_t at = text.rfind(closing);
    if (choice.back().find("JSFL Import") != std::string::npos) {
      ASSERT_NE(at, std::string::npos);
    }
    if (at != std::string::npos) {
      EXPECT_EQ(at, text.size() - closing.size() - (text.back() == '\n' ? 1 : 0));
    }
  }
}

// A text whose import movie cannot be written (its folder's name taken by a
// file) is converted as with the import option off, with one message: the
// same document as with the option off.
TEST(StaticTextProgram, ATextWhoseMovieCannotBeWrittenIsConvertedAsWithTheOptionOff) {
  test::SwfWriter w(8);
  w.tag(48, test::DefineFont2(1, 0, "Arial", {'a', 'b'}));
  w.tag(11, Text(11, 5, {{.font = 1, .height = 240, .x = 20, .y = 200, .glyphs = {{0, 100}, {1, 100}}}}));
  w.tag(26, Place(5, 1)).showFrame().end();
  test::TempDir dir;
  test::WriteFileBytes(dir.file("t.swf"), w.build());
  test::WriteFileBytes(dir.file("StaticText_on.fla"), {'x'});
  const test::ProgramRun on = test::RunProgram(
      {dir.file("t.swf"), "-o", dir.file("on.fla"), "--set", "Static Text: Convert Using JSFL Import=on"},
      dir.file("config"));
  ASSERT_EQ(on.status, 0) << on.output;
  EXPECT_NE(on.output.find("DefineText 5: its movie for the script could not be written; it is converted as with "
                           "\"Convert Using JSFL Import\" off."),
            std::string::npos)
      << on.output;
  EXPECT_EQ(on.output.find("left out"), std::string::npos) << on.output;
  const test::ProgramRun off = test::RunProgram({"-q", dir.file("t.swf"), "-o", dir.file("off.fla")}, dir.file("config"));
  ASSERT_EQ(off.status, 0) << off.output;
  EXPECT_EQ(test::ExpectReadableDocument(dir.file("on.fla")), test::ExpectReadableDocument(dir.file("off.fla")));
}

}  // namespace
}  // namespace tovrani
