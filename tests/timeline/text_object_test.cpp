#include "timeline/text_object.h"

#include <gtest/gtest.h>

#include "timeline/inner_page_fixture.h"
#include "timeline/symbol_timeline.h"

namespace tovrani {
namespace {

using namespace test;

// The fields of one style run of the record, as the format lays them out.
struct Chunk {
  bool count = true;
  size_t n = 0;  // the length written
  uint16_t size = 0;
  std::string font;
  uint32_t color = 0;
  uint8_t styleA = 0, styleB = 0;
  std::vector<int> paragraph = std::vector<int>(9, 0);
  std::string url, target;
  uint8_t fontFlag = 0, mode = 0;
  std::vector<int> options = std::vector<int>(6, 0);
  std::string chars;
};

std::string Counted(const std::string& s, bool isNew) {
  return "u8 " + std::to_string(s.size()) + (isNew ? "; UTF-16 \"" : "; ANSI \"") + s + "\"";
}

std::vector<uint8_t> ChunkBytes(const Chunk& c, bool isNew) {
  std::vector<uint8_t> v;
  if (c.count) AppendU16(v, uint32_t(c.n));
  v.push_back(isNew ? 0x0C : 0x07);
  AppendU16(v, c.size);
  Append(v, FieldBytes(Counted(c.font, isNew)));
  AppendU32(v, c.color);
  AppendU16(v, 0x22);
  Append(v, Bytes({c.styleA, c.styleB, 0, 0, 0}));
  for (int b : c.paragraph) v.push_back(uint8_t(b));
  AppendU16(v, 0);
  Append(v, FieldBytes(Counted(c.url, isNew) + "; u8 0, 0, 0"));
  if (isNew) v.push_back(c.fontFlag);
  Append(v, FieldBytes(Counted(c.target, isNew)));
  if (isNew) {
    Append(v, Bytes({2, c.mode, 0, 0}));
    for (int b : c.options) v.push_back(uint8_t(b));
    Append(v, FieldBytes(Counted(c.url, isNew)));
  }
  Append(v, FieldBytes((isNew ? "UTF-16 \"" : "ANSI \"") + c.chars + "\""));
  return v;
}

std::vector<uint8_t> HeadBytes(bool isNew, std::vector<int32_t> box, uint16_t flags, uint8_t render,
                               uint16_t maxLength, const std::string& variable,
                               std::vector<int32_t> m = {0x10000, 0, 0, 0x10000, 0, 0}) {
  std::vector<uint8_t> v = Bytes({isNew ? 4 : 1, 0, 0, 0});
  AppendU32(v, 0x80000000);
  AppendU32(v, 0x80000000);
  Append(v, isNew ? Bytes({0, 0, 0x0D}) : Bytes({9}));
  for (int32_t x : m) AppendU32(v, uint32_t(x));
  for (int32_t x : box) AppendU32(v, uint32_t(x));
  AppendU16(v, 0);
  AppendU16(v, flags);
  Append(v, Bytes({render, 0}));
  AppendU16(v, maxLength);
  Append(v, ExpectedString(variable, isNew));
  return v;
}

std::vector<uint8_t> TailBytes(bool isNew, const std::string& name, bool edit) {
  std::vector<uint8_t> v;
  AppendU16(v, 0);
  Append(v, ExpectedString(name, isNew));
  AppendU32(v, 0);
  AppendU32(v, edit ? 1 : 0);
  if (isNew) Append(v, FieldBytes("M; u8 0; M; u32 0"));
  return v;
}

class TextRecord : public ::testing::TestWithParam<int> {
 protected:
  bool isNew() const { return GetParam() >= 2; }
  void SetUp() override { ctx.m_nFlaFormat = uint8_t(GetParam()); }

