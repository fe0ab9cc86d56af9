#include "shape/shape_test_support.h"

#include <algorithm>
#include <string>

#include "fla/archive.h"
#include "fla/layer_records.h"
#include "shape/decode/encoded_shape.h"
#include "support/byte_sink.h"

namespace tovrani::test {

ShapeRecords& ShapeRecords::Straight(int32_t dx, int32_t dy) {
  unsigned n = std::max({SwfBytes::SignedBits(dx), SwfBytes::SignedBits(dy), 2u});
  b.ubits(1, 1).ubits(1, 1).ubits(n - 2, 4);
  if (dx != 0 && dy != 0) {
    b.ubits(1, 1).sbits(dx, n).sbits(dy, n);
  } else if (dx == 0 && dy != 0) {
    b.ubits(0, 1).ubits(1, 1).sbits(dy, n);
  } else if (dy == 0 && dx != 0) {
    b.ubits(0, 1).ubits(0, 1).sbits(dx, n);
  } else {
    b.ubits(1, 1).sbits(0, n).sbits(0, n);
  }
  return *this;
}

ShapeRecords& ShapeRecords::Curve(int32_t cx, int32_t cy, int32_t ax, int32_t ay) {
  unsigned n = std::max({SwfBytes::SignedBits(cx), SwfBytes::SignedBits(cy),
                         SwfBytes::SignedBits(ax), SwfBytes::SignedBits(ay), 2u});
  b.ubits(1, 1).ubits(0, 1).ubits(n - 2, 4);
  b.sbits(cx, n).sbits(cy, n).sbits(ax, n).sbits(ay, n);
  return *this;
}

ShapeRecords& ShapeRecords::Change(std::optional<std::pair<int32_t, int32_t>> moveTo,
                                   std::optional<uint32_t> fill0, std::optional<uint32_t> fill1,
                                   std::optional<uint32_t> line, bool newStyles) {
  b.ubits(0, 1).ubits(newStyles, 1).ubits(line.has_value(), 1).ubits(fill1.has_value(), 1);
  b.ubits(fill0.has_value(), 1).ubits(moveTo.has_value(), 1);
  if (moveTo) {
    const unsigned n =
        std::max(SwfBytes::SignedBits(moveTo->first), SwfBytes::SignedBits(moveTo->second));
    b.ubits(n, 5).sbits(moveTo->first, n).sbits(moveTo->second, n);
  }
  if (fill0) b.ubits(*fill0, fillBits);
  if (fill1) b.ubits(*fill1, fillBits);
  if (line) b.ubits(*line, lineBits);
  return *this;
}

ShapeRecords& ShapeRecords::End() {
  b.ubits(0, 6).align();
  return *this;
}

namespace {

uint16_t U16(const std::vector<uint8_t>& p, size_t at) { return uint16_t(p[at] | p[at + 1] << 8); }
uint32_t U32(const std::vector<uint8_t>& p, size_t at) {
  return uint32_t(p[at]) | uint32_t(p[at + 1]) << 8 | uint32_t(p[at + 2]) << 16 |
         uint32_t(p[at + 3]) << 24;
}

// Length of the fill record at `at`, 0 when it does not fit or is unknown.
size_t FillRecordSize(const std::vector<uint8_t>& p, size_t at, bool withBlock) {
  if (at + 6 > p.size()) return 0;
  const uint16_t type = U16(p, at + 4);
  if (type == 0) return 6;
  if (type >= 0x40 && type <= 0x43) return at + 32 <= p.size() ? 32 : 0;
  if (type != 0x10 && type != 0x12) return 0;
  if (at + 31 > p.size()) return 0;
  const size_t n = p[at + 30];
  const size_t size = 31 + (withBlock ? 8 : 0) + 5 * n;
  return at + size <= p.size() ? size : 0;
}

}  // namespace

std::vector<uint8_t> ExpectedPageTail(uint16_t itemNo, uint16_t layerEndValue, uint8_t level) {
  ByteSink s;
  WriteIdLayerRecord(s.file(), itemNo, level);
  if (level >= 2)
    WriteLayerEndNew(s.file(), layerEndValue);
  else
    WriteLayerEndOld(s.file(), layerEndValue);
  return s.bytes();
}

::testing::AssertionResult CheckShapePage(const std::vector<uint8_t>& page, uint8_t level,
                                          std::optional<uint16_t> itemNo,
                                          std::vector<uint32_t>* edgeCounts,
                                          std::vector<ShapeObjectView>* objects) {
  ByteSink head;
  WriteShapeRecordHeadShort(head.file(), true, level);
  const std::vector<uint8_t> start = head.bytes();
  if (page.size() < start.size() + 4 || !std::equal(start.begin(), start.end(), page.begin()))
    return ::testing::AssertionFailure() << "no page head and shape head";
  std::vector<uint32_t> counts;
  size_t at = FirstStyleTablesPos(level), end = 0;
  for (;;) {
    const uint32_t countField = U32(page, at - 4);
    ShapeObjectView view;
    for (int table = 0; table < 2; ++table) {
      if (at + 2 > page.size()) return ::testing::AssertionFailure() << "style count cut at " << at;
      const uint16_t n = U16(page, at);
      at += 2;
      for (uint32_t i = 0; i < n; ++i) {
        if (table == 1) at += level < 2 ? 10 : 16;  // a line's own fields
        if (table == 1 && level < 2) continue;
        const size_t size = at <= page.size() ? FillRecordSize(page, at, level >= 2) : 0;
        if (!size) return ::testing::AssertionFailure() << "bad style record at " << at;
        if (table == 0) view.fills.emplace_back(page.begin() + long(at), page.begin() + long(at + size));
        at += size;
      }
    }
    if (at > page.size()) return ::testing::AssertionFailure() << "line record cut";
    auto extent = MeasureEdgeStream(std::span<const uint8_t>(page).subspan(at));
    if (!extent) return ::testing::AssertionFailure() << "edge stream at " << at << " cut short";
    if (extent->records != countField)
      return ::testing::AssertionFailure() << "object " << counts.size() << " has "
                                           << extent->records << " edge records, count field "
                                           << countField;
    counts.push_back(countField);
    const std::span<const uint8_t> stream = std::span<const uint8_t>(page).subspan(at);
    DecodedEdge edge;
    for (size_t pos = 0; ReadEdgeRecord(stream, pos, edge);) view.edges.push_back(edge);
    if (objects) objects->push_back(std::move(view));
    end = at + extent->endPos;
    auto next = FindFurtherShapeObject(page, end, level);
    if (!next) break;
    at = *next;
  }
  if (edgeCounts) *edgeCounts = counts;
  if (itemNo && std::vector<uint8_t>(page.begin() + long(end), page.end()) !=
                    ExpectedPageTail(*itemNo, uint16_t(counts.size() + 1), level))
    return ::testing::AssertionFailure() << "page does not end in its ID layer";
  return ::testing::AssertionSuccess();
}

}  // namespace tovrani::test
