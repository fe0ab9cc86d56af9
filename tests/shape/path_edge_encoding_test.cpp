// Path records written as edge records: bytes, sides, holes and forms.
#include <gtest/gtest.h>

#include "shape/build/path_record_list.h"

namespace tovrani {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr int32_t M = kPathMoveTo, L = kPathLineTo, C = kPathCurveTo;

std::vector<PathRecord> Square(int32_t x, int32_t y, int32_t side, bool clockwise) {
  if (clockwise)
    return {{M, 0, 0, x, y}, {L, 0, 0, x + side, y}, {L, 0, 0, x + side, y + side},
            {L, 0, 0, x, y + side}, {L, 0, 0, x, y}};
  return {{M, 0, 0, x, y}, {L, 0, 0, x, y + side}, {L, 0, 0, x + side, y + side},
          {L, 0, 0, x + side, y}, {L, 0, 0, x, y}};
}

struct Encoded {
  Bytes bytes;
  uint32_t count = 0;
  IntPoint pen;
};

Encoded Encode(const PathRecordList& list, IntRect box = {100, 200, 200, 300}) {
  Encoded e;
  e.bytes.assign(3, 0xEE);  // the records go behind what is there
  size_t pos = 3;
  list.EncodeRecordsAsEdges(box, e.bytes, pos, e.count, e.pen);
  e.bytes.resize(pos);
  e.bytes.erase(e.bytes.begin(), e.bytes.begin() + 3);
  return e;
}

TEST(PathEdgeEncoding, ASquareUnderItsBoxCornerIsOneStyleChangeAndFourEdges) {
  PathRecordList list;
  list.records = Square(0, 0, 10, true);
  const Encoded e = Encode(list);
  // move (25600, 51200) in form 3 (floored), fill 1 inside, then 10 units a side
  EXPECT_EQ(e.bytes, (Bytes{0xD3, 0, 0, 1, 200, 0, 0x90, 1, 0, 10, 0, 0,  //
                            0x10, 0, 0, 0, 10,                             //
                            0x10, 0, 0xF6, 0, 0,                           //
                            0x10, 0, 0, 0, 0xF6}));
  EXPECT_EQ(e.count, 4u);
  EXPECT_EQ(e.pen, (IntPoint{25600, 51200}));

  // Counter-clockwise: fill 0 inside. Without probes the turning decides
  // the same.
  list.records = Square(0, 0, 10, false);
  for (bool probes : {true, false}) {
    list.m_bNoSideProbes = !probes;
    const Encoded ccw = Encode(list);
    EXPECT_EQ(Bytes(ccw.bytes.begin(), ccw.bytes.begin() + 4), (Bytes{0xD3, 0, 1, 0}));
  }
}

TEST(PathEdgeEncoding, AnInnerOutlineIsAHole) {
  struct Case {
    bool clockwise;
    Bytes head;  // flags and style bytes of the hole's first record
  } cases[] = {
      {false, {0x11}},           // the side already in force: no style change
      {true, {0xD1, 0, 1, 0}},   // turned the other way: the fill goes to fill 0
  };
  for (const Case& c : cases) {
    PathRecordList list;
    list.records = Square(0, 0, 40, true);
    const std::vector<PathRecord> hole = Square(3, 3, 6, c.clockwise);  // probed at 256 times
    list.records.insert(list.records.end(), hole.begin(), hole.end());
    const Encoded e = Encode(list);
    EXPECT_EQ(e.count, 8u);
    const size_t at = 12 + 3 * 5;
    ASSERT_GT(e.bytes.size(), at + c.head.size() + 4);
    EXPECT_EQ(Bytes(e.bytes.begin() + long(at), e.bytes.begin() + long(at + c.head.size())), c.head);
    // a move of 3 units each way from the pen back at the outer start
    EXPECT_EQ(Bytes(e.bytes.begin() + long(at + c.head.size()), e.bytes.begin() + long(at + c.head.size() + 4)),
              (Bytes{0, 3, 0, 3}));
  }
}

TEST(PathEdgeEncoding, MoveTosMergeAndATrailingOneWritesNothing) {
  PathRecordList list;
  list.records = {{M, 0, 0, 0, 0}};
  EXPECT_EQ(Encode(list).count, 0u);
  EXPECT_TRUE(Encode(list).bytes.empty());

  list.records = {{M, 0, 0, 50, 50}, {M, 0, 0, 0, 0}, {C, 5, -5, 10, 0}, {L, 0, 0, 0, 0}, {M, 0, 0, 7, 7}};
  const Encoded e = Encode(list, {0, 0, 10, 10});
  EXPECT_EQ(e.count, 2u);
  EXPECT_EQ(e.pen, (IntPoint{0, 0}));
  // no move (the merged moves come back to the pen); control and anchor
  ASSERT_GE(e.bytes.size(), 12u);
  EXPECT_EQ(e.bytes[0] & 0x3F, 0x14);
}

TEST(PathEdgeEncoding, DeltaForms) {
  struct Case {
    int64_t x, y;
    bool move;
    uint8_t form;
    Bytes stored;
  } cases[] = {
      {32767, 0, false, 1, {0xFF, 0x7F, 0, 0}},
      {0, 32768, false, 3, {0, 0, 0, 1}},
      {4194304, 0, false, 2, {0, 0, 0x40, 0, 0, 0, 0, 0}},
      {-38401, 0, true, 3, {0xD3, 0xFE, 0, 0}},   // floored: -301
      {-38401, 0, false, 3, {0xD4, 0xFE, 0, 0}},  // truncated: -300
      {-25601, 0, false, 1, {0xFF, 0x9B, 0, 0}},
  };
  for (const Case& c : cases) {
    Bytes b;
    size_t pos = 0;
    EXPECT_EQ(PutEdgeDelta(b, pos, c.x, c.y, c.move), c.form) << c.x;
    b.resize(pos);
    EXPECT_EQ(b, c.stored) << c.x;
  }
}

}  // namespace
}  // namespace tovrani
