// Whole-shape steps of the fill-overlap analysis that look at its first
// contour: the fill side of a one-contour shape, and the removal of edges
// that only retrace that contour.
#include "shape/builder/overlap_analysis.h"

namespace tovrani {

namespace {

IntPoint DevicePoint(int64_t x, int64_t y) { return {int32_t(x / 256), int32_t(y / 256)}; }

void PutPair(std::vector<uint8_t>& out, uint8_t form, int32_t x, int32_t y) {
  if (form == 0) return;
  const int bytes = form == 2 ? 4 : 2;
  for (int32_t v : {x, y})
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(uint32_t(v) >> (8 * i)));
}

}  // namespace

void TestSingleContourFillSide(OverlapAnalysis& a, const EdgeList& r) {
  if (r.items.empty() || r.startOffset != 0 || r.endOffset != a.block.length ||
      r.styleChangeIndex != 0 || !r.items[0].carriesStyles())
    return;
  Region area;
  if (a.Fill(RunAreaPath(r), area) == RegionKind::kError) return;
  const Orientation o = ProbeOrientation(r, area, 1);
  const uint8_t fill0 = r.items[0].style[1], fill1 = r.items[0].style[2];
  if ((o == Orientation::kClockwise && fill0 && !fill1) ||
      (o == Orientation::kCounterClockwise && fill1 && !fill0)) {
    std::swap(a.block.bytes[2], a.block.bytes[3]);
    a.changedInPlace = 0;
  }
}

void RunClosingPass(OverlapAnalysis& a) {
  const std::vector<EdgeListItem>& items = a.collected.items;
  if (items.empty() || !a.openRun || a.stopped) return;
  const EdgeListItem& first = items[0];
  Path path;
  path.MoveTo(DevicePoint(first.startX, first.startY));
  StyleBytes accumulated{};
  bool singleContour = true;
  // A contour that closes with the last collected item is closed too.
  size_t n = 0;
  bool closed = false;
  for (; n <= items.size(); ++n) {
    if (n > 0 && first.startX == items[n - 1].endX && first.startY == items[n - 1].endY) {
      closed = true;
      break;
    }
    if (n == items.size()) break;
    const EdgeListItem& it = items[n];
    if (it.carriesStyles())
      for (int i = 0; i < 3; ++i)
        if (it.style[i]) accumulated[i] = it.style[i];
    if (it.hasMove()) {
      if (n > 0) singleContour = false;
      path.MoveTo(DevicePoint(it.startX, it.startY));
    }
    if (it.curved())
      path.LineTo(DevicePoint(it.startX + it.controlX(), it.startY + it.controlY()));
    if (it.hasAnchor()) path.LineTo(DevicePoint(it.endX, it.endY));
  }
  path.CloseFigure();
  if (!singleContour || !closed || (accumulated[1] && accumulated[2])) return;
  // The rewrite puts the accumulated styles on item 0; without style bytes
  // there it would drop every fill and line.
  if (!first.carriesStyles() && accumulated != StyleBytes{}) return;

  Region band, scratch;
  if (a.Widen(path, band) == RegionKind::kError) return;
  static constexpr int32_t kShifts[8][2] = {{1, 0},  {-2, 0}, {1, 1},  {0, -2},
                                            {-1, 0}, {1, 1},  {0, 2},  {-1, -1}};
  for (int round = 0; round < 3; ++round) {
    if (!a.Charge(uint64_t(8) * uint64_t(band.Box().bottom - band.Box().top + 1))) return;
    Region::Combine(scratch, band, band, CombineMode::kCopy);
    for (const auto& shift : kShifts) {
      if (scratch.Translate(shift[0], shift[1]) == RegionKind::kError ||
          Region::Combine(band, band, scratch, CombineMode::kOr) == RegionKind::kError)
        return;
    }
  }

  auto inBand = [&](const EdgeListItem& it) {
    const IntPoint s = DevicePoint(it.startX, it.startY), e = DevicePoint(it.endX, it.endY);
    if (!band.Contains(s.x, s.y) || !band.Contains(e.x, e.y)) return false;
    if (it.curved()) {
      const IntPoint c = DevicePoint(it.startX + it.controlX(), it.startY + it.controlY());
      return band.Contains(c.x, c.y);
    }
    return band.Contains(int32_t((int64_t(s.x) + e.x) / 2), int32_t((int64_t(s.y) + e.y) / 2));
  };
  const EdgeList& last = a.runs[a.side];
  if (!a.Charge(items.size() + last.items.size())) return;
  for (size_t k = n; k < items.size(); ++k)
    if (!inBand(items[k])) return;
  for (const EdgeListItem& it : last.items)
    if (!inBand(it)) return;

  std::vector<uint8_t> out;
  uint32_t records = 0;
  for (size_t k = 0; k < n; ++k) {
    const EdgeListItem& it = items[k];
    if (k == 0) {
      out.push_back(it.flags);
      if (it.carriesStyles()) out.insert(out.end(), accumulated.begin(), accumulated.end());
      PutPair(out, MoveForm(it.flags), it.moveDx, it.moveDy);
    } else {
      const uint8_t flags = it.carriesStyles() ? uint8_t(it.flags & 0x3C) : it.flags;
      if (flags == 0) continue;  // a style change alone: nothing left to draw
      out.push_back(flags);
    }
    PutPair(out, ControlForm(it.flags), it.controlDx, it.controlDy);
    PutPair(out, AnchorForm(it.flags), it.anchorDx, it.anchorDy);
    ++records;
  }
  a.block.Splice(0, a.block.length, out);
  a.block.recordCount = records;
  a.Note(LossyRewrite::kRetraceRemoved);
}

}  // namespace tovrani
