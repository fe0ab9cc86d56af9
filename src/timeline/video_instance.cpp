#include "timeline/video_instance.h"

#include "fla/stream_placement.h"
#include "fla/archive.h"
#include "fla/keyframe_records.h"
#include "fla/layer_records.h"
#include "timeline/inner_symbol_page.h"
#include "timeline/symbol_instance.h"
#include "timeline/timeline_context.h"

namespace tovrani {

bool VideoNeedsWrapper(const PlacementEntry& e) {
  const SwfCxform& c = e.colorTransform;
  const bool neutral = c.rMult == 256 && c.rAdd == 0 && c.gMult == 256 && c.gAdd == 0 && c.bMult == 256 &&
                       c.bAdd == 0 && c.aMult == 256 && c.aAdd == 0;
  return e.ratio != 0 || !neutral;
}

void WriteVideoStreamRecord(std::FILE* page, const VideoStreamRecord& v, const SwfMatrix& m,
                            const std::string& instanceName, uint8_t level) {
  const bool isNew = IsNewFlaFormat(level);
  PutU32(page, FlaVersionByte(level));
  PutU24(page, 0);
  PutU32(page, 0x80);
  if (isNew) PutU32(page, 0x04000080);
  else PutU16(page, 0x0380);
  for (int32_t x : {m.scaleX, m.rotateSkew0, m.rotateSkew1, m.scaleY, m.translateX, m.translateY})
    PutU32(page, uint32_t(x));
  for (uint32_t x : {0u, uint32_t(v.width) * 20, 0u, uint32_t(v.height) * 20}) PutU32(page, x);
  if (isNew) {
    const uint8_t rest[8] = {0x00, 0xFF, 0xFE, 0xFF, 0x00, 0xFF, 0xFE, 0xFF};
    PutBytes(page, rest, sizeof rest);
  } else {
    PutU16(page, 0);
  }
  PutStringBody(page, instanceName, level);
  PutU32(page, 1);
  PutU16(page, v.itemNo ? v.itemNo : v.videoId);
}

namespace {

// The video's wrapper symbol: one layer "Video" whose keyframe holds the
// video with the identity matrix for as many frames as the video has.
bool MakeVideoWrapper(TimelineContext& ctx, VideoStreamRecord& v) {
  const uint8_t level = ctx.m_nFlaFormat;
  InnerSymbolPage inner(ctx, InnerSymbolPage::Kind::kOneElement);
  if (!inner.ok()) return false;
  std::FILE* f = inner.file();
  ClassTagFlags flags;
  flags.video = true;
  EmitClassTags(f, flags, inner.state());
  WriteVideoStreamRecord(f, v, SwfMatrix{}, std::string{}, level);
  PutU8(f, 0);
  const PatchPos duration = IsNewFlaFormat(level) ? WriteSingleFrameNew(f) : WriteSingleFrameOld(f);
  PatchFrameDuration(f, duration, v.frameCount);
  if (IsNewFlaFormat(level)) WriteLayerTailFlaggedNew(f, "Video", true, false, false, 0, 0);
  else WriteLayerTailFlaggedOld(f, "Video", true, false, false, 0, 0);
  if (!inner.commit(2)) return false;
  v.wrapperItem = inner.itemNo();
  v.wrapperStream = inner.row();
  ctx.m_videoWrapperItems.insert(v.wrapperItem);
  return true;
}

}  // namespace

VideoElement WriteVideoElement(TimelineContext& ctx, PlacementEntry& e, PageClassState& state) {
  if (e.streamIndex >= ctx.m_pVideos.size()) return VideoElement::kNone;
  VideoStreamRecord& v = ctx.m_pVideos[e.streamIndex];
  if (!VideoNeedsWrapper(e)) {
    ClassTagFlags flags;
    flags.video = true;
    EmitClassTags(ctx.m_pPageStream, flags, state);
    WriteVideoStreamRecord(ctx.m_pPageStream, v, e.matrix, e.instanceName, ctx.m_nFlaFormat);
    return VideoElement::kDirect;
  }
  if (v.wrapperItem == 0xFFFF && !MakeVideoWrapper(ctx, v)) return VideoElement::kNone;
  e.characterId = v.wrapperItem;
  e.streamIndex = v.wrapperStream;
  e.frameOffset = e.ratio != 0 ? e.ratio : 1;
  e.kind = kElementSymbol;
  e.retargeted = 1;
  return VideoElement::kRetargeted;
}

}  // namespace tovrani
