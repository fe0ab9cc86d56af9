// The motion-tween approximation over one depth moved every frame: its time
// must grow linearly with the frames, also for runs that never bend. And
// sprites whose runs are as long as a run may be, every step unlike the
// others: compressed, a few kilobytes of file ask for billions of channel
// pairs, which the movie's allowance stops.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "convert/converter_context.h"
#include "fla/archive.h"
#include "hostile_movies.h"
#include "timeline/symbol_timeline.h"

namespace {

// kind 0: steady motion; 1: accelerating motion that restarts every 500
// frames (so every step of a run differs from the others).
void BuildMovedDepth(benchmark::State& state) {
  const uint32_t frames = uint32_t(state.range(0));
  const bool accelerating = state.range(1) != 0;
  std::vector<tovrani::DepthTrack> original(1);
  tovrani::DepthTrack& t = original[0];
  t.key = 1;
  for (uint32_t n = 0; n < frames; ++n) {
    tovrani::PlacementEntry& e = t.entries.emplace_back();
    e.characterId = 3;
    e.startFrame = uint16_t(n);
    e.endFrame = uint16_t(n + 1);
    e.flags = n ? 1 : 0;
    const int32_t s = int32_t(n % 500);
    e.matrix.translateX = accelerating ? s * s : int32_t(n) * 20;
    e.matrix.translateY = accelerating ? 3 * s * s : 0;
  }
  t.lastEntry = int32_t(frames) - 1;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<tovrani::DepthTrack> tracks = original;
    tovrani::ShellServices shell;
    tovrani::ConverterContext ctx;
    ctx.m_pShell = &shell;
    ctx.options.approximateMotionTweens = 1;
    ctx.options.approximateEasing = 1;
    ctx.m_nFlaFormat = 2;
    std::FILE* page = std::tmpfile();
    tovrani::WritePageHeadTags(page, 2);
    ctx.m_pPageStream = page;
    tovrani::PageClassState pageState;
    state.ResumeTiming();
    tovrani::BuildSymbolTimeline(ctx, 1, tracks, 0, 0, uint16_t(frames), pageState);
    state.PauseTiming();
    std::fclose(page);
    state.ResumeTiming();
  }
}

BENCHMARK(BuildMovedDepth)
    ->ArgsProduct({{8192, 16384, 32768, 65535}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

namespace tovrani::bench {

namespace {

void Approximate(ConverterContext& ctx) { ctx.options.approximateMotionTweens = 1; }

std::vector<Hostile> Movies() {
  const auto eased = [](uint16_t sprites, uint16_t frames, bool compressed) {
    return [=] { return test::EasedSpritesMovie(sprites, frames, compressed); };
  };
  return {
      // 1,000 frames a sprite, 30 bytes a frame: 31 KB of file for 962 KB,
      // and 61 KB for 4.9 MB, as far as the inflation bound lets it.
      {"eased_sprites_cws/32", eased(32, 1000, true), Approximate},
      {"eased_sprites_cws/164", eased(164, 1000, true), Approximate},
      {"eased_sprites/10KB", eased(1, 340, false), Approximate},
      {"eased_sprites/100KB", eased(3, 1000, false), Approximate},
      {"eased_sprites/1MB", eased(33, 1000, false), Approximate},
  };
}

const int kRegistered = RegisterHostileMovies("tween", Movies());

}  // namespace

}  // namespace tovrani::bench
