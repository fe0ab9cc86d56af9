// Motion tweens from runs of one-frame placements: where a character moves
// smoothly frame after frame, its keyframe becomes a motion tween that lasts
// to the run's last placement, which is the next keyframe.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "fla/archive.h"
#include "timeline/display_list.h"
#include "timeline/symbol_timeline.h"

namespace tovrani {

struct TimelineContext;
class Allowance;
class ShellServices;

// The options, read once per page: the slider cannot move during a run.
struct MotionTweenSettings {
  bool on = false;      // "Approximate Motion Tweens..."
  bool easing = false;  // "Approximate Easing Value"
  int32_t pos = 10;     // the approximation slider
  EaseTable ease{};
  // The movie's allowance of channel pairs tested, and where its first
  // refusal is told (none: unbounded, untold).
  Allowance* pairs = nullptr;
  ShellServices* shell = nullptr;
};
MotionTweenSettings ReadMotionTweenSettings(TimelineContext& ctx);

// A run ends after this many entries; the next tween starts at its last.
inline constexpr uint32_t kMaxTweenEntries = 1000;

// Called for entry k after its keyframe body (duration at `pos`) is written.
// k's next entries come from nextLive and stop at windowLast. When a tween
// starts, the tween byte is set; when it spans more than one frame, the
// easing may be set, k becomes the entry before the run's last and the
// tween's frames are returned. Otherwise returns 0 and k stays. Once the
// allowance of pairs refuses a run, that run and every later one keep
// their keyframes, as with the option off.
uint32_t ApproximateMotionTween(std::FILE* page, PatchPos pos, const DepthTrack& track, int32_t& k,
                                int32_t windowLast, const std::vector<int32_t>& nextLive,
                                const MotionTweenSettings& settings);

}  // namespace tovrani
