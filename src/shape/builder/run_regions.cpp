// Region tests of two neighbouring runs: nesting, overlap and collinear
// lines, settled by drawing each run as an area.
#include <algorithm>
#include <climits>
#include <set>
#include <tuple>
#include <unordered_map>

#include "shape/builder/overlap_analysis.h"
#include "shape/geometry/run_rewrite.h"

namespace tovrani {

namespace {

// Device units; a point beyond the path's range anyway is clamped, and the
// fill then refuses the path.
IntPoint Clamped(int64_t x, int64_t y) {
  auto clamp = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, -(1 << 30), 1 << 30)); };
  return {clamp(x), clamp(y)};
}
IntPoint Start(const EdgeListItem& it) { return Clamped(it.startX / 256, it.startY / 256); }
IntPoint End(const EdgeListItem& it) { return Clamped(it.endX / 256, it.endY / 256); }
// The control point: the start plus the control delta, each in device units.
IntPoint Control(const EdgeListItem& it) {
  return Clamped(it.startX / 256 + it.controlX() / 256, it.startY / 256 + it.controlY() / 256);
}

// Inside or outside of a run for its orientation: a clockwise run has its
// inside on the fill-1 side.
uint8_t InsideFill(const EdgeListItem& first, Orientation o) {
  return o == Orientation::kClockwise ? first.style[2] : first.style[1];
}
uint8_t OutsideFill(const EdgeListItem& first, Orientation o) {
  return o == Orientation::kClockwise ? first.style[1] : first.style[2];
}

Orientation Orient(const EdgeList& run, const Region& area) {
  for (int32_t d = 1; d <= 10; ++d) {
    const Orientation o = ProbeOrientation(run, area, d);
    if (o != Orientation::kNone) return o;
  }
  return Orientation::kNone;
}

StyleBytes Merged(const EdgeListItem& over, const EdgeListItem& under) {
  StyleBytes s;
  for (int i = 0; i < 3; ++i) s[i] = over.style[i] ? over.style[i] : under.style[i];
  return s;
}

// No style byte that both runs set to different styles.
bool Compatible(const EdgeListItem& a, const EdgeListItem& b) {
  for (int i = 0; i < 3; ++i)
    if (a.style[i] && b.style[i] && a.style[i] != b.style[i]) return false;
  return true;
}

// Whether style bytes draw fill `f`: fills are drawn even-odd, so a fill on
// both sides of an edge draws nothing there.
bool DrawsFill(const StyleBytes& s, uint8_t f) { return f && (s[1] == f) != (s[2] == f); }

// Two runs over the same area draw each fill that one of them carries; two
// copies of one fill cancel. One run with `merged` draws the same only when
// it draws exactly the fills that one run and not the other draws.
bool MergeKeepsFills(const StyleBytes& p, const StyleBytes& r, const StyleBytes& merged) {
  for (const uint8_t f : {p[1], p[2], r[1], r[2]})
    if ((DrawsFill(p, f) != DrawsFill(r, f)) != DrawsFill(merged, f)) return false;
  return true;
}

// Of two runs of one area, `kept` takes the styles of both and `gone` is
// removed. An open run's area is closed by its chord, so runs of one area
// can hold different edges: the kept run must hold every edge of the other,
// and the same edges when the other adds a line or a fill to them.
bool KeepsWhatGoesDrawn(const EdgeList& kept, const EdgeList& gone) {
  const StyleBytes& k = kept.items[0].style;
  const StyleBytes& g = gone.items[0].style;
  const bool adds = (g[0] && !k[0]) || DrawsFill(g, g[1]) || DrawsFill(g, g[2]);
  return adds ? HoldSameEdges(kept, gone) : HoldsEveryEdgeOf(kept, gone);
}

// All items straight and on the line y, with the same style bytes: such a
// run lies inside the band of a run that covers its x range.
bool FlatOnLine(const EdgeList& run, int32_t y, const StyleBytes& style) {
  return std::all_of(run.items.begin(), run.items.end(), [&](const EdgeListItem& it) {
    return !it.curved() && it.startY == y && it.endY == y && it.style == style;
  });
}

