#include "convert/shape_tags.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fla/work_files.h"
#include "shape/shape_test_support.h"
#include "convert/converter_context.h"
#include "fla/work_folder.h"
#include "support/work_budget.h"

namespace tovrani {
namespace {

using test::ShapeRecords;
using test::SwfBytes;

std::vector<uint8_t> Triangle(uint16_t id, size_t padTo = 0) {
  SwfBytes b;
  b.u16(id).rect(0, 100, 0, 100).u8(1).u8(0).u8(1).u8(2).u8(3).u8(0).u8(0x10);
  ShapeRecords r{b, 1, 0};
  r.Change(std::pair(0, 0), std::nullopt, 1u, std::nullopt);
  r.Straight(100, 0).Straight(0, 100).Straight(-100, -100).End();
  std::vector<uint8_t> body = b.data();
  if (body.size() < padTo) body.resize(padTo, 0);
  return body;
}

class ShapeTagHandler : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.create());
    ctx().m_pWorkFolder = &folder;
  }
  ConverterContext& ctx() { return files.ctx; }
  test::WorkFiles files;
  WorkFolder folder;
};

TEST_F(ShapeTagHandler, EachShapeBecomesTheSymbolOfItsRow) {
  HandleShapeTag(ctx(), 2, Triangle(9));
  HandleShapeTag(ctx(), 22, Triangle(11));
  EXPECT_EQ(ctx().m_nStreams, 2u);
  EXPECT_EQ(ctx().m_nSymbolStreams, 2u);
  EXPECT_EQ(ctx().m_pStreamItemNo.at(0), 9);
  EXPECT_EQ(ctx().m_pStreamItemNo.at(1), 11);
  EXPECT_EQ(ctx().m_pStreamId.at(1), 2);
  EXPECT_GT(ctx().m_pStreamSize.at(1), 0u);
  EXPECT_EQ(ctx().m_nWriterError, 0);
  EXPECT_FALSE(test::WorkFileThere(folder, "fill"));
}

TEST_F(ShapeTagHandler, TheId65535ShapeOf219BytesIsLeftOut) {
  HandleShapeTag(ctx(), 2, Triangle(0xFFFF, 219));
  EXPECT_EQ(ctx().m_nStreams, 0u);
  HandleShapeTag(ctx(), 2, Triangle(0xFFFF, 220));
  EXPECT_EQ(ctx().m_nStreams, 1u);
}

TEST_F(ShapeTagHandler, AWorkFileThatCannotBeOpenedLeavesTheShapeOut) {
  // The first "fill" cannot be made: every work file goes to disk, and it may not.
  bool refused = false;
  test::WorkBudgetScope onDisk(0, [&](const std::string& name) {
    if (name != "fill" || refused) return true;
    return refused = true, false;
  });
  folder.create();
  HandleShapeTag(ctx(), 2, Triangle(9));
  EXPECT_EQ(ctx().m_nStreams, 0u);
  EXPECT_EQ(ctx().m_nBigStreamList, 0u);
  EXPECT_EQ(ctx().m_nWriterError, 0);
  HandleShapeTag(ctx(), 2, Triangle(10));  // the next shape is converted again
  EXPECT_EQ(ctx().m_nStreams, 1u);
}

}  // namespace
}  // namespace tovrani
