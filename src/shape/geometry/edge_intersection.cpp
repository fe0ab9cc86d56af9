#include "shape/geometry/edge_intersection.h"

#include <algorithm>
#include <array>
#include <vector>

#include "platform/path_widen.h"
#include "shape/geometry/quadratic_sample.h"

namespace tovrani {

namespace {

// The change-of-order rule over a common range [lo, hi] of the running
// coordinate: the other coordinate of both segments at its two ends.
bool OrderChanges(double aLo, double aHi, double bLo, double bHi) {
  return (aLo > bLo && aHi < bHi) || (aLo < bLo && aHi > bHi) || aLo == bLo || aHi == bHi;
}

// The segment test on doubles. `sampled` is the variant for sampled
// curves: equal slopes, two vertical segments and a single point against
// a horizontal segment give no hit. `collinear` tells the integer variant
// whether segments of equal slope lie on one line.
bool SegmentsMeet(double a1x, double a1y, double b1x, double b1y, double a2x, double a2y,
                  double b2x, double b2y, bool sampled, bool collinear) {
  if (std::max(a1x, a2x) <= std::min(b1x, b2x) || std::max(b1x, b2x) <= std::min(a1x, a2x) ||
      std::max(a1y, a2y) <= std::min(b1y, b2y) || std::max(b1y, b2y) <= std::min(a1y, a2y))
    return false;
  const double dxA = a2x - a1x, dyA = a2y - a1y, dxB = b2x - b1x, dyB = b2y - b1y;
  if (dxA != 0 && dxB != 0) {
    if (dyA / dxA == dyB / dxB) {
      if (sampled) return false;
      return collinear && ((dxA > 0 && dxB > 0) || (dxA < 0 && dxB < 0));
    }
    const double lo = std::max(std::min(a1x, a2x), std::min(b1x, b2x));
    const double hi = std::min(std::max(a1x, a2x), std::max(b1x, b2x));
    return OrderChanges(a1y + (lo - a1x) / dxA * dyA, a1y + (hi - a1x) / dxA * dyA,
                        b1y + (lo - b1x) / dxB * dyB, b1y + (hi - b1x) / dxB * dyB);
  }
  if (dyA == 0 || dyB == 0) {
    if (sampled && ((dxA == 0 && dyA == 0) || (dxB == 0 && dyB == 0))) return false;
    return true;
  }
  if (dxA == 0 && dxB == 0) {
    if (sampled) return false;
    return (dyA > 0 && dyB > 0) || (dyA < 0 && dyB < 0);
  }
  const double lo = std::max(std::min(a1y, a2y), std::min(b1y, b2y));
  const double hi = std::min(std::max(a1y, a2y), std::max(b1y, b2y));
  return OrderChanges(a1x + (lo - a1y) / dyA * dxA, a1x + (hi - a1y) / dyA * dxA,
                      b1x + (lo - b1y) / dyB * dxB, b1x + (hi - b1y) / dyB * dxB);
}

struct Pt {
  int64_t x = 0, y = 0;
  bool operator==(const Pt&) const = default;
};

// a itself excluded, b included.
bool HalfOpen(double v, double a, double b) { return (a > v && v >= b) || (a < v && v <= b); }

// The straight edge from o towards f heads for the crossing at x.
bool Heads(double o, double x, double f) { return (o >= x && f <= o) || (o <= x && f >= o); }

// A straight edge O -> F and a curve O -> P -> K from a common point.
bool CommonPointTest(Pt o, Pt f, Pt p, Pt k, bool curveFirst) {
  const double ox = double(o.x), oy = double(o.y), fx = double(f.x), fy = double(f.y);
  const double px = double(p.x), py = double(p.y), kx = double(k.x), ky = double(k.y);
  auto chordSlope = [&] { return k.y == p.y ? 0.0 : (ky - py) / (kx - px); };
  if (f.x == o.x) {
    if (k.x == p.x) return false;
    const double y = py + (ox - px) * chordSlope();
    if (!HalfOpen(ox, px, kx) || !HalfOpen(y, py, ky) ||
        !((oy >= y && fy <= oy) || (oy <= y && fy >= oy)))
      return false;
  } else {
    const double mL = f.y == o.y ? 0.0 : (fy - oy) / (fx - ox);
    if (k.x == p.x) {
      const double x = px, y = oy + (px - ox) * mL;
      if (!HalfOpen(y, py, ky) || !Heads(ox, x, fx) || !Heads(oy, y, fy)) return false;
    } else {
      const double mPK = chordSlope();
      if (mPK == mL || (curveFirst && mPK == -mL)) return false;
      const double x = ((py - oy) + ox * mL - px * mPK) / (mL - mPK);
      const double y = oy + (x - ox) * mL;
      if (!HalfOpen(x, px, kx) || !HalfOpen(y, py, ky) || !Heads(ox, x, fx) || !Heads(oy, y, fy))
        return false;
    }
  }
  return CurveMeetsSegment(int32_t(o.x), int32_t(o.y), int32_t(p.x), int32_t(p.y), int32_t(k.x),
                           int32_t(k.y), int32_t(o.x), int32_t(o.y), int32_t(f.x), int32_t(f.y));
}

// Two curves O -> P1 -> O1 and O -> P2 -> O2 from a common point.
bool TwoCurvesFromAPoint(ShapeGeometry& geo, Pt o, Pt p1, Pt o1, Pt p2, Pt o2) {
  if (p1 == p2) return false;
  auto seg = [](Pt a, Pt b, Pt c, Pt d) {
    return IntersectSegments(int32_t(a.x), int32_t(a.y), int32_t(b.x), int32_t(b.y), int32_t(c.x),
                             int32_t(c.y), int32_t(d.x), int32_t(d.y));
  };
  const bool gate = (!(p1 == o2) && seg(o, p1, p2, o2)) || (!(p2 == o1) && seg(o, p2, p1, o1)) ||
                    (!(o1 == o2) && seg(p2, o2, p1, o1));
  if (!gate) return false;
  constexpr int n = 101;
  if (!geo.Charge(2 * n)) return false;
  std::vector<double> a(2 * n), b(2 * n);
  SampleQuadratic(a, n, o.x, o.y, p2.x, p2.y, o2.x, o2.y, 0.0, 1.0);
  SampleQuadratic(b, n, o.x, o.y, p1.x, p1.y, o1.x, o1.y, 0.0, 1.0);
  for (int i = 0; i <= n - 3; ++i) {
    if (!geo.Charge(n)) return false;
    for (int j = (i == 0 && o1 == o2) ? 1 : 0; j <= n - 3; ++j)
      if (SegmentsMeet(a[2 * i], a[2 * i + 1], b[2 * j], b[2 * j + 1], a[2 * i + 2], a[2 * i + 3],
                       b[2 * j + 2], b[2 * j + 3], true, false))
        return true;
  }
  return false;
}

struct Edge {
  Pt s, e, p;  // p: control point of a curve
  bool curved;
};

// The drawn form of an edge: coordinates divided by d toward zero after a
// shift by a multiple of d that keeps every quotient the same, so edges far
// from the origin stay within the drawing range.
class Drawing {
 public:
  Drawing(int64_t d, Pt shift) : d_(d), shift_(shift) {}
  Path Draw(const Edge& e) const {
    Path path;
    const Pt s = Local(e.s), en = Local(e.e), p = Local(e.p);
    path.MoveTo(Div(s.x), Div(s.y));
    if (e.curved) {
      const int64_t cx = p.x - s.x, cy = p.y - s.y;
      path.BezierTo({int32_t(Div(s.x) + (2 * cx / d_) / 3), int32_t(Div(s.y) + (2 * cy / d_) / 3)},
                    {int32_t(Div(p.x) + ((en.x - p.x) / d_) / 3),
                     int32_t(Div(p.y) + ((en.y - p.y) / d_) / 3)},
                    {Div(en.x), Div(en.y)});
    } else {
      path.LineTo(Div(en.x), Div(en.y));
    }
    return path;
  }

