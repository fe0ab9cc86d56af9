// Whether a retraced outline crosses itself or another outline of the same
// trace. The tracer's outlines are boundaries of pixel areas: neighbouring
// outlines meet at pixel corners (two areas joined diagonally) and may run
// along the same border, and neither is a crossing. Only a place where one
// outline passes from one side of another to its other side is, so the test
// is exact and local: curves are flattened into short chords, every pair of
// chords whose boxes meet is examined, and a touch at a vertex is decided by
// the directions in which both outlines arrive at and leave that point.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "shape/builder/outline_crossing.h"

namespace tovrani {
namespace {

using Wide = __int128;

struct Pt {
  int64_t x = 0, y = 0;
  bool operator==(const Pt&) const = default;
};

Pt operator-(Pt a, Pt b) { return {a.x - b.x, a.y - b.y}; }
Wide Cross(Pt a, Pt b) { return Wide{a.x} * b.y - Wide{a.y} * b.x; }
Wide Dot(Pt a, Pt b) { return Wide{a.x} * b.x + Wide{a.y} * b.y; }
int Sign(Wide v) { return (v > 0) - (v < 0); }
// Side of c against the line a->b: 1, -1, or 0 on the line.
int Side(Pt a, Pt b, Pt c) { return Sign(Cross(b - a, c - a)); }

// Chords per curve: at raster sizes a quadratic of 100 pixels strays less
// than a tenth of a pixel from its 16 chords.
constexpr int kCurveChords = 16;
// Coordinates are scaled so that curve samples keep sub-pixel detail.
constexpr int64_t kScale = 256;

// The flattened outlines: each a run of distinct consecutive vertices;
// closed ones wrap around (the closing vertex is not repeated).
struct Outline {
  std::vector<Pt> v;
  bool closed = false;
};

std::vector<Outline> Flatten(const std::vector<PathRecord>& r) {
  std::vector<Outline> out;
  auto add = [&](Pt p) {
    std::vector<Pt>& v = out.back().v;
    if (v.empty() || !(v.back() == p)) v.push_back(p);
  };
  for (size_t i = 0; i < r.size(); ++i) {
    const Pt anchor{int64_t{r[i].anchorX} * kScale, int64_t{r[i].anchorY} * kScale};
    // The first record is where the pen starts, whatever its kind.
    if (i == 0 || r[i].kind == kPathMoveTo) {
      out.emplace_back();
      add(anchor);
      continue;
    }
    if (r[i].kind == kPathCurveTo) {
      const double sx = double(r[i - 1].anchorX), sy = double(r[i - 1].anchorY);
      const double cx = double(r[i].controlX), cy = double(r[i].controlY);
      const double ex = double(r[i].anchorX), ey = double(r[i].anchorY);
      for (int k = 1; k < kCurveChords; ++k) {
        const double t = double(k) / kCurveChords, u = 1 - t;
        const double x = (u * u * sx + 2 * u * t * cx + t * t * ex) * kScale;
        const double y = (u * u * sy + 2 * u * t * cy + t * t * ey) * kScale;
        add({int64_t(x < 0 ? x - 0.5 : x + 0.5), int64_t(y < 0 ? y - 0.5 : y + 0.5)});
      }
    }
    add(anchor);
  }
  for (Outline& o : out) {
    if (o.v.size() >= 4 && o.v.front() == o.v.back()) {
      o.v.pop_back();
      o.closed = true;
    }
  }
  return out;
}

struct Chord {
  uint32_t outline = 0;
  uint32_t index = 0;  // from vertex index to vertex index + 1 (wrapping)
  Pt a, b;
  int64_t minX = 0, maxX = 0, minY = 0, maxY = 0;
};

class CrossingFinder {
 public:
  explicit CrossingFinder(std::vector<Outline> outlines) : o_(std::move(outlines)) {}

  bool Run() {
    std::vector<Chord> chords;
    for (uint32_t k = 0; k < o_.size(); ++k) {
      const std::vector<Pt>& v = o_[k].v;
      const size_t n = o_[k].closed ? v.size() : (v.empty() ? 0 : v.size() - 1);
      for (size_t i = 0; i < n; ++i) {
        Chord c;
        c.outline = k;
        c.index = uint32_t(i);
        c.a = v[i];
        c.b = v[(i + 1) % v.size()];
        c.minX = std::min(c.a.x, c.b.x), c.maxX = std::max(c.a.x, c.b.x);
        c.minY = std::min(c.a.y, c.b.y), c.maxY = std::max(c.a.y, c.b.y);
        chords.push_back(c);
      }
    }
    // A sweep along x: each chord meets only the chords whose x range
    // starts within its own.
    std::sort(chords.begin(), chords.end(),
              [](const Chord& a, const Chord& b) { return a.minX < b.minX; });
    for (size_t i = 0; i < chords.size(); ++i) {
      for (size_t j = i + 1; j < chords.size() && chords[j].minX <= chords[i].maxX; ++j) {
        const Chord &s = chords[i], &t = chords[j];
        if (s.maxY < t.minY || t.maxY < s.minY || Neighbours(s, t)) continue;
        if (Crosses(s, t)) return true;
      }
    }
    return false;
  }

 private:
  // Consecutive chords of one outline share their vertex by construction.
  bool Neighbours(const Chord& s, const Chord& t) const {
    if (s.outline != t.outline) return false;
    const size_t n = o_[s.outline].v.size();
    const uint32_t lo = std::min(s.index, t.index), hi = std::max(s.index, t.index);
    return hi == lo + 1 || (o_[s.outline].closed && lo == 0 && hi + 1 == n);
  }

