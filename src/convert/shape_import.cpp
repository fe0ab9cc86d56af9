// The shapes' JSFL-import road: the shape is written into a small movie in
// the document's shapes folder, and its symbol gets an empty page that the
// script fills by importing that movie. A morph shape's start and end
// shapes become two such symbols, each importing the morph at one ratio.
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "fla/archive.h"
#include "fla/item_names.h"
#include "fla/stream_placement.h"
#include "convert/writer_services.h"
#include "shape/decode/morph_shape.h"
#include "shape/decode/shape_bitmap_ids.h"
#include "shape/decode/shape_page.h"
#include "shape/decode/zero_alpha.h"
#include "convert/converter_context.h"
#include "convert/output_set.h"
#include "convert/import_movie.h"
#include "convert/shape_tags.h"
#include "fla/work_folder.h"
#include "platform/resource_bound.h"

namespace tovrani {

namespace {

constexpr const char* kPlaceholderPage = "stte.tmp";
// The bitmap id of a fill without a bitmap.
constexpr uint16_t kNoBitmap = 0xFFFF;

// The player version a shape tag needs; a movie that claims less is raised.
uint8_t ShapeTagVersion(uint16_t code) {
  switch (code) {
    case 22: return 2;
    case 32: return 3;
    case 46: return 3;
    case 83: return 8;
    case 84: return 8;
    default: return 1;
  }
}

// The bitmap tags of the work copy with the ids `ids` (each once), with the
// JPEGTables tag when one of them is a DefineBits, in file order. Bitmaps
// not met yet (defined after the shape) are left out.
std::vector<ConverterContext::MovieTag> BitmapCopies(const ConverterContext& cv, std::span<const uint16_t> ids) {
  std::vector<ConverterContext::MovieTag> tags;
  bool needsTables = false;
  for (uint16_t id : ids) {
    const auto it = cv.m_bitmapTags.find(id);
    if (id == kNoBitmap || it == cv.m_bitmapTags.end()) continue;
    tags.push_back(it->second);
    needsTables = needsTables || it->second.code == 6;
  }
  if (needsTables && cv.m_jpegTablesTag.size) tags.push_back(cv.m_jpegTablesTag);
  std::sort(tags.begin(), tags.end(), [](const auto& a, const auto& b) { return a.offset < b.offset; });
  return tags;
}

// Each id counts once, so the copies add up to no more than the movie.
uint64_t CopiedBytes(std::span<const ConverterContext::MovieTag> tags) {
  uint64_t total = 0;
  for (const auto& tag : tags) total += tag.size;
  return total;
}

// Charges the bytes the element's movies copy (`copies` movies of `bytes`
// each) to the movie's allowance before any is built. False when they would
// overdraw it: the element takes its road without movies, the first such
// one named.
bool ChargeCopies(ConverterContext& cv, uint16_t code, uint16_t id, uint64_t bytes, uint64_t copies) {
  if (cv.m_budget.importCopies.Take(bytes * copies)) return true;
  if (cv.m_budget.importCopies.FirstRefusal()) ReportRefusedImportCopies(cv, code, id, bytes * copies);
  return false;
}

// Appends the bitmap tags `tags` of the work copy to `head`. False when they
// cannot be read.
bool AppendBitmapTags(const ConverterContext& cv, std::span<const ConverterContext::MovieTag> tags,
                      std::vector<uint8_t>& head) {
  if (tags.empty()) return true;
  // The movie must still fit its 32-bit length.
  const uint64_t total = head.size() + CopiedBytes(tags);
  if (total > 0xFFFFFFFFu) return false;
  try {
    head.reserve(size_t(total));
  } catch (const std::bad_alloc&) {
    // Past the memory bound the conversion ends with the bound's result.
    if (ResourceBoundCrossed()) throw;
    return false;
  }
  // A handle of its own: the tag loop's position in the movie stays.
  FileHandle movie(cv.m_strSwfWorkPath, "rb");
  if (!movie) return false;
  for (const auto& tag : tags) {
    const size_t at = head.size();
    head.resize(at + size_t(tag.size));
    if (std::fseek(movie.get(), long(tag.offset), SEEK_SET) != 0 ||
        std::fread(head.data() + at, 1, tag.size, movie.get()) != tag.size)
      return false;
  }
  return true;
}

// The movie "`name`.swf" in the shapes folder, under its staged name: the
// bitmap tags `bitmaps` first (the import loses fills whose bitmap comes
// later), then the tag `code` with `body` (from its character id on),
// placed once, at `ratio` when given. Its staged path, or "" when the movie
// cannot be written (nothing is left staged then).
std::string StageShapeMovie(ConverterContext& cv, const std::string& name, uint16_t code,
                            std::span<const uint8_t> body, std::span<const ConverterContext::MovieTag> bitmaps,
                            std::optional<uint16_t> ratio) {
  const uint8_t version = std::max(cv.m_nSwfVersion, ShapeTagVersion(code));
  std::vector<uint8_t> head = ImportMovieHeader(version, cv.m_rcFrame, cv.m_wFrameRate);
  const uint16_t characterId = uint16_t(body[0] | body[1] << 8);
  if (!AppendBitmapTags(cv, bitmaps, head)) return {};
  const std::optional<std::vector<uint8_t>> movie = BuildImportMovie(head, code, body, characterId, ratio);
  // Written beside its final name, renamed in with the document.
  return movie ? StageImportMovie(cv, kShapesFolder, name + ".swf", *movie) : std::string();
}

// The empty page of the symbol the script fills, placed for row m_nStreams
// (whose item number the caller has stored). False when it failed.
bool PlacePlaceholderPage(ConverterContext& cv) {
  const WorkFolder& work = *cv.m_pWorkFolder;
  bool placed = false;
  {
    FileHandle page(work.file(kPlaceholderPage), "wb+");
    cv.m_pPageStream = page.get();
    placed = page && WritePlaceholderPage(page.get(), cv.m_nFlaFormat, "Layer 1", false) && PlaceShapePage(cv, page.get());
    cv.m_pPageStream = nullptr;
  }
  work.removeFile(kPlaceholderPage);
  return placed;
}

// The bitmaps a decoded morph's fills and line fills use, each once.
std::vector<uint16_t> MorphBitmapIds(const MorphShapeEntry& entry) {
  std::vector<uint16_t> ids;
  const auto add = [&ids](const MorphFillStyle& f) {
    if (f.type >= 0x40 && f.type <= 0x43) ids.push_back(f.bitmapId);
  };
  for (const MorphFillStyle& f : entry.pFillStyles) add(f);
  for (const MorphLineStyle& l : entry.pLineStyles)
    if (l.hasFill) add(l.fill);
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

}  // namespace

ShapeImport ConvertShapeForJsflImport(ConverterContext& cv, uint16_t code, std::span<const uint8_t> body) {
  if (!cv.m_pWorkFolder || cv.m_nWriterError || cv.m_strShapesFolder.empty() || body.size() < 2)
    return ShapeImport::kNotTaken;

  // The movie first: a shape whose movie cannot be written keeps the
  // ordinary road rather than become an empty symbol.
  // The movie's DefineShape3 has its fully transparent colours raised to
  // alpha 1 for the import; the document keeps the movie's own colours.
  std::vector<uint8_t> imported(body.begin(), body.end());
  if (code == 32) FixZeroAlpha(std::span<uint8_t>(imported).subspan(2));
  const auto bitmaps = BitmapCopies(cv, ShapeBitmapIds(code, body.subspan(2)));
  const uint16_t id = uint16_t(body[0] | body[1] << 8);
  if (!ChargeCopies(cv, code, id, CopiedBytes(bitmaps), 1)) return ShapeImport::kOverBudget;
  const std::string moviePath =
      StageShapeMovie(cv, MakeSymbolName(cv.m_wCurSymbolId), code, imported, bitmaps, std::nullopt);
  if (moviePath.empty()) return ShapeImport::kNoMovie;
  if (!PlacePlaceholderPage(cv)) {
    DropStagedFile(cv, moviePath);
    return ShapeImport::kNotTaken;
  }
  cv.m_pJsflShapeIds.push_back(cv.m_pStreamItemNo.at(cv.m_nStreams));
  cv.m_bShapePagePlaced = 1;
  return ShapeImport::kImported;
}

MorphImport ConvertMorphForJsflImport(ConverterContext& cv, MorphShapeEntry& entry, uint16_t code,
                                      std::span<const uint8_t> body) {
  if (!cv.m_pWorkFolder || cv.m_nWriterError || cv.m_strShapesFolder.empty() || body.size() < 2)
    return MorphImport::kNotTaken;
  // The import gets the DefineMorphShape with its fully transparent colours
  // raised to alpha 1; the document keeps the movie's own. A body whose
  // walk does not reach its end is not one to hand the authoring tool in
  // part: the morph takes the exact road.
  std::vector<uint8_t> imported(body.begin(), body.end());
  if (code == 46 && !FixMorphZeroAlpha(std::span<uint8_t>(imported).subspan(2)))
    return MorphImport::kNotTaken;

  const std::array<uint32_t, 6> offsets{};
  if (!DecodeMorphShapeTag(cv, entry, body.subspan(2), offsets, code)) return MorphImport::kRefused;

  // Both movies before either page: a morph whose movies cannot both be
  // written keeps the exact road whole. The start shape is the morph at
  // ratio 0, the end shape at ratio 65535; the pages are committed in that
  // order, so the end's symbol number follows the start's.
  const auto bitmaps = BitmapCopies(cv, MorphBitmapIds(entry));
  if (!ChargeCopies(cv, code, entry.wCharacterId, CopiedBytes(bitmaps), 2)) return MorphImport::kOverBudget;
  std::array<std::string, 2> movies;
  for (int half = 0; half < 2; ++half) {
    const std::string name = MakeSymbolName(uint16_t(cv.m_wCurSymbolId + half));
    const uint16_t ratio = half == 0 ? 0 : 0xFFFF;
    movies[size_t(half)] = StageShapeMovie(cv, name, code, imported, bitmaps, ratio);
    if (movies[size_t(half)].empty()) {
      if (half == 1) DropStagedFile(cv, movies[0]);
      return MorphImport::kNoMovie;
    }
  }
  for (int half = 0; half < 2; ++half) {
    uint16_t& itemNo = half == 0 ? entry.wStartItemNo : entry.wEndItemNo;
    if (!TakeItemNo(cv, itemNo)) {
      for (int h = half; h < 2; ++h) DropStagedFile(cv, movies[size_t(h)]);
      return MorphImport::kRefused;
    }
    cv.m_pStreamItemNo[cv.m_nStreams] = itemNo;
    if (!PlacePlaceholderPage(cv)) {
      for (int h = half; h < 2; ++h) DropStagedFile(cv, movies[size_t(h)]);
      return MorphImport::kRefused;
    }
    CommitSymbolStream(cv, 0);
    cv.m_pJsflShapeIds.push_back(itemNo);
  }
  return MorphImport::kImported;
}

}  // namespace tovrani
