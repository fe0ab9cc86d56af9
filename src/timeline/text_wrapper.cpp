#include "timeline/text_wrapper.h"

#include "fla/archive.h"
#include "fla/keyframe_records.h"
#include "fla/layer_records.h"
#include "timeline/inner_symbol_page.h"
#include "timeline/text_object.h"
#include "timeline/timeline_context.h"

namespace tovrani {

bool MakeTextWrapper(TimelineContext& ctx, const PlacementEntry& e, uint16_t fontCount, uint16_t& item,
                     uint32_t& row) {
  InnerSymbolPage inner(ctx, InnerSymbolPage::Kind::kOneElement);
  if (!inner.ok()) return false;
  std::FILE* f = inner.file();
  WriteTextObject(ctx, e, SwfMatrix{}, inner.state(), fontCount, TextPlacement::kWrapped);
  PutU8(f, 0);
  if (IsNewFlaFormat(ctx.m_nFlaFormat)) {
    WriteSingleFrameNew(f);
    WriteLayerTailFlaggedNew(f, "Text", true, false, false, 0, 0);
  } else {
    WriteSingleFrameOld(f);
    WriteLayerTailFlaggedOld(f, "Text", true, false, false, 0, 0);
  }
  if (!inner.commit(2)) return false;
  item = inner.itemNo();
  row = inner.row();
  return true;
}

}  // namespace tovrani
