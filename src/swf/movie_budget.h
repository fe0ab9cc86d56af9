// What a movie may make its conversion decode and write, in proportion to
// the bytes it holds. Sizes and counts a movie declares cost nothing to
// declare: a tag of nine bytes can ask for a bitmap of 64 Mpixel. Each kind
// of such work is charged to an allowance of its own before it is done, so
// that a movie of a few kilobytes can never make a conversion run for
// minutes or write gigabytes. Each allowance gives more per byte than data
// that is all there can ask for, so an honest movie never reaches one: each
// rate is at least 4 times what a real movie uses beyond the fixed part,
// measured against the movies named beside it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tovrani {

// Decoded bitmap pixels: 16 Mpixel, and 1,100 more per byte of the movie,
// counted for a compressed movie on its file (BudgetedPixelBytes). 1,100
// is more than zlib or JPEG packs into a byte of the movie, but the
// movie's own zlib packs such data again: at four times its file, a
// compressed movie of one-colour bitmaps got 4,400 pixels, some 62 us of
// inflating and deflating again, a byte of file. Real movies decode at
// most 262,144 pixels (1.6 % of the fixed part), and at most 6 a byte in
// the shared corpus. At 4 to 13 ns a pixel, 1,100 a byte of file take at
// most 14 us, within the processor-time bound's 30 (resource_bound.h).
constexpr uint64_t kPixelAllowance = uint64_t(16) << 20;
constexpr uint64_t kPixelsPerMovieByte = 1100;
// Bytes of bitmap, JPEGTables and font tags copied into the small movies the
// script imports: 16 MB, and 100 more per byte of the movie (each bitmap
// and font of the movie copied into a hundred such movies). Real movies
// copy at most 24.4 bytes a byte (2,828 movies from elsewhere; 1.7 in the
// shared corpus).
constexpr uint64_t kImportCopyAllowance = uint64_t(16) << 20;
constexpr uint64_t kImportCopyBytesPerMovieByte = 100;
// Bytes of the JPEGTables put into the medium of every DefineBits: 16 MB,
// and 20 more per byte of the movie. A movie holds its tables once, however
// many DefineBits take them; real movies copy at most 13 KB, which the
// fixed part holds a thousand times over.
constexpr uint64_t kJpegTableCopyAllowance = uint64_t(16) << 20;
constexpr uint64_t kJpegTableCopyBytesPerMovieByte = 20;
// Decoded sound, 44,100 Hz 16-bit stereo as the document keeps it (for an
// MP3, what is decoded for its peaks): 16 MiB, and 340 bytes more per byte
// of the movie (2-bit ADPCM at 5.5 kHz decodes to 128 bytes a byte, an MP3
// of 8 kbit/s to 176 to 192; real movies decode at most 84.4 a byte, a
// movie of 1.6 MB among 2,828 from elsewhere, and 29 in the shared
// corpus). The write bound below (256 a byte of file) may stop the
// conversion before this allowance refuses a sound: in a compressed movie,
// whose sound is counted on up to 4 times its file, and past some 600 KB
// of sound written at more than 256 bytes a byte.
constexpr uint64_t kSoundAllowance = uint64_t(16) << 20;
constexpr uint64_t kSoundBytesPerMovieByte = 340;
// Sound items, one per DefineSound and per stretch of a stream: 2,048, and
// one more per 128 bytes of the movie (a tenth of a second of sound takes
// 100 bytes even at 8 kbit/s, and authored sounds are longer).
constexpr uint64_t kSoundItemAllowance = 2048;
constexpr uint64_t kMovieBytesPerSoundItem = 128;
// Sound layers of the further StartSounds of a frame and of buttons' sounds:
// 1,024, and one more per 16 bytes of the movie (an authored movie starts a
// second sound in one frame of a timeline now and then, not in frame after
// frame, and a button with its sounds takes 30 bytes at least).
constexpr uint64_t kSoundLayerAllowance = 1024;
constexpr uint64_t kMovieBytesPerSoundLayer = 16;
// Work units of the shape analysis and the shape builder (records decoded
// and held, items compared, pairs met, sorts, polygon corners and the pixel
// rows their edges cross): 2^24 and 384 more per byte of the movie, or,
// when the shape builder runs (the exact problem search on or the heuristic
// one off), 2^28 and 5,000 per byte. Each object has a cap of its own,
// refilled for every object; this one holds for the movie. A unit takes 5
// to 15 ns on small shapes and on graphs of millions of edges alike, and
// what a shape holds past 32 MiB is charged by the memory it takes
// (shape_work.h; a shape of the shared corpus holds 16 MB at most, and
// pays nothing for it). Each rate is at least 4 times the most a real movie of
// 16 KB or more uses a byte: without the builder 28 (the shared corpus)
// and some 88 over 2,828 movies from elsewhere (37.5 before graphs, sorts
// and the rows walked were priced, which raised real movies' counts 1.5 to
// 2.4 times); with it 1,211 (a movie of 54 KB) and some 700 (a game of
// 2.4 MB). The fixed parts hold the smaller movies: the largest use, 196 M
// units for a movie of 10 KB (1.5 s), is 73 % of 2^28.
// At up to 15 ns a unit, 5,000 units a byte of a movie counted at up to 4
// times its file grant 300 µs a byte of file, far past the processor-time
// bound's 30 µs (platform/resource_bound.h): while the builder may run,
// that bound gains 300 µs a byte, so that this allowance, not the bound,
// decides what is cut.
constexpr uint64_t kShapeWorkAllowance = uint64_t(1) << 24;
constexpr uint64_t kShapeBuilderWorkAllowance = uint64_t(1) << 28;
constexpr uint64_t kShapeWorkPerMovieByte = 384;
constexpr uint64_t kShapeBuilderWorkPerMovieByte = 5000;
// Font glyph data decoded: 128 KB, and 4 bytes more per byte of the movie.
// The glyphs of a font cover disjoint ranges of its tag, so a font decodes
// each of its bytes once (a movie of nothing but fonts, one a byte); only
// overlapping offsets ask for more. Real movies of the shared corpus decode
// at most 0.8 a byte.
constexpr uint64_t kGlyphByteAllowance = uint64_t(128) << 10;
constexpr uint64_t kGlyphBytesPerMovieByte = 4;
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
// and 100 more per byte of the movie. A placement of a few bytes writes its
// text's characters and styles again, so no per-byte rate holds every
// movie; real movies write at most 24 bytes a byte (2,828 movies from
// elsewhere; 0.1 in the shared corpus), and the fixed part is far above
// what movies that show their texts a sensible number of times write.
constexpr uint64_t kTextObjectByteAllowance = uint64_t(32) << 20;
constexpr uint64_t kTextObjectBytesPerMovieByte = 100;
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
// it show frames of their morph's one ratio symbol. Real movies of the
// shared corpus write at most 1.3 a byte (6.8 for one of 1 KB, which the
// fixed part holds).
constexpr uint64_t kMorphTweenAllowance = uint64_t(16) << 20;
constexpr uint64_t kMorphTweenBytesPerMovieByte = 20;
// Frame labels after the first of a frame, each a "Labels" layer of its
// own (some 200 bytes of document): 1,024, and one more per 16 bytes of the
// movie. No real movie puts two labels on one frame; a FrameLabel takes 4
// bytes at least, so a movie of nothing but labels keeps a quarter of them.
constexpr uint64_t kFrameLabelAllowance = 1024;
constexpr uint64_t kMovieBytesPerFrameLabel = 16;
// Channel pairs the motion-tween approximation tests ("Approximate Motion
// Tweens..." on), each step of a run against every distinct earlier step
// of it, 12 x 12 a comparison: 2^26, and 512 more per byte of the movie.
// A pair takes 1 to 1.5 ns. Real movies test at most 10.6 a byte (the
// shared corpus, with the option on and the slider anywhere), and long
// eased tweens as the authoring tool writes them some 6, their rounded
// steps seldom differing; a run of 1,000 steps that all differ, in
// proportion, tests 72 M, which one 30 KB sprite of such steps still gets.
constexpr uint64_t kTweenPairAllowance = uint64_t(1) << 26;
constexpr uint64_t kTweenPairsPerMovieByte = 512;
// Work units of the depth and mask-layer pass (timeline/depth_table.h):
// 2^24, one timeline at its own cap, and 128 more per byte of the movie.
// Every timeline has that cap afresh; this one holds for the movie, whose
// sprites would otherwise each spend a cap of their own. A timeline without
// a mask that stays off the cycles pays nothing. Real movies of the shared
// corpus spend at most 31 units a movie and 25 a timeline, all within the
// fixed part; movies made with many masked timelines (a hundred sprites,
// each a mask moved or replaced in every frame over 20 to 200 layers, or
// five to thirty nested masks in a frame) spend 0.2 to 21 a byte. A unit
// takes 2 to 10 ns, so 128 a byte of a movie counted at up to 4 times its
// file grant at most some 5 µs a byte of file, within the processor-time
// bound's 30 (resource_bound.h); a compressed movie of 100 KB whose sprites
// ask for all of it (1,500 masks each) spends some 70 M units, 0.3 s.
constexpr uint64_t kMaskPassAllowance = uint64_t(1) << 24;
constexpr uint64_t kMaskPassUnitsPerMovieByte = 128;
// A compressed movie's bytes count at most this many times its file's size:
// zlib turns a small file of zeros into a movie of any length.
constexpr uint64_t kCompressedBytesPerFileByte = 4;