class PairTest {
 public:
  PairTest(OverlapAnalysis& a, const EdgeList& p, const EdgeList& r) : a_(a), p_(p), r_(r) {}
  bool Run();

 private:
  bool Disjoint(const Region& areaP, const Region& areaR);
  bool MorphNesting(const EdgeList& inner, const EdgeList& outer);
  bool SharesEdge() const;
  bool RAbsorbsP();
  bool PAbsorbsR();
  // Replaces [from, readPos) by `with`, and the next record by a copy that
  // still starts where it did and keeps its style in force.
  bool ReplaceThroughNext(size_t from, std::vector<uint8_t> with, std::optional<MovePair> nextMove,
                          const StyleBytes& nowInForce);

  OverlapAnalysis& a_;
  const EdgeList& p_;
  const EdgeList& r_;
};

bool PairTest::Run() {
  const bool morph = a_.ctx.m_bMorphAnalysis != 0;
  const bool closedP = IsClosedRun(p_), closedR = IsClosedRun(r_);
  if (!morph && !closedP && !closedR) return false;
  Region areaP, areaR, overlap;
  if (a_.Fill(RunAreaPath(p_), areaP) == RegionKind::kError ||
      a_.Fill(RunAreaPath(r_), areaR) == RegionKind::kError)
    return false;
  const IntRect boxP = areaP.Box(), boxR = areaR.Box();
  const RegionKind kind = Region::Combine(overlap, areaP, areaR, CombineMode::kAnd);
  if (kind == RegionKind::kError) return false;
  if (kind == RegionKind::kEmpty) return Disjoint(areaP, areaR);
  const IntRect boxOverlap = overlap.Box();

  const bool isP = overlap == areaP, isR = overlap == areaR;
  if (isP != isR) {
    const EdgeList& inner = isP ? p_ : r_;
    const EdgeList& outer = isP ? r_ : p_;
    const Orientation oi = Orient(inner, isP ? areaP : areaR);
    const Orientation oo = Orient(outer, isP ? areaR : areaP);
    if (oi == Orientation::kNone || oo == Orientation::kNone) return false;
    if (OutsideFill(inner.items[0], oi) && InsideFill(outer.items[0], oo)) return false;
    if (morph && oi == Orientation::kClockwise && oo == Orientation::kClockwise &&
        MorphNesting(inner, outer))
      return false;
  }

  const EdgeListItem& p0 = p_.items[0];
  const EdgeListItem& r0 = r_.items[0];
  if (r_.styleChangeIndex == 0 && !r0.hasFill() && !closedR && closedP) {
    if (!CurveEntersRegion(r_, p_, overlap, boxOverlap)) return false;
  } else if (p_.styleChangeIndex == 0 && !p0.hasFill() && !closedP && closedR) {
    if (!CurveEntersRegion(p_, r_, overlap, boxOverlap)) return false;
  }

  if (!p0.hasFill() && !r0.hasFill() && !SharesEdge()) return false;
  // Runs of the same area merge only when one run's styles can carry the
  // other's: a line or fill of P that R replaces would vanish.
  if (isP && isR && !(p_.styleChangeIndex == 0 && r_.styleChangeIndex == 0 && Compatible(p0, r0) &&
                      MergeKeepsFills(p0.style, r0.style, Merged(r0, p0))))
    return false;
  const bool rAbsorbs = boxP.right - boxP.left <= boxR.right - boxR.left &&
                        boxP.bottom - boxP.top <= boxR.bottom - boxR.top;
  if (isP && isR && !KeepsWhatGoesDrawn(rAbsorbs ? r_ : p_, rAbsorbs ? p_ : r_)) return false;
  const bool done = rAbsorbs ? RAbsorbsP() : PAbsorbsR();
  if (!done) {
    a_.stopped = true;  // a move beyond 32 bits
    return true;
  }
  if (!(isP && isR)) a_.Note(LossyRewrite::kOverlapMerge);
  return true;
}

