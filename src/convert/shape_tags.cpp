#include "convert/shape_tags.h"

#include <string>

#include "fla/layer_records.h"
#include "fla/stream_placement.h"
#include "convert/import_movie.h"
#include "convert/writer_services.h"
#include "shape/decode/define_shape.h"
#include "shape/decode/morph_shape.h"
#include "shape/shape_work.h"
#include "convert/converter_context.h"
#include "convert/placements.h"

namespace tovrani {

namespace {

bool On(const uint8_t* option) { return option && *option; }

// A shape with the id 65535 and a body of exactly this length is left out.
constexpr uint16_t kSkippedShapeId = 0xFFFF;
constexpr size_t kSkippedShapeLength = 219;

constexpr char kCaption[] = "BRASKELON Tovrani";
// The roads a shape and a morph shape take without their movies.
constexpr char kShapeRoad[] = "as with \"Convert Using JSFL Import\" off";
constexpr char kMorphRoad[] = "without them, the start and end shapes as shape symbols of their own";

// "DefineShape 7: its movie ..." for one, "12 shapes (the first DefineShape
// 7): their movies ..." for more.
std::string FallbackText(const ConverterContext::UnwrittenImportMovies& u, const char* kind, const char* its,
                         const char* their, const std::string& road) {
  const std::string first = std::string(ShapeTagName(u.firstCode)) + " " + std::to_string(u.firstId);
  if (u.count == 1) return first + ": " + its + " for the script could not be written; it is converted " + road + ".";
  return std::to_string(u.count) + " " + kind + " (the first " + first + "): " + their +
         " for the script could not be written; they are converted " + road + ".";
}

}  // namespace

void ReportUnwrittenImportMovies(ConverterContext& ctx) {
  if (!ctx.m_pShell) return;
  if (ctx.m_unwrittenShapeMovies.count)
    ctx.m_pShell->ShowMessage(kCaption,
                              FallbackText(ctx.m_unwrittenShapeMovies, "shapes", "its movie", "their movies", kShapeRoad));
  if (ctx.m_unwrittenMorphMovies.count)
    ctx.m_pShell->ShowMessage(
        kCaption, FallbackText(ctx.m_unwrittenMorphMovies, "morph shapes", "its movies", "their movies", kMorphRoad));
}

void ReportRefusedImportCopies(ConverterContext& ctx, uint16_t code, uint16_t id, uint64_t bytes) {
  if (!ctx.m_pShell) return;
  const bool morph = code == 46 || code == 84;
  ctx.m_pShell->ShowMessage(kCaption, RefusedCopiesText(std::string(ShapeTagName(code)) + " " + std::to_string(id), morph, bytes,
                                                        morph ? kMorphRoad : kShapeRoad));
}

// The shape's library item: its number is the character id; the row is
// committed only when the page was placed.
void OpenShapeItem(ConverterContext& cv) {
  cv.m_pStreamItemNo[cv.m_nStreams] = DefinitionItemNo(cv, cv.m_wCurShapeId);
  cv.m_bShapePagePlaced = 0;
}

void CloseShapeItem(ConverterContext& cv) {
  if (cv.m_bShapePagePlaced) {
    // Only a shape whose page went into the document can be placed.
    RegisterPlacedCharacter(cv, cv.m_wCurShapeId, kElementSymbol, cv.m_nStreams);
    CommitSymbolStream(cv, 0);
  }
  cv.m_bShapePagePlaced = 0;
}

void HandleShapeTag(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body) {
  if (body.size() < 2) return;
  ctx.m_wCurShapeId = uint16_t(body[0] | body[1] << 8);
  ctx.m_bShapesOn = On(ctx.m_pOptShape) ? 1 : 0;
  g_shortLayerEndLead = 0;
  if (ctx.m_wCurShapeId == kSkippedShapeId && body.size() == kSkippedShapeLength) return;

  OpenShapeItem(ctx);
  // The JSFL-import road; a shape it cannot take is converted as usual.
  if (On(ctx.m_pOptShapeJsflImport) && On(ctx.m_pOptShape)) {
    const ShapeImport imported = ConvertShapeForJsflImport(ctx, code, body);
    if (imported == ShapeImport::kImported) {
      CloseShapeItem(ctx);
      return;
    }
    // Not a shape refused by the movie's budget: the budget names the first
    // and counts the others.
    if (imported == ShapeImport::kNoMovie) ctx.m_unwrittenShapeMovies.Note(code, ctx.m_wCurShapeId);
  }
  // With the exact search on, the heuristic search runs only for the shapes
  // whose ids the user listed; the state stays with this conversion (the
  // engine gives the user's choice back when the movie ends).
  const bool exact = On(ctx.m_pOptExactProblemSearch);
  uint8_t* heuristic = ctx.m_pOptHeuristicProblemSearch;
  if (exact && heuristic)
    *heuristic = ctx.m_shapeIdRanges.Contains(ctx.m_pStreamItemNo.at(ctx.m_nStreams)) ? 1 : 0;
  ctx.m_bShapePagePlaced = ConvertShapeTag(ctx, code, body.subspan(2));
  if (exact && heuristic) *heuristic = 0;
  CloseShapeItem(ctx);
}

void HandleMorphShapeTag(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body) {
  if (body.size() < 2) return;  // not even a character id
  g_shortLayerEndLead = 0;
  if (ctx.m_pShell) ctx.m_pShell->SetCurrentAction("adding morph shape...");
  // The table's index is 16-bit: a further entry would overwrite the first.
  if (ctx.m_wMorphShapes == 0xFFFF) return;
  if (ctx.m_pMorphShapes.size() <= ctx.m_wMorphShapes) ctx.m_pMorphShapes.resize(ctx.m_wMorphShapes + 1u);
  MorphShapeEntry& entry = ctx.m_pMorphShapes[ctx.m_wMorphShapes];
  entry.wCharacterId = uint16_t(body[0] | body[1] << 8);
  const std::array<uint32_t, 6> offsets{};
  // The JSFL-import way: the start and end shapes become symbols the script
  // fills by importing the morph at ratio 0 and 65535; the entry is counted
  // as on the other roads so that the morph's placements have a morph to
  // show. A morph whose movies cannot be written, or would copy more than
  // the movie's budget allows, takes the exact road, whose two pages are
  // shape symbols of their own.
  bool decoded = false;
  const MorphImport imported = On(ctx.m_pOptShapeJsflImport)
                                   ? ConvertMorphForJsflImport(ctx, entry, code, body)
                                   : MorphImport::kNotTaken;
  if (imported == MorphImport::kNoMovie) ctx.m_unwrittenMorphMovies.Note(code, entry.wCharacterId);
  if (imported == MorphImport::kImported || imported == MorphImport::kRefused)
    decoded = imported == MorphImport::kImported;
  else if (On(ctx.m_pOptShapeJsflImport) || On(ctx.m_pOptExactProblemSearch))
    decoded = ConvertMorphShapeTagExact(ctx, entry, body.subspan(2), offsets, code);
  else
    decoded = ConvertMorphShapeTag(ctx, entry, body.subspan(2), offsets, code);
  if (!decoded) return;  // the next morph reuses the entry
  entry.variants.clear();
  RegisterPlacedCharacter(ctx, entry.wCharacterId, kElementMorphShape, ctx.m_wMorphShapes);
  ++ctx.m_wMorphShapes;
}

}  // namespace tovrani
