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
    unsigned n = std::max(SwfBytes::SignedBits(moveTo->first), SwfBytes::SignedBits(moveTo->second));
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

std::vector<uint8_t> Written(void (*write)(std::FILE*, bool, uint8_t), bool withPageHead,
                             uint8_t level) {
  ByteSink s;
  write(s.file(), withPageHead, level);
  return s.bytes();
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
                                          std::vector<ShapePageObject>* objects) {
  const std::vector<uint8_t> head = Written(&WriteShapeRecordHeadShort, true, level);
  if (page.size() < head.size() + 4 || !std::equal(head.begin(), head.end(), page.begin()))
    return ::testing::AssertionFailure() << "no page head and shape head";
  std::vector<ShapePageObject> found;
  size_t styles = FirstStyleTablesPos(level);
  for (;;) {
    ShapePageObject o;
    o.stylesPos = styles;
    o.countFieldPos = styles - 4;
    o.countField = U32(page, o.countFieldPos);
    size_t at = styles;
    if (at + 2 > page.size()) return ::testing::AssertionFailure() << "fill count cut at " << at;
    o.fills = U16(page, at);
    at += 2;
    for (uint32_t i = 0; i < o.fills; ++i) {
      const size_t n = FillRecordSize(page, at, level >= 2);
      if (!n) return ::testing::AssertionFailure() << "bad fill record at " << at;
      at += n;
    }
    if (at + 2 > page.size()) return ::testing::AssertionFailure() << "line count cut at " << at;
    o.lines = U16(page, at);
    at += 2;
    for (uint32_t i = 0; i < o.lines; ++i) {
      if (level < 2) {
        at += 10;
      } else {
        at += 16;
        const size_t n = FillRecordSize(page, at, true);
        if (!n) return ::testing::AssertionFailure() << "bad line fill at " << at;
        at += n;
      }
      if (at > page.size()) return ::testing::AssertionFailure() << "line record cut";
    }
    o.edgesPos = at;
    auto extent = MeasureEdgeStream(std::span<const uint8_t>(page).subspan(at));
    if (!extent) return ::testing::AssertionFailure() << "edge stream at " << at << " cut short";
    o.records = extent->records;
    o.endPos = at + extent->endPos;
    if (o.records != o.countField)
      return ::testing::AssertionFailure() << "object " << found.size() << " has " << o.records
                                           << " edge records, count field " << o.countField;
    found.push_back(o);
    auto next = FindFurtherShapeObject(page, o.endPos, level);
    if (!next) break;
    styles = *next;
  }
  if (objects) *objects = found;
  if (itemNo) {
    const std::vector<uint8_t> tail =
        ExpectedPageTail(*itemNo, uint16_t(found.size() + 1), level);
    const std::vector<uint8_t> actual(page.begin() + found.back().endPos, page.end());
    if (actual != tail) return ::testing::AssertionFailure() << "page does not end in its ID layer";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace tovrani::test
