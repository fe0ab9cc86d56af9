#include "timeline/morph_symbols.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "fla/archive.h"
#include "fla/item_names.h"
#include "fla/keyframe_records.h"
#include "fla/layer_records.h"
#include "timeline/inner_symbol_page.h"
#include "timeline/morph_records.h"
#include "timeline/symbol_timeline.h"
#include "timeline/timeline_context.h"

namespace tovrani {

namespace {

constexpr char kMorphCaption[] = "BRASKELON Tovrani Warning";

bool On(const uint8_t* option) { return option && *option; }

void PutIdentity(std::FILE* f) {
  for (uint32_t w : {0x10000u, 0u, 0u, 0x10000u, 0u, 0u}) PutU32(f, w);
}

class MorphSymbol {
 public:
  MorphSymbol(TimelineContext& ctx, MorphShapeEntry& morph, std::FILE* f, PageClassState& state)
      : m_(morph), f_(f), state_(state), level_(ctx.m_nFlaFormat),
        isNew_(IsNewFlaFormat(ctx.m_nFlaFormat)), name_(MakeIdName(morph.wCharacterId)) {}

  // The start and end shapes as library items of their own: two instances.
  void ImportLayer(uint16_t placementFlags, uint32_t firstDuration) {
    Instance(m_.wStartItemNo, placementFlags);
    PatchPos pos = isNew_ ? WriteSingleFrameNew(f_) : WriteSingleFrameOld(f_);
    if (firstDuration > 1) PatchFrameDuration(f_, pos, firstDuration);
    NextFrame();
    Instance(m_.wEndItemNo, placementFlags);
    if (isNew_) WriteSingleFrameNew(f_);
    else WriteSingleFrameOld(f_);
    LayerTail();
  }

  void KeyframeHead(bool end) {
    PutZeros(f_, 5);
    PutU32(f_, 128);
    if (isNew_) {
      for (uint8_t b : {0x80, 0x00, 0x00, 0x03}) PutU8(f_, b);
    } else {
      PutU8(f_, 0x80);
      PutU8(f_, 0x02);
    }
    PutIdentity(f_);
    PutU8(f_, 5);
    WriteMorphHalfBlock(f_, m_, end, level_);
  }

  // The keyframe's tail: its duration, marked as a shape tween, its easing.
  void KeyframeTail(uint16_t duration, int16_t easing) {
    PutZeros(f_, 5);
    PutU8(f_, isNew_ ? 0x18 : 0x16);
    PutU16(f_, duration);
    PutU8(f_, 2);
    PutU8(f_, 6);
    PutU16(f_, uint16_t(easing));
    PutZeros(f_, 4);
    PutU8(f_, isNew_ ? 1 : 0);
    PutU8(f_, 0);
    PutZeros(f_, 5);
    PutU32(f_, 0x3FFFFFFF);
    if (isNew_) {
      PutU16(f_, 0xFFFF);
      for (uint8_t b : {0xFF, 0xFE, 0xFF, 0x00}) PutU8(f_, b);
      for (uint32_t w : {4u, 1u, 0u, 0u}) PutU32(f_, w);
      for (uint8_t b : {0xFF, 0xFE, 0xFF}) PutU8(f_, b);
      PutZeros(f_, 12);
      PutU8(f_, 0);
    } else {
      for (uint8_t b : {0xFF, 0xFF, 0x00, 0x01}) PutU8(f_, b);
      PutZeros(f_, 35);
    }
  }

  void MorphObject(bool hints) {
    WriteMorphShapeObject(f_, m_, state_, level_, hints);
    if (!hints) PutU16(f_, 0);
  }

  void FrameLink() {
    if (isNew_) {
      for (uint8_t b : {0xFF, 0xFE, 0xFF}) PutU8(f_, b);
    }
    PutU8(f_, 0);
    for (uint32_t w : {1u, 0u, 0u}) PutU32(f_, w);
    if (isNew_) {
      PutU32(f_, 1);
      PutU32(f_, 0);
    }
    NextFrame();
  }

