// What one conversion may write in all: its document's streams, its script
// and its import movies, each byte counted once. The allowances of
// swf/movie_budget.h cut the kinds of work they name gracefully; this bound
// holds for whatever writes, named there or not, and crossing it fails the
// conversion.
//
// Bytes are counted where they become part of the result: a finished stream
// where it is placed into the container's work files, the Contents stream as
// it grows, each import movie and each piece of the script. Streams count
// with their share of the container's tables, and the container's fixed part
// is charged when the conversion starts (fla/stream_placement.h). A stream
// still being built (a page or layer work file) is not counted yet, but may
// not grow past what the bound has left. What was counted is a close
// estimate; the set as written is measured against the bound before it is
// committed.
#pragma once

#include <cstdint>

namespace tovrani {

class ContentsStream;
struct FlaContext;

// The engine's result when the document would take more than the movie's
// size allows.
constexpr int kResultDocumentTooLarge = 46;

class WriteBound {
 public:
  // Unbounded until started.
  WriteBound() = default;
  // Bounds the conversion at `limit` bytes from now on; the Contents stream
  // counts with what its length at each look takes in the container.
  void Start(uint64_t limit, const ContentsStream* contents);
  uint64_t limit() const { return limit_; }
  // What may still be written; 0 once crossed.
  uint64_t Left() const;
  // Counts bytes of the result. False, and the bound crossed, when they do
  // not fit in what is left.
  bool Charge(uint64_t bytes);
  // A work file was refused growth past Left().
  void Cross() { crossed_ = true; }
  // Whether a write was refused or the Contents stream grew past the bound.
  bool Crossed();
  // The bytes the written set takes, measured: false, and the bound
  // crossed, when they are past the limit.
  bool Holds(uint64_t written);

 private:
  uint64_t Used() const;

  uint64_t limit_ = UINT64_MAX;
  uint64_t charged_ = 0;
  const ContentsStream* contents_ = nullptr;
  bool crossed_ = false;
};

// The bound of the conversion `ctx` belongs to (held by its work folder);
// null when it has none.
WriteBound* WriteBoundOf(const FlaContext& ctx);
// Whether that bound is crossed: writers stop there.
bool WriteBoundCrossed(const FlaContext& ctx);
// Counts bytes of the result against that bound; false once it is crossed.
bool ChargeWrite(const FlaContext& ctx, uint64_t bytes);

}  // namespace tovrani
