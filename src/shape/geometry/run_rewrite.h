// Rewrites of a ShapeBlock that remove one of two neighbouring runs, and
// the re-encoding of a record's move that keeps later runs at their
// absolute places. Every rewrite leaves the block decoding to its record
// count; a record after the change whose style bytes in force would change
// gets explicit style bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "shape/decode/encoded_shape.h"
#include "shape/geometry/edge_list.h"

namespace tovrani {

struct MovePair {
  int64_t x = 0, y = 0;
};

// The move in the smallest form that holds it exactly: 1 (the value) when
// both |v / 128| are below 256, 3 (v >> 7) when both are below 32768 and
// multiples of 128, else 2 (the value as i32). Appends the pair and
// returns its form; 0 (and nothing appended) when the value does not fit
// 32 bits.
uint8_t AppendMove(std::vector<uint8_t>& out, MovePair move);

struct RecordRebuild {
  std::optional<MovePair> move;    // a new move; none keeps the stored one
  std::optional<StyleBytes> style;  // style bytes to carry; none keeps the stored ones
};
// The record at `pos` with its move and style bytes replaced, its control
// and anchor bytes as stored. Empty when the move does not fit or the
// record is cut short.
std::vector<uint8_t> RebuildRecord(const ShapeBlock& block, size_t pos, const RecordRebuild& change);

// Style bytes the record at `pos` must carry so that it keeps drawing with
// `wasInForce` once `nowInForce` precedes it: none when it carries its own,
// when the two agree, or when no record starts there.
std::optional<StyleBytes> FollowerStyle(const ShapeBlock& block, size_t pos,
                                        const StyleBytes& wasInForce, const StyleBytes& nowInForce);

// Removes the run R just decoded (ending at readPos) that follows the run
// P: the next run's move is measured again from P's end. False, with the
// block unchanged, when that move does not fit 32 bits.
bool RemoveCurrentRun(ShapeBlock& block, uint32_t readPos, const EdgeList& p, const EdgeList& r);
// Removes P: R's first move then starts from the pen before P.
bool RemovePreviousRun(ShapeBlock& block, const EdgeList& p, const EdgeList& r);

// The record count after removing `n` records.
inline void LowerCount(ShapeBlock& block, uint32_t n) {
  block.recordCount = block.recordCount > n ? block.recordCount - n : 0;
}

}  // namespace tovrani
