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
// Font glyph data decoded: 128 KB, and 2 bytes more per byte of the movie.
// The glyphs of a font cover disjoint ranges of its tag, so a font decodes
// each of its bytes once; only overlapping offsets ask for more.
constexpr uint64_t kGlyphByteAllowance = uint64_t(128) << 10;
constexpr uint64_t kGlyphBytesPerMovieByte = 2;
// Glyphs made symbols of their own for static texts: 2,048, and 1 more per
// 8 bytes of the movie (a glyph whose offset, code and outline are there
// takes 5 bytes at least, and outlines take far more).
constexpr uint64_t kGlyphSymbolAllowance = 2048;
constexpr uint64_t kMovieBytesPerGlyphSymbol = 8;
// Glyph references of static texts: 16,384, and 2 more per byte of the
// movie (a reference takes its index and its advance, 4 bits and more in
// any text a tool writes).
constexpr uint64_t kGlyphReferenceAllowance = 16384;
constexpr uint64_t kGlyphReferencesPerMovieByte = 2;
// Bytes of text written into text objects, where texts are placed: 32 MB,
// and 20 more per byte of the movie. A placement of a few bytes writes its
// text's characters and styles again, so no per-byte rate holds every
// movie; the fixed part is far above what movies that show their texts a
// sensible number of times write.
constexpr uint64_t kTextObjectByteAllowance = uint64_t(32) << 20;
constexpr uint64_t kTextObjectBytesPerMovieByte = 20;
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
  // An allowance no movie has set: nothing it is asked for is refused.
  bool unbounded() const { return !bounded_; }
  uint64_t left() const { return left_; }
  uint32_t refusals() const { return refusals_; }

 private:
  uint64_t left_ = UINT64_MAX;
  uint32_t refusals_ = 0;
  bool bounded_ = false;
};

struct MovieBudget {
  MovieBudget() = default;  // unbounded
  explicit MovieBudget(uint64_t movieBytes);
  Allowance pixels;  // lossless bitmaps and DefineBitsJPEG3, width x height
  Allowance glyphBytes;       // font glyph data decoded, per glyph
  Allowance glyphSymbols;     // glyphs placed as symbols, per font
  Allowance glyphReferences;  // glyph references a static text keeps
  Allowance textObjectBytes;  // the runs of text objects, per placement
};

// The lines that end a movie whose allowances refused more than one
// element: for each kind, its caption and how many more were refused than
// the one named.
struct BudgetLine {
  std::string caption, text;
};
std::vector<BudgetLine> BudgetSummary(const MovieBudget& budget);

}  // namespace tovrani
