#include "shape/builder/fill_overlap.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <limits>
#include <map>
#include <tuple>

#include "platform/path_widen.h"
#include "platform/resource_bound.h"
#include "shape/builder/build_shape.h"
#include "shape/builder/overlap_analysis.h"
#include "shape/geometry/shape_region.h"
#include "shape/geometry/run_rewrite.h"

namespace tovrani {

namespace {

bool On(const uint8_t* option) { return option && *option; }

void Pump(ShapeContext& ctx) {
  if (ctx.m_pShell && ctx.m_pShell->PumpMessages()) ctx.m_bCancel = 1;
  ResourceLook();
}

// Where the analysable data goes on after the 0 byte at `pos`: behind a
// further object's head and style tables, or nullopt when no object
// recognised at the context's format level opens there.
std::optional<size_t> SkipFurtherObject(const ShapeBlock& block, size_t pos, uint8_t level) {
  const std::optional<size_t> tables = FindFurtherShapeObject(block.counted(), pos, level);
  if (!tables) return std::nullopt;
  return SkipStyleTables(block.counted(), *tables, level);
}

bool InI32(int64_t v) {
  return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

// ---- the pass loop ----

class Passes {
 public:
  explicit Passes(OverlapAnalysis& a) : a_(a), level_(a.ctx.m_nFlaFormat) {}
  void Run();

 private:
  enum class Step { kGoOn, kRestart, kEnd };
  // The state of a pass before one of its runs is decoded, and the run
  // before it (P of its pair).
  struct RunStart {
    uint32_t readPos = 0;
    PenPosition pen;
    StyleBytes style{};
    uint8_t side = 1;
    bool openRun = false;
    size_t collected = 0;
    EdgeList before;
  };
  // A pass from the block's start, or from `starts_[resume]` on.
  Step Pass(std::optional<size_t> resume);
  // Where the pass after a rewrite may go on: the run before the first run
  // the rewrite (or a change in place) touched. Every run before that one
  // decodes as it did and was compared with what it is compared with
  // again, the next record included; nullopt when the pass must start from
  // the block's start.
  std::optional<size_t> ResumePoint() const;
  // Decodes the run at the read position into the list of the new side;
  // false when the analysis stops.
  bool DecodeRun();
  bool DecodeItem(EdgeList& run, bool first);
  Step Examine();
  bool RepeatedRunSearch(const EdgeList& p, const EdgeList& r);
  bool Rewritten(bool done) {
    if (!done) a_.stopped = true;  // a move beyond 32 bits
    return true;
  }

  OverlapAnalysis& a_;
  uint8_t level_;
  bool furtherObject_ = false;
  // Where the last rewrite began, and whether the index may keep the runs
  // before it (not when the pass went on into a further object).
  uint32_t rewriteFrom_ = 0;
  bool keepIndex_ = false;
  // The runs of the pass so far, in block order.
  std::vector<RunStart> starts_;
};

void Passes::Run() {
  std::optional<size_t> resume;
  for (;;) {
    const uint32_t before = a_.block.recordCount;
    const Step step = Pass(resume);
    if (step != Step::kRestart || a_.stopped) return;
    // Every rewrite removes records; one that did not cannot be trusted to end.
    if (a_.block.recordCount >= before) return;
    resume = ResumePoint();
  }
}

std::optional<size_t> Passes::ResumePoint() const {
  // A pass that went into a further object starts afresh, as its index
  // does.
  if (!keepIndex_) return std::nullopt;
  const uint32_t changed = std::min(rewriteFrom_, a_.changedInPlace);
  auto at = std::lower_bound(starts_.begin(), starts_.end(), changed,
                             [](const RunStart& s, uint32_t offset) { return s.readPos < offset; });
  if (at == starts_.end() || at->readPos != changed || at == starts_.begin()) return std::nullopt;
  return size_t(at - starts_.begin()) - 1;
}

Passes::Step Passes::Pass(std::optional<size_t> resume) {
  if (resume) {
    // The state before the run at the resume point, which is decoded and
    // compared again.
    RunStart& from = starts_[*resume];
    a_.readPos = from.readPos;
    a_.pen = from.pen;
    a_.style = from.style;
    a_.side = from.side;
    a_.runs[a_.side] = std::move(from.before);
    a_.runs[1 - a_.side].Reset(from.readPos);
    a_.collected.items.resize(from.collected);
    a_.openRun = from.openRun;
    starts_.resize(*resume);
  } else {
    a_.readPos = 0;
    a_.pen = {};
    a_.style = {};
    a_.runs[0].Reset(0);
    a_.runs[1].Reset(0);
    a_.side = 1;
    a_.collected.Reset(0);
    a_.openRun = false;
    starts_.clear();
  }
  a_.changedInPlace = UINT32_MAX;
  // The runs before the last rewrite decode as they did: their index stays.
  if (keepIndex_)
    a_.runIndex.DropFrom(rewriteFrom_);
  else
    a_.runIndex.Clear();
  keepIndex_ = false;
  furtherObject_ = false;
  for (;;) {
    if (a_.readPos >= a_.block.length) {
      // The edges of one object only: the closing pass would take further
      // objects' heads for edges.
      if (!furtherObject_) RunClosingPass(a_);
      return Step::kEnd;
    }
    if (a_.block.bytes[a_.readPos] == 0) {
      const std::optional<size_t> next = SkipFurtherObject(a_.block, a_.readPos, level_);
      if (!next) return Step::kEnd;  // the analysable data ends here
      furtherObject_ = true;
      a_.readPos = uint32_t(*next);
      if (a_.readPos >= a_.block.length) return Step::kEnd;
      // A new object: its runs are not compared with the previous one's,
      // and its reader starts afresh.
      a_.runs[a_.side].items.clear();
      a_.runIndex.Clear();
      a_.pen = {};
      a_.style = {};
    }
    starts_.push_back(RunStart{a_.readPos, a_.pen, a_.style, a_.side, a_.openRun,
                               a_.collected.items.size(), a_.runs[a_.side]});
    if (!DecodeRun()) return Step::kEnd;
    Pump(a_.ctx);
    const Step step = Examine();
    if (step == Step::kRestart) {
      // Every rewrite of a run pair starts at P, or at R when it has none.
      const EdgeList& p = a_.runs[1 - a_.side];
      rewriteFrom_ = p.items.empty() ? a_.runs[a_.side].startOffset : p.startOffset;
      keepIndex_ = !furtherObject_;
    }
    if (step != Step::kGoOn) return step;
    const EdgeList& r = a_.runs[a_.side];
    const EdgeList& p = a_.runs[1 - a_.side];
    const EdgeListItem& first = r.items.front();
    const EdgeListItem& last = r.items.back();
    if (r.count() == 1 || first.startX != last.endX || first.startY != last.endY)
      a_.openRun = true;
    a_.collected.items.insert(a_.collected.items.end(), p.items.begin(), p.items.end());
  }
}

bool Passes::DecodeItem(EdgeList& run, bool first) {
  EdgeListItem item;
  const size_t size = ReadStoredRecord(a_.block.counted(), a_.readPos, item);
  if (!size || !a_.Charge(1)) {
    a_.stopped = true;
    return false;
  }
  if (item.carriesStyles()) {
    if (!first && item.style != run.items.back().style)
      run.styleChangeIndex = run.styleChangeIndex == 0 ? int32_t(run.items.size()) : -1;
    a_.style = item.style;
  } else {
    item.style = a_.style;
  }
  const int64_t sx = a_.pen.x + item.moveX(), sy = a_.pen.y + item.moveY();
  const int64_t ex = sx + Scaled(item.anchorDx, AnchorForm(item.flags));
  const int64_t ey = sy + Scaled(item.anchorDy, AnchorForm(item.flags));
  if (!InI32(sx) || !InI32(sy) || !InI32(ex) || !InI32(ey)) {
    a_.stopped = true;
    return false;
  }
  item.startX = int32_t(sx);
  item.startY = int32_t(sy);
  item.endX = int32_t(ex);
  item.endY = int32_t(ey);
  a_.pen = {ex, ey};
  run.Include(item.startX, item.startY);
  run.Include(item.endX, item.endY);
  run.items.push_back(item);
  a_.readPos += uint32_t(size);
  return true;
}

bool Passes::DecodeRun() {
  a_.side = uint8_t(1 - a_.side);
  EdgeList& run = a_.runs[a_.side];
  run.Reset(a_.readPos);
  run.styleBefore = a_.style;
  if (!DecodeItem(run, true)) return false;
  while (a_.readPos < a_.block.length) {
    if (a_.ctx.m_bCancel || ResourceBoundCrossed()) {
      a_.stopped = true;
      return false;
    }
    const uint8_t f = a_.block.bytes[a_.readPos];
    if (f == 0 || MoveForm(f)) break;
    if (!DecodeItem(run, false)) return false;
  }
  run.endOffset = a_.readPos;
  return true;
}

Passes::Step Passes::Examine() {
  const uint8_t side = a_.side;
  TestSingleContourFillSide(a_, a_.runs[side]);
  if (MergeRepeatedEdgeRuns(side, a_.runs, a_.block, a_.readPos, a_.pen, 0,
                            a_.ctx.m_bMorphAnalysis != 0, a_.runIndex))
    return Step::kRestart;
  const EdgeList& r = a_.runs[side];
  const EdgeList& p = a_.runs[1 - side];
  if (p.count() > 1 && r.count() > 1 && RepeatedRunSearch(p, r))
    return a_.stopped ? Step::kEnd : Step::kRestart;
  if (a_.stopped) return Step::kEnd;
  if (p.count() >= 1 && r.count() >= 1 &&
      MergeIdenticalEdgeRuns(side, a_.runs, a_.block, a_.readPos, a_.pen, a_.style))
    return Step::kRestart;
  if (p.count() >= 2 && r.count() >= 2) {
    if (MergeMatchingEdgeRuns(side, a_.runs, a_.block, a_.readPos, a_.pen, a_.style,
                              a_.ctx.m_bMorphAnalysis != 0))
      return Step::kRestart;
    if (TestRunPair(a_, p, r)) return a_.stopped ? Step::kEnd : Step::kRestart;
  }
  return a_.stopped ? Step::kEnd : Step::kGoOn;
}

// A stretch of one run matches the other when each item has the same points,
// flags, stored deltas and style bytes.
bool Passes::RepeatedRunSearch(const EdgeList& p, const EdgeList& r) {
  auto firstMatch = [](const EdgeListItem& a, const EdgeListItem& b) {
    return !a.curved() && !b.curved() && b.hasAnchor() && a.startX == b.startX &&
           a.startY == b.startY && a.endX == b.endX && a.endY == b.endY && a.style == b.style;
  };
  if (p.styleChangeIndex != 0) return false;
  // Only a run without a fill may go: a filled stretch drawn twice cancels
  // its fill there (fills are drawn even-odd). Looked at on a match, or
  // before indexing a large run.
  int8_t rNoFill = -1, pNoFill = -1;
  auto mayGo = [](const EdgeList& run, int8_t& known) {
    if (known < 0) known = CarriesNoFill(run) ? 1 : 0;
    return known == 1;
  };
  // Small runs are scanned as they are; for large ones R's items are
  // indexed by their points and styles, so that the search visits only the
  // items that can match, in the order the scan would.
  using Key = std::tuple<int32_t, int32_t, int32_t, int32_t, StyleBytes>;
  const bool indexed = uint64_t(p.count()) * r.count() > 256;
  if (indexed && !mayGo(r, rNoFill) && !mayGo(p, pNoFill)) return false;
  std::map<Key, std::vector<uint32_t>> byKey;
  if (indexed) {
    for (uint32_t j = 0; j < r.count(); ++j) {
      const EdgeListItem& it = r.items[j];
      if (!it.curved() && it.hasAnchor())
        byKey[{it.startX, it.startY, it.endX, it.endY, it.style}].push_back(j);
    }
    if (!a_.Charge(r.count())) return false;
  }
  auto nextMatch = [&](uint32_t i, uint32_t from) -> std::optional<uint32_t> {
    const EdgeListItem& it = p.items[i];
    if (it.curved()) return std::nullopt;
    if (!indexed) {
      for (uint32_t j = from; j < r.count(); ++j)
        if (firstMatch(it, r.items[j])) return j;
      return std::nullopt;
    }
    auto found = byKey.find({it.startX, it.startY, it.endX, it.endY, it.style});
    if (found == byKey.end()) return std::nullopt;
    auto at = std::lower_bound(found->second.begin(), found->second.end(), from);
    if (at == found->second.end()) return std::nullopt;
    return *at;
  };
  for (uint32_t i = 0; i < p.count(); ++i) {
    uint32_t j = 0;
    while (j < r.count()) {
      const std::optional<uint32_t> m = nextMatch(i, j);
      if (!m) break;
      j = *m;
      if (!a_.Charge(1)) return false;
      if (!firstMatch(p.items[i], r.items[j])) {
        ++j;
        continue;
      }
      if (j == 0 && r.count() <= p.count() - i) {
        uint32_t k = 1;
        while (k < r.count() && SameItem(r.items[k], p.items[i + k])) ++k;
        if (!a_.Charge(k)) return false;
        if (k == r.count() && mayGo(r, rNoFill))
          return Rewritten(RemoveCurrentRun(a_.block, a_.readPos, p, r));
        j = k + 1;
        continue;
      }
      if (i == 0 && p.count() <= r.count() - j) {
        uint32_t k = 1;
        while (k < p.count() && SameItem(p.items[k], r.items[j + k])) ++k;
        if (!a_.Charge(k)) return false;
        if (k == p.count() && mayGo(p, pNoFill)) return Rewritten(RemovePreviousRun(a_.block, p, r));
        i = k;
      }
      ++j;
    }
  }
  return false;
}

}  // namespace

RegionKind OverlapAnalysis::Fill(const Path& path, Region& out) {
  out.Clear();
  const uint64_t limit = FillLimit(), before = memory.Now();
  FillWork work{limit, 0, memory.Room(limit)};
  const RegionKind kind = path.ToRegion(out, work);
  // A fill over the limit was refused before its rows were walked; this
  // charge then fails as well.
  if (!Charge(work.spent + memory.Owed(before + work.held))) {
    out.Clear();
    return RegionKind::kError;
  }
  return kind;
}

RegionKind OverlapAnalysis::Widen(const Path& path, Region& out) {
  out.Clear();
  const uint64_t limit = FillLimit(), before = memory.Now();
  FillWork work{limit, 0, memory.Room(limit)};
  const RegionKind kind = WidenPathToRegion(path, 1, out, &work);
  if (!Charge(work.spent + memory.Owed(before + work.held))) {
    out.Clear();
    return RegionKind::kError;
  }
  return kind;
}

void RemoveZeroEdges(ShapeContext& ctx, ShapeBlock& block, uint32_t) {
  // One walk that copies the kept records down (the same result as moving
  // the rest of the block at each removal, without its cost).
  const uint8_t level = ctx.m_nFlaFormat;
  std::vector<uint8_t>& b = block.bytes;
  const size_t length = block.length;
  size_t read = 0, write = 0;
  auto keep = [&](size_t n) {
    if (write != read) std::memmove(b.data() + write, b.data() + read, n);
    read += n;
    write += n;
  };
  while (read < length) {
    if (b[read] == 0) {
      // The recogniser reads from the 0 byte on, which the compaction has
      // not touched yet.
      const std::optional<size_t> next = SkipFurtherObject(block, read, level);
      if (!next) break;
      keep(*next - read);
      if (read >= length) break;
    }
    // The record that starts a run stays.
    size_t size = RecordSize(b[read]);
    if (size > length - read) break;
    keep(size);
    while (read < length && b[read] != 0 && !MoveForm(b[read])) {
      const uint8_t f = b[read];
      size = RecordSize(f);
      if (size > length - read) break;
      const size_t anchorAt = read + RecordHeadSize(f) + PairBytes(ControlForm(f));
      const bool zero = !CarriesStyles(f) && AnchorForm(f) == 1 && b[anchorAt] == 0 &&
                        b[anchorAt + 1] == 0 && b[anchorAt + 2] == 0 && b[anchorAt + 3] == 0;
      if (zero) {
        read += size;
        --block.recordCount;
      } else {
        keep(size);
      }
    }
    Pump(ctx);
  }
  // Whatever was not looked at stays as it is.
  const size_t rest = length - read;
  if (write != read) {
    std::memmove(b.data() + write, b.data() + read, rest);
    std::fill(b.begin() + long(write + rest), b.begin() + long(length), 0);
  }
  block.length = uint32_t(write + rest);
}

void AnalyzeFillOverlaps(ShapeContext& ctx, ShapeBlock& block, uint32_t singleSided,
                         std::span<const uint8_t> styleBlob, std::FILE* work,
                         size_t& countFieldPos, const StyleIndex* styles) {
  const bool heuristic = On(ctx.m_pOptHeuristicProblemSearch);
  RemoveZeroEdges(ctx, block, singleSided);
  if (!heuristic) {
    // A morph half comes here without a style blob or a work stream: the
    // builder repairs it inside its graph when it has a problem and
    // rebuilds it; it never takes the road that writes into a page.
    if (ctx.m_pBuildShapeHook)
      ctx.m_pBuildShapeHook(ctx, block, styleBlob, work, countFieldPos, styles);
    else
      BuildShape(ctx, block, styleBlob, work, countFieldPos, styles);
    return;
  }
  if (!singleSided) return;
  const ShapeBlock given = block;
  OverlapAnalysis analysis(ctx, block);
  // The records the analysis will hold are charged before it starts.
  if (analysis.Charge(kAnalysedRecordWork * std::min(block.recordCount, block.length))) Passes(analysis).Run();
  if (analysis.refused) block = given;
}

void AnalyzeMorphShapeHalf(ShapeContext& ctx, ShapeBlock& block, uint32_t singleSided) {
  size_t noCountField = 0;
  ctx.m_bMorphAnalysis = 1;
  AnalyzeFillOverlaps(ctx, block, singleSided, {}, nullptr, noCountField, nullptr);
  ctx.m_bMorphAnalysis = 0;
}

}  // namespace tovrani
