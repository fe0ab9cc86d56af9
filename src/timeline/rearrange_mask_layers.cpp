#include "timeline/rearrange_mask_layers.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fla/file_helpers.h"
#include "fla/stream_placement.h"
#include "platform/resource_bound.h"
#include "timeline/character_sources.h"
#include "timeline/timeline_context.h"
#include "timeline/depth_handoff.h"
#include "timeline/depth_table.h"
#include "timeline/display_events.h"
#include "timeline/mask_fixes.h"
#include "timeline/mask_regroup.h"
#include "platform/movie_messages.h"

namespace tovrani {

namespace {

// Puts the main movie's file back where it stood, on every way out.
class PositionGuard {
 public:
  explicit PositionGuard(TimelineData& data) : data_(data) {}
  ~PositionGuard() { data_.RestorePosition(); }
  PositionGuard(const PositionGuard&) = delete;
  PositionGuard& operator=(const PositionGuard&) = delete;

 private:
  TimelineData& data_;
};

// Cheap checks at a cycle head: values stay far from wrapping, and a table
// that can no longer fit the tags' 16-bit depths stops the cycles.
bool WithinShiftBounds(const DepthTable& table) {
  constexpr uint32_t kLimit = 0x0FFFFFFF;
  if (table.size() > 0xFFFF || (!table.empty() && table.back().depth > kLimit)) return false;
  for (const DepthEntry& e : table)
    if (e.maxClip > kLimit) return false;
  return true;
}

// What the rearranging cycles would spend on a timeline without a mask
// before finding nothing to change, and the layers of its depth table: one
// entry for each depth that places something, the merge pass paying its
// spans and one for every entry but the last, the cycle head one for each
// entry and one.
struct MasklessCost {
  uint64_t units = 0;
  uint32_t depths = 0;
};

MasklessCost CostWithoutMasks(const std::vector<DisplayEvent>& events) {
  MasklessCost cost;
  uint64_t merge = 0, last = 0;
  auto depth = [&](uint32_t placements) {
    ++cost.depths;
    last = uint64_t(placements) + 1;
    merge += last;
  };
  // Counted from the events' own depths where they are fewer than the
  // depths a tag may name, from a table of every depth where they are not.
  if (events.size() < 0x10000) {
    std::vector<uint16_t> placed;
    placed.reserve(events.size());
    for (const DisplayEvent& e : events)
      if (!e.isRemove && e.depth != 0) placed.push_back(e.depth);
    std::sort(placed.begin(), placed.end());
    for (size_t i = 0, j; i < placed.size(); i = j) {
      for (j = i + 1; j < placed.size() && placed[j] == placed[i];) ++j;
      depth(uint32_t(j - i));
    }
  } else {
    std::vector<uint32_t> placements(0x10000, 0);
    for (const DisplayEvent& e : events) placements[e.depth] += e.isRemove ? 0 : 1;
    for (uint32_t d = 1; d < placements.size(); ++d)
      if (placements[d] != 0) depth(placements[d]);
  }
  cost.units = merge - last + cost.depths + 1;
  return cost;
}

void Warn(TimelineContext& ctx, const char* kind, const char* text) {
  ShowWarning(ctx, kind, "Rearranging mask layers", text);
}

// The pass's share of the movie's allowance (MovieBudget::maskPass): each
// timeline gets what is left up to its own cap, and pays what it spent. One
// that spends what the movie had left, or starts with nothing, is refused:
// the first named, the rest counted in the closing line.
class MaskPassShare {
 public:
  MaskPassShare(TimelineContext& ctx, uint16_t id)
      : ctx_(ctx), id_(id), byMovie_(ctx.m_budget.maskPass.left() < ctx.m_nMaskPassBudget) {}
  uint64_t units() const { return byMovie_ ? ctx_.m_budget.maskPass.left() : ctx_.m_nMaskPassBudget; }
  // Charges what `budget` spent since the last call.
  void Charge(const PassBudget& budget) {
    Allowance& allowance = ctx_.m_budget.maskPass;
    allowance.Take(std::min(budget.used() - charged_, allowance.left()));
    charged_ = budget.used();
  }
  // A spent budget: true, and the timeline refused, when it was the movie's
  // rest rather than the timeline's own cap.
  bool Refuse(const PassBudget& budget) {
    if (!byMovie_) return false;
    charged_ = budget.used();
    Allowance& allowance = ctx_.m_budget.maskPass;
    allowance.RefuseRest();
    if (allowance.FirstRefusal() && ctx_.m_pShell)
      ctx_.m_pShell->ShowMessage(
          "Rearranging mask layers",
          (id_ == 0 ? std::string("The main timeline") : "DefineSprite (character " + std::to_string(id_) + ")") +
              ": rearranging its masks would take more than the movie's size allows; its layers are kept as far "
              "as they were rearranged.");
    return true;
  }

