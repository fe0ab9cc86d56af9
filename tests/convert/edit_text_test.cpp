// DefineEditText: the record, the flag word, and the initial text turned
// into plain text with style runs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "convert/converter_context.h"
#include "convert/edit_text.h"
#include "convert/font_tags.h"
#include "convert/text_test_support.h"
#include "support/recording_shell.h"

namespace tovrani {
namespace {

using test::Field;

// The runs in short: "start+length", then B, I, 'face', size and #colour
// where they differ from the defaults.
std::string Runs(const EditTextRecord& rec) {
  std::string out;
  for (const TextStyleRun& r : rec.runs) {
    char colour[16];
    std::snprintf(colour, sizeof colour, " #%08x", r.color);
    out += (out.empty() ? "" : " | ") + std::to_string(r.start) + "+" + std::to_string(r.length);
    if (r.styleA) out += " B";
    if (r.styleB) out += " I";
    if (!r.fontName.empty()) out += " '" + r.fontName + "'";
    if (r.height != -1) out += " " + std::to_string(r.height);
    if (r.color) out += colour;
  }
  return out;
}

class EditText : public ::testing::Test {
 protected:
  EditText() {
    ctx.m_pShell = &shell;
    ctx.m_nSwfVersion = 8;
  }
  const EditTextRecord& Convert(const Field& f) { return Convert(f.Body()); }
  const EditTextRecord& Convert(const test::Bytes& body) {
    HandleEditText(ctx, body);
    return ctx.m_pEditTexts.back();
  }
  const EditTextRecord& Html(const std::string& text) {
    Field f;
    f.flags2 = 0x02;
    f.text = text;
    return Convert(f);
  }