  // A morph reference closing the extra keyframe.
  void ClosingReference() {
    ClassTagFlags flags;
    flags.morphShape = true;
    EmitClassTags(f_, flags, state_);
    PutU8(f_, 2);
    PutU8(f_, 0);
    PutU8(f_, 0);
    for (int i = 0; i < 4; ++i) {
      PutU32(f_, 1);
      PutZeros(f_, 8);
    }
    PutZeros(f_, 14);
  }

  void LayerClose() {
    if (isNew_) {
      PutU32(f_, 0);
      PutU16(f_, 0);
      for (uint8_t b : {0xFF, 0xFE, 0xFF}) PutU8(f_, b);
      for (uint32_t w : {0x100u, 0u, 0u, 0x100u, 0u}) PutU32(f_, w);
      PutU8(f_, 0);
    } else {
      PutZeros(f_, 7);
      PutU32(f_, 1);
      PutZeros(f_, 8);
    }
    LayerTail();
  }

 private:
  // A new CPicFrame object follows.
  void NextFrame() {
    PutU16(f_, 0x8005);
    WriteObjectVersion(f_, level_);
    ++state_.frames;
  }

  void LayerTail() {
    if (isNew_) WriteLayerTailFlaggedNew(f_, name_, true, false, false, 0, 0);
    else WriteLayerTailFlaggedOld(f_, name_, true, false, false, 0, 0);
  }

  void Instance(uint16_t item, uint16_t placementFlags) {
    EmitClassTags(f_, ClassTagFlags{}, state_);
    WriteObjectVersion(f_, level_);
    PutU16(f_, 0);
    PutU32(f_, 0);
    PutU32(f_, 0);
    if (isNew_) {
      PutU8(f_, 0);
      PutU8(f_, (placementFlags & 0x200) ? 1 : 0);
      PutU8(f_, 0x13);
    } else {
      PutU8(f_, 0x0A);
    }
    PutIdentity(f_);
    PutU16(f_, 0);
    PutU16(f_, 0);
    PutU8(f_, 1);
    for (int i = 0; i < 4; ++i) {
      PutU16(f_, 0x100);
      PutU16(f_, 0);
    }
    PutU16(f_, 3);
    PutU16(f_, 100);
    PutU32(f_, 0xFFFFFFFF);
    if (isNew_) {
      for (uint8_t b : {0xFF, 0xFE, 0xFF}) PutU8(f_, b);
    }
    PutU8(f_, 0);
    PutU16(f_, item);
    PutU16(f_, 0);
    if (isNew_) {
      PutU32(f_, 0);
      for (uint8_t b : {0x01, 0x00, 0x00}) PutU8(f_, b);
    }
    PutU8(f_, 0);
  }

