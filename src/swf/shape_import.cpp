// The shapes' JSFL-import road: the shape is written into a small movie in
// the document's shapes folder, and its symbol gets an empty page that the
// script fills by importing that movie.
#include <algorithm>
#include <array>
#include <filesystem>

#include "fla/archive.h"
#include "fla/item_names.h"
#include "fla/keyframe_records.h"
#include "fla/layer_records.h"
#include "fla/stream_placement.h"
#include "fla/writer_services.h"
#include "shape/decode/shape_page.h"
#include "swf/converter_context.h"
#include "swf/import_movie.h"
#include "swf/work_folder.h"

namespace tovrani {

namespace {

constexpr const char* kPlaceholderPage = "stte.tmp";

// The player version a shape tag needs; a movie that claims less is raised.
uint8_t ShapeTagVersion(uint16_t code) {
  switch (code) {
    case 22: return 2;
    case 32: return 3;
    case 83: return 8;
    default: return 1;
  }
}

// One layer "Layer 1" with one empty keyframe: the page the script fills.
bool WritePlaceholderPage(std::FILE* page, uint8_t level) {
  std::array<uint8_t, kFileHead.size()> head = kFileHead;
  if (IsNewFlaFormat(level)) head[15] = head[32] = FlaVersionByte(level);
  if (std::fwrite(head.data(), 1, head.size(), page) != head.size()) return false;
  g_shortLayerEndLead = 0;
  if (IsNewFlaFormat(level)) {
    WriteLastEmptyFrameNew(page, 1);
    WriteLayerTailNew(page, "Layer 1", true, false, false, 0, 0);
    WriteLayerEndNew(page, 2);
  } else {
    WriteLastEmptyFrameOld(page, 1);
    WriteLayerTailOld(page, "Layer 1", true, false, false, 0, 0);
    WriteLayerEndOld(page, 2);
  }
  return std::ferror(page) == 0;
}

}  // namespace

bool ConvertShapeForJsflImport(ConverterContext& cv, uint16_t code, std::span<const uint8_t> body) {
  if (!cv.m_pWorkFolder || cv.m_nWriterError || cv.m_strShapesFolder.empty() || body.size() < 2)
    return false;
  const WorkFolder& work = *cv.m_pWorkFolder;

  // The movie first: a shape whose movie cannot be written keeps the
  // ordinary road rather than become an empty symbol.
  std::error_code ec;
  std::filesystem::create_directories(cv.m_strShapesFolder, ec);
  std::string moviePath = cv.m_strShapesFolder;
  if (moviePath.back() != '/') moviePath.push_back('/');
  moviePath += MakeSymbolName(cv.m_wCurSymbolId) + ".swf";
  const uint8_t version = std::max(cv.m_nSwfVersion, ShapeTagVersion(code));
  if (!WriteImportMovie(moviePath, ImportMovieHeader(version, cv.m_rcFrame, cv.m_wFrameRate), code,
                        body, cv.m_wCurShapeId))
    return false;

  bool placed = false;
  {
    FileHandle page(work.file(kPlaceholderPage), "wb+");
    cv.m_pPageStream = page.get();
    placed = page && WritePlaceholderPage(page.get(), cv.m_nFlaFormat) && PlaceShapePage(cv, page.get());
    cv.m_pPageStream = nullptr;
  }
  work.removeFile(kPlaceholderPage);
  if (!placed) {
    std::remove(moviePath.c_str());
    return false;
  }
  cv.m_pJsflShapeIds.push_back(cv.m_pStreamItemNo.at(cv.m_nStreams));
  cv.m_bShapePagePlaced = 1;
  return true;
}

}  // namespace tovrani
