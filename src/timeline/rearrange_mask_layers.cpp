#include "timeline/rearrange_mask_layers.h"

#include <span>

#include "fla/file_helpers.h"
#include "fla/stream_placement.h"
#include "timeline/timeline_context.h"
#include "timeline/depth_handoff.h"
#include "timeline/depth_table.h"
#include "timeline/display_events.h"

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

}  // namespace

uint32_t RearrangeMaskLayers(TimelineContext& ctx, uint8_t fromFile, uint8_t* tagBuf,
                             int32_t bufLen) {
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
  if (fromFile && r != RecordResult::kOverrun) {
    ctx.m_pInitActions = std::move(rec.initActions);
    ctx.m_pButtonSounds = std::move(rec.buttonSounds);
  }
  if (r != RecordResult::kOk) return 0;

  std::vector<DisplayEvent>& events = rec.events;
  uint32_t count = uint32_t(events.size());
  PassBudget budget;

  bool changed = ClampDeepClips(events, rec.maxDepth);
  DepthTable table = BuildDepthTable(events);
  // A merged mask must reach the tags: its events already carry the new depth.
  if (MergeConsecutiveMasks(events, table, budget)) changed = true;
  if (shell) shell->BeginSubTask(0, uint32_t(table.size()));

  bool cancelled = ctx.m_bCancel != 0;
  if (!cancelled) {
    if (shell) shell->SetSubRange(0, uint32_t(table.size()));
    CloseDepthGaps(table);
    auto pump = [&] {
      if (shell && shell->PumpMessages()) ctx.m_bCancel = 1;
    };
    if (ClassifyDepths(table, budget, pump)) changed = true;
    if (!changed) {
      // Nothing to rearrange: the tags stay as they are.
      for (DisplayEvent& e : events) e.depth = e.origDepth;
      ctxEvents = std::move(events);
      return count;
    }
  }
  // The regrouping and the repair cycles would start here; until they exist
  // the table goes to the final stage as it stands, as after a cancel.
  HandoffTables tables;
  if (!FinishDepthTable(events, rec.headerPos, table, true, budget, data, tables)) {
    for (DisplayEvent& e : events) e.depth = e.origDepth;
  } else {
    ctxHandoffs = std::move(tables.layerDepths);
    ctxRestores = std::move(tables.maskDepths);
  }
  ctxEvents = std::move(events);
  return count;
}

}  // namespace tovrani
