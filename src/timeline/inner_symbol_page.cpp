#include "timeline/inner_symbol_page.h"

#include <array>
#include <vector>

#include "fla/archive.h"
#include "fla/file_helpers.h"
#include "fla/layer_records.h"
#include "fla/stream_placement.h"
#include "timeline/timeline_context.h"

namespace tovrani {

InnerSymbolPage::InnerSymbolPage(TimelineContext& ctx, Kind kind)
    : ctx_(ctx),
      outer_(ctx.m_pPageStream),
      savedScene_(ctx.m_bSceneTimeline),
      savedPageFlag_(ctx.m_bPageFlag),
      savedLead_(g_shortLayerEndLead),
      savedReservation_(ctx.m_pStreamItemNo.at(ctx.m_nStreams)) {
  ctx_.m_bSceneTimeline = 0;
  ctx_.m_bPageFlag = 0;
  // Pages open at the same time are one per nesting level.
  name_ = "spInner" + std::to_string(++ctx_.m_nInnerPageLevel) + ".tmp";
  if (!ctx_.m_pWorkFolder || !ctx_.m_pWorkFolder->valid()) {
    NoteWriterFailure(ctx_, kResultOutputIncomplete);
    return;
  }
  uint16_t item = 0;
  if (!TakeItemNo(ctx_, item)) return;
  itemTaken_ = true;
  itemNo_ = item;
  ctx_.m_pStreamItemNo[ctx_.m_nStreams] = item;
  file_ = FileHandle(ctx_.m_pWorkFolder->file(name_), "wb+");
  if (!file_) {
    NoteWriterFailure(ctx_, kResultOutputIncomplete);
    return;
  }
  std::array<uint8_t, 49> head = kFileHead;
  if (IsNewFlaFormat(ctx_.m_nFlaFormat)) head[15] = head[32] = 4;
  PutBytes(file_.get(), head.data(), head.size());
  if (kind == Kind::kOneElement) WriteObjectVersion(file_.get(), ctx_.m_nFlaFormat);
  headSize_ = std::ftell(file_.get());
  ctx_.m_pPageStream = file_.get();
}

InnerSymbolPage::~InnerSymbolPage() { resume(); }

bool InnerSymbolPage::empty() const { return !file_ || std::ftell(file_.get()) <= headSize_; }

void InnerSymbolPage::resume() {
  if (resumed_) return;
  resumed_ = true;
  if (file_) {
    file_.reset();
    ctx_.m_pWorkFolder->removeFile(name_);
  }
  // The reservation of the interrupted page moves to the next free row
  // (the one after this page's, once committed).
  if (itemTaken_) ctx_.m_pStreamItemNo[ctx_.m_nStreams] = savedReservation_;
  --ctx_.m_nInnerPageLevel;
  ctx_.m_pPageStream = outer_;
  ctx_.m_bSceneTimeline = savedScene_;
  ctx_.m_bPageFlag = savedPageFlag_;
  g_shortLayerEndLead = savedLead_;
}

bool InnerSymbolPage::commit(uint16_t closingValue) {
  if (!file_ || resumed_) return false;
  std::FILE* f = file_.get();
  if (IsNewFlaFormat(ctx_.m_nFlaFormat)) WriteLayerEndNew(f, closingValue);
  else WriteLayerEndOld(f, closingValue);
  std::vector<uint8_t> bytes;
  const int64_t size = std::fflush(f) == 0 && !std::ferror(f) ? FileSizeOf(f) : -1;
  bool read = size >= 0;
  if (read) {
    bytes.resize(size_t(size));
    std::rewind(f);
    read = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
  }
  if (!read) {
    NoteWriterFailure(ctx_, kResultOutputIncomplete);
    resume();
    return false;
  }
  // Pages nested in this one committed rows of their own meanwhile.
  const uint32_t row = ctx_.m_nStreams;
  ctx_.m_pStreamItemNo[row] = itemNo_;
  if (!PlaceSymbolStream(ctx_, bytes, 0)) {
    NoteWriterFailure(ctx_, kResultOutputIncomplete);
    resume();
    return false;
  }
  row_ = row;
  resume();
  return true;
}

}  // namespace tovrani
