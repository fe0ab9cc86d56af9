#include "shape/shape_test_support.h"

#include <algorithm>
#include <cstdlib>
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

std::vector<uint8_t> OneFillOneLineShape(uint16_t id, const std::function<void(ShapeRecords&)>& draw) {
  SwfBytes b;
  b.u16(id).rect(0, 2000, 0, 2000);
  b.u8(1).u8(0).u8(200).u8(0).u8(0);
  b.u8(1).u16(20).u8(0).u8(0).u8(0);
  b.u8(0x11);
  ShapeRecords r{b, 1, 1};
  draw(r);
  r.End();
  return b.data();
}

void SelfCrossingGrid(ShapeRecords& r, int32_t side, int32_t lines) {
  const int32_t step = side / lines, m = std::max(1, side / (4 * lines + 4));
  int32_t x = -m, y = 0;
  // Straight to (nx, ny) in edges a record can hold.
  auto to = [&](int32_t nx, int32_t ny) {
    const int64_t dx = nx - x, dy = ny - y;
    const int64_t pieces = std::max<int64_t>(1, (std::max(std::abs(dx), std::abs(dy)) + 59999) / 60000);
    for (int64_t k = 1; k <= pieces; ++k)
      r.Straight(int32_t(dx * k / pieces - dx * (k - 1) / pieces), int32_t(dy * k / pieces - dy * (k - 1) / pieces));
    x = nx, y = ny;
  };
  r.Change(std::pair(x, y), std::nullopt, 1u, std::nullopt);
  for (int32_t i = 0; i < lines; ++i) {
    to(i % 2 ? -m : side + m, i * step + step / 2);
    if (i + 1 < lines) to(x, (i + 1) * step + step / 2);
  }
  to(x, side + 2 * m);
  to(step / 2, side + 2 * m);
  for (int32_t j = 0; j < lines; ++j) {
    to(j * step + step / 2, j % 2 ? side + 2 * m : -2 * m);
    if (j + 1 < lines) to((j + 1) * step + step / 2, y);
  }
  to(x, -3 * m);
  to(-2 * m, -3 * m);
  to(-m, 0);
}

std::vector<uint8_t> MorphBody(uint16_t tag, const std::vector<uint8_t>& styles,
                               const std::function<void(ShapeRecords&)>& start,
                               const std::function<void(ShapeRecords&)>& end, unsigned fillBits,
                               unsigned lineBits) {
  SwfBytes head;
  head.rect(0, 2000, 0, 2000).rect(0, 2000, 0, 2000);
  if (tag == 84) head.rect(0, 2000, 0, 2000).rect(0, 2000, 0, 2000).u8(0);
  SwfBytes startShape;
  startShape.bytes(styles).u8(uint8_t(fillBits << 4 | lineBits));
  ShapeRecords s{startShape, fillBits, lineBits};
  start(s);
  s.End();
  SwfBytes endShape;
  endShape.u8(0);
  ShapeRecords e{endShape, 0, 0};
  end(e);
  e.End();
  head.u32(uint32_t(startShape.size())).bytes(startShape.data()).bytes(endShape.data());
  return head.data();
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

std::vector<std::pair<size_t, size_t>> ShapeEdgeSpans(const std::vector<uint8_t>& page,
                                                      uint8_t level) {
  std::vector<std::pair<size_t, size_t>> spans;
  if (!CheckShapePage(page, level, std::nullopt, nullptr, nullptr, &spans)) spans.clear();
  return spans;
}

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
                                          std::vector<ShapeObjectView>* objects,
                                          std::vector<std::pair<size_t, size_t>>* edgeSpans) {
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
    if (edgeSpans) edgeSpans->push_back({at, end});
    auto next = FindFurtherShapeObject(page, end, level);
    if (!next) break;
    at = *next;
  }
  if (edgeCounts) *edgeCounts = counts;
  // The layer end counts the decoder's objects; a shape the builder wrote
  // as a stack adds objects it does not count.
  bool tail = !itemNo;
  for (uint32_t v = 2; !tail && v <= counts.size() + 1; ++v)
    tail = std::vector<uint8_t>(page.begin() + long(end), page.end()) ==
           ExpectedPageTail(*itemNo, uint16_t(v), level);
  if (!tail) return ::testing::AssertionFailure() << "page does not end in its ID layer";
  return ::testing::AssertionSuccess();
}

void EdgeWriter::Pair(int64_t x, int64_t y, uint8_t& form, std::vector<uint8_t>& out) {
  auto fits16 = [](int64_t v) { return v >= -32768 && v <= 32767; };
  uint8_t valid = 2;  // form 2 holds every value in 32 bits
  if (fits16(x) && fits16(y)) valid |= 1;
  if (x % 128 == 0 && y % 128 == 0 && fits16(x / 128) && fits16(y / 128)) valid |= 4;
  uint8_t pick = pickForm ? pickForm(valid) : valid;
  pick &= valid;
  if (!pick) pick = 2;
  form = pick & 1 ? 1 : pick & 4 ? 3 : 2;
  const int64_t sx = form == 3 ? x / 128 : x, sy = form == 3 ? y / 128 : y;
  const int bytes = form == 2 ? 4 : 2;
  for (int64_t v : {sx, sy})
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(uint64_t(v) >> (8 * i)));
}

EdgeWriter& EdgeWriter::Run(int64_t x, int64_t y, std::optional<Style> style) {
  pendingMove_ = true;
  moveX_ = x;
  moveY_ = y;
  if (style) pendingStyle_ = style;
  return *this;
}

