// Every DefineShape of the real movies through the shape builder
// ("Heuristic Problem Search" off): no shape is abandoned, a rebuilt
// object draws exactly what the decoded one drew wherever its edges
// neither cross nor repeat a segment with other fills (there a later
// record may overwrite a fill byte, and such objects are only counted),
// and a shape written as a stack draws it too, outside the bands along its
// edges and along its retraced regions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "convert/converter_context.h"
#include "convert/engine.h"
#include "fla/work_files.h"
#include "platform/path.h"
#include "platform/path_widen.h"
#include "shape/builder/build_shape.h"
#include "shape/builder/retrace_region.h"
#include "shape/builder/shape_builder.h"
#include "shape/decode/define_shape.h"
#include "shape/shape_test_support.h"
#include "support/document_frames.h"
#include "support/independent_readers.h"
#include "support/page_walker.h"
#include "support/recording_shell.h"
#include "support/corpus.h"
#include "support/shape_coverage.h"
#include "support/temp_dir.h"
#include "swf/swf_reader.h"

namespace tovrani {
namespace {

void CollectShapes(std::span<const uint8_t> tags,
                   std::vector<std::pair<uint16_t, std::vector<uint8_t>>>& out, int depth = 0,
                   std::vector<uint16_t>* ids = nullptr) {
  SwfReader r(tags);
  TagHeader h;
  while (r.tagHeader(h) && h.code != 0) {
    if (h.length > r.remaining()) break;
    std::span<const uint8_t> body = r.take(h.length);
    if ((h.code == 2 || h.code == 22 || h.code == 32 || h.code == 83) && body.size() > 2)
    {
      out.push_back({h.code, std::vector<uint8_t>(body.begin() + 2, body.end())});
      if (ids) ids->push_back(uint16_t(body[0] | body[1] << 8));
    }
    if (h.code == 39 && body.size() > 4 && depth < 4) CollectShapes(body.subspan(4), out, depth + 1, ids);
  }
}

struct Seg {
  int64_t x0, y0, x1, y1;
  size_t edge;
};

int Sign(__int128 v) { return v > 0 ? 1 : v < 0 ? -1 : 0; }

int Orient(int64_t ax, int64_t ay, int64_t bx, int64_t by, int64_t cx, int64_t cy) {
  return Sign(__int128(bx - ax) * (cy - ay) - __int128(by - ay) * (cx - ax));
}

bool OnSegment(const Seg& s, int64_t x, int64_t y) {
  return std::min(s.x0, s.x1) <= x && x <= std::max(s.x0, s.x1) && std::min(s.y0, s.y1) <= y &&
         y <= std::max(s.y0, s.y1);
}

// Two pieces meet somewhere else than at one end point they share.
bool Crosses(const Seg& a, const Seg& b) {
  const int d1 = Orient(a.x0, a.y0, a.x1, a.y1, b.x0, b.y0);
  const int d2 = Orient(a.x0, a.y0, a.x1, a.y1, b.x1, b.y1);
  const int d3 = Orient(b.x0, b.y0, b.x1, b.y1, a.x0, a.y0);
  const int d4 = Orient(b.x0, b.y0, b.x1, b.y1, a.x1, a.y1);
  if (d1 * d2 < 0 && d3 * d4 < 0) return true;
  auto sharedEnd = [&](int64_t x, int64_t y) {
    return ((a.x0 == x && a.y0 == y) || (a.x1 == x && a.y1 == y)) &&
           ((b.x0 == x && b.y0 == y) || (b.x1 == x && b.y1 == y));
  };
  if (d1 == 0 && d2 == 0) {
    // Collinear: more in common than one shared end point.
    int inside = 0;
    for (auto [x, y] : {std::pair{b.x0, b.y0}, std::pair{b.x1, b.y1}})
      inside += OnSegment(a, x, y) && !sharedEnd(x, y);
    for (auto [x, y] : {std::pair{a.x0, a.y0}, std::pair{a.x1, a.y1}})
      inside += OnSegment(b, x, y) && !sharedEnd(x, y);
    const bool same = (a.x0 == b.x0 && a.y0 == b.y0 && a.x1 == b.x1 && a.y1 == b.y1) ||
                      (a.x0 == b.x1 && a.y0 == b.y1 && a.x1 == b.x0 && a.y1 == b.y0);
    return inside > 0 || same;
  }
  auto touch = [&](int d, const Seg& s, int64_t x, int64_t y) {
    return d == 0 && OnSegment(s, x, y) && !sharedEnd(x, y);
  };
  return touch(d1, a, b.x0, b.y0) || touch(d2, a, b.x1, b.y1) || touch(d3, b, a.x0, a.y0) ||
         touch(d4, b, a.x1, a.y1);
}

// Whether the records hold crossing or touching edges (curves flattened),
// or one segment twice with other fill bytes.
bool HasCrossingsOrRepeats(std::span<const uint8_t> edges) {
  std::vector<Seg> segs;
  std::map<std::vector<int64_t>, std::pair<int, int>> fills;
  int64_t px = 0, py = 0;
  uint8_t f0 = 0, f1 = 0;
  size_t pos = 0, index = 0;
  DecodedEdge e;
  bool repeat = false;
  while (ReadEdgeRecord(edges, pos, e)) {
    if (e.hasStyles) {
      f0 = e.fill0;
      f1 = e.fill1;
    }
    px += e.moveX;
    py += e.moveY;
    const int64_t ex = px + e.anchorX, ey = py + e.anchorY;
    const int64_t cx = px + e.controlX, cy = py + e.controlY;
    // The same segment in either direction, with its fills as seen forward.
    std::vector<int64_t> key{px, py, ex, ey, e.curved ? cx : 0, e.curved ? cy : 0};
    std::pair<int, int> f{f0, f1};
    if (std::make_pair(ex, ey) < std::make_pair(px, py)) {
      key = {ex, ey, px, py, e.curved ? cx : 0, e.curved ? cy : 0};
      std::swap(f.first, f.second);
    }
    auto [it, added] = fills.emplace(key, f);
    if (!added && it->second != f) repeat = true;
    if (e.curved) {
      int64_t lx = px, ly = py;
      for (int k = 1; k <= 16; ++k) {
        const double t = k / 16.0, u = 1 - t;
        const int64_t x = k == 16 ? ex : std::llround(u * u * px + 2 * u * t * cx + t * t * ex);
        const int64_t y = k == 16 ? ey : std::llround(u * u * py + 2 * u * t * cy + t * t * ey);
        if (x != lx || y != ly) segs.push_back({lx, ly, x, y, index});
        lx = x;
        ly = y;
      }
    } else if (ex != px || ey != py) {
      segs.push_back({px, py, ex, ey, index});
    }
    px = ex;
    py = ey;
    ++index;
  }
  if (repeat) return true;
  if (segs.empty()) return false;
  // Pieces bucketed on a grid; pieces of one curve meet their neighbours.
  int64_t minX = INT64_MAX, minY = INT64_MAX, maxX = INT64_MIN, maxY = INT64_MIN;
  for (const Seg& s : segs) {
    minX = std::min({minX, s.x0, s.x1});
    maxX = std::max({maxX, s.x0, s.x1});
    minY = std::min({minY, s.y0, s.y1});
    maxY = std::max({maxY, s.y0, s.y1});
  }
  const int64_t cells = std::clamp<int64_t>(int64_t(std::sqrt(double(segs.size()))), 1, 128);
  const int64_t cw = (maxX - minX) / cells + 1, ch = (maxY - minY) / cells + 1;
  std::vector<std::vector<uint32_t>> grid(size_t(cells * cells));
  for (uint32_t i = 0; i < segs.size(); ++i) {
    const Seg& s = segs[i];
    for (int64_t gx = (std::min(s.x0, s.x1) - minX) / cw; gx <= (std::max(s.x0, s.x1) - minX) / cw; ++gx)
      for (int64_t gy = (std::min(s.y0, s.y1) - minY) / ch; gy <= (std::max(s.y0, s.y1) - minY) / ch; ++gy)
        grid[size_t(gx * cells + gy)].push_back(i);
  }
  for (const auto& cell : grid)
    for (size_t i = 0; i < cell.size(); ++i)
      for (size_t j = i + 1; j < cell.size(); ++j) {
        const Seg &a = segs[cell[i]], &b = segs[cell[j]];
        if (a.edge == b.edge) continue;
        if (Crosses(a, b)) return true;
      }
  return false;
}

// A region the builder retraced: how far the traced outline may lie from
// its contour. The tracer works in raster pixels, so the band is two and a
// half pixels either side of the contour as painted into the raster, mapped
// back to device units (at 1:50, 125 units either side).
struct Retraced {
  IntRect box;
  double scale = 1;
  std::vector<int> levels;
  Region band;
};
std::vector<Retraced> g_retraced;

Region RetraceBand(ShapeContext& ctx, const ShapeRegion& region,
                   std::span<const ShapePoint> points, double& scaleOut) {
  const IntRect& box = region.box;
  RetraceSize size;
  Region band;
  scaleOut = 1;
  if (!SizeRetraceRaster(ctx, int64_t{box.right} - box.left, int64_t{box.bottom} - box.top, size))
    return band;
  const double s = size.scaled ? size.scale : 1.0;
  scaleOut = s;
  // Device units to raster pixels.
  auto map = [&](int64_t v, int32_t origin) {
    return int32_t(std::floor(double(v - origin) * s + 0.5));
  };
  const Contour* c = region.First();
  if (!c) return band;
  Path path;
  bool first = true;
  for (uint32_t k = 0; k < c->count(); ++k) {
    const uint32_t p = c->points[k], e = c->edges[k];
    if (p >= points.size() || e >= points[p].edges.size()) continue;
    const PointEdge& edge = points[p].edges[e];
    const int64_t x0 = points[p].x, y0 = points[p].y;
    if (first) path.MoveTo({map(x0 / 256, box.left), map(y0 / 256, box.top)});
    first = false;
    if (edge.curved) {
      // The quadratic as the cubic that draws the same curve, each inner
      // point two thirds of the way from an end to the control point, in
      // whole device units as the raster was painted.
      const int64_t dx = edge.controlDx, dy = edge.controlDy;
      path.BezierTo({map(x0 / 256 + (2 * dx / 256) / 3, box.left),
                     map(y0 / 256 + (2 * dy / 256) / 3, box.top)},
                    {map((x0 + dx) / 256 + ((edge.endX - x0 - dx) / 256) / 3, box.left),
                     map((y0 + dy) / 256 + ((edge.endY - y0 - dy) / 256) / 3, box.top)},
                    {map(edge.endX / 256, box.left), map(edge.endY / 256, box.top)});
    } else {
      path.LineTo({map(edge.endX / 256, box.left), map(edge.endY / 256, box.top)});
    }
  }
  path.CloseFigure();
  Region raster;
  if (WidenPathToRegion(path, 5, raster) == RegionKind::kError) return band;
  std::vector<IntRect> rects;
  for (const IntRect& r : raster.Rects())
    rects.push_back({box.left + int32_t(std::floor(r.left / s)) - 1,
                     box.top + int32_t(std::floor(r.top / s)) - 1,
                     box.left + int32_t(std::ceil(r.right / s)) + 1,
                     box.top + int32_t(std::ceil(r.bottom / s)) + 1});
  band.SetRects(rects);
  return band;
}

// The band follows a curved contour where the curve is drawn: a deep arc
// (2,000 by 1,000 units, retraced at about 1:5.5) lies inside it all along,
// and the point a quarter of the way up from the arc's top to its control
// point, about 45 raster pixels off the curve, lies outside.
TEST(ShapeBuildCorpus, RetraceBandLiesAlongCurvedContours) {
  std::vector<ShapePoint> points(2);
  points[0].x = 0;
  points[0].y = 1000 * 256;
  points[1].x = 2000 * 256;
  points[1].y = 1000 * 256;
  PointEdge arc;
  arc.endX = points[1].x;
  arc.endY = points[1].y;
  arc.otherPoint = 1;
  arc.curved = 1;
  arc.controlDx = 1000 * 256;
  arc.controlDy = -2000 * 256;
  PointEdge chord;
  chord.endX = points[0].x;
  chord.endY = points[0].y;
  points[0].edges.push_back(arc);
  points[1].edges.push_back(chord);
  ShapeRegion region;
  region.contours.resize(1);
  region.contours[0].Append(0, 0);
  region.contours[0].Append(1, 0);
  region.box = {0, 0, 2000, 1000};
  ConverterContext ctx;
  double scale = 0;
  const Region band = RetraceBand(ctx, region, points, scale);
  ASSERT_LT(scale, 0.2);
  for (int k = 0; k <= 32; ++k) {
    const double t = k / 32.0;
    const int x = int(std::lround(2000 * t)), y = int(std::lround(1000 - 2000 * 2 * t * (1 - t)));
    EXPECT_TRUE(band.Contains(x, y)) << x << "," << y;
  }
  EXPECT_FALSE(band.Contains(1000, -250));
}

// The roads the builder's calls took, over the whole corpus.
struct Roads {
  size_t rebuilt = 0, problem = 0, abandoned = 0, changedOnProblem = 0, stacked = 0,
         stackedFlagged = 0;
};
Roads g_roads;
bool g_rebuiltThisCall = false;

// Builds, and checks that a call that found a problem and wrote no stack
// left the block exactly as the zero-edge removal handed it over.
void BuildAndCount(ShapeContext& ctx, ShapeBlock& block, std::span<const uint8_t> styleBlob,
                   std::FILE* work, size_t& countFieldPos, const StyleIndex* styles) {
  const ShapeBlock before = block;
  g_rebuiltThisCall = false;
  const uint8_t flag = g_bVectorizationProblem;
  g_bVectorizationProblem = 0;
  ShapeBuilder b(ctx, block, styleBlob, styles);
  std::map<const ShapeRegion*, size_t> seen;
  b.retrace = [&](PathRecordList& list, const ShapeRegion& region, int level) {
    auto [it, added] = seen.emplace(&region, g_retraced.size());
    if (added) {
      Retraced r;
      r.box = region.box;
      r.band = RetraceBand(ctx, region, b.graph.span(), r.scale);
      g_retraced.push_back(std::move(r));
    }
    g_retraced[it->second].levels.push_back(level);
    return RetraceRegion(ctx, list, region, b.graph.span(), level);
  };
  RunShapeBuilder(b, work, countFieldPos);
  if (before.length && block.length == 0) {
    ++g_roads.stacked;
    g_roads.stackedFlagged += g_bVectorizationProblem;
  } else if (g_bVectorizationProblem) {
    // Abandoned, or a problem shape of which nothing could be written:
    // either way the block is as it came.
    ++g_roads.abandoned;
    if (block.bytes != before.bytes || block.length != before.length ||
        block.recordCount != before.recordCount)
      ++g_roads.changedOnProblem;
  } else if (g_rebuiltThisCall) {
    ++g_roads.rebuilt;
  } else {
    ++g_roads.problem;
    if (block.bytes != before.bytes || block.length != before.length ||
        block.recordCount != before.recordCount)
      ++g_roads.changedOnProblem;
  }
  g_bVectorizationProblem |= flag;
}

TEST(ShapeBuildCorpus, RebuiltObjectsDrawWhatTheDecodedOnesDrew) {
  const auto corpus = test::CorpusMovies();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  size_t compared = 0, logged = 0, objects = 0;
  static size_t rebuiltObjects;
  rebuiltObjects = 0;
  g_roads = {};
  size_t stacks = 0;
  for (const test::CorpusMovie& movie : corpus) {
    const std::vector<uint8_t> file = test::ReadFileBytes(movie.path.string());
    std::vector<std::pair<uint16_t, std::vector<uint8_t>>> found;
    std::vector<uint16_t> ids;
    CollectShapes(test::MovieTags(file), found, 0, &ids);
    const uint8_t level = file[3] < 7 ? 0 : file[3] == 7 ? 1 : 2;
    for (size_t si = 0; si < found.size(); ++si) {
      const auto& [code, body] = found[si];
      bool flagged = false;
      auto page = [&](bool build) {
        ConverterContext ctx;
        ctx.m_nFlaFormat = level;
        ctx.m_bShapesOn = 1;
        ctx.options.noProblemSearch = build ? 0 : 1;
        ctx.options.heuristicProblemSearch = 0;
        // Counts the objects that reach the rebuild (no problem found).
        ctx.m_pShapeGraphSeam = [](ShapeGraph&) {
          ++rebuiltObjects;
          g_rebuiltThisCall = true;
        };
        ctx.m_pBuildShapeHook = BuildAndCount;
        g_bVectorizationProblem = 0;
        std::FILE* f = std::tmpfile();
        EXPECT_TRUE(f && BuildShapePage(ctx, code, body, f, 5).ok);
        flagged = g_bVectorizationProblem != 0;
        std::vector<uint8_t> bytes = f ? test::WorkFiles::Contents(f) : std::vector<uint8_t>();
        if (f) std::fclose(f);
        return bytes;
      };
      const size_t stackedBefore = g_roads.stacked;
      g_retraced.clear();
      const std::vector<uint8_t> decoded = page(false), rebuilt = page(true);
      const bool corrected = g_roads.stacked != stackedBefore;
      ASSERT_TRUE(test::CheckShapePage(rebuilt, level, 5)) << movie.path;
      ASSERT_TRUE(test::PageWalksClean(rebuilt, test::ShapeEdgeSpans(rebuilt, level))) << movie.path;
      const auto before = test::ShapeObjects(decoded, level), after = test::ShapeObjects(rebuilt, level);
      if (before.size() != after.size() || corrected) {
        // Written as a stack: the page check above matched every object's
        // count field with its records; what the stack draws is compared
        // with the decoded drawing outside the bands along its edges and
        // along each retraced region's outline at its raster's scale.
        std::vector<test::ShapeCoverage> was, is;
        for (const auto& o : before) was.push_back(test::CoverageOf(o.edges, &o.styles, 5));
        for (const auto& o : after) is.push_back(test::CoverageOf(o.edges, &o.styles));
        const test::ShapeCoverage a = test::StackedCoverage(was), b = test::StackedCoverage(is);
        const auto diff = test::CoverageDifference(a, b, &a.band);
        int64_t pixels = 0;
        for (const auto& [k, n] : diff) pixels += n;
        Region allowed = a.band;
        for (const Retraced& r : g_retraced) Region::Combine(allowed, allowed, r.band, CombineMode::kOr);
        const auto beyond = test::CoverageDifference(a, b, &allowed);
        int64_t beyondPixels = 0;
        for (const auto& [k, n] : beyond) beyondPixels += n;
        std::printf("corrected: %s character %u, %zu objects, %lld pixels apart, %lld beyond the retraced bands%s\n",
                    movie.path.string().c_str(), unsigned(ids[si]), after.size(),
                    (long long)pixels, (long long)beyondPixels, flagged ? ", a retrace not clean" : "");
        for (const Retraced& r : g_retraced) {
          // What differs inside this region's band.
          Region outsideThis;
          Region::Combine(outsideThis, a.band, r.band, CombineMode::kOr);
          const auto d = test::CoverageDifference(a, b, &outsideThis);
          int64_t n = 0;
          for (const auto& [k, v] : d) n += v;
          std::printf("  retraced box %d,%d-%d,%d scale %.4f levels %zu (last %d): %lld pixels apart in its band\n",
                      r.box.left, r.box.top, r.box.right, r.box.bottom, r.scale, r.levels.size(),
                      r.levels.empty() ? 0 : r.levels.back(), (long long)(pixels - n));
        }
        // Beyond the bands the stack draws what the decoded shape drew.
        EXPECT_EQ(beyondPixels, 0) << movie.path << " character " << ids[si];
        ++stacks;
        objects += before.size();
        continue;
      }
      for (size_t i = 0; i < before.size(); ++i) {
        ++objects;
        if (HasCrossingsOrRepeats(before[i].edges)) {
          ++logged;
          continue;
        }
        const auto diff = test::CoverageDifference(test::CoverageOf(before[i].edges, &before[i].styles),
                                                   test::CoverageOf(after[i].edges, &after[i].styles));
        EXPECT_TRUE(diff.empty()) << movie.path << " object " << i << ": " << diff.begin()->first
                                  << " differs in " << diff.begin()->second << " pixels";
        ++compared;
      }
    }
  }
  std::printf("compared %zu objects, %zu with crossing or repeated edges only counted; "
              "%zu rebuilt, %zu written as stacks (%zu shapes)\n",
              compared, logged, rebuiltObjects, g_roads.stacked, stacks);
  std::printf("builder calls: %zu rebuilt, %zu written as stacks (%zu with a retrace not clean), "
              "%zu with a problem left as they came, %zu abandoned\n",
              g_roads.rebuilt, g_roads.stacked, g_roads.stackedFlagged, g_roads.problem,
              g_roads.abandoned);
  EXPECT_EQ(g_roads.changedOnProblem, 0u);
  // Every retrace of the corpus comes out clean at some smoothing level:
  // none is written from its own crossing outline with the user asked.
  EXPECT_EQ(g_roads.stackedFlagged, 0u);
  EXPECT_GT(compared, 100u);
}

// Whole movies with the builder: converted, every page walks clean.
TEST(ShapeBuildCorpus, MoviesConvertWithTheBuilder) {
  const auto corpus = test::CorpusMovies();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  test::TempDir dir;
  size_t movies = 0;
  for (const test::CorpusMovie& movie : corpus) {
    ConverterContext ctx;
    test::RecordingShell shell;
    ctx.m_pShell = &shell;
    ctx.options.heuristicProblemSearch = 0;
    if (ConvertMovie(ctx, movie.path.string(), dir.file("out.fla"), 0) != kResultDone) continue;
    // A shape written as a stack may ask (a region whose retrace never came
    // out clean); the shapes' own test tells that from an abandoned one.
    for (const std::string& q : shell.questions)
      if (q.find("vectorization") != std::string::npos) std::printf("asked: %s\n", movie.path.c_str());
    std::map<std::string, std::vector<uint8_t>> streams;
    ASSERT_TRUE(test::ReadCompoundFile(dir.file("out.fla"), streams)) << movie.path;
    const std::vector<uint8_t> file = test::ReadFileBytes(movie.path.string());
    const uint8_t level = file[3] < 7 ? 0 : file[3] == 7 ? 1 : 2;
    for (const auto& [name, page] : streams) {
      if (name.starts_with("Page ") || name.starts_with("Symbol ")) {
        EXPECT_TRUE(test::PageWalksClean(page, test::ShapeEdgeSpans(page, level)))
            << movie.path << " " << name;
      }
    }
    ++movies;
  }
  EXPECT_GT(movies, 10u);
}

}  // namespace
}  // namespace tovrani
