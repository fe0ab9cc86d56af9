// Inner symbols end to end: a tinted text becomes a "Text" symbol, a group
// of a nested mask a symbol whose page holds the group's layers.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/program_runner.h"
#include "convert/convert_swf_file.h"
#include "convert/converter_context.h"
#include "support/document_frames.h"
#include "support/page_walker.h"
#include "support/recording_shell.h"
#include "support/swf_writer.h"
#include "support/work_budget.h"

namespace tovrani::test {
namespace {

std::vector<uint8_t> Place(uint16_t depth, uint16_t id, int32_t clip = -1) {
  SwfBytes p;
  p.u8(clip >= 0 ? 0x46 : 0x06).u16(depth).u16(id).matrix(0, 0);
  if (clip >= 0) p.u16(uint32_t(clip));
  return p.data();
}

std::string Text(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

// A layer name in the old (ANSI) or new (UTF-16) form.
bool HasLayer(const std::vector<uint8_t>& page, const std::string& name) {
  std::string utf16;
  for (char c : name) utf16 += std::string{c, '\0'};
  const std::string text = Text(page);
  return text.find(char(name.size()) + name) != std::string::npos || text.find(utf16) != std::string::npos;
}

// A mask over depths 2-4 and, inside it, a mask over depth 3, which the
// depth pass disables; in the main movie or in sprite 10.
std::vector<uint8_t> NestedMaskMovie(bool inSprite) {
  SwfWriter w(8);
  for (uint16_t id = 1; id <= 4; ++id) w.tag(2, SquareShape(id, 100 * id, 2000, 0xE02020));
  SwfBytes sprite;
  sprite.u16(10).u16(2);
  auto add = [&](uint16_t code, const std::vector<uint8_t>& body) {
    if (inSprite) sprite.bytes(SwfWriter::TagBytes(code, body));
    else w.tag(code, body);
  };
  add(26, Place(1, 1, 4));
  add(26, Place(2, 2, 3));
  add(26, Place(3, 3));
  add(26, Place(4, 4));
  add(1, {});
  add(1, {});
  if (inSprite) {
    sprite.bytes(SwfWriter::TagBytes(0, {}));
    w.tag(39, sprite.data());
    w.tag(26, Place(1, 10));
    w.showFrame();
  }
  w.end();
  return w.build();
}

// The depth pass disables the nested mask (bit 15 of its clip depth).
TEST(InnerSymbolsMovie, ANestedMaskBecomesAGroupSymbol) {
  for (const bool inSprite : {false, true}) {
    TempDir dir;
    const std::vector<uint8_t> movie = NestedMaskMovie(inSprite);
    WriteFileBytes(dir.file("nested.swf"), movie);
    ExpectSameBytesWhereverWorkFilesLive({dir.file("nested.swf")});
    const std::string fla = dir.file("nested.fla");
    const ProgramRun run = RunProgram({"-q", dir.file("nested.swf"), "-o", fla}, dir.file("config"));
    ASSERT_EQ(run.status, 0) << run.output;
    std::map<std::string, std::vector<uint8_t>> streams;
    ASSERT_TRUE(ReadCompoundFile(fla, streams));
    EXPECT_TRUE(IsValidJavaScriptFile(fla + ".jsfl"));
    int groups = 0, holders = 0;
    for (const auto& [name, bytes] : streams) {
      if (!name.starts_with("Symbol ") && name != "Page 1") continue;
      EXPECT_TRUE(PageWalksClean(bytes)) << name;
      if (HasLayer(bytes, "Level 3")) {
        // The group: the nested mask over what it masked.
        ++groups;
        EXPECT_TRUE(name.starts_with("Symbol "));
        EXPECT_TRUE(HasLayer(bytes, "Level 2"));
        EXPECT_FALSE(HasLayer(bytes, "Level 1") || HasLayer(bytes, "Level 4"));
      }
      if (HasLayer(bytes, "Level 4")) {
        // The page that places the group where the nested mask was.
        ++holders;
        EXPECT_EQ(name == "Page 1", !inSprite);
        EXPECT_TRUE(HasLayer(bytes, "Level 1") && HasLayer(bytes, "Level 2"));
      }
    }
    EXPECT_EQ(groups, 1) << inSprite;
    EXPECT_EQ(holders, 1) << inSprite;
    // Every frame, the group followed into its page, shows what the movie
    // shows with the nested mask disabled.
    EXPECT_TRUE(DocumentShowsMovie(movie, streams)) << inSprite;
  }
}

// A group page that cannot be written, on the program's road with every
// work file on disk: the conversion fails with 44, the older document
// stays, and no script, partial document or work file is left.
TEST(InnerSymbolsMovie, AGroupPageThatCannotBeWrittenFailsWithoutOutput) {
  for (const bool inSprite : {false, true}) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("tmp"));
    TmpDirScope tmp(dir.file("tmp"));
    WriteFileBytes(dir.file("a.swf"), NestedMaskMovie(inSprite));
    WriteFileBytes(dir.file("a_.fla"), {9, 9});
    int refused = 0;
    WorkBudgetScope onDisk(0, [&](const std::string& name) {
      if (!name.starts_with("spInner")) return true;
      ++refused;
      return false;
    });
    ConverterContext ctx;
    RecordingShell shell;
    ctx.m_pShell = &shell;
    const auto outcomes = ConvertSwfFile(ctx, dir.file("a.swf") + ",", 0, 0);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(refused, 1) << inSprite;
    EXPECT_EQ(outcomes[0].result, 44u) << inSprite;
    EXPECT_EQ(ReadFileBytes(dir.file("a_.fla")), (std::vector<uint8_t>{9, 9}));
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path())) left.push_back(e.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"a.swf", "a_.fla", "tmp"})) << inSprite;
  }
}