EdgeWriter& EdgeWriter::Edge(bool curved, int64_t cx, int64_t cy, int64_t x, int64_t y,
                             std::optional<Style> style) {
  if (style) pendingStyle_ = style;
  std::vector<uint8_t> pairs;
  uint8_t mf = 0, cf = 0, af = 0;
  int64_t startX = penX_, startY = penY_;
  if (pendingMove_) {
    Pair(moveX_ - penX_, moveY_ - penY_, mf, pairs);
    startX = moveX_;
    startY = moveY_;
  }
  if (curved) Pair(cx - startX, cy - startY, cf, pairs);
  Pair(x - startX, y - startY, af, pairs);
  bytes_.push_back(uint8_t((pendingStyle_ ? 0xC0 : 0) | mf | cf << 2 | af << 4));
  if (pendingStyle_) bytes_.insert(bytes_.end(), pendingStyle_->begin(), pendingStyle_->end());
  bytes_.insert(bytes_.end(), pairs.begin(), pairs.end());
  pendingMove_ = false;
  pendingStyle_.reset();
  penX_ = x;
  penY_ = y;
  ++records_;
  return *this;
}

EdgeWriter& EdgeWriter::Line(int64_t x, int64_t y, std::optional<Style> style) {
  return Edge(false, 0, 0, x, y, style);
}

EdgeWriter& EdgeWriter::Curve(int64_t cx, int64_t cy, int64_t x, int64_t y,
                              std::optional<Style> style) {
  return Edge(true, cx, cy, x, y, style);
}

EdgeWriter& EdgeWriter::Polygon(const std::vector<std::pair<int64_t, int64_t>>& points,
                                Style style) {
  Run(points[0].first, points[0].second, style);
  for (size_t i = 1; i <= points.size(); ++i)
    Line(points[i % points.size()].first, points[i % points.size()].second);
  return *this;
}

EdgeWriter& EdgeWriter::Bytes(const std::vector<uint8_t>& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  penX_ = penY_ = 0;
  pendingMove_ = false;
  pendingStyle_.reset();
  return *this;
}

std::vector<uint8_t> FurtherObjectHead(uint8_t level) {
  ByteSink s;
  WriteLayerRecord(s.file(), 1, level);
  BeginLayerAndFrame(s.file(), level);
  WriteShapeRecordHead(s.file(), false, level);
  std::vector<uint8_t> bytes = s.bytes();
  ByteWriter tables;
  tables.PutU16(1);
  FillStyle fill;
  fill.colour = 0xFF0000FFu;
  EncodeFillStyle(tables, fill, level);
  tables.PutU16(1);
  LineStyle line;
  line.colour = 0xFF00FF00u;
  line.width = 20;
  EncodeLineStyle(tables, line, level);
  bytes.insert(bytes.end(), tables.bytes().begin(), tables.bytes().end());
  return bytes;
}

std::vector<ShapeObject> ShapeObjects(const std::vector<uint8_t>& page, uint8_t level) {
  std::vector<ShapeObject> objects;
  size_t at = FirstStyleTablesPos(level);
  for (;;) {
    ShapeObject object;
    for (int table = 0; table < 2; ++table) {
      if (at + 2 > page.size()) return objects;
      const uint16_t n = U16(page, at);
      at += 2;
      for (uint32_t i = 0; i < n; ++i) {
        const size_t start = at;
        if (table == 1) at += level < 2 ? 10 : 16;
        if (table == 0 || level >= 2) {
          const size_t size = at <= page.size() ? FillRecordSize(page, at, level >= 2) : 0;
          if (!size) return objects;
          at += size;
        }
        if (at > page.size()) return objects;
        (table == 0 ? object.styles.fills : object.styles.lines)
            .emplace_back(page.begin() + long(start), page.begin() + long(at));
      }
    }
    auto extent = MeasureEdgeStream(std::span<const uint8_t>(page).subspan(at));
    if (!extent) return objects;
    object.edges.assign(page.begin() + long(at), page.begin() + long(at + extent->endPos));
    objects.push_back(std::move(object));
    auto next = FindFurtherShapeObject(page, at + extent->endPos, level);
    if (!next) return objects;
    at = *next;
  }
}

::testing::AssertionResult DecodesConsistently(const ShapeBlock& block, uint8_t level) {
  if (block.bytes.size() <= block.length || block.bytes[block.length] != 0)
    return ::testing::AssertionFailure() << "no 0 byte after the length";
  const std::span<const uint8_t> all(block.bytes.data(), block.length + 1);
  uint32_t records = 0;
  size_t at = 0;
  for (;;) {
    DecodedEdge e;
    bool truncated = false;
    while (at < block.length && ReadEdgeRecord(all.first(block.length), at, e, &truncated))
      ++records;
    if (truncated) return ::testing::AssertionFailure() << "record cut short at " << at;
    if (at >= block.length) break;
    // A 0 byte: a further object, whose tables are skipped as a reader does.
    auto tables = FindFurtherShapeObject(all.first(block.length), at, level);
    if (!tables) return ::testing::AssertionFailure() << "0 byte at " << at << " opens nothing";
    auto edges = SkipStyleTables(all.first(block.length), *tables, level);
    if (!edges) return ::testing::AssertionFailure() << "style tables cut at " << *tables;
    at = *edges;
  }
  if (records != block.recordCount)
    return ::testing::AssertionFailure() << records << " records, count " << block.recordCount;
  return ::testing::AssertionSuccess();
}

}  // namespace tovrani::test