  PlacementEntry edit(const EditTextRecord& t, const std::string& name = "") {
    ctx.m_pEditTexts.assign(1, t);
    PlacementEntry e;
    e.kind = 3;
    e.instanceName = name;
    return e;
  }
  PlacementEntry text(const StaticTextRecord& t) {
    ctx.m_pStaticTexts.assign(1, t);
    PlacementEntry e;
    e.kind = 4;
    return e;
  }
  // The record without its class tag.
  std::vector<uint8_t> write(const PlacementEntry& e, TextPlacement how = TextPlacement::kWrapped,
                             SwfMatrix m = {}) {
    ByteSink sink;
    ctx.m_pPageStream = sink;
    PageClassState state;
    WriteTextObject(ctx, e, m, state, uint16_t(ctx.m_library.fonts.size()), how);
    const std::vector<uint8_t> all = sink.bytes();
    const std::vector<uint8_t> tag = NewClass("CPicText");
    EXPECT_BYTES(Slice(all, 0, std::min(all.size(), tag.size())), tag);
    EXPECT_EQ(state.texts, 1u);
    return Slice(all, std::min(all.size(), tag.size()), all.size());
  }
  Chunk staticChunk(const std::string& chars, uint8_t align, uint16_t layout = 0) {
    Chunk c;
    c.n = chars.size();
    c.chars = chars;
    c.size = 200;
    c.font = "Arial";
    c.color = 0x112233FF;
    c.styleA = 1;
    c.paragraph = {align, 40, 0, int(layout & 0xFF), int(layout >> 8), 0, 0, 0, 0};
    return c;
  }
  StaticTextRun run(const std::string& s, int32_t y, int32_t x = 0, int32_t width = 100) {
    StaticTextRun r;
    r.fontId = 1;
    r.height = 200;
    r.color = 0x112233FF;
    r.y = y, r.x = x, r.width = width;
    r.text = s;
    return r;
  }

