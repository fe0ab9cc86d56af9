#include "convert/converter_context.h"

#include "shape/builder/fill_overlap.h"

namespace tovrani {

ConverterContext* g_pConverter = nullptr;

ConverterContext::ConverterContext() {
  m_pAnalyzeFillOverlaps = &AnalyzeFillOverlaps;
  m_pAnalyzeMorphShapeHalf = &AnalyzeMorphShapeHalf;
}

void ClearMainTimelineState(ConverterContext& ctx) {
  ctx.m_movieLayers = DepthLayerTable();
  ctx.m_depthIdCache.clear();
  ctx.m_videoDepthStates.clear();
  ctx.m_placedCharacters.clear();
  ctx.m_morphRunHeads.clear();
  ctx.m_pVideos.clear();
  ctx.m_videoIds.clear();
  ctx.m_videoWrapperItems.clear();
  ctx.m_pButtonItemMap.clear();
  ctx.m_nInnerPageLevel = 0;
  ctx.m_pStaticTexts.clear();
  ctx.m_staticTextRows.Clear();
  ctx.m_buttonSoundRows.clear();
  ctx.m_nButtonSoundsIndexed = 0;
}

}  // namespace tovrani