// Both runs clockwise in a morph half, same line, no fill 0: the inner
// contour becomes a hole of the outer fill, or the ring between them gets
// the outer fill. True when the test ends here.
bool PairTest::MorphNesting(const EdgeList& inner, const EdgeList& outer) {
  const EdgeListItem& i0 = inner.items[0];
  const EdgeListItem& o0 = outer.items[0];
  if (i0.style[0] != o0.style[0] || i0.style[1] || o0.style[1]) return false;
  // The fill bytes are written in the inner run's first record, which must
  // carry them.
  if (!i0.carriesStyles()) return false;
  uint8_t* fills = a_.block.bytes.data() + inner.startOffset + 2;
  if (fills[0] != 0) return false;
  a_.changedInPlace = std::min(a_.changedInPlace, inner.startOffset);
  if (i0.style[2] == o0.style[2]) {
    if (!fills[1]) return false;
    fills[0] = fills[1];
    fills[1] = 0;
    return true;
  }
  if (!i0.style[2] || !o0.style[2]) return false;
  fills[0] = o0.style[2];
  a_.Note(LossyRewrite::kNestingFix);
  return true;
}

// Some item of R is an item of P (same points, control and anchor forms and
// stored anchor), or one reversed (anchor negated).
bool PairTest::SharesEdge() const {
  using Key = std::tuple<int32_t, int32_t, int32_t, int32_t, uint8_t, int64_t, int64_t>;
  std::set<Key> edges;
  for (const EdgeListItem& it : p_.items)
    edges.insert({it.startX, it.startY, it.endX, it.endY, uint8_t(it.flags & 0x3C), it.anchorDx,
                  it.anchorDy});
  for (const EdgeListItem& it : r_.items) {
    const uint8_t forms = it.flags & 0x3C;
    if (edges.count({it.startX, it.startY, it.endX, it.endY, forms, it.anchorDx, it.anchorDy}) ||
        edges.count({it.endX, it.endY, it.startX, it.startY, forms, -int64_t(it.anchorDx),
                     -int64_t(it.anchorDy)}))
      return true;
  }
  return false;
}

bool PairTest::ReplaceThroughNext(size_t from, std::vector<uint8_t> with,
                                  std::optional<MovePair> nextMove, const StyleBytes& nowInForce) {
  const uint32_t readPos = a_.readPos;
  EdgeListItem next;
  const size_t nextSize = ReadStoredRecord(a_.block.counted(), readPos, next);
  size_t to = readPos;
  if (nextSize) {
    RecordRebuild change;
    if (nextMove) change.move = MovePair{next.moveX() + nextMove->x, next.moveY() + nextMove->y};
    change.style = FollowerStyle(a_.block, readPos, r_.last().style, nowInForce);
    if (change.move || change.style) {
      const std::vector<uint8_t> rebuilt = RebuildRecord(a_.block, readPos, change);
      if (rebuilt.empty()) return false;
      with.insert(with.end(), rebuilt.begin(), rebuilt.end());
      to = readPos + nextSize;
    }
  }
  a_.block.Splice(from, to, with);
  return true;
}

// R's records written over P's: R's first record starts from the pen
// before P and carries the styles of both.
bool PairTest::RAbsorbsP() {
  const EdgeListItem& p0 = p_.items[0];
  const EdgeListItem& r0 = r_.items[0];
  const StyleBytes merged = Merged(r0, p0);
  const bool carry = r0.carriesStyles() || p0.carriesStyles() || p_.styleBefore != merged;
  RecordRebuild change;
  change.move = MovePair{r0.startX - p_.penBeforeX(), r0.startY - p_.penBeforeY()};
  if (carry) change.style = merged;
  std::vector<uint8_t> bytes = RebuildRecord(a_.block, r_.startOffset, change);
  if (bytes.empty()) return false;
  const auto& b = a_.block.bytes;
  bytes.insert(bytes.end(), b.begin() + long(r_.startOffset + RecordSize(r0.flags)),
               b.begin() + long(a_.readPos));
  // The style in force after the written records.
  StyleBytes atEnd = carry ? merged : p_.styleBefore;
  for (size_t k = 1; k < r_.items.size(); ++k)
    if (r_.items[k].carriesStyles()) atEnd = r_.items[k].style;
  if (!ReplaceThroughNext(p_.startOffset, std::move(bytes), std::nullopt, atEnd)) return false;
  LowerCount(a_.block, p_.count());
  return true;
}

