#include "timeline/symbol_instance.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/temp_dir.h"
#include "swf/work_folder.h"
#include "timeline/expected_page.h"
#include "timeline/page_fixture.h"

namespace tovrani {
namespace {

using namespace test;

TEST(SymbolInstance, AlphaPercentRoundsDown) {
  EXPECT_EQ(AlphaPercent(256), 100);
  EXPECT_EQ(AlphaPercent(128), 50);
  EXPECT_EQ(AlphaPercent(255), 99);
  EXPECT_EQ(AlphaPercent(-256), -100);
  EXPECT_EQ(AlphaPercent(-1), -1);
  EXPECT_EQ(AlphaPercent(0), 0);
}

TEST(SymbolInstance, PlayModes) {
  ConverterContext ctx;
  PlacementEntry e;
  e.characterId = 9;
  EXPECT_EQ(InstancePlayMode(ctx, e, false), 0);
  e.frameOffset = 5;
  EXPECT_EQ(InstancePlayMode(ctx, e, false), 1);
  EXPECT_EQ(InstancePlayMode(ctx, e, true), 2);
  e.kind = 1;
  EXPECT_EQ(InstancePlayMode(ctx, e, false), 2);
  // A video's wrapper symbol loops unless the entry continues the video.
  e.kind = 0;
  e.frameOffset = 0;
  VideoStreamRecord v;
  v.wrapperItem = 9;
  ctx.m_pVideos.push_back(v);
  EXPECT_EQ(InstancePlayMode(ctx, e, false), 2);
  e.markByte = 1;
  EXPECT_EQ(InstancePlayMode(ctx, e, false), 0);
}

class InstanceRecord : public PageFixture {
 protected:
  std::vector<uint8_t> write(const PlacementEntry& e) {
    const size_t before = body().size();
    WriteSymbolInstance(ctx, e, state);
    const std::vector<uint8_t> all = body();
    return Slice(all, before, all.size());
  }
  // What follows the common part of a record whose class tag is a new one.
  std::vector<uint8_t> tailOf(const std::vector<uint8_t>& record, const std::string& cls) {
    const size_t common = NewClass(cls).size() + ExpectedInstanceBody(isNew(), InstanceFields{}).size();
    return Slice(record, common, record.size());
  }
};

INSTANTIATE_TEST_SUITE_P(Levels, InstanceRecord, ::testing::Values(0, 2));

TEST_P(InstanceRecord, GraphicSymbolFields) {
  PlacementEntry e;
  e.characterId = 0x1234;
  e.frameOffset = 3;
  e.flags = 0x400;
  e.displayByte = 5;
  e.matrix = {0x20000, 0x30000, 7, -7, -300, 600};
  const std::vector<uint8_t> got = write(e);
  InstanceFields f;
  f.a = 0x20000, f.d = 0x30000, f.b = 7, f.c = -7, f.tx = -300, f.ty = 600;
  f.frameOffset = 3, f.playMode = 1, f.symbol = 0x1234, f.flag400 = 1, f.display = 5;
  EXPECT_BYTES(got, Concat({NewClass("CPicSymbol"), ExpectedInstanceBody(isNew(), f)}));
  // The second instance of the class refers to it; a filter block goes
  // after 00 00 00 and 01, at level 2 only.
  e.effectBlock = {0xAA, 0xBB, 0xCC};
  const std::vector<uint8_t> again = write(e);
  EXPECT_BYTES(Slice(again, 0, 2), KnownClass(7));
  if (isNew())
    EXPECT_BYTES(Slice(again, again.size() - 10, again.size()), Bytes({0, 0, 0, 1, 0xAA, 0xBB, 0xCC, 5, 0, 0}));
  else
    EXPECT_EQ(again.size(), got.size() - NewClass("CPicSymbol").size() + 2);
}

TEST_P(InstanceRecord, LongInstanceNameUsesTheLongForm) {
  PlacementEntry e;
  e.kind = 1;
  e.instanceName = std::string(300, 'n');
  const std::vector<uint8_t> tail = tailOf(write(e), "CPicSprite");
  const size_t at = isNew() ? 1 + 16 + 4 + 3 : 1 + 24;
  ASSERT_GT(tail.size(), at + 3);
  EXPECT_BYTES(Slice(tail, at, at + 3), Bytes({0xFF, 0x2C, 0x01}));
  const size_t chars = isNew() ? 600 : 300;
  EXPECT_EQ(tail[at + 3 + chars], 0x02);
}

TEST_P(InstanceRecord, ComponentParametersStayWithTheirEntry) {
  PlacementEntry e;
  e.kind = 1;
  e.instanceName = "c";
  ComponentParam p;
  p.type = 3;
  p.name = "label";
  p.hasSecondText = 1;
  p.values = {{"one", "first"}, {"two", "second"}};
  e.params.push_back(p);
  p.type = 0;
  p.hasSecondText = 0;
  p.name = "size";
  p.values = {{"12", ""}};
  e.params.push_back(p);
  const std::vector<uint8_t> first = write(e);
  const std::vector<uint8_t> second = write(e);
  // Written twice, the parameters are whole both times.
  EXPECT_BYTES(Slice(second, 2, second.size()), Slice(first, NewClass("CPicSprite").size(), first.size()));
  ASSERT_EQ(e.params.size(), 2u);
  EXPECT_EQ(e.params[0].values[1].secondText, "second");

  // The count stands before the first parameter.
  std::vector<uint8_t> count = Bytes({0x02});
  AppendU32(count, 2);
  EXPECT_NE(std::search(first.begin(), first.end(), count.begin(), count.end()), first.end());
}

class ButtonRecord : public InstanceRecord {
 protected:
  void SetUp() override {
    InstanceRecord::SetUp();
    ASSERT_TRUE(folder.create());
    ctx.m_pWorkFolder = &folder;
    ctx.m_pStreamItemNo[4] = 42;
    ctx.m_pStreamFlagC[4] = 1;
    button.kind = 2;
    button.characterId = 17;
    button.streamIndex = 4;
    button.instanceName = "go";
  }
  std::vector<uint8_t> buttonTail(const std::vector<uint8_t>& text, bool present) {
    const bool n = isNew();
    std::vector<uint8_t> v;
    if (n) {
      v.push_back(0x0B);
      for (uint32_t x : {4u, 1u, 0u, 0u}) AppendU32(v, x);
      Append(v, Bytes({0xFF, 0xFE, 0xFF}));
      const size_t units = text.size() / 2;
      if (units < 255) v.push_back(uint8_t(units));
      else Append(v, Bytes({0xFF, int(units & 0xFF), int(units >> 8)}));
      Append(v, text);
    } else {
      v.push_back(0x08);
      for (uint32_t x : {1u, 0u, 0u, 0u, 0u}) AppendU32(v, x);
      if (present) Append(v, text);
      else AppendU32(v, 0);
    }
    v.push_back(1);
    if (n) Append(v, Bytes({0xFF, 0xFE, 0xFF}));
    const std::vector<uint8_t> name = ExpectedString("go", n);
    Append(v, n ? Slice(name, 3, name.size()) : name);
    AppendU32(v, 0);
    return v;
  }
  WorkFolder folder;
  PlacementEntry button;
};

INSTANTIATE_TEST_SUITE_P(Levels, ButtonRecord, ::testing::Values(0, 2));

TEST_P(ButtonRecord, WorkFileTextIsCarried) {
  // The file is named after the stream's item number: "b00042".
  std::vector<uint8_t> text(600);
  for (size_t i = 0; i < text.size(); ++i) text[i] = uint8_t(i % 2 ? 0 : 'a' + i % 26);
  WriteFileBytes(folder.file("b00042"), text);
  EXPECT_BYTES(tailOf(write(button), "CPicButton"), buttonTail(text, true));
}

TEST_P(ButtonRecord, EmptyAndMissingWorkFiles) {
  WriteFileBytes(folder.file("b00042"), {});
  EXPECT_BYTES(tailOf(write(button), "CPicButton"), buttonTail({}, true));
  folder.removeFile("b00042");
  const std::vector<uint8_t> missing = write(button);
  EXPECT_BYTES(Slice(missing, 2 + ExpectedInstanceBody(isNew(), {}).size(), missing.size()),
               buttonTail({}, false));
  // A button without a stream row ends like a graphic symbol.
  button.streamIndex = 0xFFFFFFFF;
  EXPECT_EQ(write(button).size(), 2 + ExpectedInstanceBody(isNew(), {}).size());
}

TEST_P(ButtonRecord, ItemMapNamesTheSymbolAndTheFile) {
  ctx.m_pButtonItemMap[17] = 300;
  WriteFileBytes(folder.file("b00017"), {'h', 0, 'i', 0});
  const std::vector<uint8_t> got = write(button);
  // Row 14 is the mapped item number, the file is named by the button id.
  const size_t refAt = got.size() - buttonTail({'h', 0, 'i', 0}, true).size() - (isNew() ? 7 : 0) - 4;
  EXPECT_EQ(got[refAt] | (got[refAt + 1] << 8), 300);
  EXPECT_BYTES(tailOf(got, "CPicButton"), buttonTail({'h', 0, 'i', 0}, true));
}

}  // namespace
}  // namespace tovrani
