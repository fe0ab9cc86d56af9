#include "convert/converter_context.h"

namespace tovrani {

ConverterContext* g_pConverter = nullptr;

void ClearMainTimelineState(ConverterContext& ctx) {
  ctx.m_movieLayers = DepthLayerTable();
  ctx.m_depthIdCache.clear();
  ctx.m_videoDepthStates.clear();
  ctx.m_placedCharacters.clear();
  ctx.m_morphRunHeads.clear();
  ctx.m_pVideos.clear();
  ctx.m_pButtonItemMap.clear();
}

}  // namespace tovrani