 private:
  Pt Local(Pt v) const { return {v.x - shift_.x, v.y - shift_.y}; }
  int32_t Div(int64_t v) const { return int32_t(v / d_); }
  int64_t d_;
  Pt shift_;
};

// A multiple of d to subtract when every value lies on one side of 0.
int64_t Shift(int64_t lo, int64_t hi, int64_t d) {
  if (lo >= 0) return lo / d * d;
  if (hi <= 0) return hi / d * d;
  return 0;
}

bool RegionMethod(ShapeGeometry& geo, const Edge& one, const Edge& two, uint8_t mode) {
  std::vector<Pt> pts{one.s, one.e, two.s, two.e};
  if (one.curved) pts.push_back(one.p);
  if (two.curved) pts.push_back(two.p);
  Pt lo = pts[0], hi = pts[0];
  for (const Pt& v : pts) {
    lo = {std::min(lo.x, v.x), std::min(lo.y, v.y)};
    hi = {std::max(hi.x, v.x), std::max(hi.y, v.y)};
  }
  const int64_t d = DrawingDivisor(hi.x - lo.x, hi.y - lo.y);
  const Drawing drawing(d, {Shift(lo.x, hi.x, d), Shift(lo.y, hi.y, d)});
  auto area = [&](const Edge& e, Region& out) { return geo.Fill(drawing.Draw(e), out); };
  auto stroke = [&](const Edge& e, Region& out) { return geo.Band(drawing.Draw(e), out, 2); };
  auto meets = [](Region& t, const Region& a, const Region& b) {
    const RegionKind k = Region::Combine(t, a, b, CombineMode::kAnd);
    return k != RegionKind::kError && k != RegionKind::kEmpty;
  };
  Region t;
  if (mode != kTwoCurves) {
    const Edge& curve = mode == kCurveStraight ? one : two;
    const Edge& straight = mode == kCurveStraight ? two : one;
    Region cArea, cStroke, sStroke, both;
    if (!area(curve, cArea) || !stroke(curve, cStroke) || !stroke(straight, sStroke)) return false;
    if (!meets(t, sStroke, cStroke) || !meets(t, sStroke, cArea)) return false;
    if (Region::Combine(both, cArea, cStroke, CombineMode::kOr) == RegionKind::kError ||
        Region::Combine(t, sStroke, both, CombineMode::kAnd) == RegionKind::kError)
      return false;
    return !(t == sStroke);
  }
  Region area1, area2, stroke1, stroke2;
  if (!area(one, area1) || !area(two, area2) || !stroke(one, stroke1) || !stroke(two, stroke2))
    return false;
  if (!meets(t, stroke2, stroke1) || !meets(t, area2, area1)) return false;
  return !(t == area2) && !(t == area1);
}

}  // namespace

bool IntersectSegments(int32_t a1x, int32_t a1y, int32_t b1x, int32_t b1y, int32_t a2x,
                       int32_t a2y, int32_t b2x, int32_t b2y) {
  // Equal slopes meet only on one line (parallel neighbours are apart).
  const __int128 cross = __int128(int64_t(b1x) - a1x) * (int64_t(a2y) - a1y) -
                         __int128(int64_t(b1y) - a1y) * (int64_t(a2x) - a1x);
  return SegmentsMeet(a1x, a1y, b1x, b1y, a2x, a2y, b2x, b2y, false, cross == 0);
}

int32_t DrawingDivisor(int64_t w, int64_t h) {
  // 64-bit, so large boxes get the large divisor they need.
  const int64_t a = (w / 128 * h) / 128;
  int32_t d = 1;
  for (int64_t limit = 80; d < 128 && a >= limit; limit *= 4) d *= 2;
  return d;
}

bool IntersectEdges(ShapeGeometry& geo, int32_t e1x, int32_t e1y, int32_t e2x, int32_t e2y,
                    int32_t s1x, int32_t s1y, int32_t s2x, int32_t s2y, int32_t c1dx, int32_t c2dx,
                    int32_t c1dy, int32_t c2dy, uint8_t mode) {
  if (mode >= 10) mode = uint8_t(mode - 10);
  if (mode > kTwoCurves) return false;
  const bool curve1 = mode != kStraightCurve, curve2 = mode != kCurveStraight;
  const Edge one{{s1x, s1y}, {e1x, e1y}, {int64_t(s1x) + c1dx, int64_t(s1y) + c1dy}, curve1};
  const Edge two{{s2x, s2y}, {e2x, e2y}, {int64_t(s2x) + c2dx, int64_t(s2y) + c2dy}, curve2};
  auto box = [](const Edge& e, Pt& lo, Pt& hi) {
    lo = {std::min(e.s.x, e.e.x), std::min(e.s.y, e.e.y)};
    hi = {std::max(e.s.x, e.e.x), std::max(e.s.y, e.e.y)};
    if (e.curved) {
      lo = {std::min(lo.x, e.p.x), std::min(lo.y, e.p.y)};
      hi = {std::max(hi.x, e.p.x), std::max(hi.y, e.p.y)};
    }
  };
  Pt lo1, hi1, lo2, hi2;
  box(one, lo1, hi1);
  box(two, lo2, hi2);
  if (hi1.x <= lo2.x || hi2.x <= lo1.x || hi1.y <= lo2.y || hi2.y <= lo1.y) return false;
  if (!geo.Charge(1)) return false;

  if (mode != kTwoCurves) {
    const Edge& curve = curve1 ? one : two;
    const Edge& straight = curve1 ? two : one;
    // The first common end point in the Part's order: S1 = S2, S1 = E2,
    // E1 = E2, E1 = S2.
    const std::array<std::pair<Pt, Pt>, 4> pairs{
        {{one.s, two.s}, {one.s, two.e}, {one.e, two.e}, {one.e, two.s}}};
    for (const auto& [a, b] : pairs) {
      if (!(a == b)) continue;
      const Pt o = a;
      const Pt f = straight.s == o ? straight.e : straight.s;
      const Pt k = curve.s == o ? curve.e : curve.s;
      return CommonPointTest(o, f, curve.p, k, mode == kCurveStraight);
    }
    return RegionMethod(geo, one, two, mode);
  }
  if (one.s == two.s) return TwoCurvesFromAPoint(geo, one.s, one.p, one.e, two.p, two.e);
  if (one.s == two.e) return TwoCurvesFromAPoint(geo, one.s, one.p, one.e, two.p, two.s);
  if (one.e == two.s) return TwoCurvesFromAPoint(geo, one.e, one.p, one.s, two.p, two.e);
  if (one.e == two.e) return TwoCurvesFromAPoint(geo, one.e, one.p, one.s, two.p, two.s);
  return RegionMethod(geo, one, two, mode);
}

bool CurveMeetsSegment(int32_t x0, int32_t y0, int32_t cx, int32_t cy, int32_t x2, int32_t y2,
                       int32_t lx0, int32_t ly0, int32_t lx1, int32_t ly1) {
  if (lx1 == x2 && ly1 == y2) return false;
  constexpr int n = 101;
  std::vector<double> s(2 * n);
  double t0 = 0.0, t1 = 1.0;
  const bool vertical = lx0 == lx1, horizontal = !vertical && ly0 == ly1;
  const double m = vertical || horizontal ? 0.0 : double(ly1 - ly0) / double(lx1 - lx0);
  const double c = double(ly0) - double(lx0) * m;
  // The first sample at or beyond the segment's line, seen from the
  // curve's far end; 0 or below means none that brackets a meeting.
  auto search = [&]() -> int {
    SampleQuadratic(s, n, x0, y0, cx, cy, x2, y2, t0, t1);
    for (int i = 0; i < n; ++i) {
      const double x = s[2 * i], y = s[2 * i + 1];
      if (vertical) {
        if (lx0 < cx ? x >= lx0 : x <= lx0) return i;
      } else if (horizontal) {
        if (ly0 < cy ? y >= ly0 : y <= ly0) return i;
      } else if (i >= 1) {
        const bool below = m * s[0] + c < s[1];
        if (below ? m * x + c >= y : m * x + c <= y) return i;
      }
    }
    return -1;
  };
  auto narrow = [&](int i) {
    const double w = t1 - t0;
    t0 = t0 + double(n - 1 - i) / double(n - 1) * w;
    t1 = t0 + w / double(n - 1);
  };
  int i = search();
  // At most 64 narrowings: beyond them the interval no longer shrinks.
  for (int round = 0; round < 64; ++round) {
    if (i <= 0) return false;
    if (t1 - t0 >= 1e-8) {
      narrow(i);
      i = search();
      continue;
    }
    const double far = vertical ? ly1 : lx1, near = vertical ? ly0 : lx0;
    const double a = vertical ? s[2 * i + 1] : s[2 * i];
    const double b = vertical ? s[2 * i - 1] : s[2 * i - 2];
    if (far == near) return false;
    const bool reachA = far < near ? far <= a : far >= a;
    const bool reachB = far < near ? far <= b : far >= b;
    if (reachA && reachB) return true;
    if (!(reachA || reachB)) return false;
    narrow(i);
    i = search();
  }
  return false;
}

}  // namespace tovrani