 private:
  TimelineContext& ctx_;
  uint16_t id_;
  bool byMovie_;
  uint64_t charged_ = 0;
};

}  // namespace

uint32_t RearrangeMaskLayers(TimelineContext& ctx, uint8_t fromFile, uint8_t* tagBuf,
                             int32_t bufLen, uint16_t id) {
  ShellServices* shell = ctx.m_pShell;
  if (shell) shell->SetCurrentAction("Rearranging mask layers...");

  // Every call starts its timeline's tables afresh, so no table of an
  // earlier timeline is ever read for this one.
  std::vector<DisplayEvent>& ctxEvents = fromFile ? ctx.m_pMovieEvents : ctx.m_pSpriteEvents;
  std::vector<DepthHandoff>& ctxHandoffs =
      fromFile ? ctx.m_pMovieLayerDepths : ctx.m_pSpriteLayerDepths;
  std::vector<CharacterRestore>& ctxRestores =
      fromFile ? ctx.m_pMovieMaskDepths : ctx.m_pSpriteMaskDepths;
  ctxEvents.clear();
  ctxHandoffs.clear();
  ctxRestores.clear();
  if (fromFile) {
    ctx.m_pInitActions.clear();
    ctx.m_pButtonSounds.clear();
    if (!ctx.m_pSwfFile) return 0;
  } else if (!tagBuf || bufLen <= 4) {
    return 0;
  }

  TimelineData data = fromFile ? TimelineData(ctx.m_pSwfFile, ctx.m_nSwfEnd)
                               : TimelineData(std::span<uint8_t>(tagBuf, size_t(bufLen)));
  PositionGuard restore(data);
  // The tags the engine reads next must say what the events say.
  struct WriteCheck {
    TimelineContext& ctx;
    const TimelineData& data;
    ~WriteCheck() {
      if (data.writeFailed()) NoteWriterFailure(ctx, kResultOutputIncomplete);
    }
  } check{ctx, data};

  DisplayRecording rec;
  bool mainTimeline = ctx.m_pOptMainTimeline && *ctx.m_pOptMainTimeline;
  RecordResult r = RecordDisplayEvents(data, mainTimeline, shell, &ctx.m_bCancel, rec);
  // Past a bound the conversion fails: nothing more is built for it.
  if (r == RecordResult::kBoundCrossed || ResourceBoundCrossed()) return 0;
  if (fromFile && r != RecordResult::kOverrun) {
    ctx.m_pInitActions = std::move(rec.initActions);
    ctx.m_pButtonSounds = std::move(rec.buttonSounds);
  }
  if (r != RecordResult::kOk) return 0;

  std::vector<DisplayEvent>& events = rec.events;
  uint32_t count = uint32_t(events.size());
  MaskPassShare share(ctx, fromFile ? 0 : id);
  PassBudget budget(share.units());

  std::vector<uint32_t> clamped;
  bool changed = ClampDeepClips(events, rec.maxDepth, &clamped);
  const bool masks = std::any_of(events.begin(), events.end(), [](const DisplayEvent& e) { return e.hasClip != 0; });
  // Without a mask the cycles change nothing, so no depth table is built: it
  // would hold a span for every placement. The road stays the cycles' own
  // where they would give up (a pass budget too small, a cancel).
  if (!masks && !ctx.m_bCancel) {
    const MasklessCost cost = CostWithoutMasks(events);
    if (cost.units <= ctx.m_nMaskPassBudget) {
      if (shell) shell->BeginSubTask(0, cost.depths);
      for (DisplayEvent& e : events) e.depth = e.origDepth;
      ctxEvents = std::move(events);
      return count;
    }
  }
  DepthTable table = BuildDepthTable(events);
  // A merged mask must reach the tags: its events already carry the new depth.
  if (MergeConsecutiveMasks(events, table, budget)) changed = true;
  if (shell) shell->BeginSubTask(0, uint32_t(table.size()));

  auto pump = [&] {
    if (shell && shell->PumpMessages()) ctx.m_bCancel = 1;
    ResourceLook();
  };
  uint32_t progress = 0;  // never decreases over the cycles
  auto visit = [&](size_t x) {
    progress = std::max(progress, uint32_t(table.size() - x));
    if (shell) shell->StepSubProgressLayers(progress);
    pump();
  };
  CharacterSources sources;  // built when the first repair needs it
  bool firstCycle = true, cancelled = false, abandoned = false;
  for (;;) {
    if (ResourceBoundCrossed()) return 0;
    if (ctx.m_bCancel || !budget.Spend(table.size() + 1)) {
      cancelled = true;
      break;
    }
    if (shell) shell->SetSubRange(0, uint32_t(table.size()));
    CloseDepthGaps(table, &budget);
    if (!WithinShiftBounds(table)) {
      abandoned = true;
      break;
    }
    // After the first cycle `changed` stays set, and only the last search
    // reads which masks leave part of their range uncovered: it finds that
    // out itself, once the others have nothing left.
    if (ClassifyDepths(table, budget, pump, firstCycle)) changed = true;
    if (!changed) {
      // Nothing to rearrange: the tags stay as they are.
      share.Charge(budget);
      for (DisplayEvent& e : events) e.depth = e.origDepth;
      ctxEvents = std::move(events);
      return count;
    }
    if (firstCycle) {
      firstCycle = false;
      sources = CharacterSources(events);
      const RegroupResult regroup = RegroupMaskLayers(table, budget);
      if (regroup == RegroupResult::kOutOfBounds) {
        abandoned = true;
        break;
      }
      // A stop leaves the table half regrouped: it is built again as the
      // cycle found it, from the events, which the regrouping leaves alone.
      if (regroup == RegroupResult::kBudgetSpent) {
        table = BuildDepthTable(events);
        CloseDepthGaps(table);
      }
      continue;
    }
    if (RepairOneEntry(table, events, sources, budget, visit) == RepairResult::kNothingLeft) break;
  }
  if (cancelled && budget.spent() && !share.Refuse(budget))
    Warn(ctx, "timelines whose masks take too long to rearrange",
         "The masks of this timeline take too long to rearrange; its layers are kept as far as "
         "they were rearranged.");

  if (ResourceBoundCrossed()) return 0;
  if (!abandoned) {
    HandoffTables tables;
    switch (FinishDepthTable(events, rec.headerPos, rec.folded, sources, table, cancelled, budget, data,
                             tables)) {
      case FinishResult::kOutOfBounds:
        abandoned = true;
        break;
      case FinishResult::kWriteFailed:  // noted when the pass ends
      case FinishResult::kWritten:
        ctxHandoffs = std::move(tables.layerDepths);
        ctxRestores = std::move(tables.maskDepths);
        break;
    }
  }
  if (abandoned) {
    // The tags keep their depths; only a clamped deep clip is written, so
    // that no reader takes it for a group over thousands of depths. The
    // stages before change no clamped clip, and of the rest the engine
    // reads back only the depths.
    for (DisplayEvent& e : events) e.depth = e.origDepth;
    std::vector<TimelineData::Patch> writes;
    for (uint32_t i : clamped)
      if (!events[i].clipInherited) writes.push_back({events[i].clipPos, events[i].clipDepth, 2});
    WriteFoldedMoves(writes, events, rec.folded);
    data.Apply(std::move(writes));
    Warn(ctx, "timelines whose masks need too many depths",
         "The masks of this timeline need more depths than a movie can hold; its depths are kept "
         "as the movie gives them.");
  }
  share.Charge(budget);
  ctxEvents = std::move(events);
  return count;
}

}  // namespace tovrani