// R is removed; P's first record takes R's styles where R has them.
bool PairTest::PAbsorbsR() {
  const EdgeListItem& p0 = p_.items[0];
  const StyleBytes merged = Merged(r_.items[0], p0);
  StyleBytes pEnd = p_.last().style;
  if (p0.carriesStyles()) {
    size_t lastCarrier = 0;
    for (size_t k = 1; k < p_.items.size(); ++k)
      if (p_.items[k].carriesStyles()) lastCarrier = k;
    if (lastCarrier == 0) pEnd = merged;
  }
  const MovePair shift{int64_t(r_.last().endX) - p_.last().endX,
                       int64_t(r_.last().endY) - p_.last().endY};
  // The move check comes before any byte changes.
  if (!ReplaceThroughNext(r_.startOffset, {}, shift, pEnd)) return false;
  if (p0.carriesStyles())
    std::copy(merged.begin(), merged.end(), a_.block.bytes.begin() + p_.startOffset + 1);
  LowerCount(a_.block, r_.count());
  return true;
}

// Two line runs whose areas are empty and which lie on one horizontal line.
bool PairTest::Disjoint(const Region& areaP, const Region& areaR) {
  if (!areaP.IsEmpty() || !areaR.IsEmpty()) return false;
  if (p_.styleChangeIndex != 0 || r_.styleChangeIndex != 0) return false;
  const EdgeListItem& p0 = p_.items[0];
  const EdgeListItem& r0 = r_.items[0];
  if (!p0.style[0] || p0.hasFill() || !r0.style[0] || r0.hasFill()) return false;
  const EdgeListItem& pl = p_.last();
  const EdgeListItem& rl = r_.last();
  if (p0.startX == pl.endX && r0.startX == rl.endX && p0.startX == r0.startX) return false;
  if (!(p0.startY == pl.endY && r0.startY == rl.endY && p0.startY == r0.startY)) return false;
  const IntRect& bp = p_.box;
  const IntRect& br = r_.box;
  if (!(bp.left < br.right && br.left < bp.right)) return false;
  const int32_t y = p0.startY;
  if (bp.left <= br.left && bp.right >= br.right && pl.endX == rl.endX) {
    // The pen after both runs is the same point: no move changes.
    if (!ReplaceThroughNext(r_.startOffset, {}, std::nullopt, pl.style)) return false;
    LowerCount(a_.block, r_.count());
    if (!(FlatOnLine(r_, y, r0.style) && FlatOnLine(p_, y, r0.style)))
      a_.Note(LossyRewrite::kLineOnLine);
    return true;
  }
  // R covers P from the same start: P's first record keeps its styles and
  // move and takes R's geometry, which needs the same style bytes.
  if (br.left <= bp.left && br.right >= bp.right && p0.startX == r0.startX &&
      p0.style == r0.style) {
    a_.block.bytes[p_.startOffset] = uint8_t((p0.flags & 0xC3) | (r0.flags & 0x3C));
    const size_t from = r_.startOffset + RecordHeadSize(r0.flags);
    const std::vector<uint8_t> rest(a_.block.bytes.begin() + long(from),
                                    a_.block.bytes.begin() + long(a_.readPos));
    a_.block.Splice(p_.startOffset + RecordHeadSize(p0.flags), a_.readPos, rest);
    LowerCount(a_.block, p_.count());
    if (!(FlatOnLine(r_, y, r0.style) && FlatOnLine(p_, y, r0.style)))
      a_.Note(LossyRewrite::kLineOnLine);
    return true;
  }
  return false;
}

}  // namespace

