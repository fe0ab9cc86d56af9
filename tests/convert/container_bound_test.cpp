// The container's own tables count against what a conversion may write: a
// document of small streams spends some 6 % of its bytes on its mini-FAT,
// FAT and directory. The bound's fixed part is lowered to reach it with a
// small movie; past it the previous set stays as it was.
#include "convert/conversion_finish.h"
#include "convert/output_set_fixture.h"
#include "fla/contents_stream.h"
#include "fla/write_bound.h"

namespace tovrani::test {
namespace {

TEST_F(Conversions, TheContainersTablesCountAgainstTheWriteBound) {
  // 300 sprites of 14 frames of moves: pages of 3.4 KB in the mini stream.
  SwfWriter w(8);
  w.tag(2, SquareShape(1, 0, 200, 0x3366CC));
  for (uint16_t s = 2; s < 302; ++s) {
    SwfWriter inner;
    for (int f = 0; f < 14; ++f)
      inner.tag(26, (f ? SwfBytes().u8(0x05).u16(1) : SwfBytes().u8(0x06).u16(1).u16(1)).matrix(20 * f, 0).data())
          .showFrame();
    w.tag(39, SwfBytes().u16(s).u16(14).bytes(inner.end().tags()).data());
  }
  const std::vector<uint8_t> movie = w.showFrame().end().build(true);
  WriteFileBytes(dir.file("sprites.swf"), movie);
  const auto bytesOf = [](const Set& set) {
    uint64_t n = 0;
    for (const auto& [name, bytes] : set) n += bytes.size();
    return n;
  };
  const uint64_t written = bytesOf(Clean("sprites.swf"));
  const auto allowanceFor = [&](uint64_t bound) { return bound - kWrittenBytesPerFileByte * movie.size(); };
  const Set previous = Clean("red.swf");
  // 2 % under what the set takes: the tables reach it as the sprites are placed.
  EXPECT_EQ(Convert("sprites.swf", nullptr, true, allowanceFor(written - written / 50)).result, 46u);
  EXPECT_EQ(Snapshot(), previous);
  // Started again at the finish, the bound counts none of the pages: only
  // the measure of the set as written finds it a byte past.
  EngineServices services = DefaultEngineServices();
  services.finish = [&](ConverterContext& ctx) {
    WriteBoundOf(ctx)->Start(written - 1, &g_contents);
    return FinishConversion(ctx);
  };
  const FileOutcome o = Convert("sprites.swf", nullptr, true, kWriteAllowance, &services);
  EXPECT_EQ(o.result, 46u);
  EXPECT_NE(o.detail.find("more than " + std::to_string(written - 1) + " bytes"), std::string::npos) << o.detail;
  EXPECT_EQ(Snapshot(), previous);
  // 4 KB over it, the set is written whole and within it.
  EXPECT_EQ(Convert("sprites.swf", nullptr, true, allowanceFor(written + 4096)).result, 0u);
  EXPECT_EQ(bytesOf(Snapshot()), written);
}

}  // namespace
}  // namespace tovrani::test