  MorphShapeEntry& m_;
  std::FILE* f_;
  PageClassState& state_;
  uint8_t level_;
  bool isNew_;
  std::string name_;
};

bool ImportVariant(const TimelineContext& ctx) {
  return On(ctx.m_pOptShapeJsflImport) || (On(ctx.m_pOptUseJsfl) && On(ctx.m_pOptExactProblemSearch));
}

// The last reusable row: the morph's ratio symbol.
const MorphVariant* RatioSymbol(const MorphShapeEntry& m) {
  for (auto v = m.variants.rbegin(); v != m.variants.rend(); ++v)
    if (v->reusable && v->itemNo != 0) return &*v;
  return nullptr;
}

void HandBack(PlacementEntry& e, uint16_t frameOffset, uint16_t item, uint32_t row) {
  e.frameOffset = frameOffset;
  e.characterId = item;
  e.kind = 0;
  e.streamIndex = row;
  e.retargeted = 1;
}

// The ratio symbol's page: a 65535-frame tween from the start shape to the
// end shape. False when the page failed.
bool MakeRatioSymbol(TimelineContext& ctx, MorphShapeEntry& m, uint16_t placementFlags,
                     MorphVariant& made) {
  InnerSymbolPage inner(ctx, InnerSymbolPage::Kind::kOneElement);
  if (!inner.ok()) return false;
  MorphSymbol s(ctx, m, inner.file(), inner.state());
  if (ImportVariant(ctx)) {
    s.ImportLayer(placementFlags, 0xFFFE);
  } else {
    s.KeyframeHead(false);
    s.KeyframeTail(0xFFFE, 0);
    s.MorphObject(false);
    s.FrameLink();
    s.KeyframeHead(true);
    s.KeyframeTail(1, 0);
    PutU16(inner.file(), 0);
    s.LayerClose();
  }
  if (!inner.commit(2)) return false;
  made = {inner.itemNo(), 0, 1, inner.row()};
  return true;
}

// A placement at a ratio (or one the movie's budget refused a tween of its
// own) shows that frame of the morph's ratio symbol, made at the first.
bool ShowAtRatio(TimelineContext& ctx, MorphShapeEntry& m, PlacementEntry& e) {
  MorphVariant made;
  const MorphVariant* symbol = RatioSymbol(m);
  if (!symbol) {
    if (!MakeRatioSymbol(ctx, m, e.flags, made)) return false;
    m.variants.push_back(made);
    symbol = &m.variants.back();
  }
  HandBack(e, e.ratio, symbol->itemNo, symbol->streamRow);
  // The instance holds its ratio: played on, it would creep along the
  // tween while the movie stands still.
  e.shapeTween = 1;
  return true;
}

// Charges the page of the shape tween of its own that the run entry `e`
// starts would write (its start half, then with `object` the morph object
// and the end half, once more with `closing`) to the movie's budget.
// Refused, the run is shown at its ratios (the first such run named), and
// so are the morph's later runs, the ratio symbol being there.
bool ChargeTweenPage(TimelineContext& ctx, MorphShapeEntry& m, const PlacementEntry& e, bool object,
                     bool closing) {
  // The keyframes' heads and tails, the frame links, the closing reference
  // and the layer's records come to well under this; an imported tween's
  // page holds two instances besides.
  constexpr uint64_t kFixedRecords = 2048;
  uint64_t bytes = kFixedRecords;
  if (!ImportVariant(ctx)) {
    if (!m.tweenRecords.measured) m.tweenRecords = MeasureTweenRecords(m, ctx.m_nFlaFormat);
    const MorphShapeEntry::TweenRecordBytes& r = m.tweenRecords;
    const auto add = [&](uint64_t n) { bytes = n > UINT64_MAX - bytes ? UINT64_MAX : bytes + n; };
    add(r.start);
    if (object) {
      add(r.object);
      add(r.end);
    }
    if (closing) {
      add(r.object);
      add(r.end);
    }
  }
  if (ctx.m_budget.morphTweens.Take(bytes)) return true;
  if (ctx.m_budget.morphTweens.FirstRefusal() && ctx.m_pShell)
    ctx.m_pShell->ShowMessage(kMorphCaption, "Morph shape " + std::to_string(m.wCharacterId) + " (frame " +
                                                 std::to_string(uint32_t(e.startFrame) + 1) +
                                                 "): its shape tweens would take more than the movie holds; "
                                                 "its runs of placements show frames of its one tween symbol.");
  return false;
}

}  // namespace

bool ConvertMorphPlacement(TimelineContext& ctx, DepthTrack& t, int32_t k) {
  PlacementEntry& e = t.entries[size_t(k)];
  // A row the morph handler did not fill has nothing to show.
  if (e.streamIndex >= ctx.m_wMorphShapes || e.streamIndex >= ctx.m_pMorphShapes.size()) return false;
  MorphShapeEntry& m = ctx.m_pMorphShapes[e.streamIndex];
  const int32_t last = std::min<int32_t>(t.lastEntry, int32_t(t.entries.size()) - 1);

  if (e.ratio > 0 || e.runLength == 0 || RatioSymbol(m)) return ShowAtRatio(ctx, m, e);

  // A run from ratio 0: a shape tween of its own. Its easing comes from the
  // ratio shown at the run's middle.
  static const EaseTable kEase = BuildEaseTable();
  const uint32_t r = e.runLength;
  const int32_t f = int32_t(std::min<int64_t>(int64_t(k) + r - 1, last));
  // A run that reaches the end shape (ratio 65535) shows the second
  // keyframe from there: the tween spans the frames before it.
  uint32_t span = r;
  if (int64_t(f) == int64_t(k) + r - 1 && t.entries[size_t(f)].ratio == 0xFFFF) {
    span = 1;
    while (span < r - 1 && t.entries[size_t(k) + span].ratio != 0xFFFF) ++span;
  }
  int16_t easing = 0;
  const int64_t middle = int64_t(k) + span / 2;
  if (middle <= last) {
    if (span % 2 == 0) {
      easing = LookupEaseValue(kEase, t.entries[size_t(middle)].ratio);
    } else if (int64_t(k) + (span + 1) / 2 <= last) {
      const double a = t.entries[size_t(k + int32_t((span - 1) / 2))].ratio / 2.0;
      const double b = t.entries[size_t(k + int32_t((span + 1) / 2))].ratio / 2.0;
      easing = LookupEaseValue(kEase, uint16_t(std::floor(a + b)));
    }
  }
  // The morph object joins the shapes unless the next entry heads a group;
  // with no next entry it is written. A run whose last entry lasts longer
  // than its frame closes with the end shape once more.
  const bool object = k + 1 > last || t.entries[size_t(k + 1)].streamIndex == kAbsorbedEntry ||
                      t.entries[size_t(k + 1)].groupDepths == 0;
  const PlacementEntry& end = t.entries[size_t(f)];
  const bool closing = object && f + 2 <= last && uint32_t(end.startFrame) + 1 != end.endFrame;
  if (!ChargeTweenPage(ctx, m, e, object, closing)) return ShowAtRatio(ctx, m, e);
  uint16_t item = 0;
  uint32_t row = 0;
  {
    InnerSymbolPage inner(ctx, InnerSymbolPage::Kind::kOneElement);
    if (!inner.ok()) return false;
    std::FILE* page = inner.file();
    MorphSymbol s(ctx, m, page, inner.state());
    if (ImportVariant(ctx)) {
      s.ImportLayer(e.flags, span);
    } else {
      s.KeyframeHead(false);
      s.KeyframeTail(uint16_t(span), easing);
      if (object) {
        s.MorphObject(true);
        s.FrameLink();
        s.KeyframeHead(true);
        s.KeyframeTail(1, 0);
        if (closing) {
          s.MorphObject(true);
          s.FrameLink();
          s.KeyframeHead(true);
          s.KeyframeTail(1, 0);
          s.ClosingReference();
        } else {
          PutU16(page, 0);
        }
      } else {
        PutU16(page, 0);
      }
      s.LayerClose();
    }
    e.shapeTween = end.runLength == 1 && end.ratio == 0 && uint32_t(end.startFrame) + 1 != end.endFrame;
    if (!inner.commit(2)) {
      e.shapeTween = 0;
      return false;
    }
    item = inner.itemNo();
    row = inner.row();
  }
  m.variants.push_back({item, int16_t(-easing), 0, row});
  const uint16_t base = e.startFrame;
  for (int32_t n = k; n <= f; ++n) {
    PlacementEntry& x = t.entries[size_t(n)];
    if (n == k || !x.retargeted) HandBack(x, uint16_t(x.startFrame - base), item, row);
  }
  return true;
}

}  // namespace tovrani
