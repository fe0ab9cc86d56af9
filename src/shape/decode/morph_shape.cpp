#include "shape/decode/morph_shape.h"

#include <cstdlib>
#include <string>

#include "fla/bitmap_media.h"
#include "fla/stream_placement.h"
#include "fla/work_folder.h"
#include "shape/decode/shape_page.h"
#include "shape/shape_work.h"
#include "swf/swf_reader.h"
#include "swf/swf_values.h"
#include "platform/movie_messages.h"

namespace tovrani {

namespace {

constexpr char kMorphCaption[] = "BRASKELON Tovrani Warning";

// The pen (half-twips) stays within this, so that twips fit an i32 and a
// delta fits the widest pair form.
constexpr int64_t kMaxCoordinate = (int64_t{1} << 24) - 1;
// The FLA stores a half's record count and the segment count in 16 bits.
constexpr size_t kMaxHalfRecords = 0xFFFF;
constexpr size_t kMaxHalfRuns = 0x7FFF;

struct Point64 {
  int64_t x = 0, y = 0;
};

bool Fits(int64_t v, int64_t limit) { return v >= -limit && v <= limit; }

class MorphDecoder {
 public:
  MorphDecoder(ShapeContext& ctx, MorphShapeEntry& entry, std::span<const uint8_t> body,
               const std::array<uint32_t, 6>& offsets, uint16_t tag)
      : ctx_(ctx), entry_(entry), copy_(body.begin(), body.end()), offsets_(offsets), tag_(tag),
        level_(ctx.m_nFlaFormat) {}

  // Head, styles and both halves into the entry's styles and streams and
  // the working runs. False with why() set.
  bool Decode();
  const std::string& why() const { return why_; }
  bool singleSided(int half) const { return singleSided_[half]; }
  std::vector<MorphSegmentData>& runs() { return runs_; }
  uint16_t startRuns() const { return startRuns_; }
  const ByteWriter& stream(int half) const { return streams_[half]; }
  uint32_t records(int half) const { return halfRecords_[half]; }

 private:
  bool Fail(const char* why) {
    if (why_.empty()) why_ = why;
    return false;
  }
  uint32_t ReadColour() {
    const uint8_t r = r_.u8(), g = r_.u8(), b = r_.u8(), a = r_.u8();
    return PackColour(r, g, b, a);
  }
  uint16_t ReadCount() {
    uint16_t count = r_.u8();
    if (count == 255) count = r_.u16();
    return count;
  }
  void ReadMatrix(MorphMatrix& m) {
    SwfMatrix s;
    ReadSwfMatrix(r_, s);
    m = {s.scaleX, s.scaleY, s.rotateSkew0, s.rotateSkew1, s.translateX, s.translateY};
  }
  bool ReadFillStyle(MorphFillStyle& f);
  bool ReadLineStyle(MorphLineStyle& l);
  bool Pass(int half);
  bool StyleChange(int half, uint32_t flags);
  bool Edge(int half);
  bool OpenRun(uint8_t line, uint8_t fill0, uint8_t fill1);
  MorphSegmentData& Run() { return runs_.back(); }
  size_t RunIndex() const { return runs_.size() - 1; }
  // The run an end run is cut against: its partner, or for runs past the
  // last partner the end run that lies the start run count back.
  const MorphSegmentData& Partner(size_t runIndex) const { return runs_[runIndex - startRuns_]; }

  ShapeContext& ctx_;
  MorphShapeEntry& entry_;
  std::vector<uint8_t> copy_;  // the reader clears the bits it reads here
  SwfReader r_;
  const std::array<uint32_t, 6>& offsets_;
  uint16_t tag_;
  uint8_t level_;
  std::string why_;

