#include "convert/linkage.h"

#include <gtest/gtest.h>

#include <tuple>

#include "support/byte_sink.h"
#include "support/recording_shell.h"
#include "support/swf_writer.h"
#include "convert/converter_context.h"

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

// Each entry as (kind, item number, name, url).
using Row = std::tuple<int, int, std::string, std::string>;
std::vector<Row> Rows(const ConverterContext& ctx) {
  std::vector<Row> rows;
  for (const auto& l : ctx.m_pLinkages) rows.push_back({l.kind, l.itemNo, l.strings[0], l.strings[1]});
  return rows;
}

TEST(LinkageTest, ExportsOncePerIdAndImportsWithTheirUrl) {
  ConverterContext ctx;
  test::RecordingShell shell;
  ctx.m_pShell = &shell;
  HandleLinkageTag(ctx, 56, Assets({{5, "hero"}, {9, "enemy"}, {5, "again"}}));
  HandleLinkageTag(ctx, 57, SwfBytes().str("lib.swf").bytes(Assets({{3, "btn"}})).data());
  HandleLinkageTag(ctx, 71, SwfBytes().str("two.swf").u8(1).u8(0).bytes(Assets({{4, "b"}})).data());
  EXPECT_EQ(Rows(ctx), (std::vector<Row>{{kLinkageExport, 5, "hero", ""}, {kLinkageExport, 9, "enemy", ""},
                                         {kLinkageImport, 3, "btn", "lib.swf"}, {kLinkageImport, 4, "b", "two.swf"}}));
  EXPECT_EQ(shell.actions.front(), "adding linkage...");
}

TEST(LinkageTest, MalformedBodiesYieldOnlyWhatIsThere) {
  ConverterContext ctx;
  HandleLinkageTag(ctx, 57, Bytes({'a', 'b', 1, 0, 7, 0}));  // URL without its terminator
  HandleLinkageTag(ctx, 56, Bytes({5, 0, 7, 0, 'x', 0, 8}));  // count five: one id and half of another
  HandleLinkageTag(ctx, 56, Bytes({1, 0, 9, 0, 'n', 'm'}));  // a name running to the end
  HandleLinkageTag(ctx, 56, Bytes({1, 0}));
  EXPECT_EQ(Rows(ctx), (std::vector<Row>{{kLinkageExport, 7, "x", ""}, {kLinkageExport, 9, "nm", ""}}));
}

// Names and URLs are the movie's text: Windows-1252 before SWF 6, UTF-8
// from it, kept as UTF-8 for the document's writers.
TEST(LinkageTest, NamesAreDecodedByTheMoviesVersion) {
  for (const auto& [version, name, url] : {std::tuple<int, const char*, const char*>{5, "caf\xE9", "\xE9.swf"},
                                           {8, "caf\xC3\xA9", "\xC3\xA9.swf"}}) {
    ConverterContext ctx;
    ctx.m_nSwfVersion = uint8_t(version);
    HandleLinkageTag(ctx, 56, Assets({{5, name}}));
    HandleLinkageTag(ctx, 57, SwfBytes().str(url).bytes(Assets({{6, name}})).data());
    EXPECT_EQ(Rows(ctx), (std::vector<Row>{{kLinkageExport, 5, "caf\xC3\xA9", ""},
                                           {kLinkageImport, 6, "caf\xC3\xA9", "\xC3\xA9.swf"}}))
        << "SWF " << version;
  }
}

// One tag naming every id once, then again: one record per id.
TEST(LinkageTest, ManyIdsKeepOneRecordEach) {
  SwfBytes b;
  b.u16(0xFFFF);
  for (uint32_t id = 1; id <= 0xFFFF; ++id) b.u16(id).str("n");
  ConverterContext ctx;
  HandleLinkageTag(ctx, 56, b.data());
  HandleLinkageTag(ctx, 56, b.data());
  ASSERT_EQ(ctx.m_pLinkages.size(), 0xFFFFu);
  EXPECT_EQ(ctx.m_pLinkages.back().itemNo, 0xFFFF);
}

}  // namespace
}  // namespace tovrani
