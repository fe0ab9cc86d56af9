// The instance record of a placed library symbol: a graphic symbol
// (CPicSymbol), a movie clip (CPicSprite) or a button (CPicButton).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "fla/class_tags.h"
#include "timeline/display_list.h"

namespace tovrani {

struct TimelineContext;

// Play mode of an instance: 2 loop (movie clips, shape tweens, video
// wrappers), 1 play once from an offset, 0 from the start.
uint16_t InstancePlayMode(const TimelineContext& ctx, const PlacementEntry& e, bool shapeTween);

// The alpha percentage shown for an alpha multiplier (256 = 100).
int16_t AlphaPercent(int16_t alphaMultiplier);

// Writes the record of entry e into ctx.m_pPageStream. Kinds other than 1
// (movie clip) and 2 (button) are written as a graphic symbol. shapeTween is
// set when the entry was turned into a shape tween's instance.
void WriteSymbolInstance(TimelineContext& ctx, const PlacementEntry& e, PageClassState& state,
                         bool shapeTween = false);

// A string without its marker: the length (long form when needed) and the
// text, UTF-16LE at level 2, Windows-1252 below.
void PutStringBody(std::FILE* page, std::string_view text, uint8_t level);

// The init-action row of a sprite (the last one), null when none.
const InitActionRecord* FindInitAction(const TimelineContext& ctx, uint16_t spriteId);

// The parameter count and the parameters of a movie clip instance: the
// entry's own, else those of its sprite's init-action row.
void WriteInstanceParams(const TimelineContext& ctx, std::FILE* page, const PlacementEntry& e, uint8_t level);

// One component parameter in the archive layout. In the init-action form a
// parameter of type 5 writes one 00 in place of each value's texts.
void WriteComponentParam(std::FILE* page, const ComponentParam& p, uint8_t level, bool initAction);

}  // namespace tovrani