Path RunAreaPath(const EdgeList& run) {
  Path path;
  if (run.items.empty()) return path;
  path.MoveTo(Start(run.items[0]));
  const bool filled = run.items[0].hasFill();
  for (size_t k = 0; k < run.items.size(); ++k) {
    const EdgeListItem& it = run.items[k];
    if (it.hasMove()) path.MoveTo(Start(it));
    const IntPoint s = Start(it), e = End(it);
    if (it.curved()) {
      const IntPoint c = Control(it);
      const IntPoint c1{int32_t(s.x + 2 * int64_t(c.x - s.x) / 3),
                        int32_t(s.y + 2 * int64_t(c.y - s.y) / 3)};
      const IntPoint c2{int32_t(c.x + (int64_t(e.x) - c.x) / 3),
                        int32_t(c.y + (int64_t(e.y) - c.y) / 3)};
      path.BezierTo(c1, c2, e);
    } else if (it.hasAnchor()) {
      path.LineTo(e);
    }
    // The line-only tail of a filled run is not part of its area.
    if (run.styleChangeIndex == int32_t(k + 1) && k + 1 < run.items.size() &&
        !run.items[k + 1].hasFill() && filled)
      break;
  }
  path.CloseFigure();
  return path;
}

Orientation ProbeOrientation(const EdgeList& run, const Region& area, int32_t d) {
  using O = Orientation;
  for (const EdgeListItem& it : run.items) {
    if (!it.hasAnchor()) continue;
    const IntPoint s = Start(it);
    int64_t dx, dy;
    if (it.curved()) {
      dx = it.controlX() / 256;
      dy = it.controlY() / 256;
    } else {
      const IntPoint e = End(it);
      dx = int64_t(e.x) - s.x;
      dy = int64_t(e.y) - s.y;
    }
    const int64_t mx = s.x + dx / 2, my = s.y + dy / 2;
    auto in = [&](int64_t x, int64_t y) {
      return x >= INT32_MIN && x <= INT32_MAX && y >= INT32_MIN && y <= INT32_MAX &&
             area.Contains(int32_t(x), int32_t(y));
    };
    bool a, b;
    if (dx == 0) {
      a = in(s.x + d, my);
      b = in(s.x - d, my);
      if (a != b) return a ? (dy > 0 ? O::kCounterClockwise : O::kClockwise)
                           : (dy < 0 ? O::kCounterClockwise : O::kClockwise);
    } else if (dy == 0) {
      a = in(mx, s.y + d);
      b = in(mx, s.y - d);
      if (a != b) return a ? (dx < 0 ? O::kCounterClockwise : O::kClockwise)
                           : (dx < 0 ? O::kClockwise : O::kCounterClockwise);
    } else {
      // A lies on the side that is inside for a counter-clockwise run going
      // left, for a clockwise one going right.
      const bool sameSign = (dx < 0) == (dy < 0);
      a = sameSign ? in(mx - d, my + d) : in(mx + d, my + d);
      b = sameSign ? in(mx + d, my - d) : in(mx - d, my - d);
      if (a != b) {
        if (dx < 0) return a ? O::kCounterClockwise : O::kClockwise;
        return a ? O::kClockwise : O::kCounterClockwise;
      }
    }
  }
  return O::kNone;
}

bool IsClosedRun(const EdgeList& run) {
  const size_t n = run.items.size();
  if (n <= 16) {
    for (size_t i = 0; i < n; ++i)
      for (size_t j = i + 1; j < n; ++j)
        if (run.items[i].startX == run.items[j].endX && run.items[i].startY == run.items[j].endY)
          return true;
    return false;
  }
  // The last item ending at each point; a start with a later end closes.
  std::unordered_map<uint64_t, size_t> lastEnd;
  auto key = [](int32_t x, int32_t y) { return uint64_t(uint32_t(x)) << 32 | uint32_t(y); };
  for (size_t j = 0; j < run.items.size(); ++j) lastEnd[key(run.items[j].endX, run.items[j].endY)] = j;
  for (size_t i = 0; i < run.items.size(); ++i) {
    const auto found = lastEnd.find(key(run.items[i].startX, run.items[i].startY));
    if (found != lastEnd.end() && found->second > i) return true;
  }
  return false;
}

bool TestRunPair(OverlapAnalysis& a, const EdgeList& p, const EdgeList& r) {
  return PairTest(a, p, r).Run();
}

}  // namespace tovrani