  // The vertices before and after vertex i of an outline; false at the
  // ends of an open one, which arrive or leave but never pass.
  bool Around(uint32_t outline, size_t i, Pt& before, Pt& after) const {
    const Outline& o = o_[outline];
    const size_t n = o.v.size();
    if (!o.closed && (i == 0 || i + 1 == n)) return false;
    before = o.v[(i + n - 1) % n];
    after = o.v[(i + 1) % n];
    return true;
  }

  static bool OnChord(Pt p, const Chord& c) {
    return Side(c.a, c.b, p) == 0 && p.x >= c.minX && p.x <= c.maxX && p.y >= c.minY &&
           p.y <= c.maxY;
  }

  bool Crosses(const Chord& s, const Chord& t) const {
    const int s1 = Side(s.a, s.b, t.a), s2 = Side(s.a, s.b, t.b);
    const int t1 = Side(t.a, t.b, s.a), t2 = Side(t.a, t.b, s.b);
    if (s1 * s2 < 0 && t1 * t2 < 0) return true;  // through each other's insides
    // A touch: decided at the vertex that lies on the other chord.
    const Chord* pair[2][2] = {{&s, &t}, {&t, &s}};
    for (const auto& p : pair) {
      const Chord& c = *p[0];
      const Chord& other = *p[1];
      const size_t n = o_[c.outline].v.size();
      for (const size_t i : {size_t(c.index), (size_t(c.index) + 1) % n}) {
        const Pt x = o_[c.outline].v[i];
        if (!OnChord(x, other)) continue;
        Pt before, after;
        if (!Around(c.outline, i, before, after)) continue;
        if (x == other.a || x == other.b) {
          // Vertex on vertex.
          const size_t m = o_[other.outline].v.size();
          const size_t j = x == other.a ? other.index : (size_t(other.index) + 1) % m;
          if (other.outline == c.outline && j == i) continue;
          Pt otherBefore, otherAfter;
          if (!Around(other.outline, j, otherBefore, otherAfter)) continue;
          if (PassesThrough(x, before, after, otherBefore, otherAfter)) return true;
        } else if (Side(other.a, other.b, before) * Side(other.a, other.b, after) < 0) {
          return true;  // through the other chord at one of its inner points
        }
      }
    }
    return false;
  }

  // Whole turns of direction compared exactly: the half plane first, then
  // the turn between two directions of one half.
  static bool Before(Pt u, Pt v) {
    const int hu = (u.y < 0 || (u.y == 0 && u.x < 0)) ? 1 : 0;
    const int hv = (v.y < 0 || (v.y == 0 && v.x < 0)) ? 1 : 0;
    if (hu != hv) return hu < hv;
    return Cross(u, v) > 0;
  }
  // Turn from `from` to `d`, smaller than the turn from `from` to `e`.
  static bool TurnsLess(Pt from, Pt d, Pt e) {
    const bool dw = Before(d, from), ew = Before(e, from);  // past a full turn
    if (dw != ew) return ew;
    return Before(d, e);
  }
  static bool SameDirection(Pt u, Pt v) { return Cross(u, v) == 0 && Dot(u, v) > 0; }

  // Two outlines meeting at x, one arriving from `a1` and leaving to `a2`,
  // the other from `b1` to `b2`: the second passes when its two directions
  // lie on different sides of the first's. A shared direction is a shared
  // border, not a crossing.
  static bool PassesThrough(Pt x, Pt a1, Pt a2, Pt b1, Pt b2) {
    const Pt da = a1 - x, db = a2 - x, d1 = b1 - x, d2 = b2 - x;
    if (SameDirection(da, db) || SameDirection(d1, d2)) return false;  // spikes
    for (const Pt& d : {d1, d2})
      if (SameDirection(d, da) || SameDirection(d, db)) return false;
    return TurnsLess(da, d1, db) != TurnsLess(da, d2, db);
  }

  std::vector<Outline> o_;
};

}  // namespace

bool TracedPathCrosses(PathRecordList& list) {
  // The cleaning, as one pass that keeps records in `out`: a removed record
  // lets the next one take its place and be examined against the last kept.
  const std::vector<PathRecord> in = std::move(list.records);
  std::vector<PathRecord>& r = list.records;
  r.clear();
  auto sameAnchor = [](const PathRecord& a, const PathRecord& b) {
    return a.anchorX == b.anchorX && a.anchorY == b.anchorY;
  };
  for (size_t p = 0; p < in.size();) {
    if (p + 2 < in.size() && in[p].kind == kPathMoveTo && in[p + 1].kind == kPathLineTo &&
        in[p + 2].kind == kPathLineTo && sameAnchor(in[p + 2], in[p]) &&
        (p + 3 == in.size() || in[p + 3].kind == kPathMoveTo)) {
      p += 3;  // out and back: nothing of an area
      continue;
    }
    PathRecord rec = in[p++];
    if (!r.empty() && sameAnchor(rec, r.back())) continue;  // zero length
    if (rec.kind == kPathCurveTo) {
      const bool onAnchor = rec.controlX == rec.anchorX && rec.controlY == rec.anchorY;
      const bool onStart =
          !r.empty() && rec.controlX == r.back().anchorX && rec.controlY == r.back().anchorY;
      if (onAnchor || onStart) rec.kind = kPathLineTo;
    }
    r.push_back(rec);
  }
  return CrossingFinder(Flatten(r)).Run();
}

}  // namespace tovrani
