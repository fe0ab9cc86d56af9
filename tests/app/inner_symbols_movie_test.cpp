// Inner symbols end to end: a tinted text becomes a "Text" symbol, a group
// of a nested mask a symbol whose page holds the group's layers.
#include <gtest/gtest.h>

#include "app/program_runner.h"
#include "support/page_walker.h"
#include "support/swf_writer.h"

namespace tovrani::test {
namespace {

// DefineShape: a filled square.
std::vector<uint8_t> Square(uint16_t id, int32_t at) {
  SwfBytes shape;
  shape.u16(id).rect(at, at + 2000, at, at + 2000);
  shape.u8(1).u8(0x00).u8(0xE0).u8(0x20).u8(0x20);
  shape.u8(0);
  shape.ubits(1, 4).ubits(0, 4);
  shape.ubits(0, 1).ubits(0b00101, 5);
  shape.ubits(15, 5).sbits(at, 15).sbits(at, 15).ubits(1, 1);
  const int32_t sides[4][2] = {{2000, 0}, {0, 2000}, {-2000, 0}, {0, -2000}};
  for (const auto& d : sides) {
    shape.ubits(1, 1).ubits(1, 1).ubits(12 - 2, 4).ubits(0, 1);
    shape.ubits(d[0] == 0 ? 1 : 0, 1).sbits(d[0] == 0 ? d[1] : d[0], 12);
  }
  shape.ubits(0, 6).align();
  return shape.data();
}

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
  for (uint16_t id = 1; id <= 4; ++id) w.tag(2, Square(id, 100 * id));
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

// Needs the depth pass that disables nested masks (bit 15 of the clip
// depth) and, for the sprite, the sprite pages; enabled when they are in.
TEST(InnerSymbolsMovie, ANestedMaskBecomesAGroupSymbol) {
  for (const bool inSprite : {false, true}) {
    TempDir dir;
    WriteFileBytes(dir.file("nested.swf"), NestedMaskMovie(inSprite));
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
  }
}

// An edit text placed plain and tinted: the plain one is a text object on
// the scene, the tinted one an instance of a "Text" symbol holding it.
TEST(InnerSymbolsMovie, ATintedEditTextGetsATextSymbol) {
  for (const uint8_t version : {6, 8}) {
    TempDir dir;
    SwfWriter w(version);
    SwfBytes text;
    text.u16(1).rect(0, 2000, 0, 400).u8(0x84).u8(0x00).u32(0xFF0000FF);
    text.str("").str("Hello");
    w.tag(37, text.data());
    w.tag(26, SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0).data());
    const int32_t add[4] = {0, 0, 0, 0}, mult[4] = {128, 256, 256, 256};
    w.tag(26, SwfBytes().u8(0x0E).u16(2).u16(1).matrix(100, 100).cxformWithAlpha(false, true, add, mult).data());
    w.showFrame();
    w.end();
    WriteFileBytes(dir.file("text.swf"), w.build());
    const std::string fla = dir.file("text.fla");
    const ProgramRun run = RunProgram({"-q", dir.file("text.swf"), "-o", fla}, dir.file("config"));
    ASSERT_EQ(run.status, 0) << run.output;
    std::map<std::string, std::vector<uint8_t>> streams;
    ASSERT_TRUE(ReadCompoundFile(fla, streams));
    EXPECT_TRUE(IsValidJavaScriptFile(fla + ".jsfl"));
    int wrappers = 0;
    for (const auto& [name, bytes] : streams) {
      if (!name.starts_with("Symbol ") && name != "Page 1") continue;
      EXPECT_TRUE(PageWalksClean(bytes)) << name;
      const PageWalk walk = WalkPage(bytes);
      if (name == "Page 1") {
        EXPECT_EQ(walk.count("CPicText"), 1u);
        EXPECT_EQ(walk.count("CPicSymbol"), 1u);
      } else if (walk.count("CPicText") == 1 && HasLayer(bytes, "Text")) {
        ++wrappers;
      }
    }
    EXPECT_EQ(wrappers, 1) << int(version);
  }
}

}  // namespace
}  // namespace tovrani::test
