#include "shape/decode/shape_page.h"

#include "fla/archive.h"
#include "fla/file_helpers.h"
#include "fla/layer_records.h"
#include "fla/memory_file.h"
#include "fla/stream_placement.h"
#include "shape/decode/encoded_shape.h"
#include "shape/shape_work.h"

namespace tovrani {

ShapePage::ShapePage(ShapeContext& ctx, std::FILE* file)
    : ctx_(ctx), file_(file), level_(ctx.m_nFlaFormat) {}

size_t ShapePage::Tell() {
  const long pos = std::ftell(file_);
  if (pos < 0) {
    ok_ = false;
    return 0;
  }
  return size_t(pos);
}

void ShapePage::Begin() {
  WriteShapeRecordHead(file_, true, level_);
  objects_ = 1;
}

void ShapePage::WriteStyleTables(std::span<const uint8_t> blob) {
  ctx_.m_nShapeHeadPos = Tell();
  styleBlob_.assign(blob.begin(), blob.end());
  PutBytes(file_, blob.data(), blob.size());
  edgesStart_ = Tell();
}

uint32_t ShapePage::WriteEdges(const ObjectEdges& object) {
  // Once the movie's shape work is spent, objects are written as decoded.
  const bool analyse = object.recordCount && ctx_.m_bShapesOn && ctx_.m_pAnalyzeFillOverlaps &&
                       (analyseAlways_ ||
                        !(ctx_.m_pOptNoProblemSearch && *ctx_.m_pOptNoProblemSearch)) &&
                       MayAnalyseShape(ctx_);
  if (!analyse) {
    PutBytes(file_, object.edges.data(), object.edges.size());
    return object.recordCount;
  }
  ShapeBlock block(object.edges, object.recordCount);
  static const StyleIndex kNoStyles;
  ctx_.m_pAnalyzeFillOverlaps(ctx_, block, object.singleSided ? 1 : 0, styleBlob_, file_,
                              countFieldPos_, object.styles ? object.styles : &kNoStyles);
  // Length 0: the callee wrote the object (and maybe further ones) itself
  // and left the work file where the page goes on.
  if (block.length > 0) {
    if (std::fseek(file_, long(edgesStart_), SEEK_SET) != 0) ok_ = false;
    PutBytes(file_, block.bytes.data(), block.length);
  }
  return block.recordCount;
}

void ShapePage::PatchCount(size_t countFieldPos, uint32_t recordCount) {
  const size_t back = Tell();
  if (std::fseek(file_, long(countFieldPos), SEEK_SET) != 0) {
    ok_ = false;
    return;
  }
  PutU32(file_, recordCount);
  if (std::fseek(file_, long(back), SEEK_SET) != 0) ok_ = false;
}

void ShapePage::EndObjectForNewStyles(const ObjectEdges& object) {
  const uint32_t recordCount = WriteEdges(object);
  // The layer record's first byte ends the EdgeStream.
  if (!ContinueShapeOnNewLayer(file_, level_, layerNumber_, recordCount, countFieldPos_)) ok_ = false;
  ++layerNumber_;
  ++objects_;
}

bool ContinueShapeOnNewLayer(std::FILE* page, uint8_t level, uint16_t layerNumber, uint32_t count,
                             size_t& countFieldPos) {
  WriteLayerRecord(page, layerNumber, level);
  BeginLayerAndFrame(page, level);
  WriteShapeRecordHead(page, false, level);
  const long end = std::ftell(page);
  if (end < 4) return false;
  const size_t field = countFieldPos == 0 ? FirstCountFieldPos(level) : countFieldPos;
  if (field > size_t(end) - 4 || std::fseek(page, long(field), SEEK_SET) != 0) return false;
  PutU32(page, count);
  if (std::fseek(page, end, SEEK_SET) != 0) return false;
  countFieldPos = size_t(end) - 4;
  return !std::ferror(page);
}

uint32_t ShapePage::Finish(const ObjectEdges& object, bool noCache, uint16_t itemNo) {
  const uint32_t recordCount = WriteEdges(object);
  const size_t end = Tell();
  if (countFieldPos_ == 0) {
    const size_t first = FirstCountFieldPos(level_);
    PatchCount(first, recordCount);
    if (!noCache && end >= first && ok()) {
      // The copy runs from the count field to the last edge record.
      if (ctx_.m_nShapeCacheIndex >= ctx_.m_pShapeCache.size())
        ctx_.m_pShapeCache.resize(size_t(ctx_.m_nShapeCacheIndex) + 1);
      std::vector<uint8_t>& copy = ctx_.m_pShapeCache[ctx_.m_nShapeCacheIndex].copy;
      copy.assign(end - first, 0);
      if (std::fseek(file_, long(first), SEEK_SET) != 0 ||
          std::fread(copy.data(), 1, copy.size(), file_) != copy.size()) {
        copy.clear();
        ok_ = false;
      }
      if (std::fseek(file_, long(end), SEEK_SET) != 0) ok_ = false;
    }
  } else {
    PatchCount(countFieldPos_, recordCount);
  }
  if (ctx_.m_bShapesOn) {
    WriteIdLayerRecord(file_, itemNo, level_);
    ++layerNumber_;
    if (level_ >= 2)
      WriteLayerEndNew(file_, layerNumber_);
    else
      WriteLayerEndOld(file_, layerNumber_);
  }
  // The page ends here: a shape the builder rewrote in place, shorter than
  // it came, leaves older bytes behind.
  const size_t pageEnd = Tell();
  if (ok_ && !TruncateOpenFile(file_, pageEnd)) ok_ = false;
  return recordCount;
}

bool PlaceShapePage(ShapeContext& ctx, std::FILE* file) {
  if (!LibraryTakes(ctx, LibraryObject::kSymbolStream)) return false;
  std::vector<uint8_t> page;
  if (!ReadWholeFile(file, page) || page.size() > 0xFFFFFFFFu)
    return NoteWriterFailure(ctx, kResultOutputIncomplete);
  const uint32_t row = ctx.m_nStreams;
  const uint32_t size = uint32_t(page.size());
  StreamPlacement where;
  if (!AppendStreamData(ctx, page, where)) return false;
  ctx.m_pStreamSize[row] = size;
  if (!WriteSymbolDirEntry(ctx, 0, size, where.start)) return false;
  ctx.m_pBigStreamList[ctx.m_nBigStreamList++] = where.regular ? row + kSymbolStreamTag : 0;
  ctx.m_pStreamStart[row] = where.start;
  return true;
}

}  // namespace tovrani
