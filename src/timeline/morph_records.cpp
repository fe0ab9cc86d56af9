#include "timeline/morph_records.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "fla/archive.h"

namespace tovrani {

namespace {

void PutBlock(std::FILE* page, const ByteWriter& w) { PutBytes(page, w.bytes().data(), w.size()); }

void WriteLineRecord(std::FILE* page, const MorphLineStyle& m, bool end, uint8_t level) {
  const uint32_t colour = end ? m.endColor : m.startColor;
  PutU32(page, colour);
  PutU16(page, end ? m.endWidth : m.startWidth);
  PutZeros(page, 4);
  if (!IsNewFlaFormat(level)) return;
  const uint8_t f0 = m.flags0, f1 = m.flags1;
  PutU8(page, f0 & 1);
  PutU8(page, uint8_t((f0 & 6) >> 1));
  PutU8(page, (f0 & 0x40) && (f1 & 1) ? 0 : (f0 & 0x80) && (f1 & 2) ? 2 : 1);
  PutU8(page, (f0 & 0x20) ? 0 : (f0 & 0x10) ? 2 : 1);
  PutU8(page, 0);
  PutU8(page, uint8_t((m.miterLimit >> 8) | ((f1 & 4) ? 0x10 : 0)));
  PutU32(page, colour);
  if (!(f0 & 8)) {
    PutU16(page, 0);
    return;
  }
  ByteWriter fill;
  EncodeFillStyle(fill, MorphHalfFill(m.fill, end), level);
  PutBlock(page, fill);
}

// The hint list: a CObList of CMorphHintItem records.
void WriteHints(std::FILE* page, const MorphShapeEntry& m, const PageClassState& s) {
  if (m.wHints == 0 || m.pHints.empty()) {
    PutU16(page, 0);
    return;
  }
  WriteNewClassTag(page, "CObList", 0);
  PutU16(page, uint16_t(m.pHints.size()));
  WriteNewClassTag(page, "CMorphHintItem", 1);
  // The item class's index counts every class and object before it.
  uint64_t index = 0x8009 + uint64_t{s.frames} + s.layers;
  for (uint32_t count : {s.symbols, s.buttons, s.texts, s.shapes, s.sprites})
    if (count > 0) index += uint64_t{count} + 1;
  if (s.morphShapes > 0) index += uint64_t{s.morphShapes} + s.morphSegments + s.morphCurves + 3;
  for (size_t i = 0; i < m.pHints.size(); ++i) {
    PutBytes(page, m.pHints[i].data(), m.pHints[i].size());
    if (i + 1 < m.pHints.size()) PutU16(page, uint16_t(index));
  }
}

void PutCurveWords(std::FILE* page, const MorphCurveData& c) {
  for (int32_t w : {c.w0, c.w2, c.w1, c.w3}) PutU32(page, uint32_t(w));
}

}  // namespace

void WriteMorphHalfBlock(std::FILE* page, const MorphShapeEntry& m, bool end, uint8_t level) {
  PutU16(page, end ? m.wEndEdgeCount : m.wStartEdgeCount);
  PutU16(page, 0);
  PutU16(page, m.wFillStyles);
  ByteWriter fills;
  for (const MorphFillStyle& f : m.pFillStyles) EncodeFillStyle(fills, MorphHalfFill(f, end), level);
  PutBlock(page, fills);
  PutU16(page, m.wLineStyles);
  for (const MorphLineStyle& l : m.pLineStyles) WriteLineRecord(page, l, end, level);
  const ShapeBlock& edges = end ? m.pEndEdges : m.pStartEdges;
  PutBytes(page, edges.bytes.data(), edges.length);
}

void WriteMorphShapeObject(std::FILE* page, const MorphShapeEntry& m, PageClassState& state,
                           uint8_t level, bool hints) {
  ClassTagFlags flags;
  flags.morphShape = true;
  EmitClassTags(page, flags, state);
  PutU8(page, 2);
  PutU8(page, 0);
  PutU8(page, 0);
  for (int i = 0; i < 4; ++i) {
    PutU32(page, 1);
    PutZeros(page, 8);
  }
  PutZeros(page, 6);
  // Start row j pairs with row wSegments + j; pairs stop where the end rows
  // do. A pair with an empty side has no curve to write and is left out.
  const size_t starts = std::min<size_t>(m.wSegments, m.pSegments.size());
  const size_t n = std::min(starts, m.pSegments.size() - starts);
  std::vector<size_t> pairs;
  for (size_t j = 0; j < n; ++j)
    if (!m.pSegments[j].curves.empty() && !m.pSegments[m.wSegments + j].curves.empty()) pairs.push_back(j);
  PutU16(page, uint16_t(pairs.size()));
  for (size_t j : pairs) {
    const MorphSegmentData& s = m.pSegments[j];
    const MorphSegmentData& e = m.pSegments[m.wSegments + j];
    ClassTagFlags segment;
    segment.morphSegment = true;
    EmitClassTags(page, segment, state);
    PutZeros(page, 16);
    for (int32_t w : {s.x, s.y, e.x, e.y}) PutU32(page, uint32_t(w));
    const size_t c = std::min(s.curves.size(), e.curves.size());
    PutU16(page, uint16_t(c));
    ClassTagFlags curve;
    curve.morphCurve = true;
    for (size_t k = 0; k < c; ++k) {
      EmitClassTags(page, curve, state);
      PutCurveWords(page, s.curves[k]);
      PutCurveWords(page, e.curves[k]);
      // 1 marks a pair of straight edges.
      PutU32(page, !s.curves[k].curved && !e.curves[k].curved ? 1 : 0);
    }
  }
  PutU16(page, 0);
  PutU16(page, uint16_t(2 * m.wFillStyles));
  for (const MorphFillStyle& f : m.pFillStyles) {
    ByteWriter pair;
    EncodeFillStyle(pair, MorphHalfFill(f, false), 0);  // never the level-2 block here
    EncodeFillStyle(pair, MorphHalfFill(f, true), 0);
    PutBlock(page, pair);
  }
  PutU16(page, uint16_t(2 * m.wLineStyles));
  for (const MorphLineStyle& l : m.pLineStyles) {
    PutU32(page, l.startColor);
    PutU16(page, l.startWidth);
    PutZeros(page, 4);
    PutU32(page, l.endColor);
    PutU16(page, l.endWidth);
    PutZeros(page, 4);
  }
  PutZeros(page, 4);
  if (hints) WriteHints(page, m, state);
  (void)level;
}

MorphShapeEntry::TweenRecordBytes MeasureTweenRecords(const MorphShapeEntry& m, uint8_t level) {
  MorphShapeEntry::TweenRecordBytes bytes;
  bytes.measured = true;
  bytes.start = bytes.end = bytes.object = UINT64_MAX;
  char* buffer = nullptr;
  size_t length = 0;
  std::FILE* f = open_memstream(&buffer, &length);
  if (!f) return bytes;
  const auto written = [&] { return std::fflush(f) == 0 && !std::ferror(f) ? uint64_t(length) : UINT64_MAX; };
  WriteMorphHalfBlock(f, m, false, level);
  const uint64_t start = written();
  WriteMorphHalfBlock(f, m, true, level);
  const uint64_t end = written();
  PageClassState state;
  WriteMorphShapeObject(f, m, state, level, true);
  const uint64_t object = written();
  std::fclose(f);
  std::free(buffer);
  if (object != UINT64_MAX) bytes = {true, start, end - start, object - end};
  return bytes;
}

}  // namespace tovrani