  ConverterContext ctx;
};

INSTANTIATE_TEST_SUITE_P(Levels, TextRecord, ::testing::Values(0, 2));

FontRecord Font(uint16_t id, const std::string& name, uint32_t kind = 0) {
  FontRecord f;
  f.id = id;
  f.name = name;
  f.nameKnown = !name.empty();
  f.styleA = 1;
  f.fontKind = kind;
  return f;
}

// An empty edit text with layout values, options and a device font: one
// run's style without a length, the 40-twip inset box.
TEST_P(TextRecord, EmptyEditText) {
  ctx.m_library.fonts = {Font(1, "Arial", 3)};
  EditTextRecord t;
  t.bounds = {100, 1100, 200, 700};
  t.textFlags = 0x12345;
  t.fontId = 1, t.fontHeight = 240, t.color = 0xFF0000FF, t.maxLength = 20;
  t.swfFlags = 0x20, t.align = 2, t.leading = 5, t.indent = 6, t.leftMargin = 7, t.rightMargin = 8;
  t.optionBytes = {1, 0, 0, 0, 0, 0};
  t.optionsOn = 1;
  t.variableName = "v", t.url = "u", t.target = "t";
  Chunk c;
  c.count = false;
  c.size = 240, c.font = "Arial", c.color = 0xFF0000FF, c.styleA = 1;
  c.paragraph = {2, 5, 0, 6, 0, 7, 0, 8, 0};
  c.url = "u", c.target = "t", c.mode = 2, c.options = {1, 0, 0, 0, 0, 0};
  EXPECT_BYTES(write(edit(t, "name")),
               Concat({HeadBytes(isNew(), {140, 1060, 240, 660}, 0x2345, isNew() ? 2 : 0, 20, "v"),
                       ChunkBytes(c, isNew()), TailBytes(isNew(), "name", true)}));
}

// 1,200 characters without runs: chunks of 512, 512 and 176 in one style;
// a font without a name is "a".
TEST_P(TextRecord, LongPlainEditTextInChunks) {
  ctx.m_library.fonts = {Font(4, "")};
  EditTextRecord t;
  t.fontId = 4, t.fontHeight = 100, t.color = 7;
  for (int i = 0; i < 1200; ++i) t.initialText += char('a' + i % 26);
  std::vector<uint8_t> want = HeadBytes(isNew(), {40, -40, 40, -40}, kEditTextAlways, 0, 0, "");
  for (size_t at : {0, 512, 1024}) {
    Chunk c;
    c.chars = t.initialText.substr(at, 512);
    c.n = c.chars.size();
    c.size = 100, c.font = "a", c.color = 7, c.styleA = 1;
    Append(want, ChunkBytes(c, isNew()));
  }
  Append(want, TailBytes(isNew(), "", true));
  EXPECT_BYTES(write(edit(t)), want);
}

// Runs carry their own colour, size and font name, or fall back to the
// field's; runs outside the text write nothing, and the record is left as
// it was, so a second placement writes the same bytes.
TEST_P(TextRecord, EditTextRuns) {
  ctx.m_library.fonts = {Font(2, "Times")};
  EditTextRecord t;
  t.fontId = 2, t.fontHeight = 240, t.color = 0x0000FFFF;
  t.initialText = std::string(600, 'x') + "yz";
  EditTextRun a;
  a.start = 0, a.length = 600, a.color = 0x00FF00FF, a.height = 400, a.fontName = "Verdana", a.styleB = 1;
  EditTextRun b;
  b.start = 600, b.length = 2;
  EditTextRun empty;
  empty.start = 1;
  EditTextRun past;
  past.start = 700, past.length = 3;
  t.runs = {a, empty, b, past};
  std::vector<uint8_t> want = HeadBytes(isNew(), {40, -40, 40, -40}, kEditTextAlways, 0, 0, "");
  for (size_t n : {512, 88}) {
    Chunk c;
    c.n = n, c.chars = std::string(n, 'x');
    c.size = 400, c.font = "Verdana", c.color = 0x00FF00FF, c.styleB = 1;
    Append(want, ChunkBytes(c, isNew()));
  }
  Chunk c;
  c.n = 2, c.chars = "yz", c.size = 240, c.font = "Times", c.color = 0x0000FFFF, c.styleA = 1;
  Append(want, ChunkBytes(c, isNew()));
  Append(want, TailBytes(isNew(), "", true));
  const PlacementEntry e = edit(t);
  EXPECT_BYTES(write(e), want);
  EXPECT_BYTES(write(e), want);
}

// How static lines are aligned and where the frame box ends.
TEST_P(TextRecord, StaticAlignment) {
  ctx.m_library.fonts = {Font(1, "Arial")};
  struct Case {
    const char* what;
    std::vector<StaticTextRun> runs;
    uint32_t centred;
    std::vector<uint8_t> align;
    int32_t right;
  } const cases[] = {
      {"one run centred", {run("a", 10)}, 1, {2}, 500},
      {"one run", {run("a", 10)}, 0, {0}, 2000},
      {"one line at the left", {run("a", 10), run("b", 10, 300)}, 0, {0, 0}, 2000},
      // xMin - originX + the line's right: 50 - 20 + 400
      {"one line inset", {run("a", 10, 100), run("b", 10, 300)}, 0, {2, 0}, 430},
      {"left, right, centre", {run("a", 10), run("b", 20, 50, 250), run("c", 30, 30, 100)}, 0, {0, 1, 2}, 2000},
      // Two lines at y 10 (not consecutive): the last decides for both.
      {"same y twice", {run("a", 10), run("b", 20), run("c", 10, 50, 30)}, 0, {2, 0, 2}, 2000},
  };
  for (const Case& c : cases) {
    StaticTextRecord t;
    t.xMin = 50, t.xMax = 2000, t.yMax = 300, t.originX = 20;
    t.centred = c.centred, t.centredWidth = 500;
    t.runs = c.runs;
    std::vector<uint8_t> want = HeadBytes(isNew(), {0, c.right, 0, 300}, 0, 0, 0, "");
    for (size_t r = 0; r < c.runs.size(); ++r) Append(want, ChunkBytes(staticChunk(c.runs[r].text, c.align[r]), isNew()));
    Append(want, TailBytes(isNew(), "", false));
    EXPECT_BYTES(write(text(t)), want) << c.what;
  }
}

// Written directly, a static line followed by a lower one ends in a
// carriage return counted in its last chunk, a nameless font writes no
// style bytes, and the entry's matrix is used; in a wrapper none of that.
TEST_P(TextRecord, DirectStaticText) {
  ctx.m_library.fonts = {Font(1, "")};
  StaticTextRecord t;
  t.xMax = 900;
  t.layoutWord = 0x0102;
  // 600 characters, then one of 512, one ending in CR, one going up the
  // page, and the last.
  t.runs = {run(std::string(600, 'p'), 10), run(std::string(512, 'q'), 20), run("r\r", 30), run("s", 40),
            run("t", 5), run("u", 50)};
  SwfMatrix m;
  m.translateX = 77;
  for (const TextPlacement how : {TextPlacement::kDirect, TextPlacement::kWrapped}) {
    const bool direct = how == TextPlacement::kDirect;
    std::vector<uint8_t> want =
        HeadBytes(isNew(), {0, 900, 0, 0}, 0, 0, 0, "", {0x10000, 0, 0, 0x10000, direct ? 77 : 0, 0});
    auto add = [&](const std::string& chars, bool cr) {
      Chunk c = staticChunk(chars + (cr ? "\r" : ""), 0, 0x0102);
      c.font = "a";
      if (direct) c.styleA = 0;
      Append(want, ChunkBytes(c, isNew()));
    };
    add(std::string(512, 'p'), false);
    add(std::string(88, 'p'), direct);
    add(std::string(512, 'q'), false);
    add("r\r", false);
    add("s", false);
    add("t", direct);
    add("u", false);
    Append(want, TailBytes(isNew(), "", false));
    EXPECT_BYTES(write(text(t), how, direct ? m : SwfMatrix{}), want) << direct;
  }
}

// A chunk never ends between the two halves of a pair.
TEST_P(TextRecord, ChunksKeepPairsWhole) {
  ctx.m_library.fonts = {Font(1, "Arial")};
  // 511 letters, then a character outside the 16-bit range: at level 2
  // the first chunk ends before the pair; below it the pair is two "?".
  EditTextRecord pair;
  pair.fontId = 1;
  pair.initialText = std::string(511, 'a') + "\xF0\x9F\x98\x80" + "b";
  const std::vector<uint8_t> p = write(edit(pair));
  const uint8_t style = isNew() ? 0x0C : 0x07;
  for (const uint32_t n : {isNew() ? 511u : 512u, isNew() ? 3u : 2u}) {
    std::vector<uint8_t> length;
    AppendU16(length, n);
    length.push_back(style);
    EXPECT_EQ(CountOf(p, length), 1u) << n;
  }
}

// A placement is charged what its runs write before they are written. With
// less left, the text is written bare (its first style without characters,
// an edit text as a field without text); with too little for that, not at
// all.
TEST_P(TextRecord, PlacementsAreChargedWhatTheirRunsWrite) {
  ctx.m_library.fonts = {Font(1, "Arial"), Font(2, "")};
  EditTextRecord runs, plain;
  runs.fontId = 2, runs.url = "u", runs.target = "t", plain.fontId = 1;
  runs.initialText = std::string(600, 'x') + "\xF0\x9F\x98\x80" + std::string(600, 'y');
  plain.initialText = std::string(1100, 'p');
  EditTextRun a, b;
  a.length = 602, a.fontName = "Verd\xC3\xA1na", b.start = 602, b.length = 600;
  runs.runs = {a, b};
  ctx.m_pEditTexts = {runs, plain};
  StaticTextRecord lines;
  lines.runs = {run(std::string(600, 'p'), 10), run(std::string(512, 'q'), 20), run("r\r", 30), run("s", 40)};
  lines.runs[1].fontId = 9;
  ctx.m_pStaticTexts = {lines};
  for (const auto& [kind, row] : {std::pair(3, 0), std::pair(3, 1), std::pair(4, 0)})
    for (const TextPlacement how : {TextPlacement::kDirect, TextPlacement::kWrapped}) {
      PlacementEntry e;
      e.kind = uint8_t(kind), e.streamIndex = uint32_t(row);
      const size_t frame =
          HeadBytes(isNew(), {0, 0, 0, 0}, 0, 0, 0, "").size() + TailBytes(isNew(), "", kind == 3).size();
      Allowance& budget = ctx.m_budget.textObjectBytes;
      budget = Allowance(1 << 30, 0, 0);
      const uint64_t runsBytes = write(e, how).size() - frame;
      EXPECT_EQ((1 << 30) - budget.left(), runsBytes) << kind << row;
      budget = Allowance(runsBytes - 1, 0, 0);
      const std::vector<uint8_t> bare = write(e, how);
      EXPECT_EQ(runsBytes - 1 - budget.left(), bare.size() - frame) << kind << row;
      EXPECT_LT(bare.size() - frame, 100u);
      if (kind == 3) {
        EXPECT_EQ(bare.at(isNew() ? 58 : 56) & 0x40, 0x40);  // the empty flag
      }
      budget = Allowance(bare.size() - frame - 1, 0, 0);
      ByteSink sink;
      ctx.m_pPageStream = sink;
      PageClassState state;
      WriteTextObject(ctx, e, {}, state, 2, how);
      EXPECT_TRUE(sink.bytes().empty());
    }
}

// Text wrappers on a page.
class TextWrapper : public InnerPageFixture {
 protected:
  PlacementEntry& placeText(DepthTrack& t, uint16_t start, uint16_t end) {
    PlacementEntry& e = place(t, start, end, 40);
    e.kind = 4;
    e.streamIndex = 0;
    return e;
  }
  void SetUp() override {
    InnerPageFixture::SetUp();
    ctx.m_library.fonts = {Font(1, "Arial")};
    StaticTextRecord s;
    s.xMax = 100;
    StaticTextRun r;
    r.fontId = 1;
    r.text = "hi";
    s.runs = {r};
    ctx.m_pStaticTexts = {s};
  }
};

INSTANTIATE_TEST_SUITE_P(Levels, TextWrapper, ::testing::Values(0, 2));

// A neutral transform gets no wrapper, an alpha offset of 1 alone gets one;
// a text without its row gets nothing.
TEST_P(TextWrapper, OnlyAColourTransformMakesAWrapper) {
  struct Case {
    int16_t alphaOffset;
    uint32_t row;
    uint32_t streams, texts;
  } const cases[] = {{0, 0, 0, 1}, {1, 0, 1, 0}, {0, 0x80000000, 0, 0}, {1, 5, 0, 0}};
  for (const Case& c : cases) {
    reset();
    SetUp();
    PlacementEntry& e = placeText(track(1), 0, kNeverRemoved);
    e.colorTransform.aAdd = c.alphaOffset;
    e.streamIndex = c.row;
    BuildSymbolTimeline(ctx, 1, tracks, lastTrack(), 1, 3, state);
    const PageWalk w = WalkPage(pageBytes());
    EXPECT_TRUE(w.ok) << w.error;
    EXPECT_EQ(ctx.m_nStreams, c.streams);
    EXPECT_EQ(w.count("CPicText"), c.texts);
    EXPECT_EQ(w.count("CPicSymbol"), c.streams);
    expectWalkableStreams();
  }
}

// Three placements of one text, the first tinted: one wrapper, which all
// three place, the later two with their own transforms.
TEST_P(TextWrapper, LaterPlacementsAreRetargeted) {
  DepthTrack& t = track(1);
  placeText(t, 0, 2).colorTransform.rMult = 100;
  placeText(t, 2, 4);
  placeText(t, 4, kNeverRemoved).colorTransform.gAdd = 9;
  BuildSymbolTimeline(ctx, 1, tracks, lastTrack(), 1, 6, state);
  ASSERT_EQ(ctx.m_nStreams, 1u);
  const uint16_t item = ctx.m_pStreamItemNo.at(0);
  for (const PlacementEntry& e : t.entries) {
    EXPECT_EQ(e.characterId, item);
    EXPECT_EQ(e.kind, 0);
    EXPECT_EQ(e.streamIndex, 0u);
    EXPECT_EQ(e.retargeted, 1);
  }
  EXPECT_EQ(t.entries[0].colorTransform.rMult, 100);
  EXPECT_EQ(t.entries[1].colorTransform.rMult, 256);
  EXPECT_EQ(t.entries[2].colorTransform.gAdd, 9);
  const PageWalk w = WalkPage(pageBytes());
  EXPECT_EQ(w.count("CPicSymbol"), 3u);
  EXPECT_EQ(w.count("CPicText"), 0u);
  const std::vector<uint8_t> wrapper = stream(0);
  const PageWalk inner = WalkPage(wrapper);
  EXPECT_TRUE(inner.ok) << inner.error;
  EXPECT_EQ(inner.count("CPicText"), 1u);
  EXPECT_EQ(CountOf(wrapper, ExpectedString("Text", isNew())), 1u);
  const std::vector<uint8_t> end = Written([&](std::FILE* f) {
    g_shortLayerEndLead = 1;
    if (isNew()) WriteLayerEndNew(f, 2);
    else WriteLayerEndOld(f, 2);
  });
  EXPECT_BYTES(Slice(wrapper, wrapper.size() - end.size(), wrapper.size()), end);
}

// A tinted text inside a group: its wrapper opens inside the group's page
// and commits first; both pages keep their own item numbers.
TEST_P(TextWrapper, WrapperInsideAGroup) {
  ctx.m_pStreamItemNo[0] = 300;
  DepthTrack& mask = track(1);
  mask.isMask = 1;
  mask.maskDepth = 3;
  place(mask, 0, kNeverRemoved, 9);
  DepthTrack& head = track(2);
  head.isGroup = 1;
  place(head, 0, kNeverRemoved, 8).groupDepths = 2;
  placeText(track(3), 0, kNeverRemoved).colorTransform.aMult = 10;
  BuildSymbolTimeline(ctx, 1, tracks, lastTrack(), 1, 2, state);
  ASSERT_EQ(ctx.m_nStreams, 2u);
  EXPECT_EQ(ctx.m_pStreamItemNo.at(0), 2);  // the wrapper
  EXPECT_EQ(ctx.m_pStreamItemNo.at(1), 1);  // the group
  EXPECT_EQ(ctx.m_pStreamItemNo.at(2), 300);
  EXPECT_EQ(ctx.m_nInnerPageLevel, 0u);
  EXPECT_EQ(WalkPage(stream(0)).count("CPicText"), 1u);
  EXPECT_EQ(WalkPage(stream(1)).count("CPicSymbol"), 2u);
  expectWalkableStreams();
}

// Hostile edit texts, placed plain and tinted, give pages that walk; long
// names take the long form where the record has a marked string and are cut
// to 254 where it has a bare count.
TEST_P(TextWrapper, HostileEditTextsOnAPage) {
  EditTextRecord t;
  t.fontId = 1;
  t.variableName = t.url = t.target = std::string(300, 'v');
  t.initialText = std::string(70000, 'w');
  EditTextRun bad;
  bad.start = 3, bad.length = uint32_t(-5);  // cut at the text's end
  EditTextRun past;
  past.start = 80000, past.length = 10;
  EditTextRun tail;
  tail.start = 69990, tail.length = 100;
  tail.fontName = std::string(300, 'f');
  t.runs = {bad, past, tail};
  ctx.m_pEditTexts = {t};
  DepthTrack& d = track(1);
  PlacementEntry& plain = place(d, 0, 1, 50);
  plain.kind = 3;
  plain.instanceName = std::string(300, 'i');
  PlacementEntry& tinted = place(d, 1, kNeverRemoved, 50);
  tinted.kind = 3;
  tinted.colorTransform.rAdd = -3;
  BuildSymbolTimeline(ctx, 1, tracks, lastTrack(), 1, 3, state);
  EXPECT_EQ(ctx.m_nWriterError, 0);
  const PageWalk w = WalkPage(pageBytes());
  EXPECT_TRUE(w.ok) << w.error;
  EXPECT_EQ(w.count("CPicText"), 1u);
  ASSERT_EQ(ctx.m_nStreams, 1u);
  expectWalkableStreams();
  // One chunk: the 10 characters from 69,990 to the text's end.
  const std::vector<uint8_t> wrapper = stream(0);
  std::vector<uint8_t> ten;
  AppendU16(ten, 10);
  ten.push_back(isNew() ? 0x0C : 0x07);
  EXPECT_EQ(CountOf(wrapper, ten), 1u);
  EXPECT_EQ(CountOf(wrapper, ExpectedString(t.variableName, isNew())), 1u);
  EXPECT_EQ(CountOf(wrapper, FieldBytes(Counted(std::string(254, 'f'), isNew()))), 1u);
  EXPECT_EQ(CountOf(pageBytes(), ExpectedString(std::string(300, 'i'), isNew())), 1u);
}

// Interrupting a sprite page or the scene page leaves the page as it is
// when the symbol already exists, with the flags back.
TEST_P(TextWrapper, InterruptedPagesAreUnchanged) {
  for (const bool scene : {false, true}) {
    std::vector<uint8_t> pages[2];
    uint8_t leads[2];
    for (const bool exists : {false, true}) {
      reset();
      SetUp();
      place(track(1), 0, kNeverRemoved, 3);
      PlacementEntry& e = placeText(track(2), 1, kNeverRemoved);
      e.colorTransform.bAdd = 4;
      e.matrix.translateX = 60;
      if (exists) e.kind = 0, e.characterId = 1, e.streamIndex = 0;
      if (scene) ctx.m_pPageWorkFile = ctx.m_pPageStream;
      ctx.m_bSceneTimeline = ctx.m_bPageFlag = scene;
      BuildSymbolTimeline(ctx, scene ? 2 : 1, tracks, lastTrack(), 1, 4, state);
      pages[exists] = pageBytes();
      leads[exists] = g_shortLayerEndLead;
      EXPECT_EQ(ctx.m_bSceneTimeline, scene);
      EXPECT_EQ(ctx.m_bPageFlag, scene);
      EXPECT_EQ(ctx.m_nStreams, exists ? 0u : 1u);
    }
    EXPECT_BYTES(pages[0], pages[1]);
    EXPECT_EQ(leads[0], leads[1]);
  }
}

}  // namespace
}  // namespace tovrani
