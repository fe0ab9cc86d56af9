// Speed of the geometry layer at the size of real shapes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>

#include "platform/path.h"
#include "platform/path_widen.h"
#include "platform/region.h"

namespace tovrani {
namespace {

// A circle of 2,000 units across, as four cubics.
Path Circle() {
  constexpr int r = 1000;
  const int k = static_cast<int>(std::lround(r * 0.5522847498));
  Path p;
  p.MoveTo(r, 0);
  p.BezierTo({r, k}, {k, r}, {0, r});
  p.BezierTo({-k, r}, {-r, k}, {-r, 0});
  p.BezierTo({-r, -k}, {-k, -r}, {0, -r});
  p.BezierTo({k, -r}, {r, -k}, {r, 0});
  p.CloseFigure();
  return p;
}

// A star of 101 points, 2,000 units across: tips and notches alternating.
Path Star() {
  Path p;
  for (int i = 0; i < 202; ++i) {
    const double a = std::numbers::pi * i / 101, radius = i % 2 ? 500 : 1000;
    const IntPoint q{static_cast<int>(std::lround(radius * std::cos(a))),
                     static_cast<int>(std::lround(radius * std::sin(a)))};
    i == 0 ? p.MoveTo(q) : p.LineTo(q);
  }
  p.CloseFigure();
  return p;
}

// The self-crossing star polygon {101/50}: every edge crosses most others.
Path CrossingStar() {
  Path p;
  for (int i = 0; i < 101; ++i) {
    const double a = 2 * std::numbers::pi * ((i * 50) % 101) / 101;
    const IntPoint q{static_cast<int>(std::lround(1000 * std::cos(a))),
                     static_cast<int>(std::lround(1000 * std::sin(a)))};
    i == 0 ? p.MoveTo(q) : p.LineTo(q);
  }
  p.CloseFigure();
  return p;
}

void BM_FillCircle(benchmark::State& state) {
  const Path p = Circle();
  Region r;
  for (auto _ : state) benchmark::DoNotOptimize(p.ToRegion(r));
}
BENCHMARK(BM_FillCircle)->Unit(benchmark::kMicrosecond);

void BM_FillStar101(benchmark::State& state) {
  const Path p = Star();
  Region r;
  for (auto _ : state) benchmark::DoNotOptimize(p.ToRegion(r));
}
BENCHMARK(BM_FillStar101)->Unit(benchmark::kMicrosecond);

void BM_FillCrossingStar101(benchmark::State& state) {
  const Path p = CrossingStar();
  Region r;
  for (auto _ : state) benchmark::DoNotOptimize(p.ToRegion(r));
}
BENCHMARK(BM_FillCrossingStar101)->Unit(benchmark::kMicrosecond);

void BM_WidenCircle(benchmark::State& state) {
  const Path p = Circle();
  Region r;
  for (auto _ : state) benchmark::DoNotOptimize(WidenPathToRegion(p, 2, r));
}
BENCHMARK(BM_WidenCircle)->Unit(benchmark::kMicrosecond);

void BM_RegionOps(benchmark::State& state) {
  Region circle, star, out;
  Circle().ToRegion(circle);
  Star().ToRegion(star);
  star.Translate(300, 200);
  const auto mode = static_cast<CombineMode>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(Region::Combine(out, circle, star, mode));
    benchmark::DoNotOptimize(out == circle);
  }
}
BENCHMARK(BM_RegionOps)
    ->Arg(static_cast<int>(CombineMode::kAnd))
    ->Arg(static_cast<int>(CombineMode::kOr))
    ->Arg(static_cast<int>(CombineMode::kDiff))
    ->Unit(benchmark::kMicrosecond);

void BM_RegionPointTest(benchmark::State& state) {
  Region star;
  Star().ToRegion(star);
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(star.Contains(i % 2001 - 1000, (i * 7) % 2001 - 1000));
    ++i;
  }
}
BENCHMARK(BM_RegionPointTest);

}  // namespace
}  // namespace tovrani
