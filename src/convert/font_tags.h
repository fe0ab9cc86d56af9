// The font tags: DefineFont, DefineFont2, DefineFont3, DefineFontInfo,
// DefineFontInfo2, DefineFontAlignZones and CSMTextSettings. They keep one
// font record per font in the conversion's library (name, style, code table,
// glyph outlines, whether the font is installed), the font-layout text of
// the script with its attribute statements, and the list of fonts that are
// not installed; CSMTextSettings goes to the text it names.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "convert/id_row_index.h"

namespace tovrani {

struct ConverterContext;

// The most font records a conversion keeps.
inline constexpr size_t kMaxFontRecords = 65535;

// One of the tags above, by its code, with its body.
void HandleFontTag(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body);

// The first and last font records with the font id, and whether a record
// after the first has a device font's name; nullptr when no record has it.
const IdRowIndex::Rows* FindFontRows(ConverterContext& ctx, uint16_t id);

// "_sans", "_serif" and "_typewriter": the player's own fonts.
bool IsDeviceFontName(std::string_view name);

// Whether a font name counts as installed: some installed family begins
// with it, compared without regard to case (an empty name always does).
bool IsFontInstalled(ConverterContext& ctx, std::string_view name);

// The fonts found not installed, once at the end of the tag loop.
void ReportMissingFonts(ConverterContext& ctx);

// A DefineFont3 name of the form name + "_" + size + "pt_st" cut back to the
// name; true when it was cut.
bool CutSizeSuffix(std::string& name);

}  // namespace tovrani