  ConverterContext ctx;
  test::RecordingShell shell;
};

TEST_F(EditText, HtmlBecomesTextAndStyleRuns) {
  const std::string cases[][3] = {
      {"<P ALIGN=\"LEFT\"><FONT FACE=\"Arial\" SIZE=\"12\" COLOR=\"#FF8000\">Hi <B>there</B></FONT></P>", "Hi there",
       "0+3 'Arial' 240 #ff0080ff | 3+5 B 'Arial' 240 #ff0080ff"},
      {"<P>one</P><P>two</P>", "one\rtwo", "0+7"},
      {"<FONT COLOR=\"#111111\">a<FONT COLOR=\"#222222\">b</FONT>c</FONT>d", "abcd",
       "0+1 #ff111111 | 1+1 #ff222222 | 2+1 #ff111111 | 3+1"},
      {"Hello <b>world</b>", "Hello world", "0+6 | 6+5 B"},
      {"<FONT FACE=\"A\"><B>x</B></FONT>y", "xy", "0+1 B 'A' | 1+1"},
      {"<I>a<B>b</I>c</B>", "abc", "0+1 I | 1+1 B I | 2+1 B"},
      // A paragraph break at the start of a run goes to the run before it.
      {"<B>a</P><P></B>b", "a\rb", "0+2 B | 2+1"},
      {"<FONT FACE=\"F\">a</FONT><FONT SIZE=\"2\">b</FONT>", "ab", "0+1 'F' | 1+1 'F' 40"},
      {"<font face=\"low\" size=\"99999999999\">z</font>", "z", "0+1 'low' 2147483647"},
      // The upper-case name counts wherever it stands; the lower-case one only without it.
      {"<FONT face=\"low\" FACE=\"UP\">z</FONT>", "z", "0+1 'UP'"},
      {"<FONT FACE=\"Q>x</FONT>", "x", "0+1 'Q'"},
      {"y<FONT FACE=\"A", "y", "0+1"},
      {"y<FONT COLOR=\"#F", "y", "0+1"},
      {"<FONT COLOR=\"#a1B2zz\">c", "c", "0+1 #ffffb2a1"},
      {"&lt;B&gt;x", "<B>x", "0+4"},
      {"h\xC3\xA9llo <B>w\xC3\xB6rld</B> \xF0\x9F\x98\x80x", "h\xC3\xA9llo w\xC3\xB6rld \xF0\x9F\x98\x80x",
       "0+6 | 6+5 B | 11+4"},  // UTF-16 code units
  };
  for (const auto& [html, text, runs] : cases) {
    const EditTextRecord& rec = Html(html);
    EXPECT_EQ(rec.initialText, text) << html;
    EXPECT_EQ(Runs(rec), runs) << html;
    EXPECT_EQ(rec.textFlags, kEditTextAlways | kEditTextHtml) << html;
  }
  ctx.m_nSwfVersion = 5;  // Windows-1252
  EXPECT_EQ(Html("caf\xE9").initialText, "caf\xC3\xA9");
}

TEST_F(EditText, PlainFieldsLinksAndEmptyTexts) {
  Field plain;
  plain.text = "a<b>b";
  EXPECT_EQ(Runs(Convert(plain)), "0+1 | 1+1 B");

  const EditTextRecord& link = Html("<A HREF=\"http://x.org/\" TARGET=\"_self\">go</A> on");
  EXPECT_EQ(link.url, "http://x.org/");
  EXPECT_EQ(link.target, "_self");
  EXPECT_EQ(link.initialText, "go on");

  for (std::optional<std::string> text : {std::optional<std::string>(), std::optional<std::string>(""),
                                          std::optional<std::string>("<P></P>")}) {
    Field f;
    f.text = text;
    const EditTextRecord& rec = Convert(f);
    EXPECT_EQ(rec.textFlags, kEditTextAlways | kEditTextEmpty);
    EXPECT_TRUE(rec.runs.empty());
    EXPECT_EQ(rec.initialText, "");
  }
}

TEST_F(EditText, FieldsAndFlagWord) {
  Field f;
  f.id = 9;
  f.flags1 = 0x08 | 0x40 | 0x10 | 0x20;  // read-only, word wrap, password, multiline
  f.flags2 = 0x10 | 0x08;                // no select, border
  f.color = 0x80332211;
  f.maxLength = 12;
  f.text = "t";
  const EditTextRecord& rec = Convert(f);
  EXPECT_EQ(rec.textFlags, kEditTextAlways | kEditTextReadOnly | kEditTextWordWrap | kEditTextPassword |
                               kEditTextMultiline | kEditTextNoSelect | kEditTextBorder);
  EXPECT_EQ(std::tuple(rec.swfFlags, rec.color, rec.maxLength, rec.align, rec.bounds.xmax),
            std::tuple(0xFE18, 0x80332211u, 12, kEditTextNoLayout, 2000));
  EXPECT_EQ(ctx.m_placedCharacters.at(9).kind, kElementEditText);

  Field laid;
  laid.id = 10;
  laid.layout = true;
  laid.fontClass = "my.Font";  // read over, then the height
  laid.variable = std::string(300, 'n');
  laid.text = "x";
  const EditTextRecord& l = Convert(laid);
  EXPECT_EQ((std::array{l.align, l.leftMargin, l.rightMargin, l.indent, l.leading, l.fontHeight}),
            (std::array<uint16_t, 6>{2, 10, 20, 30, 40, 240}));
  EXPECT_EQ(l.variableName.size(), 254u);
  EXPECT_EQ(l.initialText, "x");
  EXPECT_EQ(ctx.m_placedCharacters.at(10).row, 1u);
}

TEST_F(EditText, DeviceFontsAreKnownByName) {
  for (const auto& [id, name] : {std::pair(3, "_serif"), std::pair(4, "Arial"), std::pair(5, "_Serif")})
    HandleFontTag(ctx, 48, test::DefineFont2(uint16_t(id), 0, name, {}));
  struct Case {
    std::optional<uint16_t> fontId;
    bool html, notDevice;
  } cases[] = {{3, false, false}, {3, true, true}, {4, false, true}, {5, false, true}, {77, false, true},
               {std::nullopt, false, false}};
  for (const Case& c : cases) {
    Field f;
    f.fontId = c.fontId;
    f.flags2 = c.html ? 0x02 : 0;
    f.text = "x";
    EXPECT_EQ((Convert(f).textFlags & kEditTextNotDeviceFont) != 0, c.notDevice) << c.fontId.value_or(0) << c.html;
  }
}

// Every run after a FONT tag copies its face: the face is kept as far as a
// text object writes it (254 UTF-16 units), never cut inside a character.
TEST_F(EditText, AFaceIsKeptAsFarAsTextObjectsWriteIt) {
  const std::string pair = "\xF0\x9F\x98\x80";
  const std::pair<std::string, std::string> cases[] = {
      {std::string(400000, 'F'), std::string(254, 'F')},
      {std::string(253, 'F') + pair + "G", std::string(253, 'F') + pair},
      {std::string(252, 'F') + pair + "G", std::string(252, 'F') + pair},
      {std::string(254, 'F'), std::string(254, 'F')},
  };
  for (const auto& [face, kept] : cases) {
    const EditTextRecord& r = Html("<FONT FACE=\"" + face + "\">a<B>b</B>c</FONT>");
    ASSERT_EQ(r.runs.size(), 3u);
    for (const TextStyleRun& run : r.runs) EXPECT_EQ(run.fontName, kept) << face.size();
  }
}

TEST_F(EditText, HostileTextsStayLinearAndInside) {
  std::string tags, amps, styles;
  for (int i = 0; i < 500000; ++i) tags += "<>";
  for (int i = 0; i < 200000; ++i) amps += "&amp;";
  for (int i = 0; i < 100000; ++i) styles += "<b>x</b><FONT SIZE=\"3\"></FONT>";
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(Html(tags).textFlags & kEditTextEmpty, kEditTextEmpty);
  const EditTextRecord& a = Html(amps);
  EXPECT_EQ(a.initialText, std::string(200000, '&'));
  EXPECT_EQ(Runs(a), "0+200000");
  const EditTextRecord& s = Html(styles);
  uint32_t covered = 0;
  for (const TextStyleRun& r : s.runs) {
    EXPECT_EQ(r.start, covered);
    EXPECT_GT(r.length, 0u);
    covered += r.length;
  }
  EXPECT_EQ(covered, s.initialText.size());
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));

  // A body cut inside its fields keeps what was read and says so once.
  Field f;
  f.id = 44;
  f.fontId = 1;
  f.text = "lost";
  test::Bytes body = f.Body();
  body.resize(14);
  const EditTextRecord& cut = Convert(body);
  EXPECT_EQ(cut.characterId, 44);
  EXPECT_EQ(cut.textFlags & kEditTextEmpty, kEditTextEmpty);
  EXPECT_EQ(shell.messages, (std::vector<std::string>{
                                "BRASKELON Tovrani: DefineEditText 44 is cut short: the part inside the tag is kept."}));
}

}  // namespace
}  // namespace tovrani
