#include "timeline/motion_tween.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <string>

#include "platform/shell_services.h"
#include "swf/movie_budget.h"
#include "platform/resource_bound.h"
#include "timeline/timeline_context.h"

namespace tovrani {

namespace {

// a, d, tx, ty and the colour transform: the channels a tween moves.
using Channels = std::array<int64_t, 12>;

Channels ChannelsOf(const PlacementEntry& e) {
  const SwfMatrix& m = e.matrix;
  const SwfCxform& c = e.colorTransform;
  return {m.scaleX, m.scaleY, m.translateX, m.translateY, c.rMult, c.rAdd,
          c.gMult,  c.gAdd,   c.bMult,      c.bAdd,       c.aMult, c.aAdd};
}

Channels Difference(const Channels& a, const Channels& b) {
  Channels d;
  for (size_t j = 0; j < d.size(); ++j) d[j] = a[j] - b[j];
  return d;
}

// Texts, morph shapes, videos and group placements keep their keyframes
// (a morph or video not yet written still has its own kind).
bool Mergeable(const PlacementEntry& e) {
  return e.kind != kElementEditText && e.kind != kElementStaticText && e.kind != kElementMorphShape &&
         e.kind != kElementVideo && e.kind != kGroupPlacementKind;
}

bool Rotates(const PlacementEntry& e) { return e.matrix.rotateSkew0 != 0 || e.matrix.rotateSkew1 != 0; }

// The authoring tool tweens a matrix by its scales and angles: a scale that
// changes sign is a turn by half a circle there, not the movie's squeeze
// through 0, so a run keeps the signs of its first scales.
bool FlipsFrom(const PlacementEntry& first, const PlacementEntry& e) {
  return (first.matrix.scaleX < 0) != (e.matrix.scaleX < 0) || (first.matrix.scaleY < 0) != (e.matrix.scaleY < 0);
}

// A tween moves every channel one way: a step back against an earlier
// step of the run is a motion it cannot show.
bool Reverses(const Channels& direction, const Channels& step) {
  for (size_t j = 0; j < step.size(); ++j)
    if ((direction[j] < 0 && step[j] > 0) || (direction[j] > 0 && step[j] < 0)) return true;
  return false;
}

// The share of the change a tween makes by its middle frame, in 1/65536,
// from the share `part` (of `whole`) made after m of n frames: the eased
// fraction is t + a t (1 - t), so its middle is 1/2 + a/4.
int64_t MiddleShare(int64_t part, int64_t whole, int64_t m, int64_t n) {
  const double t = double(m) / double(n), share = double(part) / double(whole);
  const double a = (share - t) / (t * (1 - t));
  return std::clamp<int64_t>(std::llround((0.5 + a / 4) * 65536.0), 0, 65535);
}

// prev lasts one frame and next starts where it ends. A placement the
// engine left open (a move took its depth) ends where the move starts.
bool FollowsInOneFrame(const PlacementEntry& prev, const PlacementEntry& next) {
  return uint32_t(next.startFrame) == uint32_t(prev.startFrame) + 1 && prev.endFrame >= next.startFrame;
}

int64_t Abs(int64_t v) { return v < 0 ? -v : v; }

// The three newest second differences change direction or bend by more
// than the tolerance.
bool Bends(int64_t p, int64_t c, int64_t q, int64_t tol) {
  if ((p < 0 && 0 < c) || (c < 0 && 0 < q) || (p < 0 && 0 < q) || (p > 0 && 0 > c) || (c > 0 && 0 > q) ||
      (p > 0 && 0 > q))
    return true;
  if (p < c && c >= q && Abs(c - q) > tol && Abs(c - p) > tol) return true;
  if (p > c && c <= q && Abs(q - c) > tol && Abs(p - c) > tol) return true;
  return p == c && c != q && Abs(q - c) > tol;
}

bool CurvatureRejects(const std::vector<Channels>& steps, int64_t tol) {
  // Earlier triples were tested when their newest step came.
  const size_t n = steps.size();
  if (n < 4) return false;
  for (size_t j = 0; j < 12; ++j) {
    const int64_t p = steps[n - 3][j] - steps[n - 4][j];
    const int64_t c = steps[n - 2][j] - steps[n - 3][j];
    const int64_t q = steps[n - 1][j] - steps[n - 2][j];
    if (Bends(p, c, q, tol)) return true;
  }
  return false;
}

// |floor((x - y) * 1000)| > pos, in double, without the floor: for a
// pos >= 0, floor(d) > pos exactly when d >= pos + 1, and floor(d) < -pos
// exactly when d < -pos.
bool Apart(double x, double y, int32_t pos) {
  const double d = (x - y) * 1000.0;
  return d >= double(pos) + 1.0 || d < -double(pos);
}

// The pairs of channels one comparison of two steps tests.
constexpr uint64_t kChannelPairs = 12 * 12;

// The step s against the newest step l: are their channels out of
// proportion? Each channel's ratios are divided once, the same doubles as
// dividing them for every pair.
bool OutOfProportion(const Channels& s, const Channels& l, int32_t pos) {
  std::array<double, 12> sl{}, ls{};
  for (size_t j = 0; j < 12; ++j) {
    if (l[j] != 0) sl[j] = double(s[j]) / double(l[j]);
    if (s[j] != 0) ls[j] = double(l[j]) / double(s[j]);
  }
  for (size_t j = 0; j < 12; ++j) {
    if (s[j] == l[j]) continue;
    for (size_t i = 0; i < 12; ++i) {
      const bool both = s[j] != 0 && s[i] != 0;
      auto inverse = [&] { return Apart(ls[j], ls[i], pos) && Abs(s[j] - l[j]) > 1 && Abs(s[i] - l[i]) > 1; };
      if (l[j] != 0 && l[i] != 0) {
        if (Apart(sl[j], sl[i], pos) && (!both || inverse()))
          return true;
      } else if (both && inverse()) {
        return true;
      }
    }
  }
  return false;
}

// Charges the comparisons of a new step with `earlier` distinct steps.
// The first refusal is told; the run it stops keeps its keyframes.
bool TakePairs(const MotionTweenSettings& settings, size_t earlier, const PlacementEntry& first) {
  if (!settings.pairs || settings.pairs->Take(kChannelPairs * earlier)) return true;
  if (settings.pairs->FirstRefusal() && settings.shell)
    settings.shell->ShowMessage("BRASKELON Tovrani Warning",
                                "Character " + std::to_string(first.characterId) + " (frame " +
                                    std::to_string(uint32_t(first.startFrame) + 1) +
                                    "): approximating its motion tween would take more than the movie's size "
                                    "allows; it and the runs after it keep their keyframes.");
  return false;
}

}  // namespace

MotionTweenSettings ReadMotionTweenSettings(TimelineContext& ctx) {
  MotionTweenSettings s;
  s.on = ctx.m_pOptApproximateMotionTweens && *ctx.m_pOptApproximateMotionTweens;
  s.easing = ctx.m_pOptApproximateEasing && *ctx.m_pOptApproximateEasing;
  s.pos = int32_t(std::min<uint32_t>(ctx.options.approximation, 0x7FFFFFFF));
  s.ease = BuildEaseTable();
  s.pairs = &ctx.m_budget.tweenPairs;
  s.shell = ctx.m_pShell;
  return s;
}

uint32_t ApproximateMotionTween(std::FILE* page, PatchPos pos, const DepthTrack& track, int32_t& k,
                                int32_t windowLast, const std::vector<int32_t>& nextLive,
                                const MotionTweenSettings& settings) {
  if (!settings.on || k < 0 || size_t(k) >= nextLive.size()) return 0;
  const PlacementEntry& first = track.entries[size_t(k)];
  if (!Mergeable(first)) return 0;
  auto next = [&](int32_t n) {
    const int32_t x = size_t(n) < nextLive.size() ? nextLive[size_t(n)] : -1;
    return x >= 0 && x <= windowLast ? x : -1;
  };
  const int32_t second = next(k);
  if (second < 0) return 0;
  const PlacementEntry& e1 = track.entries[size_t(second)];
  if (e1.characterId != first.characterId || !Mergeable(e1) || !FollowsInOneFrame(first, e1) || !(e1.flags & 1))
    return 0;
  // Past the allowance every run keeps its keyframes; each is counted.
  if (settings.pairs && settings.pairs->refusals()) {
    settings.pairs->RefuseRest();
    return 0;
  }
  if (Rotates(first) || Rotates(e1) || FlipsFrom(first, e1)) {
    PatchFrameTweenKind(page, pos, 1);
    return 0;
  }

  const int64_t tol = 2 + (settings.pos > 5 ? 1 : 0) + (settings.pos > 30 ? 1 : 0);
  std::vector<int32_t> run = {k, second};
  std::vector<Channels> steps = {Difference(ChannelsOf(e1), ChannelsOf(first))};
  // The proportion test gives the same answer for equal earlier steps, so
  // each distinct one is tested once.
  std::set<Channels> seen = {steps[0]};
  std::vector<const Channels*> distinct = {&*seen.begin()};
  Channels direction = steps[0];
  for (int32_t n = next(second); n >= 0 && run.size() < kMaxTweenEntries; n = next(n)) {
    if (ResourceLook()) break;
    const PlacementEntry& prev = track.entries[size_t(run.back())];
    const PlacementEntry& cur = track.entries[size_t(n)];
    if (cur.characterId != prev.characterId || !Mergeable(cur) || Rotates(cur) || !FollowsInOneFrame(prev, cur) ||
        cur.flags != prev.flags || FlipsFrom(first, cur))
      break;
    const Channels step = Difference(ChannelsOf(cur), ChannelsOf(prev));
    if (Reverses(direction, step)) break;
    steps.push_back(step);
    const Channels& l = steps.back();
    bool rejected = CurvatureRejects(steps, tol);
    if (!rejected && !TakePairs(settings, distinct.size(), first)) return 0;
    for (size_t s = 0; !rejected && s < distinct.size(); ++s) rejected = OutOfProportion(*distinct[s], l, settings.pos);
    if (rejected) break;
    run.push_back(n);
    for (size_t j = 0; j < direction.size(); ++j)
      if (direction[j] == 0) direction[j] = l[j];
    if (auto [it, fresh] = seen.insert(l); fresh) distinct.push_back(&*it);
  }
  PatchFrameTweenKind(page, pos, 1);
  if (run.size() <= 2) return 0;

  const int32_t r = run.back();
  const PlacementEntry& last = track.entries[size_t(r)];
  if (settings.easing) {
    const Channels base = ChannelsOf(first);
    const size_t m = (run.size() - 1) / 2;
    const Channels mid = ChannelsOf(track.entries[size_t(run[m])]);
    const Channels end = ChannelsOf(last);
    int64_t dMid = 0, dEnd = 0;
    for (size_t j = 0; j < 12; ++j) {
      dMid += Abs(mid[j] - base[j]);
      dEnd += Abs(end[j] - base[j]);
    }
    int16_t easing = 0;
    if (dEnd != 0) {
      // The middle entry of a run of an odd number of steps stands before
      // the tween's middle frame: its share is read as the middle's. In
      // 64 bits: a change of half the scale at the middle frame already
      // passes 32.
      const int64_t steps = int64_t(run.size()) - 1;
      const int64_t ratio = steps % 2 == 0 ? std::min<int64_t>(dMid * 65536 / dEnd, 65535)
                                           : MiddleShare(dMid, dEnd, int64_t(m), steps);
      easing = LookupEaseValue(settings.ease, uint16_t(ratio));
    }
    PatchFrameEasing(page, pos, easing);
  }
  k = r - 1;
  return uint32_t(last.startFrame) - first.startFrame;
}

}  // namespace tovrani
