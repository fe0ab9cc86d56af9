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

void RunPassOverSprite(benchmark::State& state, const std::vector<uint8_t>& original) {
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

void BM_MaskPassSprite(benchmark::State& state) {
  RunPassOverSprite(state, SpriteBody(int(state.range(0))));
}
BENCHMARK(BM_MaskPassSprite)->RangeMultiplier(4)->Range(64, 4096)->Complexity();

// A sprite body that keeps the repairs busy: per group of 8 depths an outer
// mask over 6 depths, replaced every 50 frames; an inner mask inside its
// range, shown for 25 frames of every 50 and over the outer mask's objects
// both while it is shown and while it is not; a depth that holds a mask and
// later an object; and objects moved every frame. 40 placements a frame:
// 2,500 frames are 10^5 placements.
std::vector<uint8_t> RepairBody(int frames) {
  SwfWriter w;
  auto place = [&](int depth, int character, int clip, bool move, int x) {
    SwfBytes b;
    b.u8(0x04 | (move ? 0x01 : 0) | (character ? 0x02 : 0) | (clip >= 0 ? 0x40 : 0)).u16(depth);
    if (character) b.u16(character);
    b.matrix(x, depth * 20);
    if (clip >= 0) b.u16(clip);
    w.tag(26, b.data());
  };
  for (int frame = 0; frame < frames; ++frame) {
    for (int base = 0; base < 40; base += 8) {
      const bool turn = frame % 50 == 0, half = frame % 50 == 25;
      // Outer mask: a new character every 50 frames, else moved.
      place(base + 1, turn ? 1 + frame / 50 % 3 : 0, turn ? base + 6 : -1, true, frame);
      // Inner mask for the second half of every 50 frames.
      if (half) {
        place(base + 3, 7, base + 5, false, frame);
      } else if (turn && frame > 0) {
        SwfBytes r;
        r.u16(base + 3);
        w.tag(28, r.data());
      } else if (frame % 50 > 25) {
        place(base + 3, 0, -1, true, frame);
      }
      // A mask in the first 100 frames, an object after.
      if (frame == 100) {
        SwfBytes r;
        r.u16(base + 7);
        w.tag(28, r.data());
      }
      place(base + 7, frame == 0 || frame == 100 ? 8 + (frame == 100) : 0, frame == 0 ? base + 8 : -1,
            frame != 0 && frame != 100, frame);
      for (int d : {2, 4, 5, 6, 8}) place(base + d, frame == 0 ? d : 0, -1, frame != 0, frame);
    }
    w.showFrame();
  }
  w.end();
  SwfBytes body;
  body.u16(1).u16(frames).bytes(w.tags());
  return body.data();
}

void BM_MaskPassRepairs(benchmark::State& state) {
  RunPassOverSprite(state, RepairBody(int(state.range(0))));
}
BENCHMARK(BM_MaskPassRepairs)->Arg(64)->Arg(256)->Arg(1024)->Arg(2500)->Arg(4096)->Complexity();

}  // namespace
