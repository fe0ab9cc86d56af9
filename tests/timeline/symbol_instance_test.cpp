#include "timeline/symbol_instance.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "fla/work_folder.h"
#include "timeline/timeline_page.h"

namespace tovrani {
namespace {

using namespace test;

TEST(SymbolInstance, AlphaRoundsTowardZeroAndVideoWrappersLoop) {
  EXPECT_EQ(AlphaPercent(255), 99);
  EXPECT_EQ(AlphaPercent(-1), -1);
  // A video's wrapper symbol loops unless the entry continues the video.
  ConverterContext ctx;
  ctx.m_pVideos.emplace_back().wrapperItem = 9;
  ctx.m_videoWrapperItems.insert(9);
  PlacementEntry e;
  e.characterId = 9;
  EXPECT_EQ(InstancePlayMode(ctx, e, false), 2);
  e.markByte = 1;
  EXPECT_EQ(InstancePlayMode(ctx, e, false), 0);
}

class InstanceRecord : public PageFixture {
 protected:
  std::vector<uint8_t> write(const PlacementEntry& e) {
    const size_t before = body().size();
    WriteSymbolInstance(ctx, e, state);
    return Slice(body(), before, body().size());
  }
  // What follows the common part of a record, its class tag `tagSize` bytes.
  std::vector<uint8_t> tailOf(const std::vector<uint8_t>& record, size_t tagSize) {
    return Slice(record, tagSize + ExpectedInstanceBody(isNew(), {}).size(), record.size());
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
    EXPECT_BYTES(Slice(again, again.size() - 10, again.size()),
                 Bytes({0, 0, 0, 1, 0xAA, 0xBB, 0xCC, 5, 0, 0}));
  else
    EXPECT_EQ(again.size(), got.size() - NewClass("CPicSymbol").size() + 2);
}

TEST_P(InstanceRecord, LongNamesAndComponentParameters) {
  PlacementEntry e;
  e.kind = 1;
  e.instanceName = std::string(300, 'n');
  const std::vector<uint8_t> tail = tailOf(write(e), NewClass("CPicSprite").size());
  const size_t at = isNew() ? 1 + 16 + 4 + 3 : 1 + 24, end = at + 3 + (isNew() ? 600 : 300);
  ASSERT_GT(tail.size(), end);
  EXPECT_BYTES(Slice(tail, at, at + 3), Bytes({0xFF, 0x2C, 0x01}));  // the long form
  EXPECT_EQ(tail[end], 0x02);

  // Entries own their parameters: written twice, they are whole both times.
  e.instanceName = "c";
  e.params.resize(2);
  e.params[0].type = 3;
  e.params[0].name = "label";
  e.params[0].hasSecondText = 1;
  e.params[0].values = {{"one", "first"}, {"two", "second"}};
  e.params[1].name = "size";
  e.params[1].values = {{"12", ""}};
  const std::vector<uint8_t> first = tailOf(write(e), 2), second = tailOf(write(e), 2);
  EXPECT_BYTES(second, first);
  ASSERT_EQ(e.params.size(), 2u);
  EXPECT_EQ(e.params[0].values[1].secondText, "second");
  std::vector<uint8_t> count = Bytes({0x02});  // the count before the first parameter
  AppendU32(count, 2);
  EXPECT_EQ(CountOf(first, count), 1u);
}

TEST_P(InstanceRecord, ButtonTextsFromWorkFiles) {
  WorkFolder folder;
  ASSERT_TRUE(folder.create());
  ctx.m_pWorkFolder = &folder;
  ctx.m_pStreamItemNo[4] = 42;
  ctx.m_pStreamFlagC[4] = 1;
  PlacementEntry button;
  button.kind = 2;
  button.characterId = 17;
  button.streamIndex = 4;
  button.instanceName = "go";
  // The tail of a button with `text` (UTF-16LE) read from its work file, or
  // of one whose file is missing.
  auto tail = [this](const std::vector<uint8_t>& text, bool present) {
    std::vector<uint8_t> v = Bytes({isNew() ? 0x0B : 0x08});
    for (uint32_t x : isNew() ? std::vector<uint32_t>{4, 1, 0, 0} : std::vector<uint32_t>{1, 0, 0, 0, 0})
      AppendU32(v, x);
    if (isNew()) {
      Append(v, Bytes({0xFF, 0xFE, 0xFF}));
      const size_t units = text.size() / 2;
      Append(v, units < 255 ? Bytes({int(units)}) : Bytes({0xFF, int(units & 0xFF), int(units >> 8)}));
    }
    if (isNew() || present)
      Append(v, text);
    else
      AppendU32(v, 0);
    v.push_back(1);
    Append(v, ExpectedString("go", isNew()));
    AppendU32(v, 0);
    return v;
  };
  // The file is named after the stream's item number: "b00042".
  std::vector<uint8_t> text(600);
  for (size_t i = 0; i < text.size(); i += 2) text[i] = uint8_t('a' + i % 26);
  WriteFileBytes(folder.file("b00042"), text);
  EXPECT_BYTES(tailOf(write(button), NewClass("CPicButton").size()), tail(text, true));
  WriteFileBytes(folder.file("b00042"), {});
  EXPECT_BYTES(tailOf(write(button), 2), tail({}, true));
  folder.removeFile("b00042");
  EXPECT_BYTES(tailOf(write(button), 2), tail({}, false));
  // A mapped button: row 14 is the mapped item number, the file is named by
  // the button id.
  ctx.m_pButtonItemMap[17] = 300;
  WriteFileBytes(folder.file("b00017"), {'h', 0, 'i', 0});
  const std::vector<uint8_t> mapped = write(button);
  EXPECT_BYTES(tailOf(mapped, 2), tail({'h', 0, 'i', 0}, true));
  const size_t refAt = 2 + ExpectedInstanceBody(isNew(), {}).size() - (isNew() ? 7 : 0) - 4;
  EXPECT_EQ(mapped[refAt] | (mapped[refAt + 1] << 8), 300);
  // A button without a stream row ends like a graphic symbol.
  button.streamIndex = 0xFFFFFFFF;
  EXPECT_TRUE(tailOf(write(button), 2).empty());
}

}  // namespace
}  // namespace tovrani
