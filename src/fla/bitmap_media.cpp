#include "fla/bitmap_media.h"

#include <zlib.h>

#include <algorithm>

#include "fla/file_helpers.h"
#include "fla/stream_placement.h"
#include "platform/resource_bound.h"

namespace tovrani {

namespace {

void PutU16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}

void PutU32(std::vector<uint8_t>& v, uint32_t x) {
  PutU16(v, x & 0xFFFF);
  PutU16(v, x >> 16);
}

}  // namespace

void WriteBitmapMediaLead(std::vector<uint8_t>& record, uint8_t format, uint16_t width,
                          uint16_t height) {
  record.insert(record.end(), {3, format, 0, 0});
  PutU16(record, width);
  PutU16(record, height);
  PutU32(record, 0);
  PutU32(record, uint32_t(width) * 20);
  PutU32(record, 0);
  PutU32(record, uint32_t(height) * 20);
}

void WriteBitmapMediaMiddle(std::vector<uint8_t>& record, uint8_t colourTableFlag,
                            std::span<const uint8_t> argbColours) {
  record.push_back(colourTableFlag);
  if (colourTableFlag && !argbColours.empty()) {
    PutU16(record, uint32_t(argbColours.size() / 4));
    record.insert(record.end(), argbColours.begin(), argbColours.end());
  }
  record.insert(record.end(), {1, 2, 0, 0x78, 0x01});
}

struct BitmapChunkWriter::Stream {
  z_stream z{};
};

BitmapChunkWriter::BitmapChunkWriter() : z_(new Stream) {
  // Window bits -15: raw deflate, as gzip writes it; memory level 8 is
  // gzip's own.
  ok_ = deflateInit2(&z_->z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
}

BitmapChunkWriter::~BitmapChunkWriter() {
  if (ok_) deflateEnd(&z_->z);
  delete z_;
}

bool BitmapChunkWriter::Run(const uint8_t* in, size_t n, int flush) {
  if (!ok_) return false;
  z_stream& z = z_->z;
  uint8_t out[16384];
  // Fed 4 MiB at a time, with a look between: zeros deflate to next to
  // nothing, so the output alone would rarely come back.
  do {
    const uInt piece = uInt(std::min<size_t>(n, 4u << 20));
    z.next_in = const_cast<Bytef*>(in);
    z.avail_in = piece;
    in += piece;
    n -= piece;
    const int f = n ? Z_NO_FLUSH : flush;
    int r;
    do {
      if (ResourceLook()) return ok_ = false;
      z.next_out = out;
      z.avail_out = sizeof out;
      r = deflate(&z, f);
      if (r == Z_STREAM_ERROR) return ok_ = false;
      deflated_.insert(deflated_.end(), out, out + (sizeof out - z.avail_out));
    } while (z.avail_out == 0 || (f == Z_FINISH && r != Z_STREAM_END));
  } while (n);
  return true;
}

bool BitmapChunkWriter::Add(std::span<const uint8_t> bytes) {
  return bytes.empty() || Run(bytes.data(), bytes.size(), Z_NO_FLUSH);
}

bool BitmapChunkWriter::Finish(std::vector<uint8_t>& record) {
  if (!Run(nullptr, 0, Z_FINISH)) return false;
  // Taken once at its final size: a doubling record would hold the pixels
  // up to twice over.
  record.reserve(record.size() + deflated_.size() + (deflated_.size() / kBitmapChunkMax + 2) * 2);
  for (size_t at = 0; at < deflated_.size(); at += kBitmapChunkMax) {
    const size_t n = std::min(kBitmapChunkMax, deflated_.size() - at);
    PutU16(record, uint32_t(n));
    record.insert(record.end(), deflated_.begin() + std::ptrdiff_t(at),
                  deflated_.begin() + std::ptrdiff_t(at + n));
  }
  PutU16(record, 0);
  deflated_.clear();
  return true;
}

bool CloseBitmapMediaStream(FlaContext& ctx, std::span<const uint8_t> record,
                            DocumentLibrary::Bitmap entry) {
  if (!LibraryTakes(ctx, LibraryObject::kBitmap)) return false;
  if (ctx.m_wNextMediaNo == 0 || ctx.m_wNextMediaNo == 0xFFFF)
    return NoteWriterFailure(ctx, kResultTooManyItems);
  if (record.size() > 0xFFFFFFFFu) return NoteWriterFailure(ctx, kResultOutputIncomplete);
  StreamPlacement where;
  if (!AppendStreamData(ctx, record, where)) return false;
  const uint32_t size = uint32_t(record.size());
  if (!WriteStreamDirEntry(ctx, ctx.m_wNextMediaNo, size, where.start)) return false;
  auto& bitmaps = ctx.m_library.bitmaps;
  ctx.m_pBigStreamList[ctx.m_nBigStreamList++] =
      where.regular ? kBitmapStreamTag + uint32_t(bitmaps.size()) : 0;
  entry.mediaNo = ctx.m_wNextMediaNo++;
  entry.value = size;  // the finaliser writes it only where hasValue says so
  bitmaps.push_back(entry);
  ctx.m_library.bitmapItemNos.insert(entry.itemNo);
  return true;
}

bool HoldsBitmapItem(const FlaContext& ctx, uint16_t itemNo) {
  return ctx.m_library.bitmapItemNos.count(itemNo) != 0;
}

bool WriteJpegMediaRecord(FlaContext& ctx, std::span<const uint8_t> jpeg, uint16_t width, uint16_t height,
                          uint16_t itemNo) {
  DocumentLibrary::Bitmap entry;
  entry.itemNo = itemNo;
  std::vector<uint8_t> stream;
  stream.reserve(jpeg.size() + kJpegTrailerSize);
  stream.assign(jpeg.begin(), jpeg.end());
  AppendJpegTrailer(stream, width, height);
  return CloseBitmapMediaStream(ctx, stream, entry);
}

void AppendJpegTrailer(std::vector<uint8_t>& stream, uint16_t width, uint16_t height) {
  PutU32(stream, 0);
  PutU32(stream, uint32_t(width) * 20);
  PutU32(stream, 0);
  PutU32(stream, uint32_t(height) * 20);
}

}  // namespace tovrani
