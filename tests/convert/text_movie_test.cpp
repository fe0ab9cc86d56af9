// Fonts and edit texts through the whole conversion: the tables they leave,
// a document the independent readers accept and a script node accepts, also
// for movies whose font and text tags do not hold what they claim.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "app/program_runner.h"
#include "convert/convert_swf_file.h"
#include "convert/converter_context.h"
#include "convert/text_test_support.h"
#include "support/document_frames.h"
#include "support/independent_readers.h"
#include "support/page_walker.h"
#include "support/recording_shell.h"
#include "support/temp_dir.h"
#include "support/work_budget.h"

namespace tovrani {
namespace {

using test::Bytes;
using test::Field;
using test::SwfBytes;

Bytes Place(uint16_t id, uint16_t depth) { return SwfBytes().u8(0x06).u16(depth).u16(id).matrix(0, 100 * depth); }

class TextMovie : public ::testing::TestWithParam<int> {
 protected:
  TextMovie() { ctx.m_pShell = &shell; }
  void Convert(const Bytes& movie) {
    test::WriteFileBytes(dir.file("a.swf"), movie);
    test::ExpectSameBytesWhereverWorkFilesLive({dir.file("a.swf")});
    const auto outcomes = ConvertSwfFile(ctx, dir.file("a.swf") + ",", 1, 0);
    ASSERT_EQ(outcomes.size(), 1u);
    ASSERT_EQ(outcomes[0].result, 0u);
    EXPECT_TRUE(test::DocumentShowsMovie(movie, test::ExpectReadableDocument(dir.file("a_.fla"))));
  }
  test::TempDir dir;
  test::RecordingShell shell;
  ConverterContext ctx;
};

TEST_P(TextMovie, FontsAndFieldsFillTheirTables) {
  const uint8_t version = uint8_t(GetParam());
  shell.fonts = {"Arial"};
  // A shape rebuilt by the script, so that the script gets its font-layout
  // piece; the font's name has what could break a string.
  ctx.options.shapeJsflImport = 1;
  Field html;
  html.id = 10;
  html.fontId = 1;
  html.flags2 = 0x02;
  html.text = "<P><FONT FACE=\"Arial\" SIZE=\"12\" COLOR=\"#FF8000\">Hi <B>th\xC3\xA9re</B></FONT></P>";
  Field plain;
  plain.id = 11;
  plain.text = "a<b>b";
  Field device;
  device.id = 12;
  device.fontId = 2;
  device.text = "dev";
  test::SwfWriter w(version);
  w.tag(48, test::DefineFont2(1, 0x80, "Ari'al\\\n", {'H', 'i'}));
  w.tag(48, test::DefineFont2(2, 0, "_sans", {}));
  w.tag(37, html.Body()).tag(37, plain.Body()).tag(37, device.Body());
  w.tag(2, test::SquareShape(40, 0, 200, 0xFF0000)).tag(26, Place(40, 4));
  w.tag(26, Place(10, 1)).tag(26, Place(11, 2)).tag(26, Place(12, 3)).showFrame().end();
  Convert(w.build());

  ASSERT_EQ(ctx.m_library.fonts.size(), 2u);
  EXPECT_EQ(ctx.m_library.fonts[0].glyphs.size(), 2u);
  EXPECT_EQ(ctx.m_library.fonts[0].glyphs[1].recordCount, 1u);
  ASSERT_EQ(ctx.m_pEditTexts.size(), 3u);
  const EditTextRecord& h = ctx.m_pEditTexts[0];
  EXPECT_EQ(h.initialText, "Hi th\xC3\xA9re");
  ASSERT_EQ(h.runs.size(), 2u);
  EXPECT_EQ(h.runs[1].start, 3u);
  EXPECT_EQ(h.runs[1].length, 5u);
  EXPECT_EQ(h.runs[1].styleA, 1);
  EXPECT_EQ(ctx.m_pEditTexts[1].runs.size(), 2u);
  EXPECT_EQ(ctx.m_pEditTexts[2].textFlags & kEditTextNotDeviceFont, 0u);
  // "_sans" is missing here, and said so once.
  EXPECT_EQ(shell.messages,
            (std::vector<std::string>{"BRASKELON Tovrani: Fonts not found on this system: Ari'al\\\n, _sans"}));
  const std::vector<uint8_t> script = test::ReadFileBytes(dir.file("a_.fla.jsfl"));
  EXPECT_NE(std::string(script.begin(), script.end()).find("e6.setTextAttr('face','Ari\\'al\\\\\\n',0,1);"),
            std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Versions, TextMovie, ::testing::Values(6, 8));

Bytes HostileMovie() {
  test::SwfWriter w(8);
  w.tag(48, SwfBytes().u16(1).u8(0).u8(0).u8(1).u8('A').u16(60000).u16(4).u16(0).u16(0).u16(0).u16(0).u16(0));
  Bytes codesPastEnd = test::DefineFont2(2, 0, "B", {'a', 'b'});
  codesPastEnd[5 + 1 + 2 + 4] = 0xF0;
  w.tag(48, codesPastEnd);
  w.tag(10, SwfBytes().u16(3).u16(6).u16(7).u16(8).u8(0x10).u8(0).u8(0));
  w.tag(13, SwfBytes().u16(3).u8(1).u8('C').u8(0).bytes(Bytes(300, 'c')));
  std::string tags, amps;
  for (int i = 0; i < 500000; ++i) tags += "<>";
  for (int i = 0; i < 200000; ++i) amps += "&amp;";
  const std::string texts[] = {tags, amps, "x<FONT FACE=\"A", "y<FONT COLOR=\"#F",
                               "<A HREF=\"" + std::string(300, 'u') + "\" T=\"t\">l</A>"};
  uint16_t id = 20;
  for (const std::string& t : texts) {
    Field f;
    f.id = id;
    f.flags2 = 0x02;
    f.text = t;
    w.tag(37, f.Body());
    w.tag(26, Place(id, uint16_t(id - 19)));
    ++id;
  }
  Field cut;
  cut.id = id;
  cut.fontId = 1;
  Bytes body = cut.Body();
  body.resize(14);
  w.tag(37, body);
  w.tag(2, test::SquareShape(40, 0, 200, 0xFF0000)).tag(26, Place(40, 9)).showFrame().end();
  return w.build();
}

// Through the program, under the sanitizers: exit status 0, the cut tags
// named, a readable document with the rest.
TEST(TextMovieHostile, BadFontsAndTextsAreCutAndTheRestConverts) {
  test::TempDir dir;
  test::WriteFileBytes(dir.file("h.swf"), HostileMovie());
  test::ExpectSameBytesWhereverWorkFilesLive({dir.file("h.swf")});
  const test::ProgramRun run = test::RunProgram({dir.file("h.swf"), "-o", dir.file("p.fla")}, dir.file("config"));
  EXPECT_EQ(run.status, 0) << run.output;
  for (const char* cut : {"DefineFont2 1 is cut short", "DefineFont2 2 is cut short", "DefineEditText 25 is cut short"})
    EXPECT_NE(run.output.find(cut), std::string::npos) << run.output;
  EXPECT_TRUE(test::ExpectReadableDocument(dir.file("p.fla")).count("Symbol 1")) << "the shape after the bad tags";
}

// An edit text of 100,000 characters placed 400 times: placements write it
// whole while 32 MB and 20 bytes a byte of the movie last, then as an empty
// field of its style (the first named, one line for the others). A short
// text placed as often is written whole each time.
TEST(TextMovieHostile, ALongTextPlacedAgainAndAgainStopsAtTheMoviesBudget) {
  for (const size_t length : {size_t(100000), size_t(5)}) {
    SCOPED_TRACE(length);
    Field field;
    field.id = 2, field.fontId = 1, field.variable = "", field.text = std::string(length, 'x');
    test::SwfWriter w(8);
    w.tag(48, test::DefineFont2(1, 0, "Arial", {'x'})).tag(37, field.Body(), true);
    for (uint16_t d = 1; d <= 400; ++d) w.tag(26, Place(2, d));
    w.showFrame().end();
    test::TempDir dir;
    test::RecordingShell shell;
    ConverterContext ctx;
    ctx.m_pShell = &shell;
    shell.fonts = {"Arial"};
    const Bytes movie = w.build();
    test::WriteFileBytes(dir.file("a.swf"), movie);
    ASSERT_EQ(ConvertSwfFile(ctx, dir.file("a.swf") + ",", 1, 0).at(0).result, 0u);
    const auto streams = test::ExpectReadableDocument(dir.file("a_.fla"));
    EXPECT_TRUE(test::DocumentShowsMovie(movie, streams));
    // A whole placement's runs: its chunks of 512 characters, each with the
    // 55 bytes of its style.
    const uint64_t whole = (length + 511) / 512 * 55 + 2 * length, budget = kTextObjectByteAllowance + kTextObjectBytesPerMovieByte * (movie.size() - 8);
    const size_t fit = std::min<size_t>(400, budget / whole);
    const Bytes& page = streams.at("Page 1");
    Bytes chunk;
    for (size_t i = 0; i < std::min<size_t>(length, 512); ++i) chunk.insert(chunk.end(), {'x', 0});
    size_t chunks = 0;
    // A chunk found is passed over whole: a search restarted inside it
    // would compare its characters again at every offset.
    for (auto it = page.begin(); (it = std::search(it, page.end(), chunk.begin(), chunk.end())) != page.end();
         it += chunk.size())
      ++chunks;
    EXPECT_EQ(chunks, fit * (length / 512 + (length < 512)));
    EXPECT_EQ(test::WalkPage(page).count("CPicText"), 400u);
    std::vector<std::string> said;
    if (fit < 400)
      said = {"BRASKELON Tovrani: Edit text (character 2): the movie places its texts more often than its bytes "
              "allow (" + std::to_string(whole) +
                  " bytes of text and styles); the placement was written without its characters.",
              "BRASKELON Tovrani: " + std::to_string(400 - fit - 1) +
                  " more text placements were left without their characters: the movie places its texts more often "
                  "than its bytes allow."};
    EXPECT_EQ(shell.messages, said);
    EXPECT_LT(std::filesystem::file_size(dir.file("a_.fla")), budget + (2u << 20));
  }
}

}  // namespace
}  // namespace tovrani
