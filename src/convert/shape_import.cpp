// The shapes' JSFL-import road: the shape is written into a small movie in
// the document's shapes folder, and its symbol gets an empty page that the
// script fills by importing that movie.
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <new>
#include <vector>

#include "fla/archive.h"
#include "fla/item_names.h"
#include "fla/stream_placement.h"
#include "convert/writer_services.h"
#include "shape/decode/shape_bitmap_ids.h"
#include "shape/decode/shape_page.h"
#include "shape/decode/zero_alpha.h"
#include "convert/converter_context.h"
#include "convert/output_set.h"
#include "convert/import_movie.h"
#include "fla/work_folder.h"

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
    case 83: return 8;
    default: return 1;
  }
}

// Appends to `head` the bitmap tags of "ffsp" that the shape's fills use,
// with the JPEGTables tag when one of them is a DefineBits, in file order.
// Bitmaps not copied yet (defined after the shape) are left out. False when
// "ffsp" cannot be read.
bool AppendBitmapTags(const ConverterContext& cv, uint16_t code, std::span<const uint8_t> body,
                      std::vector<uint8_t>& head) {
  std::vector<ConverterContext::SideCopyTag> tags;
  bool needsTables = false;
  for (uint16_t id : ShapeBitmapIds(code, body.subspan(2))) {
    const auto it = cv.m_bitmapSideCopies.find(id);
    if (id == kNoBitmap || it == cv.m_bitmapSideCopies.end()) continue;
    tags.push_back(it->second);
    needsTables = needsTables || it->second.code == 6;
  }
  if (needsTables && cv.m_jpegTablesSideCopy.size) tags.push_back(cv.m_jpegTablesSideCopy);
  if (tags.empty()) return true;
  std::sort(tags.begin(), tags.end(),
            [](const auto& a, const auto& b) { return a.offset < b.offset; });

  // Each id counts once, so the copies add up to no more than "ffsp"; the
  // movie must still fit its 32-bit length.
  uint64_t total = head.size();
  for (const auto& tag : tags) total += tag.size;
  if (total > 0xFFFFFFFFu) return false;
  try {
    head.reserve(size_t(total));
  } catch (const std::bad_alloc&) {
    return false;
  }
  FileHandle copies(cv.m_pWorkFolder->file("ffsp"), "rb");
  if (!copies) return false;
  for (const auto& tag : tags) {
    const size_t at = head.size();
    head.resize(at + size_t(tag.size));
    if (std::fseek(copies.get(), long(tag.offset), SEEK_SET) != 0 ||
        std::fread(head.data() + at, 1, tag.size, copies.get()) != tag.size)
      return false;
  }
  return true;
}

}  // namespace

bool ConvertShapeForJsflImport(ConverterContext& cv, uint16_t code, std::span<const uint8_t> body) {
  if (!cv.m_pWorkFolder || cv.m_nWriterError || cv.m_strShapesFolder.empty() || body.size() < 2)
    return false;
  const WorkFolder& work = *cv.m_pWorkFolder;

  // The movie first: a shape whose movie cannot be written keeps the
  // ordinary road rather than become an empty symbol.
  // Written beside its final name, renamed in with the document.
  const std::string moviePath = StageImportMovie(cv, cv.m_strShapesFolder, MakeSymbolName(cv.m_wCurSymbolId) + ".swf");
  if (moviePath.empty()) return false;
  const uint8_t version = std::max(cv.m_nSwfVersion, ShapeTagVersion(code));
  // The bitmaps the fills use come before the shape, or the import loses them.
  std::vector<uint8_t> head = ImportMovieHeader(version, cv.m_rcFrame, cv.m_wFrameRate);
  // The movie's DefineShape3 has its fully transparent colours raised to
  // alpha 1 for the import; the document keeps the movie's own colours.
  std::vector<uint8_t> imported(body.begin(), body.end());
  if (code == 32) FixZeroAlpha(std::span<uint8_t>(imported).subspan(2));
  if (!AppendBitmapTags(cv, code, body, head) ||
      !WriteImportMovie(moviePath, head, code, imported, cv.m_wCurShapeId)) {
    DropStagedFile(cv, moviePath);
    return false;
  }

  bool placed = false;
  {
    FileHandle page(work.file(kPlaceholderPage), "wb+");
    cv.m_pPageStream = page.get();
    placed = page && WritePlaceholderPage(page.get(), cv.m_nFlaFormat, "Layer 1", false) && PlaceShapePage(cv, page.get());
    cv.m_pPageStream = nullptr;
  }
  work.removeFile(kPlaceholderPage);
  if (!placed) {
    DropStagedFile(cv, moviePath);
    return false;
  }
  cv.m_pJsflShapeIds.push_back(cv.m_pStreamItemNo.at(cv.m_nStreams));
  cv.m_bShapePagePlaced = 1;
  return true;
}

}  // namespace tovrani