// Four bounds hold whatever does the work, named above or not, and fail the
// conversion past them: the two below, and the processor time and heap a
// conversion may spend (platform/resource_bound.h, where every layer can
// look at them). A compressed movie may declare at most 1 MiB and 64
// bytes more per byte of its file: real compressed movies inflate at most
// 18.3 times their file (one of 132 bytes), at most 14.5 times for every
// file over 10 KB, and the largest declares 3.6 MB.
constexpr uint64_t kInflationAllowance = uint64_t(1) << 20;
constexpr uint64_t kInflatedBytesPerFileByte = 64;
// A conversion may write (document, script and import movies) at most 64
// MiB and 256 bytes more per byte of the movie's file as the user gave it:
// real movies write at most 16.7 MB, and at most 38 bytes a byte for every
// file over 10 KB; 2-bit ADPCM, the largest honest expansion, takes 128.
constexpr uint64_t kWriteAllowance = uint64_t(64) << 20;
constexpr uint64_t kWrittenBytesPerFileByte = 256;
inline uint64_t MaxDeclaredInflatedBytes(uint64_t fileBytes) {
  return kInflationAllowance + kInflatedBytesPerFileByte * fileBytes;
}
inline uint64_t MaxWrittenBytes(uint64_t fileBytes, uint64_t fixed = kWriteAllowance) {
  return fixed + kWrittenBytesPerFileByte * fileBytes;
}

