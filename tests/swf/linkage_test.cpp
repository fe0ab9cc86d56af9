#include "swf/linkage.h"

#include <gtest/gtest.h>

#include "support/byte_sink.h"
#include "support/recording_shell.h"
#include "support/swf_writer.h"
#include "swf/converter_context.h"

namespace tovrani {
namespace {

using test::Bytes;
using test::SwfBytes;

std::vector<uint8_t> Assets(std::initializer_list<std::pair<int, const char*>> entries) {
  SwfBytes b;
  b.u16(uint32_t(entries.size()));
  for (auto& [id, name] : entries) b.u16(uint32_t(id)).str(name);
  return b.data();
}

TEST(LinkageTest, ExportsEveryEntryOnceById) {
  ConverterContext ctx;
  test::RecordingShell shell;
  ctx.m_pShell = &shell;
  HandleLinkageTag(ctx, 56, Assets({{5, "hero"}, {9, "enemy"}, {5, "again"}}));
  ASSERT_EQ(ctx.m_pLinkages.size(), 2u);
  EXPECT_EQ(ctx.m_pLinkages[0].itemNo, 5);
  EXPECT_EQ(ctx.m_pLinkages[0].strings[0], "hero");  // the first name stays
  EXPECT_EQ(ctx.m_pLinkages[0].kind, kLinkageExport);
  EXPECT_EQ(ctx.m_pLinkages[1].itemNo, 9);
  EXPECT_EQ(ctx.m_pLinkages[1].strings[0], "enemy");
  EXPECT_EQ(shell.actions, std::vector<std::string>{"adding linkage..."});
}

TEST(LinkageTest, ImportsCarryTheirUrl) {
  ConverterContext ctx;
  std::vector<uint8_t> body = SwfBytes().str("lib.swf").bytes(Assets({{3, "btn"}})).data();
  HandleLinkageTag(ctx, 57, body);
  std::vector<uint8_t> body2 =
      SwfBytes().str("two.swf").u8(1).u8(0).bytes(Assets({{4, "b"}})).data();
  HandleLinkageTag(ctx, 71, body2);
  ASSERT_EQ(ctx.m_pLinkages.size(), 2u);
  EXPECT_EQ(ctx.m_pLinkages[0].strings[1], "lib.swf");
  EXPECT_EQ(ctx.m_pLinkages[0].strings[0], "btn");
  EXPECT_EQ(ctx.m_pLinkages[0].kind, kLinkageImport);
  EXPECT_EQ(ctx.m_pLinkages[1].itemNo, 4);
  EXPECT_EQ(ctx.m_pLinkages[1].strings[1], "two.swf");
}

TEST(LinkageTest, MalformedBodiesYieldOnlyWhatIsThere) {
  ConverterContext ctx;
  // URL without its terminator.
  HandleLinkageTag(ctx, 57, Bytes({'a', 'b', 1, 0, 7, 0}));
  EXPECT_TRUE(ctx.m_pLinkages.empty());
  // Count of five, but one id and half of another.
  HandleLinkageTag(ctx, 56, Bytes({5, 0, 7, 0, 'x', 0, 8}));
  ASSERT_EQ(ctx.m_pLinkages.size(), 1u);
  EXPECT_EQ(ctx.m_pLinkages[0].itemNo, 7);
  // A name running to the end of the body.
  HandleLinkageTag(ctx, 56, Bytes({1, 0, 9, 0, 'n', 'm'}));
  ASSERT_EQ(ctx.m_pLinkages.size(), 2u);
  EXPECT_EQ(ctx.m_pLinkages[1].strings[0], "nm");
  HandleLinkageTag(ctx, 56, Bytes({1, 0}));
  EXPECT_EQ(ctx.m_pLinkages.size(), 2u);
}

}  // namespace
}  // namespace tovrani
