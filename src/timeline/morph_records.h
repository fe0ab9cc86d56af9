// The records of a morph shape in a page: each half's shape-data block and
// the CPicMorphShape object with its segments and curves, the paired style
// tables and the hint list.
#pragma once

#include <cstdint>
#include <cstdio>

#include "fla/class_tags.h"
#include "shape/decode/morph_shape.h"

namespace tovrani {

// Edge count, style tables and edge records of the start (end false) or
// end half.
void WriteMorphHalfBlock(std::FILE* page, const MorphShapeEntry& m, bool end, uint8_t level);

// The CPicMorphShape object, its paired style tables and, with `hints`,
// the hint list (else nothing after the four zero bytes). Pairs of runs of
// which one has no point are left out.
void WriteMorphShapeObject(std::FILE* page, const MorphShapeEntry& m, PageClassState& state,
                           uint8_t level, bool hints);

// The bytes each half's block and the morph object (with its hints, every
// class named in full as on a fresh page) take as the writers lay them out;
// UINT64_MAX each when they cannot be laid out in memory.
MorphShapeEntry::TweenRecordBytes MeasureTweenRecords(const MorphShapeEntry& m, uint8_t level);

}  // namespace tovrani