// The movie's bytes as the allowances count them: those after its 8-byte
// header (trailing junk already cut), for a compressed movie at most 4 times
// the size of its file.
uint64_t BudgetedMovieBytes(uint64_t bytesAfterHeader, bool compressed, uint64_t fileBytes);
// Whether those are fewer than the movie holds: a compressed movie that
// inflates to more than 4 times its file.
bool MovieCountedShort(uint64_t bytesAfterHeader, bool compressed, uint64_t fileBytes);
// The movie's bytes as the pixel allowance counts them: for a compressed
// movie at most the size of its file.
uint64_t BudgetedPixelBytes(uint64_t bytesAfterHeader, bool compressed, uint64_t fileBytes);

// One kind of work: a fixed amount plus so much per byte of the movie.
class Allowance {
 public:
  Allowance() = default;  // unbounded: no movie has been read
  Allowance(uint64_t fixed, uint64_t perByte, uint64_t movieBytes);
  // A fixed amount and one more per `bytesPerUnit` bytes of the movie.
  static Allowance OnePer(uint64_t fixed, uint64_t bytesPerUnit, uint64_t movieBytes);
  // Takes `amount` when that much is left; otherwise takes nothing and
  // counts a refusal. The element refused first is the one to name.
  bool Take(uint64_t amount);
  bool FirstRefusal() const { return refusals_ == 1; }
  // Takes all that is left and counts a refusal: for work charged piece by
  // piece, where the element the allowance gives out on is refused and no
  // later one may start.
  void RefuseRest();
  // An allowance no movie has set: nothing it is asked for is refused.
  bool unbounded() const { return !bounded_; }
  uint64_t left() const { return left_; }
  uint32_t refusals() const { return refusals_; }
  // What the movie's bytes gave, the fixed part of it, and what was taken:
  // what a real movie uses, against what the rates give it.
  uint64_t given() const { return given_; }
  uint64_t fixed() const { return fixed_; }
  uint64_t used() const { return given_ - left_; }

