#include "swf/movie_budget.h"

#include <algorithm>

namespace tovrani {

namespace {

// a + b * c, held at UINT64_MAX rather than wrapped.
uint64_t SaturatingSum(uint64_t a, uint64_t b, uint64_t c) {
  if (b != 0 && c > (UINT64_MAX - a) / b) return UINT64_MAX;
  return a + b * c;
}

// What the closing line says of one kind: "N more <plural> were <done>:
// <reason>."
struct Kind {
  Allowance MovieBudget::*allowance;
  const char* name;  // the kind of work, for reports of what a movie used
  const char* caption;
  const char* singular;
  const char* plural;
  const char* done;
  const char* reason;
  // The reason where the movie was counted short of all it holds (null:
  // the same reason).
  const char* shortReason = nullptr;
  // Where the budget says the movie was counted short for this kind.
  bool MovieBudget::*countedShort = &MovieBudget::countedShort;
};

constexpr Kind kKinds[] = {
    {&MovieBudget::pixels, "bitmap pixels", "BRASKELON Tovrani Bitmap", "bitmap", "bitmaps", "skipped",
     "the movie declares more image data than it holds", "the movie asks for more image data than its size allows",
     &MovieBudget::pixelsCountedShort},
    {&MovieBudget::importCopies, "import copies", "BRASKELON Tovrani", "shape or text", "shapes and texts",
     "converted without movies for the script", "the movie's bytes allow no more copies of its bitmaps and fonts"},
    {&MovieBudget::jpegTableCopies, "JPEG table copies", "BRASKELON Tovrani Bitmap", "bitmap", "bitmaps", "skipped",
     "the movie's bytes allow no more copies of its JPEG tables"},
    {&MovieBudget::sound, "decoded sound", "BRASKELON Tovrani Sound", "sound", "sounds", "skipped",
     "the movie declares more sound data than it holds", "the movie asks for more sound data than its size allows"},
    {&MovieBudget::soundItems, "sound items", "BRASKELON Tovrani Sound", "sound", "sounds", "skipped",
     "the movie holds more sounds than its size allows"},
    {&MovieBudget::soundLayers, "sound layers", "BRASKELON Tovrani Sound", "sound layer", "sound layers", "skipped",
     "the movie asks for more sound layers than its size allows"},
    {&MovieBudget::shapeWork, "shape work", "BRASKELON Tovrani", "shape", "shapes", "written without the problem search",
     "the movie asks for more shape analysis than its size allows"},
    {&MovieBudget::glyphBytes, "glyph data", "BRASKELON Tovrani", "glyph", "glyphs", "left empty",
     "the movie declares more glyph data than it holds", "the movie asks for more glyph data than its size allows"},
    {&MovieBudget::glyphSymbols, "glyph symbols", "BRASKELON Tovrani", "static text", "static texts", "left out",
     "their fonts declare more glyphs than the movie holds",
     "their fonts ask for more glyphs than the movie's size allows"},
    {&MovieBudget::glyphReferences, "glyph references", "BRASKELON Tovrani", "static text", "static texts", "cut short",
     "the movie declares more glyphs than it holds", "the movie asks for more glyphs than its size allows"},
    {&MovieBudget::textObjectBytes, "text object bytes", "BRASKELON Tovrani", "text placement", "text placements",
     "left without their characters", "the movie places its texts more often than its bytes allow"},
    {&MovieBudget::groupLayers, "group layers", "Rearranging mask layers", "group of nested masks", "groups of nested masks",
     "left on their timelines as ordinary layers", "their layers would take more than the movie holds"},
    {&MovieBudget::videoGaps, "video gaps", "BRASKELON Tovrani Warning", "gap in a video's frame numbers",
     "gaps in videos' frame numbers", "left unfilled", "the frames skip more numbers than the movie holds"},
    {&MovieBudget::videoWalk, "video walk", "BRASKELON Tovrani Warning", "video stream", "video streams",
     "left without frames", "finding their frames would walk the movie's tags more often than the movie holds"},
    {&MovieBudget::morphTweens, "morph tweens", "BRASKELON Tovrani Warning", "run of morph placements", "runs of morph placements",
     "shown through their morph's one tween symbol", "their shape tweens would take more than the movie holds"},
    {&MovieBudget::frameLabels, "frame labels", "BRASKELON Tovrani Warning", "frame label", "frame labels", "left out",
     "the movie puts more labels on its frames than its size allows"},
    {&MovieBudget::tweenPairs, "tween pairs", "BRASKELON Tovrani Warning", "keyframe", "keyframes",
     "kept without a motion tween", "approximating their motion tweens would take more than the movie's size allows"},
    {&MovieBudget::maskPass, "mask pass", "Rearranging mask layers", "timeline", "timelines",
     "kept without further rearranging", "rearranging masks would take more than the movie's size allows"},
};

}  // namespace

uint64_t BudgetedMovieBytes(uint64_t bytesAfterHeader, bool compressed, uint64_t fileBytes) {
  if (!compressed) return bytesAfterHeader;
  return std::min(bytesAfterHeader, SaturatingSum(0, kCompressedBytesPerFileByte, fileBytes));
}

bool MovieCountedShort(uint64_t bytesAfterHeader, bool compressed, uint64_t fileBytes) {
  return BudgetedMovieBytes(bytesAfterHeader, compressed, fileBytes) < bytesAfterHeader;
}

uint64_t BudgetedPixelBytes(uint64_t bytesAfterHeader, bool compressed, uint64_t fileBytes) {
  return compressed ? std::min(bytesAfterHeader, fileBytes) : bytesAfterHeader;
}

namespace {

std::string MoreThanHeld(bool countedShort, const std::string& what) {
  return countedShort ? "the movie asks for more " + what + " than its size allows"
                      : "the movie declares more " + what + " than it holds";
}

}  // namespace

std::string MoreThanTheMovieHolds(const MovieBudget& budget, const std::string& what) {
  return MoreThanHeld(budget.countedShort, what);
}

std::string MoreImageDataThanTheMovieHolds(const MovieBudget& budget) {
  return MoreThanHeld(budget.pixelsCountedShort, "image data");
}

Allowance::Allowance(uint64_t fixed, uint64_t perByte, uint64_t movieBytes)
    : left_(SaturatingSum(fixed, perByte, movieBytes)), given_(left_), fixed_(fixed), bounded_(true) {}

Allowance Allowance::OnePer(uint64_t fixed, uint64_t bytesPerUnit, uint64_t movieBytes) {
  return Allowance(fixed, 1, movieBytes / bytesPerUnit);
}

bool Allowance::Take(uint64_t amount) {
  if (amount > left_) {
    if (refusals_ < UINT32_MAX) ++refusals_;
    return false;
  }
  left_ -= amount;
  return true;
}

void Allowance::RefuseRest() {
  left_ = 0;
  if (refusals_ < UINT32_MAX) ++refusals_;
}

MovieBudget::MovieBudget(uint64_t movieBytes, bool shapeBuilder)
    : pixels(kPixelAllowance, kPixelsPerMovieByte, movieBytes),
      importCopies(kImportCopyAllowance, kImportCopyBytesPerMovieByte, movieBytes),
      jpegTableCopies(kJpegTableCopyAllowance, kJpegTableCopyBytesPerMovieByte, movieBytes),
      sound(kSoundAllowance, kSoundBytesPerMovieByte, movieBytes),
      soundItems(Allowance::OnePer(kSoundItemAllowance, kMovieBytesPerSoundItem, movieBytes)),
      soundLayers(Allowance::OnePer(kSoundLayerAllowance, kMovieBytesPerSoundLayer, movieBytes)),
      shapeWork(shapeBuilder ? kShapeBuilderWorkAllowance : kShapeWorkAllowance,
                shapeBuilder ? kShapeBuilderWorkPerMovieByte : kShapeWorkPerMovieByte, movieBytes),
      glyphBytes(kGlyphByteAllowance, kGlyphBytesPerMovieByte, movieBytes),
      glyphSymbols(Allowance::OnePer(kGlyphSymbolAllowance, kMovieBytesPerGlyphSymbol, movieBytes)),
      glyphReferences(kGlyphReferenceAllowance, kGlyphReferencesPerMovieByte, movieBytes),
      textObjectBytes(kTextObjectByteAllowance, kTextObjectBytesPerMovieByte, movieBytes),
      groupLayers(Allowance::OnePer(kGroupLayerAllowance, kMovieBytesPerGroupLayer, movieBytes)),
      videoGaps(kVideoGapAllowance, kVideoGapsPerMovieByte, movieBytes),
      videoWalk(kVideoWalkAllowance, kVideoWalkPerMovieByte, movieBytes),
      morphTweens(kMorphTweenAllowance, kMorphTweenBytesPerMovieByte, movieBytes),
      frameLabels(Allowance::OnePer(kFrameLabelAllowance, kMovieBytesPerFrameLabel, movieBytes)),
      tweenPairs(kTweenPairAllowance, kTweenPairsPerMovieByte, movieBytes),
      maskPass(kMaskPassAllowance, kMaskPassUnitsPerMovieByte, movieBytes) {}

MovieBudget MovieBudget::Of(uint64_t bytesAfterHeader, bool compressed, uint64_t fileBytes, bool shapeBuilder) {
  MovieBudget budget(BudgetedMovieBytes(bytesAfterHeader, compressed, fileBytes), shapeBuilder);
  const uint64_t pixelBytes = BudgetedPixelBytes(bytesAfterHeader, compressed, fileBytes);
  budget.pixels = Allowance(kPixelAllowance, kPixelsPerMovieByte, pixelBytes);
  budget.countedShort = MovieCountedShort(bytesAfterHeader, compressed, fileBytes);
  budget.pixelsCountedShort = pixelBytes < bytesAfterHeader;
  return budget;
}

std::vector<std::pair<std::string, const Allowance*>> Allowances(const MovieBudget& budget) {
  std::vector<std::pair<std::string, const Allowance*>> all;
  for (const Kind& kind : kKinds) all.emplace_back(kind.name, &(budget.*kind.allowance));
  return all;
}

std::vector<BudgetLine> BudgetSummary(const MovieBudget& budget) {
  std::vector<BudgetLine> lines;
  for (const Kind& kind : kKinds) {
    const uint32_t refusals = (budget.*kind.allowance).refusals();
    if (refusals < 2) continue;
    const uint32_t more = refusals - 1;
    const char* reason = budget.*kind.countedShort && kind.shortReason ? kind.shortReason : kind.reason;
    lines.push_back({kind.caption, std::to_string(more) + " more " + (more == 1 ? kind.singular : kind.plural) +
                                       (more == 1 ? " was " : " were ") + kind.done + ": " + reason + "."});
  }
  return lines;
}

}  // namespace tovrani
