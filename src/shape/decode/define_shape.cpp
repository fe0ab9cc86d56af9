#include "shape/decode/define_shape.h"

#include <algorithm>
#include <vector>

#include "fla/bitmap_media.h"
#include "fla/file_helpers.h"
#include "fla/stream_placement.h"
#include "shape/decode/encoded_shape.h"
#include "shape/decode/shape_page.h"
#include "shape/shape_work.h"
#include "swf/swf_reader.h"
#include "swf/swf_values.h"
#include "fla/work_folder.h"

namespace tovrani {

namespace {

// Positions are kept within this many half-twips of the origin, so that any
// delta between two of them fits every pair form.
constexpr int64_t kMaxPosition = kMaxEdgeDelta / 2;

int64_t ClampPosition(int64_t v) { return std::clamp(v, -kMaxPosition, kMaxPosition); }

struct Point64 {
  int64_t x = 0, y = 0;
};

EdgePair Delta(Point64 to, Point64 from) {
  return {int32_t(to.x - from.x), int32_t(to.y - from.y)};
}

// The pen and styles after a move or an edge, kept for the closing fix-up.
struct PointEntry {
  Point64 pos;
  uint32_t fill0 = 0, fill1 = 0, line = 0;
};

// An object's style bytes hold indexes up to 255. Under wider style arrays
// each object's tables hold only the styles its edges use, in the order
// they are first used; `slots` maps an index of the arrays to the object's.
struct ObjectStyles {
  std::vector<uint8_t> slots;  // by index of the arrays; 0 not in the object
  std::vector<uint32_t> used;  // indexes of the arrays, by object index - 1

  void Reset(size_t arraySize) {
    for (uint32_t index : used) slots[index] = 0;
    used.clear();
    slots.resize(arraySize + 1, 0);
  }
  bool Has(uint32_t index) const { return index == 0 || slots[index] != 0; }
  uint8_t Slot(uint32_t index) {
    if (index == 0) return 0;
    if (slots[index] == 0) {
      used.push_back(index);
      slots[index] = uint8_t(used.size());
    }
    return slots[index];
  }
};

class ShapeDecoder {
 public:
  ShapeDecoder(ShapeContext& ctx, uint32_t tag, std::span<const uint8_t> body, ShapePage& page)
      : ctx_(ctx), r_(body), page_(page), level_(ctx.m_nFlaFormat) {
    if (tag == kDummyShapeTag) {
      tag_ = 2;
      noCache_ = true;
    } else {
      tag_ = tag;
    }
  }

  void Run();
  bool noCache() const { return noCache_; }
  uint32_t recordCount() const { return recordCount_; }
  // 1 while no style change has set both fills; steers the fill-overlap
  // analysis.
  bool singleSided() const { return singleSided_; }
  std::span<const uint8_t> edges() const { return edges_.span(); }
  // The open object as the page takes it over.
  ShapePage::ObjectEdges object() const {
    return {edges_.span(), recordCount_, singleSided_, wide_ ? &wideStyles_ : &styles_};
  }

 private:
  bool HasAlpha() const { return tag_ == 32 || tag_ == 83; }
  bool MoreBits() const { return r_.pendingBits() > 0 || !r_.atEnd(); }
  uint32_t ReadColour();
  uint16_t ReadCount();
  bool ReadFillStyle(FillStyle& fill);
  bool ReadLineStyle(LineStyle& line);
  bool ReadStyleArrays();
  bool ReadShapeRecords();
  void StyleChange(uint32_t flags);
  void Edge();
  void WriteEdge(bool curved, EdgePair control, EdgePair anchor);
  // True when the object can take the selected styles it does not hold yet.
  bool SelectionFits();
  void SplitObject();
  void WriteWideStyleTables();
  void AddPoint();
  void ClosingFixUp();

  ShapeContext& ctx_;
  SwfReader r_;
  ShapePage& page_;
  uint8_t level_;
  uint32_t tag_ = 2;
  bool noCache_ = false;
  bool fillDropped_ = false;  // the last fill read named a bitmap the library lacks

