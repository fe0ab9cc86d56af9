#include "shape/builder/correction_output.h"

#include <algorithm>

#include "fla/file_helpers.h"
#include "fla/stream_placement.h"
#include "shape/builder/retrace_region.h"
#include "shape/builder/shape_continuation.h"

namespace tovrani {

namespace {

constexpr int32_t kTakenOrder = 0x1FFFFFFF;
constexpr int32_t kPickLimit = 0x1FFFFFF0;

uint8_t FillSideOf(const ShapeRegion& r) { return r.kind == kFill0Side ? 1 : 2; }

bool StrictlyEncloses(const IntRect& outer, const IntRect& inner) {
  return outer.left < inner.left && outer.top < inner.top && outer.right > inner.right &&
         outer.bottom > inner.bottom;
}

bool Overlaps(RegionKind k) { return k != RegionKind::kError && k != RegionKind::kEmpty; }

// A contour's steps name entries of the graph; one that does not is
// passed over rather than read.
bool ValidStep(std::span<const ShapePoint> points, uint32_t p, uint32_t e) {
  if (p >= points.size() || e >= points[p].edges.size()) return false;
  const PointEdge& edge = points[p].edges[e];
  return edge.otherPoint < points.size() && edge.twin < points[edge.otherPoint].edges.size();
}

}  // namespace

CorrectionOutput::CorrectionOutput(ShapeBuilder& b, std::FILE* page, size_t& countFieldPos)
    : b_(b), page_(page), countFieldPos_(countFieldPos), givenCountFieldPos_(countFieldPos),
      tests_(b.geo) {}

void CorrectionOutput::SetUp() {
  std::span<ShapePoint> points = b_.graph.span();
  for (uint32_t i = 0; i < b_.regions.size(); ++i) {
    ShapeRegion& r = *b_.regions[i];
    r.interior = 0;
    if (!r.HasContour() || !r.joined) continue;
    if (!b_.Charge(uint64_t(r.First()->count()) + 1)) return;
    if (!ClosingChordCrosses(tests_, r, points) && r.TestInterior(b_.geo, points, 0)) {
      r.interior = 1;
      r.RebuildRegions(b_.geo, points, i);
    }
  }
  linked_.assign(b_.regions.size(), 0);
  for (auto& r : b_.regions) {
    if (!r->HasContour()) continue;
    for (uint32_t l : r->links)
      if (l < b_.regions.size() && b_.regions[l].get() != r.get()) {
        r->UniteRegion(*b_.regions[l]);
        linked_[l] = 1;
      }
  }
  if (b_.ctx.m_pShell) {
    b_.ctx.m_pShell->SetCurrentAction("adding shape -> correcting vector problems and building shape...");
    b_.ctx.m_pShell->BeginSubTask(0, uint32_t(std::min<uint64_t>(b_.regions.size() * 30, UINT32_MAX)));
  }
}

CorrectionOutput::Result CorrectionOutput::Run() {
  SetUp();
  const uint32_t count = uint32_t(b_.regions.size());
  for (uint32_t t = 0; t < count && !b_.geo.failed && !failed_; ++t) {
    bool more = true;
    if (!Turn(t, more) || !more) break;
  }
  if (!b_.geo.failed && !failed_) LooseStrokes();
  if (!b_.geo.failed && !failed_) RemainingStrokes();
  // A buffered write that fails shows only when it reaches the file.
  if (started_ && !failed_ && (std::fflush(page_) != 0 || std::ferror(page_))) {
    failed_ = true;
    NoteWriterFailure(b_.ctx, kResultOutputIncomplete);
  }
  if (failed_) {
    Restore();
    return Result::kWriteFailed;
  }
  if (b_.geo.failed) return Restore() ? Result::kRestored : Result::kWriteFailed;
  if (totalRecords_ == 0) {
    if (started_ && !Restore()) return Result::kWriteFailed;
    return Result::kNothing;
  }
  b_.block.recordCount = objectRecords_;
  return Result::kWritten;
}

bool CorrectionOutput::Turn(uint32_t t, bool& more) {
  b_.Progress(t * 30);
  auto& regions = b_.regions;
  if (!b_.Charge(regions.size() + 1)) return false;
  int64_t pick = -1;
  for (uint32_t i = 0; i < regions.size(); ++i)
    if (regions[i]->order < kPickLimit && (pick < 0 || regions[i]->order < regions[pick]->order))
      pick = i;
  if (pick < 0) {
    more = false;
    return true;
  }
  std::span<ShapePoint> points = b_.graph.span();
  // A region that encloses the pick goes first, so that what lies inside
  // it is stacked over it.
  uint32_t x = uint32_t(pick);
  for (uint32_t y = 0; y < regions.size(); ++y) {
    ShapeRegion& Y = *regions[y];
    ShapeRegion& X = *regions[x];
    if (y == x || Y.order >= kTakenOrder || !StrictlyEncloses(Y.box, X.box)) continue;
    if (X.area.IsEmpty()) X.BuildOutlineRegion(b_.geo, points);
    Region common;
    const RegionKind k = Region::Combine(common, Y.area, X.area, CombineMode::kAnd);
    if (!Overlaps(k)) continue;
    if (common == X.area || (Y.interior && !(common == Y.area))) x = y;
  }
  if (b_.geo.failed) return false;
  ShapeRegion& X = *regions[x];
  X.order = kTakenOrder;
  if (!X.HasContour()) return true;
  if (X.interior) return WriteRegion(x, true, false);
  if (X.joined && X.border) {
    const Contour& c = *X.First();
    const bool line = ValidStep(points, c.points[0], c.edges[0]) &&
                      points[c.points[0]].edges[c.edges[0]].style[0] != 0;
    for (uint32_t k = 0; k < regions.size(); ++k) {
      ShapeRegion& R = *regions[k];
      if (k != x && R.HasContour() && R.joined && R.IsReverseOf(X, points)) {
        R.Clear();
        break;
      }
    }
    return line ? WriteRegion(x, false, true) : true;
  }
  if (X.joined) {
    if (!b_.Charge(uint64_t(X.First()->count()) + 1)) return false;
    if (!ClosingChordCrosses(tests_, X, points) && X.TestInterior(b_.geo, points, 0))
      return WriteRegion(x, true, false);
    return !b_.geo.failed;
  }
  if (X.probe == 0) return WriteRegion(x, false, false);
  // An outline that crosses itself turns both ways, so its turning does not
  // tell an outline from a hole; unless a region holds it as a hole it
  // would be written nowhere, and it goes the retrace road.
  if (!linked_[x]) {
    const uint64_t n = X.First()->count();
    if (!b_.Charge(n * n / 16 + 1)) return false;
    if (ContourCrossesItself(tests_, X, points)) return WriteRegion(x, false, false);
  }
  return !b_.geo.failed;
}

bool CorrectionOutput::WriteRegion(uint32_t x, bool closeFlag, bool lineFlag) {
  ShapeRegion& X = *b_.regions[x];
  out_.bytes.Clear();
  out_.penX = out_.penY = 0;
  const uint8_t fillSide = FillSideOf(X);
  if (!(lineFlag && !closeFlag)) {
    const uint64_t n = X.First()->count();
    // The self-crossing test looks at every pair of steps.
    if (!b_.Charge(n * n / 16 + 1)) return false;
    if (X.joined || !ContourCrossesItself(tests_, X, b_.graph.span())) {
      if (!WriteFillFromContour(X, fillSide, closeFlag)) return false;
    } else {
      bool written = false;
      if (!WriteFillFromRetrace(X, fillSide, uint32_t(x), written)) return false;
      if (!written) {
        // The retrace never came out clean: the region goes out as its own
        // contour, and the user is told.
        g_bVectorizationProblem = 1;
        if (!WriteFillFromContour(X, fillSide, closeFlag)) return false;
      }
    }
  }
  return RegionStrokes(X);
}

std::span<const uint8_t> CorrectionOutput::FillStyleOf(const ShapeRegion& region,
                                                       uint8_t fillSide) const {
  if (!b_.styles) return {};
  std::span<ShapePoint> points = b_.graph.span();
  const Contour& c = *region.First();
  uint8_t fill = region.style;
  if (c.count() && ValidStep(points, c.points[0], c.edges[0]) &&
      points[c.points[0]].edges[c.edges[0]].style[fillSide])
    fill = points[c.points[0]].edges[c.edges[0]].style[fillSide];
  return b_.styles->Fill(fill);
}

void CorrectionOutput::WriteContourSteps(const Contour& contour, uint8_t fillSide) {
  std::span<ShapePoint> points = b_.graph.span();
  uint8_t change[3] = {0, 0, 0};
  change[fillSide] = 1;
  bool first = true;
  for (uint32_t k = 0; k < contour.count(); ++k) {
    const uint32_t p = contour.points[k], e = contour.edges[k];
    if (!ValidStep(points, p, e)) continue;
    PointEdge& edge = points[p].edges[e];
    out_.WriteStyled(points[p], edge, first ? change : nullptr);
    first = false;
    ++objectRecords_;
    // This side's fill is in the page now; no later object writes it again.
    edge.style[fillSide] = 0;
    points[edge.otherPoint].edges[edge.twin].style[3 - fillSide] = 0;
  }
}

bool CorrectionOutput::WriteLinkedContours(const ShapeRegion& region) {
  for (uint32_t l : region.links) {
    if (l >= b_.regions.size()) continue;
    const ShapeRegion& L = *b_.regions[l];
    if (&L == &region || !L.HasContour()) continue;
    if (!b_.Charge(L.First()->count() + 1)) return false;
    WriteContourSteps(*L.First(), FillSideOf(L));
  }
  return true;
}

bool CorrectionOutput::WriteFillFromContour(ShapeRegion& region, uint8_t fillSide, bool closeFlag) {
  const std::span<const uint8_t> fill = FillStyleOf(region, fillSide);
  // A fill the style tables do not hold cannot be written.
  if (fill.empty()) return true;
  if (!b_.Charge(region.First()->count() + 1)) return false;
  if (!StartFillObject(fill)) return false;
  WriteContourSteps(*region.First(), fillSide);
  if (closeFlag && objectRecords_) {
    const IntPoint start = region.GetStartPoint(b_.graph.span());
    const IntPoint end = region.GetEndPoint(b_.graph.span());
    if (start.x != end.x || start.y != end.y) {
      out_.WriteClosing(start.x, start.y);
      ++objectRecords_;
    }
  }
  if (!WriteLinkedContours(region)) return false;
  return Flush();
}

bool CorrectionOutput::WriteFillFromRetrace(ShapeRegion& region, uint8_t fillSide, uint32_t t,
                                            bool& written) {
  written = false;
  std::span<ShapePoint> points = b_.graph.span();
  // Painting and tracing cost by the raster's pixels, which the area limit
  // caps; the painting's rows, the corners traced and the fills of the
  // encoding are charged where they are spent.
  const uint64_t w = uint64_t(std::max<int64_t>(0, int64_t(region.box.right) - region.box.left));
  const uint64_t h = uint64_t(std::max<int64_t>(0, int64_t(region.box.bottom) - region.box.top));
  const uint64_t pixels = w && h ? std::min<uint64_t>(w * h, uint64_t(kRetraceMaxPixels) * 2) : 0;
  // The real retrace judges its own list (it fits again where the first
  // fit crosses); `judged` tells whether `judgedCrossing` holds the answer.
  bool judged = false, judgedCrossing = false;
  auto retrace = [&](PathRecordList& list, int level) {
    list.records.clear();
    judged = false;
    if (!b_.Charge(pixels * 8 + 256)) return;
    if (b_.retrace)
      b_.retrace(list, region, level);
    else
      judged = RetraceRegion(b_.ctx, list, region, points, level, &judgedCrossing, &b_.geo) == 1;
  };
  PathRecordList list;
  int level = 4;
  bool crosses = true;
  for (;;) {
    b_.Progress(t * 30 + uint32_t(level));
    retrace(list, level);
    if (b_.geo.failed) return false;
    if (!b_.Charge(uint64_t(list.records.size()) * list.records.size() / 16 + 1)) return false;
    crosses = judged ? judgedCrossing : TracedPathCrosses(list);
    if (!crosses || level >= 30) break;
    ++level;
  }
  bool failed = false;
  if (crosses) {
    retrace(list, 4);
    if (b_.geo.failed) return false;
    list.CurvesToLines();
    const uint64_t n = list.records.size();
    if (!b_.Charge(n * n / 16 + 1)) return false;
    failed = TracedPathCrosses(list);
  }
  list.Simplify();
  if (failed || list.records.empty()) return true;
  const std::span<const uint8_t> fill = FillStyleOf(region, fillSide);
  if (fill.empty()) return true;
  // Encoded apart first: a list that yields no record starts no object.
  ShapeOutput traced;
  uint32_t n = 0;
  if (!list.EncodeAsEdges(traced, n, region, points, fillSide, b_.geo)) return false;
  if (n == 0) return true;
  if (!StartFillObject(fill)) return false;
  out_.bytes.PutBytes(traced.bytes.span());
  out_.penX = traced.penX;
  out_.penY = traced.penY;
  objectRecords_ += n;
  written = true;
  if (!WriteLinkedContours(region)) return false;
  return Flush();
}

// ---- object starts and the page stream ----

bool CorrectionOutput::PageWrite(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return true;
  if (std::fwrite(bytes.data(), 1, bytes.size(), page_) != bytes.size() || std::ferror(page_)) {
    failed_ = true;
    NoteWriterFailure(b_.ctx, kResultOutputIncomplete);
    return false;
  }
  return true;
}

bool CorrectionOutput::NewObject(bool withFill, std::span<const uint8_t> fill) {
  if (layer_ == UINT16_MAX) {
    // More layers than a page counts: the shape is given up.
    b_.geo.failed = true;
    return false;
  }
  ++layer_;
  const bool ok = withFill ? StartShapeObjectWithFill(b_.ctx, objectRecords_, fill, page_,
                                                      countFieldPos_, layer_)
                           : StartShapeObjectWithoutFills(b_.ctx, objectRecords_, page_,
                                                          countFieldPos_, layer_);
  if (!ok) failed_ = true;
  return ok;
}

bool CorrectionOutput::StartFillObject(std::span<const uint8_t> fill) {
  if (objectRecords_ != 0 || layer_ != 0) {
    if (!NewObject(true, fill)) return false;
  } else {
    // The first object keeps the caller's head; its tables become this
    // one fill.
    if (std::fseek(page_, long(b_.ctx.m_nShapeHeadPos), SEEK_SET) != 0) {
      failed_ = true;
      NoteWriterFailure(b_.ctx, kResultOutputIncomplete);
      return false;
    }
    ByteWriter head;
    head.PutU16(1);
    head.PutBytes(fill);
    head.PutU16(0);
    if (!PageWrite(head.span())) return false;
  }
  objectRecords_ = 0;
  started_ = true;
  open_ = Table::kFill;
  return true;
}

bool CorrectionOutput::StartStrokeObject(Table table, bool& tableNeeded) {
  tableNeeded = true;
  if (objectRecords_ == 0 && layer_ != 0 && open_ == table && table == Table::kAllLines) {
    // The open object is empty and carries the table these records need.
    tableNeeded = false;
  } else if (objectRecords_ != 0 || layer_ != 0) {
    if (!NewObject(false, {})) return false;
  } else {
    if (std::fseek(page_, long(b_.ctx.m_nShapeHeadPos), SEEK_SET) != 0) {
      failed_ = true;
      NoteWriterFailure(b_.ctx, kResultOutputIncomplete);
      return false;
    }
    const uint8_t noFills[2] = {0, 0};
    if (!PageWrite(noFills)) return false;
  }
  objectRecords_ = 0;
  started_ = true;
  open_ = table;
  return true;
}

bool CorrectionOutput::Flush() {
  const bool ok = PageWrite(out_.bytes.span());
  out_.bytes.Clear();
  totalRecords_ += objectRecords_;
  b_.block.recordCount = objectRecords_;
  return ok;
}

bool CorrectionOutput::Restore() {
  countFieldPos_ = givenCountFieldPos_;
  if (std::fseek(page_, long(b_.ctx.m_nShapeHeadPos), SEEK_SET) != 0 ||
      std::fwrite(b_.styleBlob.data(), 1, b_.styleBlob.size(), page_) != b_.styleBlob.size()) {
    NoteWriterFailure(b_.ctx, kResultOutputIncomplete);
    return false;
  }
  return true;
}

}  // namespace tovrani
