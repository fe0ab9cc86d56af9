// The encoded shape: the one byte format every vector shape passes through
// on its way into a page stream. A shape object is its head, a
// FillStyleTable, a LineStyleTable and an EdgeStream ended by a 0 byte.
// Edge coordinates are 1/256 twip; writers work in half-twips (SWF twips
// doubled) and pick one of three pair forms per pair.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "swf/swf_values.h"

namespace tovrani {

// Little-endian bytes in a growable buffer. Positions are size_t, so
// patching works at any offset of any size of shape.
class ByteWriter {
 public:
  void PutU8(uint8_t v) { bytes_.push_back(v); }
  void PutU16(uint16_t v);
  void PutU32(uint32_t v);
  void PutI16(int32_t v) { PutU16(static_cast<uint16_t>(v)); }  // low 16 bits
  void PutI32(int32_t v) { PutU32(static_cast<uint32_t>(v)); }
  void PutBytes(std::span<const uint8_t> data);
  // Overwrite already written bytes; a patch past the end is ignored.
  void PatchU16(size_t pos, uint16_t v);
  void PatchU32(size_t pos, uint32_t v);

  size_t size() const { return bytes_.size(); }
  void Truncate(size_t size) {
    if (size < bytes_.size()) bytes_.resize(size);
  }
  void Clear() { bytes_.clear(); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  std::span<const uint8_t> span() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

// ---- colours: R | G << 8 | B << 16 | A << 24 (bytes R, G, B, A) ----
inline uint32_t PackColour(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
  return uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16 | uint32_t(a) << 24;
}
inline uint8_t ColourAlpha(uint32_t colour) { return uint8_t(colour >> 24); }
constexpr uint32_t kOpaqueBlack = 0xFF000000u;  // colour field of gradient fills
constexpr uint32_t kOpaqueRed = 0xFF0000FFu;    // bitmap fills, filled lines

// ---- style tables ----
// SWF fill-style types the format holds. A focal gradient (0x13) is stored
// as a radial one with its focal point in the level-2 block.
constexpr uint8_t kSwfSolidFill = 0x00;
constexpr uint8_t kSwfLinearGradient = 0x10;
constexpr uint8_t kSwfRadialGradient = 0x12;
constexpr uint8_t kSwfFocalGradient = 0x13;
bool IsKnownSwfFillType(uint8_t type);
inline bool IsGradientFill(uint8_t type) { return type == 0x10 || type == 0x12 || type == 0x13; }
inline bool IsBitmapFill(uint8_t type) { return type >= 0x40 && type <= 0x43; }

// A bitmap fill whose bitmap the document holds no item of becomes a solid
// fill of this colour (black, alpha 0): it draws nothing, as the bitmap did
// not, and the page names no missing item.
constexpr uint32_t kNoBitmapFillColour = 0;

struct GradientStop {
  uint8_t ratio = 0;
  uint32_t colour = 0;
};

// One SWF FILLSTYLE as read.
struct FillStyle {
  uint8_t type = kSwfSolidFill;
  uint32_t colour = 0;         // solid fills
  SwfMatrix matrix;            // gradient and bitmap fills
  uint8_t gradientHeader = 0;  // spread (2 bits), interpolation (2), stop count (4)
  std::vector<GradientStop> stops;
  int16_t focalPoint = 0;      // 8.8 fixed point, focal gradients only
  uint16_t bitmapId = 0;
};

// One SWF LINESTYLE or LINESTYLE2 as read. Tags without the LINESTYLE2
// flags leave them 0, which reads as round caps and joins.
struct LineStyle {
  uint32_t colour = 0;
  uint16_t width = 0;  // twips
  uint8_t flags0 = 0;  // start cap (2 bits), join (2), fill, no h-scale, no v-scale, hinting
  uint8_t flags1 = 0;  // reserved (5), no close, end cap (2)
  uint16_t miterLimitFactor = 0;  // 8.8 fixed point, miter joins only
  bool hasFill = false;
  FillStyle fill;
};

// Writes a FillStyleTable record. As a line fill, gradient and bitmap fills
// carry opaque red in their colour field and gradients always have the
// level-2 block.
void EncodeFillStyle(ByteWriter& out, const FillStyle& fill, uint8_t level, bool asLineFill = false);
// Writes a LineStyleTable record: 10 bytes below level 2, then at level 2 the
// hinting, scale, cap, join and miter bytes and the line's fill record.
void EncodeLineStyle(ByteWriter& out, const LineStyle& line, uint8_t level);

// The single styles of one shape object; entry i holds the bytes of the
// record of style index i + 1.
struct StyleIndex {
  std::vector<std::vector<uint8_t>> fills;
  std::vector<std::vector<uint8_t>> lines;
  uint16_t fillCount() const { return static_cast<uint16_t>(fills.size()); }
  uint16_t lineCount() const { return static_cast<uint16_t>(lines.size()); }
  // The record of a 1-based index; empty for 0 and for indexes past the table.
  std::span<const uint8_t> Fill(uint32_t index) const;
  std::span<const uint8_t> Line(uint32_t index) const;
  void Clear() {
    fills.clear();
    lines.clear();
  }
};

// ---- edge records ----
// Flags byte: move form in bits 0-1, control form 2-3, anchor form 4-5,
// style bytes present in 6-7.
constexpr uint8_t kEdgeStyleBits = 0xC0;

// A pair of half-twip values.
struct EdgePair {
  int32_t x = 0, y = 0;
  bool IsZero() const { return x == 0 && y == 0; }
  friend bool operator==(const EdgePair&, const EdgePair&) = default;
};

// Largest half-twip magnitude a writer may store: form 2 keeps 128 times the
// value in an i32, and a delta spans two clamped positions.
constexpr int32_t kMaxEdgeDelta = (1 << 24) - 1;

// One record to write; the move and control pairs are written only when
// present. Values are half-twips, at most kMaxEdgeDelta in magnitude.
struct EdgeRecord {
  bool curved = false;
  bool hasStyles = false;
  uint8_t line = 0, fill0 = 0, fill1 = 0;
  bool hasMove = false;
  EdgePair move, control, anchor;
};

// The form a pair takes on its own: 1 when both values are below 256 in
// magnitude, 2 when either is above 32767, else 3.
uint8_t PairForm(EdgePair v);
// Appends one record in the forms the writer's rules choose and returns its
// flags byte.
uint8_t EncodeEdgeRecord(ByteWriter& out, const EdgeRecord& rec);

// One record of the shape builder, values in 1/256 twip (a delta spans two
// positions, so 64 bits). No style bytes unless asked for, also with a move.
struct ShapePair {
  int64_t x = 0, y = 0;
  friend bool operator==(const ShapePair&, const ShapePair&) = default;
};
struct ShapeEdge {
  bool hasStyles = false;
  uint8_t line = 0, fill0 = 0, fill1 = 0;
  bool hasMove = false, curved = false;
  bool closing = false;  // the anchor of a record that closes a contour
  ShapePair move, control, anchor;
};
// The flags byte, and the control and anchor as a reader gets them back (a
// pair stored in form 3 loses what 128 does not divide).
struct ShapeEdgeForms {
  uint8_t flags = 0;
  ShapePair control, anchor;
};
// Appends the builder's form of a record: each pair takes the form PairForm
// gives its value divided by 128.
ShapeEdgeForms EncodeShapeEdge(ByteWriter& out, const ShapeEdge& rec);

// One record as a reader sees it, values in 1/256 twip.
struct DecodedEdge {
  uint8_t flags = 0;
  bool hasStyles = false;
  uint8_t line = 0, fill0 = 0, fill1 = 0;
  bool hasMove = false, curved = false;
  int64_t moveX = 0, moveY = 0, controlX = 0, controlY = 0, anchorX = 0, anchorY = 0;
};
// Reads the record at pos and advances past it. False at the end byte (pos
// stays on it) and for a record cut short (pos unchanged, `truncated` set).
bool ReadEdgeRecord(std::span<const uint8_t> stream, size_t& pos, DecodedEdge& out,
                    bool* truncated = nullptr);
// The number of records before the end byte, and the end byte's position;
// nullopt when the stream has no end byte or a record is cut short.
struct EdgeStreamExtent {
  uint32_t records = 0;
  size_t endPos = 0;
};
std::optional<EdgeStreamExtent> MeasureEdgeStream(std::span<const uint8_t> stream);

// ---- shape-object head ----
constexpr size_t kPageHeadSize = 51;
inline size_t ShapeHeadSize(uint8_t level) { return level >= 2 ? 42 : 40; }
// Page-stream offset of the first object's edge-record count field, and of
// its FillStyleTable just after it.
inline size_t FirstCountFieldPos(uint8_t level) { return kPageHeadSize + ShapeHeadSize(level) - 4; }
inline size_t FirstStyleTablesPos(uint8_t level) { return kPageHeadSize + ShapeHeadSize(level); }

// Where a further shape object follows the end byte at `endPos` (the layer
// record that closes the object's layer, the layer-and-frame opener and a
// head without page head): the position of its FillStyleTable, checked
// against the opener and head bytes, or nullopt when no further object
// follows there.
std::optional<size_t> FindFurtherShapeObject(std::span<const uint8_t> page, size_t endPos,
                                             uint8_t level);
// Skips a FillStyleTable and LineStyleTable at `pos`, each record by its
// full length; the position after them, or nullopt when a table is cut
// short or holds a fill type the format does not know.
std::optional<size_t> SkipStyleTables(std::span<const uint8_t> data, size_t pos, uint8_t level);

// ---- the block handed to the analysis and the builder ----
// The edge records of one shape object (further objects may follow a 0
// byte, as in a page): `length` counted bytes, always followed by at least
// one 0 byte, and the number of records. Rewrites go through Splice, which
// keeps that 0 byte.
struct ShapeBlock {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(1, 0);
  uint32_t length = 0;
  uint32_t recordCount = 0;

  ShapeBlock() = default;
  // A copy of `edges` in a zero-filled buffer of twice their length (plus
  // the 0 byte).
  ShapeBlock(std::span<const uint8_t> edges, uint32_t records);
  std::span<const uint8_t> counted() const { return {bytes.data(), length}; }
  // Replaces the counted bytes [from, to) by `with`; the bytes behind move
  // along and the length follows. from <= to <= length.
  void Splice(size_t from, size_t to, std::span<const uint8_t> with);
};

}  // namespace tovrani