  StyleIndex styles_;
  unsigned fillBits_ = 0, lineBits_ = 0;
  uint8_t line_ = 0, fill0_ = 0, fill1_ = 0;  // as the open object numbers them
  uint32_t lineIndex_ = 0, fill0Index_ = 0, fill1Index_ = 0;  // into the style arrays
  bool wide_ = false;  // more than 255 fill or line styles in force
  ObjectStyles wideFills_, wideLines_;
  StyleIndex wideStyles_;  // the open object's own tables on the wide road
  Point64 pen_;
  Point64 pendingMove_;
  uint8_t pendingChange_ = 0;  // 0 nothing, 1 style change, 2 style change and move
  bool singleSided_ = true;
  uint32_t recordCount_ = 0;
  ByteWriter edges_;
  std::vector<PointEntry> points_;
  // The last record of the open object and where it starts, while the last
  // point entry is its end.
  bool lastRecordEndsAtLastPoint_ = false;
  EdgeRecord lastRecord_;
  size_t lastRecordStart_ = 0;
};

uint32_t ShapeDecoder::ReadColour() {
  const uint8_t red = r_.u8(), green = r_.u8(), blue = r_.u8();
  const uint8_t alpha = HasAlpha() ? r_.u8() : 255;
  if (alpha != 255) noCache_ = true;
  return PackColour(red, green, blue, alpha);
}

uint16_t ShapeDecoder::ReadCount() {
  uint16_t count = r_.u8();
  if (tag_ > 2 && count == 255) count = r_.u16();
  return count;
}

bool ShapeDecoder::ReadFillStyle(FillStyle& fill) {
  fill = FillStyle{};
  fillDropped_ = false;
  fill.type = r_.u8();
  if (!r_.ok() || !IsKnownSwfFillType(fill.type)) return false;
  if (fill.type == kSwfSolidFill) {
    fill.colour = ReadColour();
  } else if (IsGradientFill(fill.type)) {
    ReadSwfMatrix(r_, fill.matrix);
    fill.gradientHeader = r_.u8();
    const unsigned n = fill.gradientHeader & 0x0F;
    for (unsigned i = 0; i < n && r_.ok(); ++i) {
      GradientStop stop;
      stop.ratio = r_.u8();
      stop.colour = ReadColour();
      fill.stops.push_back(stop);
    }
    if (fill.type == kSwfFocalGradient) fill.focalPoint = r_.i16();
  } else {
    fill.bitmapId = ItemNoOf(ctx_, r_.u16());
    ReadSwfMatrix(r_, fill.matrix);
    // A page names only items its document holds: a fill of a bitmap the
    // library has no item of (65535 for a fill that draws nothing, a bitmap
    // left out or skipped) draws nothing, and its edges stay.
    if (r_.ok() && !HoldsBitmapItem(ctx_, fill.bitmapId)) {
      fill = FillStyle{};
      fillDropped_ = true;
      fill.colour = kNoBitmapFillColour;
      noCache_ = true;
    }
  }
  return r_.ok();
}

bool ShapeDecoder::ReadLineStyle(LineStyle& line) {
  line = LineStyle{};
  line.width = r_.u16();
  if (tag_ == 83) {
    line.flags0 = r_.u8();
    line.flags1 = r_.u8();
    if (line.flags0 & 0x20) line.miterLimitFactor = r_.u16();
    line.hasFill = (line.flags0 & 0x08) != 0;
  }
  if (line.hasFill) {
    // Read at every level, so the styles after it are read from their place;
    // below level 2 the record has no room for it.
    line.colour = kOpaqueRed;
    const bool ok = ReadFillStyle(line.fill);
    // A line whose bitmap fill was dropped draws nothing either.
    if (ok && fillDropped_) line.colour = kNoBitmapFillColour;
    return ok;
  }
  line.colour = ReadColour();
  return r_.ok();
}

// Reads one set of fill and line styles and the two bit counts, writes the
// style tables into the page and starts the object's style index. False
// when the arrays are cut short or hold a fill type the format cannot take:
// the tables then hold the styles read so far and the object gets no edges.
bool ShapeDecoder::ReadStyleArrays() {
  styles_.Clear();
  ByteWriter blob;
  bool complete = true;

  r_.alignBits();
  const uint16_t fillCount = ReadCount();
  blob.PutU16(0);
  for (uint32_t i = 0; i < fillCount && complete; ++i) {
    FillStyle fill;
    if (!r_.ok() || r_.atEnd() || !ReadFillStyle(fill)) {
      complete = false;
      break;
    }
    const size_t start = blob.size();
    EncodeFillStyle(blob, fill, level_);
    styles_.fills.emplace_back(blob.bytes().begin() + start, blob.bytes().end());
  }
  blob.PatchU16(0, styles_.fillCount());

  const size_t lineCountPos = blob.size();
  blob.PutU16(0);
  if (complete) {
    r_.alignBits();
    const uint16_t lineCount = ReadCount();
    for (uint32_t i = 0; i < lineCount && complete; ++i) {
      LineStyle line;
      if (!r_.ok() || r_.atEnd() || !ReadLineStyle(line)) {
        complete = false;
        break;
      }
      const size_t start = blob.size();
      EncodeLineStyle(blob, line, level_);
      styles_.lines.emplace_back(blob.bytes().begin() + start, blob.bytes().end());
    }
    blob.PatchU16(lineCountPos, styles_.lineCount());
  }

  if (complete) {
    const uint8_t bits = r_.u8();
    fillBits_ = bits >> 4;
    lineBits_ = bits & 0x0F;
    complete = r_.ok();
  }
  wide_ = styles_.fills.size() > 255 || styles_.lines.size() > 255;
  if (wide_) {
    // The tables follow once the object's edges are known.
    wideFills_.Reset(styles_.fills.size());
    wideLines_.Reset(styles_.lines.size());
  } else {
    page_.WriteStyleTables(blob.span());
  }
  recordCount_ = 0;
  edges_.Clear();
  lastRecordEndsAtLastPoint_ = false;
  pendingChange_ = 0;
  line_ = fill0_ = fill1_ = 0;
  lineIndex_ = fill0Index_ = fill1Index_ = 0;
  return complete;
}

void ShapeDecoder::WriteWideStyleTables() {
  ByteWriter blob;
  blob.PutU16(uint16_t(wideFills_.used.size()));
  for (uint32_t index : wideFills_.used) blob.PutBytes(styles_.Fill(index));
  blob.PutU16(uint16_t(wideLines_.used.size()));
  for (uint32_t index : wideLines_.used) blob.PutBytes(styles_.Line(index));
  page_.WriteStyleTables(blob.span());
  // The object's edges number these tables, not the shape's whole arrays.
  wideStyles_.Clear();
  for (uint32_t index : wideFills_.used) wideStyles_.fills.emplace_back(styles_.Fill(index).begin(), styles_.Fill(index).end());
  for (uint32_t index : wideLines_.used) wideStyles_.lines.emplace_back(styles_.Line(index).begin(), styles_.Line(index).end());
}

bool ShapeDecoder::SelectionFits() {
  const size_t newFills = !wideFills_.Has(fill0Index_) + (fill1Index_ != fill0Index_ &&
                                                          !wideFills_.Has(fill1Index_));
  return wideFills_.used.size() + newFills <= 255 &&
         wideLines_.used.size() + !wideLines_.Has(lineIndex_) <= 255;
}

// Ends the open object where its tables are full and starts a further one,
// on a layer of its own, from the current pen.
void ShapeDecoder::SplitObject() {
  if (page_.layerNumber() >= 0xFFFE) {
    r_.fail();  // no layer number left for a further object
    return;
  }
  WriteWideStyleTables();
  page_.EndObjectForNewStyles(object());
  recordCount_ = 0;
  edges_.Clear();
  lastRecordEndsAtLastPoint_ = false;
  wideFills_.Reset(styles_.fills.size());
  wideLines_.Reset(styles_.lines.size());
  // A reader of the further object starts at (0, 0).
  pendingMove_ = pen_;
  pendingChange_ = pen_.x != 0 || pen_.y != 0 ? 2 : 1;
}

void ShapeDecoder::AddPoint() {
  points_.push_back({pen_, fill0Index_, fill1Index_, lineIndex_});
  lastRecordEndsAtLastPoint_ = false;
}

void ShapeDecoder::StyleChange(uint32_t flags) {
  const bool newStyles = flags & 0x10, lineStyle = flags & 0x08, fill1Style = flags & 0x04,
             fill0Style = flags & 0x02, moveTo = flags & 0x01;
  int64_t moveX = 0, moveY = 0;
  if (moveTo) {
    const unsigned bits = r_.ubits(5);
    moveX = r_.sbits(bits);
    moveY = r_.sbits(bits);
  }
  const uint32_t fill0 = fill0Style ? r_.ubits(fillBits_) : 0;
  const uint32_t fill1 = fill1Style ? r_.ubits(fillBits_) : 0;
  const uint32_t line = lineStyle ? r_.ubits(lineBits_) : 0;
  if (!r_.ok()) return;

  if (moveTo) {
    // Moves that follow each other before an edge merge into one.
    if (pendingChange_ == 2) pen_ = {pen_.x - pendingMove_.x, pen_.y - pendingMove_.y};
    if (newStyles) pen_ = {};
    const Point64 to{ClampPosition(2 * moveX), ClampPosition(2 * moveY)};
    pendingMove_ = {to.x - pen_.x, to.y - pen_.y};
    pen_ = to;
  }

  bool stylesComplete = true;
  if (newStyles) {
    // The open object ends; a reader of the next one starts at (0, 0).
    const Point64 pen = pen_;
    const Point64 pendingMove = pendingMove_;
    if (page_.layerNumber() >= 0xFFFE) {
      r_.fail();  // no layer number left for a further object
      return;
    }
    if (wide_) WriteWideStyleTables();
    page_.EndObjectForNewStyles(object());
    stylesComplete = ReadStyleArrays();
    if (moveTo) {
      pendingMove_ = pendingMove;
      pendingChange_ = 2;
    } else if (pen.x != 0 || pen.y != 0) {
      // Without a move the next object still starts at the current pen.
      pendingMove_ = pen;
      pendingChange_ = 2;
    }
  }
  // The record's own indexes refer to the style arrays now in force.
  // An index past its array selects no style.
  if (fill0Style) fill0Index_ = fill0 > styles_.fills.size() ? 0 : fill0;
  if (fill1Style) fill1Index_ = fill1 > styles_.fills.size() ? 0 : fill1;
  if (lineStyle) lineIndex_ = line > styles_.lines.size() ? 0 : line;
  if (wide_) {
    if (!SelectionFits()) {
      SplitObject();
      if (!r_.ok()) return;
    }
    fill0_ = wideFills_.Slot(fill0Index_);
    fill1_ = wideFills_.Slot(fill1Index_);
    line_ = wideLines_.Slot(lineIndex_);
  } else {
    fill0_ = uint8_t(fill0Index_);
    fill1_ = uint8_t(fill1Index_);
    line_ = uint8_t(lineIndex_);
  }
  if (moveTo) AddPoint();

  if (fill0_ && fill1_) singleSided_ = false;
  if (pendingChange_ == 0) pendingChange_ = 1;
  if (moveTo) pendingChange_ = 2;
  if (!stylesComplete) r_.fail();
}

void ShapeDecoder::WriteEdge(bool curved, EdgePair control, EdgePair anchor) {
  EdgeRecord rec;
  rec.curved = curved;
  rec.hasStyles = pendingChange_ != 0;
  rec.line = line_;
  rec.fill0 = fill0_;
  rec.fill1 = fill1_;
  rec.hasMove = pendingChange_ == 2;
  if (rec.hasMove) rec.move = {int32_t(pendingMove_.x), int32_t(pendingMove_.y)};
  rec.control = control;
  rec.anchor = anchor;
  lastRecordStart_ = edges_.size();
  lastRecord_ = rec;
  EncodeEdgeRecord(edges_, rec);
  ++recordCount_;
  pendingChange_ = 0;
  lastRecordEndsAtLastPoint_ = true;
}

void ShapeDecoder::Edge() {
  const bool straight = r_.ubits(1);
  const unsigned bits = r_.ubits(4) + 2;
  const Point64 start = pen_;
  if (straight) {
    int64_t dx = 0, dy = 0;
    if (r_.ubits(1)) {
      dx = r_.sbits(bits);
      dy = r_.sbits(bits);
    } else if (r_.ubits(1)) {
      dy = r_.sbits(bits);
    } else {
      dx = r_.sbits(bits);
    }
    if (!r_.ok()) return;
    pen_ = {ClampPosition(start.x + 2 * dx), ClampPosition(start.y + 2 * dy)};
    AddPoint();
    const EdgePair anchor = Delta(pen_, start);
    if (!anchor.IsZero()) WriteEdge(false, {}, anchor);
    return;
  }
  const int64_t cx = r_.sbits(bits), cy = r_.sbits(bits);
  const int64_t ax = r_.sbits(bits), ay = r_.sbits(bits);
  if (!r_.ok()) return;
  const Point64 control{ClampPosition(start.x + 2 * cx), ClampPosition(start.y + 2 * cy)};
  pen_ = {ClampPosition(start.x + 2 * (cx + ax)), ClampPosition(start.y + 2 * (cy + ay))};
  AddPoint();
  const EdgePair c = Delta(control, start), a = Delta(pen_, start);
  if (!c.IsZero() || !a.IsZero()) WriteEdge(true, c, a);
}

bool ShapeDecoder::ReadShapeRecords() {
  while (MoreBits() && r_.ok()) {
    if (r_.ubits(1)) {
      Edge();
      continue;
    }
    const uint32_t flags = r_.ubits(5);
    if (!r_.ok()) break;
    if (flags == 0) return true;
    StyleChange(flags);
  }
  return false;
}

// When the last edge comes back to an earlier point P[k] whose next point
// lies within a few half-twips, and the fills say the outline closes there,
// the last edge is made to end at P[k+1] instead.
void ShapeDecoder::ClosingFixUp() {
  if (!lastRecordEndsAtLastPoint_ || points_.size() <= 2) return;
  const size_t n = points_.size();
  const PointEntry& last = points_[n - 1];
  if (!last.fill0 || !last.fill1) return;
  size_t k = n - 1;
  bool found = false;
  while (k-- > 0) {
    if (points_[k].pos.x == last.pos.x && points_[k].pos.y == last.pos.y) {
      found = true;
      break;
    }
  }
  if (!found) return;
  if (!(k + 2 < n - 1)) return;
  if (last.fill1 != points_[k + 1].fill1 || last.fill1 != points_[k + 2].fill1) return;
  if (last.fill0 != points_[k].fill1) return;
  const int64_t ddx = points_[k + 1].pos.x - points_[k].pos.x;
  const int64_t ddy = points_[k + 1].pos.y - points_[k].pos.y;
  if (ddx <= -6 || ddx >= 6 || ddy <= -6 || ddy >= 6) return;
  // The record is written again in the forms its new anchor needs.
  lastRecord_.anchor = Delta(points_[k + 1].pos, points_[n - 2].pos);
  edges_.Truncate(lastRecordStart_);
  EncodeEdgeRecord(edges_, lastRecord_);
}

void ShapeDecoder::Run() {
  SwfRect bounds;
  ReadSwfRect(r_, bounds);
  if (tag_ == 83) {
    ReadSwfRect(r_, bounds);
    r_.u8();
  }
  page_.Begin();
  // A body cut short still gets its (empty) style tables.
  if (ReadStyleArrays()) ReadShapeRecords();
  ClosingFixUp();
  if (wide_) WriteWideStyleTables();
}

}  // namespace

ShapePageResult BuildShapePage(ShapeContext& ctx, uint32_t tag, std::span<const uint8_t> body,
                               std::FILE* file, uint16_t itemNo) {
  BeginShapeWork(ctx, uint16_t(tag), ctx.m_wCurShapeId);
  ShapePage page(ctx, file);
  ShapeDecoder decoder(ctx, tag, body, page);
  decoder.Run();
  const uint32_t lastCount = page.Finish(decoder.object(), decoder.noCache(), itemNo);
  ShapePageResult result;
  result.ok = page.ok();
  result.complete = ctx.m_bShapesOn != 0;
  result.objects = page.objects();
  result.lastRecordCount = lastCount;
  return result;
}

uint8_t ConvertShapeTag(ShapeContext& ctx, uint32_t tag, std::span<const uint8_t> body) {
  if (!ctx.m_pWorkFolder || ctx.m_nWriterError) return 0;
  WorkFolder& folder = *ctx.m_pWorkFolder;
  uint8_t placed = 0;
  // When "fill" cannot be opened the shape is left out; nothing is placed.
  if (FileHandle file(folder.file("fill"), "wb+"); file) {
    const ShapePageResult page =
        BuildShapePage(ctx, tag, body, file.get(), ctx.m_pStreamItemNo.at(ctx.m_nStreams));
    if (!page.ok)
      NoteWriterFailure(ctx, kResultOutputIncomplete);
    else if (page.complete && PlaceShapePage(ctx, file.get()))
      placed = 1;
  }
  for (const char* name : {"shp.shp", "line", "fill"}) folder.removeFile(name);
  return placed;
}

}  // namespace tovrani
