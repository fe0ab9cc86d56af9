// The tag loop's handlers of DefineShape, DefineShape2, DefineShape3 and
// DefineShape4 (each shape becomes a library symbol whose page holds its
// shape objects) and of DefineMorphShape and DefineMorphShape2.
#pragma once

#include <cstdint>
#include <span>

namespace tovrani {

struct ConverterContext;

// Codes 2, 22, 32 and 83; `body` starts with the character id.
void HandleShapeTag(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body);

// Codes 46 and 84 (the caller checks the "Morph Shape" option); `body`
// starts with the character id. A decoded morph fills the next entry of
// m_pMorphShapes and registers its placements.
void HandleMorphShapeTag(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body);

// After the tag loop: one message for the shapes, one for the morph shapes
// whose movies for the script could not be written (the fallback roads
// they took instead), however many there were.
void ReportUnwrittenImportMovies(ConverterContext& ctx);

// The first shape or morph shape (tag `code`, character `id`) whose movies
// for the script would copy more bitmap bytes (`bytes`, both movies of a
// morph together) than the movie's allowance has left: the road it takes
// instead. The closing line of the budget counts the others.
void ReportRefusedImportCopies(ConverterContext& ctx, uint16_t code, uint16_t id, uint64_t bytes);

}  // namespace tovrani
