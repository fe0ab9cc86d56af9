#include "shape/build/shape_continuation.h"

#include "fla/archive.h"
#include "fla/file_helpers.h"
#include "fla/stream_placement.h"
#include "shape/decode/shape_page.h"

namespace tovrani {
namespace {

bool Failed(ShapeContext& ctx) { return NoteWriterFailure(ctx, kResultOutputIncomplete); }

}  // namespace

bool StartShapeObjectWithFill(ShapeContext& ctx, uint32_t count, std::span<const uint8_t> fillStyle,
                              std::FILE* page, size_t& countFieldPos, uint16_t layerNumber) {
  if (!ContinueShapeOnNewLayer(page, ctx.m_nFlaFormat, layerNumber, count, countFieldPos))
    return Failed(ctx);
  PutU16(page, 1);
  PutBytes(page, fillStyle.data(), fillStyle.size());
  PutU16(page, 0);
  return std::ferror(page) ? Failed(ctx) : true;
}

bool StartShapeObjectWithoutFills(ShapeContext& ctx, uint32_t count, std::FILE* page,
                                  size_t& countFieldPos, uint16_t layerNumber) {
  if (!ContinueShapeOnNewLayer(page, ctx.m_nFlaFormat, layerNumber, count, countFieldPos))
    return Failed(ctx);
  PutU16(page, 0);
  return std::ferror(page) ? Failed(ctx) : true;
}

}  // namespace tovrani
