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
// Layers of the symbols made for groups of nested masks: 4,096, and one
// more per 32 bytes of the movie. A group's page repeats a layer (some 680
// bytes of document) for every depth it covers, however few bytes placed
// the group: one layer per 32 bytes keeps that near 20 bytes of document a
// byte. Groups past it stay on their timelines as ordinary layers.
constexpr uint64_t kGroupLayerAllowance = 4096;
constexpr uint64_t kMovieBytesPerGroupLayer = 32;
// Entries of the missing frame numbers of video streams (17 bytes each):
// 65,536, one stream's worth, and one more per byte of the movie. Frames
// numbered one after the other need none.
constexpr uint64_t kVideoGapAllowance = 65536;
constexpr uint64_t kVideoGapsPerMovieByte = 1;
// Tags walked by the search for video frames: 1 Mi, and 2 per byte of the
// movie (a tag takes two bytes at least). A movie walked once never comes
// near it; one whose tags read one way for the tag loop and another for the
// search makes the search start again at each stream.
constexpr uint64_t kVideoWalkAllowance = uint64_t(1) << 20;
constexpr uint64_t kVideoWalkPerMovieByte = 2;
// Document bytes of the shape tween symbols made for runs of morph
// placements: 16 MB, and 20 per byte of the movie. Each run writes the
// morph's whole geometry again, for a placement of a few bytes; runs past
// it show frames of their morph's one ratio symbol.
constexpr uint64_t kMorphTweenAllowance = uint64_t(16) << 20;
constexpr uint64_t kMorphTweenBytesPerMovieByte = 20;
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
  uint64_t left() const { return left_; }
  uint32_t refusals() const { return refusals_; }

 private:
  uint64_t left_ = UINT64_MAX;
  uint32_t refusals_ = 0;
};

struct MovieBudget {
  MovieBudget() = default;  // unbounded
  explicit MovieBudget(uint64_t movieBytes);
  Allowance pixels;  // lossless bitmaps and DefineBitsJPEG3, width x height
  Allowance groupLayers;  // layers written on the pages of groups of nested masks
  Allowance videoGaps;    // entries written for missing video frame numbers
  Allowance videoWalk;    // tags the search for video frames walks
  Allowance morphTweens;  // bytes of the shape tween symbols of morph runs
};

// The lines that end a movie whose allowances refused more than one
// element: for each kind, its caption and how many more were refused than
// the one named.
struct BudgetLine {
  std::string caption, text;
};
std::vector<BudgetLine> BudgetSummary(const MovieBudget& budget);

}  // namespace tovrani