  uint64_t endStart_ = 0;  // the end shape's first record
  unsigned fillBits_ = 0, lineBits_ = 0;
  Point64 pen_, pendingMove_;
  uint8_t pending_ = 0;  // 0 nothing, 1 style change, 2 style change and move
  uint32_t line_ = 0, fill0_ = 0, fill1_ = 0;
  bool singleSided_[2] = {true, true};
  std::vector<MorphSegmentData> runs_;
  uint16_t startRuns_ = 0;
  bool fillDropped_ = false;  // the last fill read named a bitmap the library lacks
  ByteWriter streams_[2];
  uint32_t halfRecords_[2] = {0, 0};
};

bool MorphDecoder::ReadFillStyle(MorphFillStyle& f) {
  f = MorphFillStyle{};
  fillDropped_ = false;
  const uint8_t type = r_.u8();
  if (!r_.ok()) return Fail("the styles are cut short");
  f.type = type;
  if (type == kSwfSolidFill) {
    f.startColor = ReadColour();
    f.endColor = ReadColour();
  } else if (IsGradientFill(type)) {
    f.focal = type == kSwfFocalGradient;
    if (f.focal) f.type = kSwfRadialGradient;
    ReadMatrix(f.startMatrix);
    ReadMatrix(f.endMatrix);
    f.gradientHeader = r_.u8();
    f.gradientCount = f.gradientHeader & 0x0F;
    for (unsigned i = 0; i < f.gradientCount && r_.ok(); ++i) {
      MorphGradientStop s;
      s.startRatio = r_.u8();
      s.startColor = ReadColour();
      s.endRatio = r_.u8();
      s.endColor = ReadColour();
      f.gradient.push_back(s);
    }
    if (f.focal) {
      f.startFocal = r_.i16();
      f.endFocal = r_.i16();
    }
    if (level_ >= 2) {
      auto extra = [&](std::array<uint8_t, 8>& e, int16_t focal) {
        const uint32_t point = uint32_t(int32_t(focal));
        e = {uint8_t(point), uint8_t(point >> 8), uint8_t(point >> 16), uint8_t(point >> 24),
             uint8_t(f.gradientHeader >> 4), 0, 0, 0};
      };
      extra(f.startExtra, f.startFocal);
      extra(f.endExtra, f.endFocal);
    }
  } else if (IsBitmapFill(type)) {
    f.bitmapId = ItemNoOf(ctx_, r_.u16());
    ReadMatrix(f.startMatrix);
    ReadMatrix(f.endMatrix);
    // A page names only items its document holds (see kNoBitmapFillColour).
    if (r_.ok() && !HoldsBitmapItem(ctx_, f.bitmapId)) {
      f = MorphFillStyle{};
      f.startColor = f.endColor = kNoBitmapFillColour;
      fillDropped_ = true;
    }
  } else {
    return Fail("a fill style has a type the format does not know");
  }
  return r_.ok() || Fail("the styles are cut short");
}

bool MorphDecoder::ReadLineStyle(MorphLineStyle& l) {
  l = MorphLineStyle{};
  l.startWidth = r_.u16();
  l.endWidth = r_.u16();
  if (tag_ == 84) {
    l.flags0 = r_.u8();
    l.flags1 = r_.u8();
    l.miterLimit = (l.flags0 & 0x20) ? r_.u16() : 0x0300;
    l.hasFill = (l.flags0 & 0x08) != 0;
  }
  if (l.hasFill) {
    // Read at every level, so that what follows is read from its place.
    l.startColor = l.endColor = kOpaqueRed;
    const bool ok = ReadFillStyle(l.fill);
    // A line whose bitmap fill was dropped draws nothing either.
    if (ok && fillDropped_) l.startColor = l.endColor = kNoBitmapFillColour;
    return ok;
  }
  l.startColor = ReadColour();
  l.endColor = ReadColour();
  return r_.ok() || Fail("the styles are cut short");
}

bool MorphDecoder::OpenRun(uint8_t line, uint8_t fill0, uint8_t fill1) {
  const size_t halfRuns = runs_.size() - (runs_.size() > startRuns_ ? startRuns_ : 0);
  if (halfRuns >= kMaxHalfRuns) return Fail("a half has more runs than the format holds");
  MorphSegmentData run;
  run.line = line;
  run.fill0 = fill0;
  run.fill1 = fill1;
  // An end run starts where the one before it did until its first edge.
  if (startRuns_ && !runs_.empty()) {
    run.x = runs_.back().x;
    run.y = runs_.back().y;
  }
  runs_.push_back(std::move(run));
  return true;
}

bool MorphDecoder::StyleChange(int half, uint32_t flags) {
  const bool newStyles = flags & 0x10, lineStyle = flags & 0x08, fill1Style = flags & 0x04,
             fill0Style = flags & 0x02;
  const bool moveTo = (flags & 0x01) || offsets_[4] || offsets_[5];
  if (newStyles) return Fail("a shape record brings new style arrays");
  if (half == 0 && !Run().curves.empty() && (lineStyle || fill1Style || fill0Style) &&
      !OpenRun(0, 0, 0))
    return false;
  Point64 to;
  if (moveTo) {
    const unsigned bits = r_.ubits(5);
    to.x = int64_t{r_.sbits(bits)} * 2;
    to.y = int64_t{r_.sbits(bits)} * 2;
  }
  const uint32_t fill0 = fill0Style ? r_.ubits(fillBits_) : fill0_;
  const uint32_t fill1 = fill1Style ? r_.ubits(fillBits_) : fill1_;
  const uint32_t line = lineStyle ? r_.ubits(lineBits_) : line_;
  if (!r_.ok()) return true;  // cut by the body's end: the records end here
  if (moveTo) {
    if (!Fits(to.x, kMaxCoordinate) || !Fits(to.y, kMaxCoordinate))
      return Fail("a move leaves the drawing area");
    if (pending_ == 2) pen_ = {pen_.x - pendingMove_.x, pen_.y - pendingMove_.y};
    pendingMove_ = {to.x - pen_.x, to.y - pen_.y};
    pen_ = to;
  }
  // An index past its table selects nothing; the record's style bytes hold
  // at most 255.
  auto index = [](uint32_t v, size_t count) { return v > count ? 0u : v; };
  fill0_ = index(fill0, entry_.pFillStyles.size());
  fill1_ = index(fill1, entry_.pFillStyles.size());
  line_ = index(line, entry_.pLineStyles.size());
  if (fill0_ > 255 || fill1_ > 255 || line_ > 255)
    return Fail("a style index is above 255");
  if (fill0_ && fill1_) singleSided_[half] = false;
  if (half == 1 && RunIndex() < 2 * size_t(startRuns_)) {
    // The end shape takes its partner's styles, whatever it says.
    const MorphSegmentData& partner = Partner(RunIndex());
    line_ = partner.line;
    fill0_ = partner.fill0;
    fill1_ = partner.fill1;
  } else {
    Run().line = uint8_t(line_);
    Run().fill0 = uint8_t(fill0_);
    Run().fill1 = uint8_t(fill1_);
  }
  if (pending_ == 0) pending_ = 1;
  if (moveTo) pending_ = 2;
  return true;
}

bool MorphDecoder::Edge(int half) {
  if (half == 1 && Run().curves.size() == Partner(RunIndex()).curves.size()) {
    // The end shape is cut into runs by its partners' edge counts.
    const MorphSegmentData& next = runs_[RunIndex() + 1 - startRuns_];
    const uint8_t line = next.line, fill0 = next.fill0, fill1 = next.fill1;
    if (!OpenRun(line, fill0, fill1)) return false;
    line_ = line;
    fill0_ = fill0;
    fill1_ = fill1;
    if (pending_ == 0) pending_ = 1;
  }
  const bool straight = r_.ubits(1);
  const unsigned bits = r_.ubits(4) + 2;
  Point64 c, a;  // twips, relative to the edge's start
  if (straight) {
    if (r_.ubits(1)) {
      a.x = r_.sbits(bits);
      a.y = r_.sbits(bits);
    } else if (r_.ubits(1)) {
      a.y = r_.sbits(bits);
    } else {
      a.x = r_.sbits(bits);
    }
    c = {a.x / 2, a.y / 2};  // a line pairs with a curve through its midpoint
  } else {
    c.x = r_.sbits(bits);
    c.y = r_.sbits(bits);
    a.x = c.x + r_.sbits(bits);
    a.y = c.y + r_.sbits(bits);
  }
  if (!r_.ok()) return true;  // cut by the body's end
  const Point64 to{pen_.x + 2 * a.x, pen_.y + 2 * a.y};
  if (!Fits(to.x, kMaxCoordinate) || !Fits(to.y, kMaxCoordinate) ||
      !Fits(2 * c.x, kMaxEdgeDelta) || !Fits(2 * c.y, kMaxEdgeDelta) ||
      !Fits(2 * a.x, kMaxEdgeDelta) || !Fits(2 * a.y, kMaxEdgeDelta) ||
      !Fits(pendingMove_.x, kMaxEdgeDelta) || !Fits(pendingMove_.y, kMaxEdgeDelta))
    return Fail("an edge leaves the drawing area");
  if (++halfRecords_[half] > kMaxHalfRecords)
    return Fail("a half has more edges than the format holds");

  const Point64 start{pen_.x / 2, pen_.y / 2};
  MorphSegmentData& run = Run();
  if (run.curves.empty()) {
    run.x = int32_t(start.x);
    run.y = int32_t(start.y);
  }
  MorphCurveData point;
  point.w0 = int32_t(start.x + c.x);
  point.w1 = int32_t(start.x + a.x);
  point.w2 = int32_t(start.y + c.y);
  point.w3 = int32_t(start.y + a.y);
  point.curved = straight ? 0 : 1;
  run.curves.push_back(point);
  run.curveCount = uint16_t(run.curves.size());

  EdgeRecord rec;
  rec.curved = !straight;
  rec.hasStyles = pending_ != 0;
  // Line style, then the FillStyle1 index, then the FillStyle0 index.
  rec.line = uint8_t(line_);
  rec.fill0 = uint8_t(fill1_);
  rec.fill1 = uint8_t(fill0_);
  rec.hasMove = pending_ == 2;
  if (rec.hasMove) rec.move = {int32_t(pendingMove_.x), int32_t(pendingMove_.y)};
  if (rec.curved) rec.control = {int32_t(2 * c.x), int32_t(2 * c.y)};
  rec.anchor = {int32_t(2 * a.x), int32_t(2 * a.y)};
  EncodeEdgeRecord(streams_[half], rec);
  pen_ = to;
  pending_ = 0;
  return true;
}

bool MorphDecoder::Pass(int half) {
  pen_ = pendingMove_ = {};
  pending_ = 0;
  if (half == 0) {
    line_ = fill0_ = fill1_ = 0;
    if (!OpenRun(0, 0, 0)) return false;
  } else {
    // A fresh reader: the end shape is read even when the start shape's
    // reading ran into the body's end. Its index fields have 0 bits.
    r_ = SwfReader::ClearingBits(copy_.data(), copy_.size());
    r_.seek(endStart_);
    fillBits_ = lineBits_ = 0;
    const MorphSegmentData& first = runs_[0];
    line_ = first.line;
    fill0_ = first.fill0;
    fill1_ = first.fill1;
    if (!OpenRun(first.line, first.fill0, first.fill1)) return false;
    pending_ = 1;
  }
  while ((r_.pendingBits() > 0 || !r_.atEnd()) && r_.ok()) {
    bool ok;
    if (r_.ubits(1)) {
      ok = Edge(half);
    } else {
      const uint32_t flags = r_.ubits(5);
      if (!r_.ok() || flags == 0) break;
      ok = StyleChange(half, flags);
    }
    if (!ok) return false;
  }
  if (half == 0) startRuns_ = uint16_t(runs_.size());
  return true;
}

bool MorphDecoder::Decode() {
  r_ = SwfReader::ClearingBits(copy_.data(), copy_.size());
  SwfRect bounds;
  ReadSwfRect(r_, bounds);
  ReadSwfRect(r_, bounds);
  if (tag_ == 84) {
    ReadSwfRect(r_, bounds);
    ReadSwfRect(r_, bounds);
    r_.u8();
  }
  const uint64_t offsetPos = r_.pos();
  const uint32_t offset = r_.u32();
  if (!r_.ok()) return Fail("the body is cut short");
  endStart_ = offsetPos + 4 + uint64_t{offset} + 1;
  if (endStart_ > copy_.size()) return Fail("the end shape's offset points past the body");

  const uint16_t fills = ReadCount();
  for (uint32_t i = 0; i < fills; ++i) {
    if (!r_.ok() || r_.atEnd()) return Fail("the styles are cut short");
    MorphFillStyle f;
    if (!ReadFillStyle(f)) return false;
    entry_.pFillStyles.push_back(std::move(f));
  }
  const uint16_t lines = ReadCount();
  for (uint32_t i = 0; i < lines; ++i) {
    if (!r_.ok() || r_.atEnd()) return Fail("the styles are cut short");
    MorphLineStyle l;
    if (!ReadLineStyle(l)) return false;
    entry_.pLineStyles.push_back(std::move(l));
  }
  const uint8_t bitsByte = r_.u8();
  if (!r_.ok()) return Fail("the styles are cut short");
  entry_.wFillStyles = fills;
  entry_.wLineStyles = lines;
  fillBits_ = bitsByte >> 4;
  lineBits_ = bitsByte & 0x0F;

  if (!Pass(0) || !Pass(1)) return false;
  // An end shape with fewer runs than its start still gets a row for every
  // partner: an empty run with its partner's styles.
  while (runs_.size() < 2 * size_t(startRuns_)) {
    const MorphSegmentData& partner = Partner(runs_.size());
    if (!OpenRun(partner.line, partner.fill0, partner.fill1)) return false;
  }
  for (int half = 0; half < 2; ++half) {
    ShapeBlock& block = half == 0 ? entry_.pStartEdges : entry_.pEndEdges;
    block = streams_[half].size() ? ShapeBlock(streams_[half].span(), halfRecords_[half]) : ShapeBlock();
  }
  entry_.wStartEdgeCount = uint16_t(halfRecords_[0]);
  entry_.wEndEdgeCount = uint16_t(halfRecords_[1]);
  entry_.endEdgeTotal = halfRecords_[1];
  entry_.wHints = 0;
  entry_.pHints.clear();
  return true;
}

void Warn(ShapeContext& ctx, const MorphShapeEntry& entry, uint16_t tag, const std::string& why) {
  ShowWarning(ctx, "morph shapes left out", kMorphCaption,
              std::string(tag == 84 ? "DefineMorphShape2 " : "DefineMorphShape ") +
                  std::to_string(entry.wCharacterId) + ": " + why + "; the morph shape was left out.");
}

void ResetEntry(MorphShapeEntry& entry) {
  const uint16_t id = entry.wCharacterId;
  entry = MorphShapeEntry{};
  entry.wCharacterId = id;
}

// ---- the exact road's pages ----

SwfMatrix ToMatrix(const MorphMatrix& m) {
  SwfMatrix s;
  s.scaleX = m[0];
  s.scaleY = m[1];
  s.rotateSkew0 = m[2];
  s.rotateSkew1 = m[3];
  s.translateX = m[4];
  s.translateY = m[5];
  return s;
}

}  // namespace

FillStyle MorphHalfFill(const MorphFillStyle& m, bool end) {
  FillStyle f;
  f.type = m.focal ? kSwfFocalGradient : m.type;
  f.colour = end ? m.endColor : m.startColor;
  f.matrix = ToMatrix(end ? m.endMatrix : m.startMatrix);
  f.gradientHeader = m.gradientHeader;
  for (const MorphGradientStop& s : m.gradient)
    f.stops.push_back({end ? s.endRatio : s.startRatio, end ? s.endColor : s.startColor});
  f.focalPoint = end ? m.endFocal : m.startFocal;
  f.bitmapId = m.bitmapId;
  return f;
}

LineStyle MorphHalfLine(const MorphLineStyle& m, bool end) {
  LineStyle l;
  l.colour = end ? m.endColor : m.startColor;
  l.width = end ? m.endWidth : m.startWidth;
  l.flags0 = m.flags0;
  l.flags1 = m.flags1;
  l.miterLimitFactor = m.miterLimit;
  l.hasFill = m.hasFill;
  if (m.hasFill) l.fill = MorphHalfFill(m.fill, end);
  return l;
}

namespace {

// One half's style tables and the index of their records.
void HalfStyleTables(const MorphShapeEntry& entry, bool end, uint8_t level, ByteWriter& blob,
                     StyleIndex& styles) {
  blob.PutU16(entry.wFillStyles);
  for (const MorphFillStyle& m : entry.pFillStyles) {
    const size_t start = blob.size();
    EncodeFillStyle(blob, MorphHalfFill(m, end), level);
    styles.fills.emplace_back(blob.bytes().begin() + long(start), blob.bytes().end());
  }
  blob.PutU16(entry.wLineStyles);
  for (const MorphLineStyle& m : entry.pLineStyles) {
    const size_t start = blob.size();
    EncodeLineStyle(blob, MorphHalfLine(m, end), level);
    styles.lines.emplace_back(blob.bytes().begin() + long(start), blob.bytes().end());
  }
}

// Writes one half as a shape symbol page in "fill" and places it with the
// next item number. False when a work file failed (noted) or no item
// number or symbol is left.
bool PlaceHalfPage(ShapeContext& ctx, const MorphShapeEntry& entry, const MorphDecoder& decoder,
                   int half, uint16_t& itemNo) {
  if (!ctx.m_pWorkFolder || ctx.m_nWriterError) return false;
  WorkFolder& folder = *ctx.m_pWorkFolder;
  bool placed = false;
  if (FileHandle file(folder.file("fill"), "wb+"); file) {
    ShapePage page(ctx, file.get());
    // The morph's halves are analysed whatever "No Problem Search" says,
    // and their pages always get their "ID" layer.
    page.AnalyseAlways();
    const uint8_t shapesOn = ctx.m_bShapesOn;
    ctx.m_bShapesOn = 1;
    page.Begin();
    ByteWriter blob;
    StyleIndex styles;
    HalfStyleTables(entry, half == 1, ctx.m_nFlaFormat, blob, styles);
    page.WriteStyleTables(blob.span());
    page.Finish({decoder.stream(half).span(), decoder.records(half), decoder.singleSided(half), &styles},
                true, entry.wCharacterId);
    ctx.m_bShapesOn = shapesOn;
    if (!page.ok())
      NoteWriterFailure(ctx, kResultOutputIncomplete);
    else if (TakeItemNo(ctx, itemNo)) {
      ctx.m_pStreamItemNo[ctx.m_nStreams] = itemNo;
      if (PlaceShapePage(ctx, file.get())) {
        CommitSymbolStream(ctx, 0);
        placed = true;
      }
    }
  }
  folder.removeFile("fill");
  return placed;
}

// Decodes the body into the entry; a body the decoder refuses is warned of.
bool DecodeOrWarn(ShapeContext& ctx, MorphShapeEntry& entry, MorphDecoder& decoder, uint16_t tag) {
  if (decoder.Decode()) return true;
  Warn(ctx, entry, tag, decoder.why());
  return false;
}

}  // namespace

bool ConvertMorphShapeTag(ShapeContext& ctx, MorphShapeEntry& entry, std::span<const uint8_t> body,
                          const std::array<uint32_t, 6>& offsets, uint16_t tag) {
  ResetEntry(entry);
  MorphDecoder decoder(ctx, entry, body, offsets, tag);
  if (!DecodeOrWarn(ctx, entry, decoder, tag)) return false;
  const bool noSearch = ctx.m_pOptNoProblemSearch && *ctx.m_pOptNoProblemSearch;
  BeginShapeWork(ctx, tag, entry.wCharacterId);
  if (!noSearch && ctx.m_pAnalyzeMorphShapeHalf && MayAnalyseShape(ctx)) {
    const ShapeBlock start = entry.pStartEdges;
    if (entry.pStartEdges.length)
      ctx.m_pAnalyzeMorphShapeHalf(ctx, entry.pStartEdges, decoder.singleSided(0) ? 1 : 0);
    ++ctx.m_wCurSymbolId;
    if (entry.pEndEdges.length && !ctx.m_bShapeWorkRefused)
      ctx.m_pAnalyzeMorphShapeHalf(ctx, entry.pEndEdges, decoder.singleSided(1) ? 1 : 0);
    --ctx.m_wCurSymbolId;
    // The movie's shape work gave out: both halves stay as decoded (a half
    // it refused came back so), whose runs pair as they came.
    if (ctx.m_bShapeWorkRefused) entry.pStartEdges = start;
    entry.wStartEdgeCount = uint16_t(entry.pStartEdges.recordCount);
    entry.wEndEdgeCount = uint16_t(entry.pEndEdges.recordCount);
  }
  entry.wSegments = decoder.startRuns();
  entry.pSegments = std::move(decoder.runs());
  return true;
}

bool DecodeMorphShapeTag(ShapeContext& ctx, MorphShapeEntry& entry, std::span<const uint8_t> body,
                         const std::array<uint32_t, 6>& offsets, uint16_t tag) {
  ResetEntry(entry);
  MorphDecoder decoder(ctx, entry, body, offsets, tag);
  return DecodeOrWarn(ctx, entry, decoder, tag);
}

bool ConvertMorphShapeTagExact(ShapeContext& ctx, MorphShapeEntry& entry,
                               std::span<const uint8_t> body, const std::array<uint32_t, 6>& offsets,
                               uint16_t tag) {
  ResetEntry(entry);
  MorphDecoder decoder(ctx, entry, body, offsets, tag);
  if (!DecodeOrWarn(ctx, entry, decoder, tag)) return false;
  BeginShapeWork(ctx, tag, entry.wCharacterId);
  // Both halves are decoded before a page is placed, so a body the decoder
  // refuses leaves no symbol behind.
  if (!PlaceHalfPage(ctx, entry, decoder, 0, entry.wStartItemNo)) {
    Warn(ctx, entry, tag, "its start shape could not be written");
    return false;
  }
  if (!PlaceHalfPage(ctx, entry, decoder, 1, entry.wEndItemNo)) {
    Warn(ctx, entry, tag, "its end shape could not be written (the start shape's symbol stays)");
    return false;
  }
  entry.wSegments = 0;
  entry.pSegments.clear();
  return true;
}

}  // namespace tovrani