 private:
  uint64_t left_ = UINT64_MAX;
  uint64_t given_ = UINT64_MAX;
  uint64_t fixed_ = UINT64_MAX;
  uint32_t refusals_ = 0;
  bool bounded_ = false;
};

struct MovieBudget {
  MovieBudget() = default;  // unbounded
  // `shapeBuilder`: the shape builder may run (the larger shape work).
  explicit MovieBudget(uint64_t movieBytes, bool shapeBuilder = false);
  // The budget of a movie of `bytesAfterHeader` bytes after its header,
  // from a file of `fileBytes`: each allowance counts the movie's bytes as
  // its rate was measured, and says where they were counted short.
  static MovieBudget Of(uint64_t bytesAfterHeader, bool compressed, uint64_t fileBytes, bool shapeBuilder);
  Allowance pixels;           // lossless bitmaps and DefineBitsJPEG3, width x height
  Allowance importCopies;     // bitmap and font bytes copied into movies for the script
  Allowance jpegTableCopies;  // JPEGTables bytes copied into the media of DefineBits
  Allowance sound;            // decoded sound bytes
  Allowance soundItems;       // sound library items
  Allowance soundLayers;      // layers of further StartSounds in a frame and of button sounds
  Allowance shapeWork;        // shape analysis and building, in work units
  Allowance glyphBytes;       // font glyph data decoded, per glyph
  Allowance glyphSymbols;     // glyphs placed as symbols, per font
  Allowance glyphReferences;  // glyph references a static text keeps
  Allowance textObjectBytes;  // the runs of text objects, per placement
  Allowance groupLayers;      // layers written on the pages of groups of nested masks
  Allowance videoGaps;        // entries written for missing video frame numbers
  Allowance videoWalk;        // tags the search for video frames walks
  Allowance morphTweens;      // bytes of the shape tween symbols of morph runs
  Allowance frameLabels;      // labels of a frame after its first, a layer each
  Allowance tweenPairs;       // channel pairs the motion-tween approximation tests
  Allowance maskPass;         // the depth and mask-layer pass, in work units
  // The movie's bytes were counted short of all it holds (MovieCountedShort):
  // what it declares may all be there, so a refusal says that it asks for
  // more than its size allows rather than that it declares more than it
  // holds.
  bool countedShort = false;
  // The same for the pixels, which a compressed movie counts on its file.
  bool pixelsCountedShort = false;
};

// The lines that end a movie whose allowances refused more than one
// element: for each kind, its caption and how many more were refused than
// the one named.
struct BudgetLine {
  std::string caption, text;
};
std::vector<BudgetLine> BudgetSummary(const MovieBudget& budget);

// Every allowance of the budget, by the name of its kind of work.
std::vector<std::pair<std::string, const Allowance*>> Allowances(const MovieBudget& budget);

// Why an element was refused that asks for more `what` ("image data",
// "sound data", ...) than the movie holds, as the budget can tell it.
std::string MoreThanTheMovieHolds(const MovieBudget& budget, const std::string& what);
// The same for bitmaps refused their pixels.
std::string MoreImageDataThanTheMovieHolds(const MovieBudget& budget);

}  // namespace tovrani