// Groups the movie marks itself (bit 15 of a clip depth, nested two deep)
// under an outer mask, holding an edit text placed plain and tinted, in the
// main movie and in a sprite: the plain text is a text object, the tinted
// one an instance of a "Text" symbol holding it, and every frame of the
// document, groups and "Text" symbols followed into their pages, shows what
// the movie shows.
TEST(InnerSymbolsMovie, RawGroupsWithTextsShowWhatTheMovieShows) {
  for (const bool inSprite : {false, true}) {
    for (const uint8_t version : {6, 8}) {
      SCOPED_TRACE(std::string(inSprite ? "sprite" : "main") + " " + std::to_string(version));
      SwfWriter w(version);
      for (uint16_t id = 1; id <= 4; ++id) w.tag(2, SquareShape(id, 100 * id, 2000, 0xE02020));
      SwfBytes text;
      text.u16(5).rect(0, 2000, 0, 400).u8(0x84).u8(0x00).u32(0xFF0000FF);
      text.str("").str("Hello");
      w.tag(37, text.data());
      SwfBytes sprite;
      sprite.u16(10).u16(4);
      auto add = [&](uint16_t code, const std::vector<uint8_t>& body) {
        if (inSprite) sprite.bytes(SwfWriter::TagBytes(code, body));
        else w.tag(code, body);
      };
      const int32_t none[4] = {0, 0, 0, 0}, half[4] = {128, 256, 256, 256};
      auto tinted = [&](uint16_t depth, int32_t x) {
        return SwfBytes().u8(0x0E).u16(depth).u16(5).matrix(x, 0).cxformWithAlpha(false, true, none, half).data();
      };
      add(26, Place(1, 1, 7));
      add(26, Place(2, 2, 0x8000 | 5));
      add(26, Place(3, 3, 0x8000 | 3));
      add(26, Place(4, 4));
      add(26, Place(5, 5));
      add(26, tinted(6, 300));
      add(1, {});
      add(26, SwfBytes().u8(0x05).u16(4).matrix(50, 60).data());
      add(1, {});
      add(28, SwfBytes().u16(6).data());
      add(1, {});
      add(26, tinted(6, 400));
      add(1, {});
      if (inSprite) {
        sprite.bytes(SwfWriter::TagBytes(0, {}));
        w.tag(39, sprite.data());
        w.tag(26, Place(1, 10));
        w.showFrame();
      }
      w.end();
      const std::vector<uint8_t> movie = w.build();
      TempDir dir;
      WriteFileBytes(dir.file("groups.swf"), movie);
      ExpectSameBytesWhereverWorkFilesLive({dir.file("groups.swf")});
      const std::string fla = dir.file("groups.fla");
      const ProgramRun run = RunProgram({"-q", dir.file("groups.swf"), "-o", fla}, dir.file("config"));
      ASSERT_EQ(run.status, 0) << run.output;
      const auto streams = ExpectReadableDocument(fla);
      size_t groups = 0, texts = 0, wrappers = 0;
      for (const auto& [name, bytes] : streams) {
        if (!name.starts_with("Symbol ") && name != "Page 1") continue;
        const size_t n = WalkPage(bytes).count("CPicText");
        groups += name != "Page 1" && HasLayer(bytes, "Level 3");
        texts += n;
        wrappers += n == 1 && HasLayer(bytes, "Text");
      }
      EXPECT_GE(groups, 2u);
      EXPECT_GE(texts, 2u);
      EXPECT_GE(wrappers, 1u);
      EXPECT_TRUE(DocumentShowsMovie(movie, streams));
    }
  }
}

// Hostile content through the program: a hundred groups each inside the
// last (deeper than the cap) and an edit text of 70,000 characters with
// 300-character names. The document is whole and shows what the movie shows.
TEST(InnerSymbolsMovie, DeepGroupsAndHostileTextsConvert) {
  SwfWriter w(8);
  w.tag(2, SquareShape(1, 100, 2000, 0xE02020));
  SwfBytes text;
  text.u16(2).rect(0, 2000, 0, 400).u8(0x84).u8(0x00).u32(0xFF0000FF);
  text.str(std::string(300, 'v')).str(std::string(70000, 'w'));
  w.tag(37, text.data(), true);
  w.tag(26, Place(1, 1, 400));
  for (uint16_t depth = 2; depth <= 101; ++depth) w.tag(26, Place(depth, 1, 0x8000 | (300 - depth)));
  w.tag(26, Place(102, 2));
  w.showFrame();
  w.showFrame();
  w.end();
  const std::vector<uint8_t> movie = w.build();
  TempDir dir;
  WriteFileBytes(dir.file("deep.swf"), movie);
  ExpectSameBytesWhereverWorkFilesLive({dir.file("deep.swf")});
  const std::string fla = dir.file("deep.fla");
  const ProgramRun run = RunProgram({"-q", dir.file("deep.swf"), "-o", fla}, dir.file("config"));
  ASSERT_EQ(run.status, 0) << run.output;
  const auto streams = ExpectReadableDocument(fla);
  size_t symbols = 0;
  for (const auto& [name, bytes] : streams) symbols += name.starts_with("Symbol ");
  EXPECT_GE(symbols, 64u + 1u);
  EXPECT_TRUE(DocumentShowsMovie(movie, streams));
}

}  // namespace
}  // namespace tovrani::test
