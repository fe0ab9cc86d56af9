#include <gtest/gtest.h>
#include "convert/converter_context.h"
#include "shape/build/shape_builder.h"
#include "shape/shape_test_support.h"
namespace tovrani {
TEST(Scratch, Regions) {
  constexpr int64_t D = 256;
  using Style = test::EdgeWriter::Style;
  test::EdgeWriter w;
  auto Square = [](int64_t x, int64_t y, int64_t s) { return std::vector<std::pair<int64_t, int64_t>>{{x, y}, {x + s, y}, {x + s, y + s}, {x, y + s}}; };
  w.Polygon(Square(0, 0, 60 * D), Style{1, 0, 1}).Polygon(Square(30 * D, 30 * D, 60 * D), Style{1, 0, 2});
  w.Polygon({{100 * D, 0}, {180 * D, 80 * D}, {180 * D, 0}, {100 * D, 40 * D}}, Style{0, 1, 0});
  ShapeBlock block = w.Block();
  ConverterContext ctx;
  std::vector<uint8_t> blob{0,0,0,0};
  ShapeBuilder b(ctx, block, blob, nullptr);
  b.Read(); b.JoinStraightEdges(); b.MarkSides(); b.TraceOutlines();
  for (auto& r : b.regions) printf("kind %d style %d order %d joined %d probe %u contour %d box %d %d %d %d\n", r->kind, r->style, r->order, r->joined, r->probe, r->HasContour() ? (int)r->First()->count() : -1, r->box.left, r->box.top, r->box.right, r->box.bottom);
}
}
