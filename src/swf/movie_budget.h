// What a movie may make its conversion decode and write, in proportion to
// the bytes it holds. Sizes and counts a movie declares cost nothing to
// declare: a tag of nine bytes can ask for a bitmap of 64 Mpixel. Each kind
// of such work is charged to an allowance of its own before it is done, so
// that a movie of a few kilobytes can never make a conversion run for
// minutes or write gigabytes. Each allowance gives more per byte than data
// that is all there can ask for, so an honest movie never reaches one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tovrani {

// Decoded bitmap pixels: 16 Mpixel, and 1,100 more per byte of the movie
// (more than zlib or JPEG can pack into a byte).
constexpr uint64_t kPixelAllowance = uint64_t(16) << 20;
constexpr uint64_t kPixelsPerMovieByte = 1100;
// Work units of the shape analysis and the shape builder (records decoded,
// items compared, polygon corners and the pixel rows their edges cross):
// 2^24, or 2^27 when the shape builder runs (the exact problem search on or
// the heuristic one off), and 256 more per byte of the movie. Each object
// has a cap of its own, refilled for every object; this one holds for the
// movie. Real movies need at most 14 units a byte without the builder;
// with it one of 10 KB needs 106 M units (1.4 s of the baseline's time),
// which the fixed part holds. A unit takes 5 to 30 ns.
constexpr uint64_t kShapeWorkAllowance = uint64_t(1) << 24;
constexpr uint64_t kShapeBuilderWorkAllowance = uint64_t(1) << 27;
constexpr uint64_t kShapeWorkPerMovieByte = 256;
// A compressed movie's bytes count at most this many times its file's size:
// zlib turns a small file of zeros into a movie of any length.
constexpr uint64_t kCompressedBytesPerFileByte = 4;

// The movie's bytes as the allowances count them: those after its 8-byte
// header (trailing junk already cut), for a compressed movie at most 4 times
// the size of its file.
uint64_t BudgetedMovieBytes(uint64_t bytesAfterHeader, bool compressed, uint64_t fileBytes);

// One kind of work: a fixed amount plus so much per byte of the movie.
class Allowance {
 public:
  Allowance() = default;  // unbounded: no movie has been read
  Allowance(uint64_t fixed, uint64_t perByte, uint64_t movieBytes);
  // Takes `amount` when that much is left; otherwise takes nothing and
  // counts a refusal. The element refused first is the one to name.
  bool Take(uint64_t amount);
  bool FirstRefusal() const { return refusals_ == 1; }
  // Takes all that is left and counts a refusal: for work charged piece by
  // piece, where the element the allowance gives out on is refused and no
  // later one may start.
  void RefuseRest();
  uint64_t left() const { return left_; }
  uint32_t refusals() const { return refusals_; }

 private:
  uint64_t left_ = UINT64_MAX;
  uint32_t refusals_ = 0;
};

struct MovieBudget {
  MovieBudget() = default;  // unbounded
  // `shapeBuilder`: the shape builder may run (the larger shape work).
  explicit MovieBudget(uint64_t movieBytes, bool shapeBuilder = false);
  Allowance pixels;  // lossless bitmaps and DefineBitsJPEG3, width x height
  Allowance shapeWork;  // shape analysis and building, in work units
};

// The lines that end a movie whose allowances refused more than one
// element: for each kind, its caption and how many more were refused than
// the one named.
struct BudgetLine {
  std::string caption, text;
};
std::vector<BudgetLine> BudgetSummary(const MovieBudget& budget);

}  // namespace tovrani
