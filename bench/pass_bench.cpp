// The depth and mask-layer pass over a sprite body of many frames: its time
// must grow linearly with the number of tags.
#include <benchmark/benchmark.h>

#include <vector>

#include "support/swf_writer.h"
#include "convert/converter_context.h"
#include "timeline/rearrange_mask_layers.h"

namespace {

using tovrani::test::SwfBytes;
using tovrani::test::SwfWriter;

// A sprite body: 40 depths with a mask over every fifth, each depth moved
// every frame and replaced every 50 frames.
std::vector<uint8_t> SpriteBody(int frames) {
  SwfWriter w;
  for (int frame = 0; frame < frames; ++frame) {
    for (int depth = 1; depth <= 40; ++depth) {
      SwfBytes b;
      bool place = frame % 50 == 0;
      bool mask = depth % 5 == 1;
      uint8_t flags = 0x04 | (place ? 0x02 : 0x01) | (mask && place ? 0x40 : 0);
      b.u8(flags).u16(depth);
      if (place) b.u16(depth);
      b.matrix(frame * 20, depth * 20);
      if (mask && place) b.u16(depth + 3);
      w.tag(26, b.data());
    }
    w.showFrame();
  }
  w.end();
  SwfBytes body;
  body.u16(1).u16(frames).bytes(w.tags());
  return body.data();
}

void BM_MaskPassSprite(benchmark::State& state) {
  const std::vector<uint8_t> original = SpriteBody(int(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<uint8_t> body = original;
    tovrani::ShellServices shell;
    tovrani::ConverterContext ctx;
    ctx.m_pShell = &shell;
    state.ResumeTiming();
    benchmark::DoNotOptimize(
        tovrani::RearrangeMaskLayers(ctx, 0, body.data(), int32_t(body.size())));
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_MaskPassSprite)->RangeMultiplier(4)->Range(64, 4096)->Complexity();

}  // namespace
