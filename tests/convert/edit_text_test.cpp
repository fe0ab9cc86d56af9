// DefineEditText: the record, the flag word, and the initial text turned
// into plain text with style runs.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>

#include "convert/converter_context.h"
#include "convert/edit_text.h"
#include "convert/font_tags.h"
#include "convert/text_test_support.h"
#include "support/recording_shell.h"
#include "support/swf_writer.h"

namespace tovrani {
namespace {

using test::SwfBytes;
using Bytes = std::vector<uint8_t>;
using test::Field;

struct StyleRun {
  uint32_t start, length;
  uint8_t bold = 0, italic = 0;
  std::string face = "";
  int32_t size = -1;
  uint32_t colour = 0;
};

std::vector<StyleRun> Runs(const EditTextRecord& rec) {
  std::vector<StyleRun> out;
  for (const TextStyleRun& r : rec.runs) out.push_back({r.start, r.length, r.bold, r.italic, r.face, r.size, r.colour});
  return out;
}

bool operator==(const StyleRun& a, const StyleRun& b) {
  return a.start == b.start && a.length == b.length && a.bold == b.bold && a.italic == b.italic &&
         a.face == b.face && a.size == b.size && a.colour == b.colour;
}
std::ostream& operator<<(std::ostream& os, const StyleRun& r) {
  return os << "[" << r.start << "+" << r.length << " b" << int(r.bold) << " i" << int(r.italic) << " '" << r.face
            << "' " << r.size << " " << std::hex << r.colour << std::dec << "]";
}

class EditText : public ::testing::Test {
 protected:
  EditText() {
    ctx.m_pShell = &shell;
    ctx.m_nSwfVersion = 8;
  }
  const EditTextRecord& Convert(const Field& f) { return Convert(f.Body()); }
  const EditTextRecord& Convert(const Bytes& body) {
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
  constexpr uint32_t kOrange = 0xFF0080FF, k111 = 0xFF111111, k222 = 0xFF222222;
  struct Case {
    std::string html, text;
    std::vector<StyleRun> runs;
  } cases[] = {
      {"<P ALIGN=\"LEFT\"><FONT FACE=\"Arial\" SIZE=\"12\" COLOR=\"#FF8000\">Hi <B>there</B></FONT></P>",
       "Hi there",
       {{0, 3, 0, 0, "Arial", 240, kOrange}, {3, 5, 1, 0, "Arial", 240, kOrange}}},
      {"<P>one</P><P>two</P>", "one\rtwo", {{0, 7}}},
      {"<FONT COLOR=\"#111111\">a<FONT COLOR=\"#222222\">b</FONT>c</FONT>d", "abcd",
       {{0, 1, 0, 0, "", -1, k111}, {1, 1, 0, 0, "", -1, k222}, {2, 1, 0, 0, "", -1, k111}, {3, 1}}},
      {"Hello <b>world</b>", "Hello world", {{0, 6}, {6, 5, 1}}},
      {"<FONT FACE=\"A\"><B>x</B></FONT>y", "xy", {{0, 1, 1, 0, "A"}, {1, 1}}},
      {"<I>a<B>b</I>c</B>", "abc", {{0, 1, 0, 1}, {1, 1, 1, 1}, {2, 1, 1, 0}}},
      // A paragraph break at the start of a run goes to the run before it.
      {"<B>a</B><P>x</P><P>b</P>", "ax\rb", {{0, 1, 1}, {1, 3}}},
      {"<B>a</P><P></B>b", "a\rb", {{0, 2, 1}, {2, 1}}},
      {"<FONT FACE=\"F\">a</FONT><FONT SIZE=\"2\">b</FONT>", "ab", {{0, 1, 0, 0, "F"}, {1, 1, 0, 0, "F", 40}}},
      {"<font face=\"low\" size=\"99999999999\">z</font>", "z", {{0, 1, 0, 0, "low", INT32_MAX}}},
      {"<FONT FACE=\"Q>x</FONT>", "x", {{0, 1, 0, 0, "Q"}}},
      {"y<FONT FACE=\"A", "y", {{0, 1}}},
      {"y<FONT COLOR=\"#F", "y", {{0, 1}}},
      {"<FONT COLOR=\"#a1B2zz\">c", "c", {{0, 1, 0, 0, "", -1, 0xFFFFB2A1}}},
      {"&lt;B&gt;x", "<B>x", {{0, 4}}},
  };
  for (const Case& c : cases) {
    const EditTextRecord& rec = Html(c.html);
    EXPECT_EQ(rec.initialText, c.text) << c.html;
    EXPECT_EQ(Runs(rec), c.runs) << c.html;
    EXPECT_EQ(rec.textFlags & kEditTextEmpty, 0u) << c.html;
  }
}

TEST_F(EditText, PlainFieldsLinksAndEmptyTexts) {
  Field plain;
  plain.text = "a<b>b";
  const EditTextRecord& a = Convert(plain);
  EXPECT_EQ(a.initialText, "ab");
  EXPECT_EQ(Runs(a), (std::vector<StyleRun>{{0, 1}, {1, 1, 1}}));
  EXPECT_EQ(a.textFlags, kEditTextAlways);

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
  f.colour = 0x80332211;
  f.maxLength = 12;
  f.text = "t";
  const EditTextRecord& rec = Convert(f);
  EXPECT_EQ(rec.textFlags, kEditTextAlways | kEditTextReadOnly | kEditTextWordWrap | kEditTextPassword |
                               kEditTextMultiline | kEditTextNoSelect | kEditTextBorder);
  EXPECT_EQ(rec.swfFlags, 0xFE18);
  EXPECT_EQ(rec.colour, 0x80332211u);
  EXPECT_EQ(rec.maxLength, 12);
  EXPECT_EQ(rec.align, kEditTextNoLayout);
  EXPECT_EQ(rec.bounds.xmax, 2000);
  EXPECT_EQ(rec.variableName, "v");
  EXPECT_EQ(ctx.m_placedCharacters.at(9).kind, kElementEditText);
  EXPECT_EQ(ctx.m_placedCharacters.at(9).row, 0u);

  Field laid;
  laid.id = 10;
  laid.layout = true;
  laid.fontClass = "my.Font";  // read over, then the height
  laid.variable = std::string(300, 'n');
  laid.text = "x";
  const EditTextRecord& l = Convert(laid);
  EXPECT_EQ(l.align, 2);
  EXPECT_EQ((std::array{l.leftMargin, l.rightMargin, l.indent, l.leading}),
            (std::array<uint16_t, 4>{10, 20, 30, 40}));
  EXPECT_EQ(l.fontHeight, 240);
  EXPECT_EQ(l.variableName.size(), 254u);
  EXPECT_EQ(l.initialText, "x");
  EXPECT_EQ(ctx.m_placedCharacters.at(10).row, 1u);
}

TEST_F(EditText, DeviceFontsAreKnownByName) {
  auto font = [&](uint16_t id, const std::string& name) {
    SwfBytes b;
    b.u16(id).u8(0).u8(0).u8(uint8_t(name.size()));
    for (char c : name) b.u8(uint8_t(c));
    b.u16(0);
    HandleFontTag(ctx, 48, b.data());
  };
  font(3, "_serif");
  font(4, "Arial");
  font(5, "_Serif");
  struct Case {
    uint16_t fontId;
    bool html, notDevice;
  } cases[] = {{3, false, false}, {3, true, true}, {4, false, true}, {5, false, true}, {77, false, true}};
  for (const Case& c : cases) {
    Field f;
    f.fontId = c.fontId;
    f.flags2 = c.html ? 0x02 : 0;
    f.text = "x";
    EXPECT_EQ((Convert(f).textFlags & kEditTextNotDeviceFont) != 0, c.notDevice) << c.fontId << c.html;
  }
  Field none;
  none.text = "x";
  EXPECT_EQ(Convert(none).textFlags & kEditTextNotDeviceFont, 0u);
}

TEST_F(EditText, TextIsDecodedAndRunsCountUtf16Units) {
  const EditTextRecord& rec = Html("h\xC3\xA9llo <B>w\xC3\xB6rld</B> \xF0\x9F\x98\x80x");
  EXPECT_EQ(rec.initialText, "h\xC3\xA9llo w\xC3\xB6rld \xF0\x9F\x98\x80x");
  EXPECT_EQ(Runs(rec), (std::vector<StyleRun>{{0, 6}, {6, 5, 1}, {11, 4}}));
  ctx.m_nSwfVersion = 5;  // Windows-1252
  EXPECT_EQ(Html("caf\xE9").initialText, "caf\xC3\xA9");
}

TEST_F(EditText, HostileTextsStayLinearAndInside) {
  std::string tags, amps;
  for (int i = 0; i < 500000; ++i) tags += "<>";
  for (int i = 0; i < 200000; ++i) amps += "&amp;";
  std::string styles;
  for (int i = 0; i < 100000; ++i) styles += "<b>x</b><FONT SIZE=\"3\"></FONT>";
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(Html(tags).textFlags & kEditTextEmpty, kEditTextEmpty);
  const EditTextRecord& a = Html(amps);
  EXPECT_EQ(a.initialText, std::string(200000, '&'));
  EXPECT_EQ(Runs(a), (std::vector<StyleRun>{{0, 200000}}));
  const EditTextRecord& s = Html(styles);
  uint32_t covered = 0;
  for (const TextStyleRun& r : s.runs) {
    EXPECT_EQ(r.start, covered);
    EXPECT_GT(r.length, 0u);
    covered += r.length;
  }
  EXPECT_EQ(covered, s.initialText.size());
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(seconds, 20.0);

  // A body cut inside its fields keeps what was read and says so once.
  Field f;
  f.id = 44;
  f.fontId = 1;
  f.text = "lost";
  Bytes body = f.Body();
  body.resize(14);
  const EditTextRecord& cut = Convert(body);
  EXPECT_EQ(cut.characterId, 44);
  EXPECT_EQ(cut.textFlags & kEditTextEmpty, kEditTextEmpty);
  EXPECT_EQ(shell.messages, (std::vector<std::string>{
                                "BRASKELON Tovrani: DefineEditText 44 is cut short: the part inside the tag is kept."}));
}

}  // namespace
}  // namespace tovrani
