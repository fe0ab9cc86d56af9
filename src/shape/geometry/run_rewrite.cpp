#include "shape/geometry/run_rewrite.h"

#include <cstdlib>
#include <limits>

namespace tovrani {

namespace {

void PutI16(std::vector<uint8_t>& out, int64_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

void PutI32(std::vector<uint8_t>& out, int64_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(uint64_t(v) >> (8 * i)));
}

bool FitsI32(int64_t v) {
  return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

}  // namespace

uint8_t AppendMove(std::vector<uint8_t>& out, MovePair m) {
  const int64_t qx = std::llabs(m.x / 128), qy = std::llabs(m.y / 128);
  if (qx < 256 && qy < 256) {
    PutI16(out, m.x);
    PutI16(out, m.y);
    return 1;
  }
  // Form 3 holds only multiples of 128; flooring another value would move
  // this record and every one after it (moves are relative) by up to 127
  // units, and with them what they draw.
  if (qx < 32768 && qy < 32768 && m.x % 128 == 0 && m.y % 128 == 0) {
    PutI16(out, m.x >> 7);
    PutI16(out, m.y >> 7);
    return 3;
  }
  if (!FitsI32(m.x) || !FitsI32(m.y)) return 0;
  PutI32(out, m.x);
  PutI32(out, m.y);
  return 2;
}

std::vector<uint8_t> RebuildRecord(const ShapeBlock& block, size_t pos,
                                   const RecordRebuild& change) {
  EdgeListItem item;
  const size_t size = ReadStoredRecord(block.counted(), pos, item);
  if (!size) return {};
  const uint8_t f = item.flags;
  std::vector<uint8_t> out;
  out.push_back(0);  // the flags byte, set below
  uint8_t styleBits = f & kEdgeStyleBits;
  if (change.style) {
    styleBits = kEdgeStyleBits;
    out.insert(out.end(), change.style->begin(), change.style->end());
  } else if (styleBits) {
    out.insert(out.end(), block.bytes.begin() + long(pos + 1), block.bytes.begin() + long(pos + 4));
  }
  uint8_t moveForm = MoveForm(f);
  if (change.move) {
    moveForm = AppendMove(out, *change.move);
    if (!moveForm) return {};
  } else {
    const size_t at = pos + 1 + (CarriesStyles(f) ? 3 : 0);
    out.insert(out.end(), block.bytes.begin() + long(at),
               block.bytes.begin() + long(at + PairBytes(moveForm)));
  }
  out[0] = uint8_t(styleBits | (f & 0x3C) | moveForm);
  // Control and anchor stay as stored.
  out.insert(out.end(), block.bytes.begin() + long(pos + RecordHeadSize(f)),
             block.bytes.begin() + long(pos + size));
  return out;
}

std::optional<StyleBytes> FollowerStyle(const ShapeBlock& block, size_t pos,
                                        const StyleBytes& wasInForce,
                                        const StyleBytes& nowInForce) {
  if (pos >= block.length || block.bytes[pos] == 0 || CarriesStyles(block.bytes[pos]) ||
      wasInForce == nowInForce)
    return std::nullopt;
  return wasInForce;
}

bool RemoveCurrentRun(ShapeBlock& block, uint32_t readPos, const EdgeList& p, const EdgeList& r) {
  EdgeListItem next;
  const size_t nextSize = ReadStoredRecord(block.counted(), readPos, next);
  if (nextSize) {
    // The next run's move was measured from R's end.
    RecordRebuild change;
    change.move = MovePair{next.moveX() + r.last().endX - p.last().endX,
                           next.moveY() + r.last().endY - p.last().endY};
    change.style = FollowerStyle(block, readPos, r.last().style, p.last().style);
    const std::vector<uint8_t> rebuilt = RebuildRecord(block, readPos, change);
    if (rebuilt.empty()) return false;
    block.Splice(r.startOffset, readPos + nextSize, rebuilt);
  } else {
    block.Splice(r.startOffset, readPos, {});
  }
  LowerCount(block, r.count());
  return true;
}

bool RemovePreviousRun(ShapeBlock& block, const EdgeList& p, const EdgeList& r) {
  const EdgeListItem& first = r.items[0];
  RecordRebuild change;
  change.move = MovePair{first.startX - p.penBeforeX(), first.startY - p.penBeforeY()};
  if (!first.carriesStyles() && p.styleBefore != first.style) change.style = first.style;
  const std::vector<uint8_t> rebuilt = RebuildRecord(block, r.startOffset, change);
  if (rebuilt.empty()) return false;
  block.Splice(p.startOffset, r.startOffset + RecordSize(first.flags), rebuilt);
  LowerCount(block, p.count());
  return true;
}

}  // namespace tovrani
