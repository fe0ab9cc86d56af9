// Path records written as edge records: bytes, sides, holes and forms.
#include <gtest/gtest.h>

#include "shape/builder/path_record_list.h"

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
  ShapeOutput out;
  out.bytes.PutBytes(Bytes(3, 0xEE));  // the records go behind what is there
  out.penX = 7;
  Encoded e;
  ShapeGeometry unbounded;
  EXPECT_TRUE(list.EncodeRecordsAsEdges(box, out, e.count, unbounded));
  EXPECT_EQ(out.records, e.count);
  e.bytes.assign(out.bytes.bytes().begin() + 3, out.bytes.bytes().end());
  e.pen = {int32_t(out.penX), int32_t(out.penY)};
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
    list.noSideProbes = !probes;
    const Encoded ccw = Encode(list);
    EXPECT_EQ(Bytes(ccw.bytes.begin(), ccw.bytes.begin() + 4), (Bytes{0xD3, 0, 1, 0}));
  }
}

// A sliver under 10 units: probed at device scale its first legs would
// put the fill outside; at 256 times the scale they find its clockwise
// inside.
TEST(PathEdgeEncoding, SmallOutlinesAreProbedAtAFinerScale) {
  PathRecordList list;
  list.records = {{M, 0, 0, 7, 5}, {L, 0, 0, 7, 4}, {L, 0, 0, 2, 8}, {L, 0, 0, 8, 0}, {L, 0, 0, 7, 5}};
  const Encoded e = Encode(list, {0, 0, 9, 9});
  EXPECT_EQ(Bytes(e.bytes.begin(), e.bytes.begin() + 4), (Bytes{0xD1, 0, 0, 1}));
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

// Deltas are whole device units here, so only the form thresholds that
// are multiples of 256 can be met; the others (32767, a move floored where
// an anchor is truncated) are met in ShapeEdgeEncoding, whose record
// encoder these records go through.
TEST(PathEdgeEncoding, EachDeltaTakesItsSmallestForm) {
  struct Case {
    int32_t x;
    Bytes record;
  } cases[] = {
      {127, {0x10, 0x00, 0x7F, 0, 0}},                 // 32512: form 1
      {128, {0x30, 0x00, 0x01, 0, 0}},                 // 32768: form 3, 256 stored
      {16383, {0x30, 0xFE, 0x7F, 0, 0}},               // q = 32766
      {16384, {0x20, 0, 0, 0x40, 0, 0, 0, 0, 0}},      // 4194304: form 2
      {-150, {0x30, 0xD4, 0xFE, 0, 0}},                // -38400: -300 stored
  };
  for (const Case& c : cases) {
    PathRecordList list;
    list.records = {{M, 0, 0, 0, 0}, {L, 0, 0, 0, 1}, {L, 0, 0, c.x, 1}, {L, 0, 0, 0, 0}};
    const Encoded e = Encode(list, {0, 0, 10, 10});
    ASSERT_EQ(e.count, 3u);
    EXPECT_EQ(Bytes(e.bytes.begin() + 8, e.bytes.begin() + 8 + long(c.record.size())), c.record) << c.x;
  }
}

TEST(PathEdgeEncoding, TheRegionsFillLeavesTheGraph) {
  // A square of four points, every edge with fill 1 inside (slot 2) and
  // fill 2 outside on its twin's slot 2.
  std::vector<ShapePoint> points(4);
  const int32_t xy[4][2] = {{0, 0}, {2560, 0}, {2560, 2560}, {0, 2560}};
  for (uint32_t i = 0; i < 4; ++i) points[i].x = xy[i][0], points[i].y = xy[i][1];
  for (uint32_t i = 0; i < 4; ++i) {
    const uint32_t j = (i + 1) % 4;
    PointEdge e;
    e.otherPoint = j, e.twin = uint32_t(points[j].edges.size());
    e.style[1] = 2, e.style[2] = 1;
    PointEdge t;
    t.otherPoint = i, t.twin = uint32_t(points[i].edges.size());
    t.style[1] = 1, t.style[2] = 2;
    points[i].edges.push_back(e);
    points[j].edges.push_back(t);
  }
  ShapeRegion region;
  region.box = {0, 0, 10, 10};
  region.contours.resize(1);
  for (uint32_t i = 0; i < 4; ++i) region.contours[0].Append(i, i == 0 ? 0 : 1);

  PathRecordList list;
  ShapeOutput out;
  uint32_t count = 0;
  ShapeGeometry unbounded;
  list.records = {{M, 0, 0, 0, 0}};  // writes nothing, takes nothing
  EXPECT_TRUE(list.EncodeAsEdges(out, count, region, points, 2, unbounded));
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(points[0].edges[0].style[2], 1);

  list.records = Square(0, 0, 10, true);
  EXPECT_TRUE(list.EncodeAsEdges(out, count, region, points, 2, unbounded));
  EXPECT_EQ(count, 4u);
  for (uint32_t i = 0; i < 4; ++i) {
    const PointEdge& e = points[i].edges[i == 0 ? 0 : 1];
    EXPECT_EQ(e.style[2], 0);
    EXPECT_EQ(e.style[1], 2);  // the other side keeps its fill
    const PointEdge& t = points[e.otherPoint].edges[e.twin];
    EXPECT_EQ(t.style[1], 0);
    EXPECT_EQ(t.style[2], 2);
  }
}

}  // namespace
}  // namespace tovrani
