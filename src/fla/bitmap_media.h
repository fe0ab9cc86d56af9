// The media streams of bitmaps ("Media n"). A lossless or alpha bitmap is a
// record of our own making: lead (kind 3, the SWF bitmap format, 0, 0),
// width, height, bounds in twips, the colour-table flag with the colours
// (alpha, R, G, B each), the fixed bytes 1, 2, 0 and the zlib header 78 01,
// then the pixels as raw deflate data in chunks of at most 2048 bytes (a u16
// length before each, no Adler-32) and a u16 0 at the end. A JPEG bitmap's
// stream is the JPEG itself followed by its bounds. The record is built in
// memory and placed whole.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "fla/document_finaliser.h"
#include "fla/fla_context.h"

namespace tovrani {

constexpr size_t kBitmapChunkMax = 2048;

// The lead, width, height and bounds (0, width x 20, 0, height x 20).
void WriteBitmapMediaLead(std::vector<uint8_t>& record, uint8_t format, uint16_t width,
                          uint16_t height);
// The bytes between the bounds and the data: the colour-table flag, the
// colours when there are any (u16 count, then 4 bytes each, already in the
// order alpha, R, G, B), 1, 2, 0 and 78 01.
void WriteBitmapMediaMiddle(std::vector<uint8_t>& record, uint8_t colourTableFlag,
                            std::span<const uint8_t> argbColours);

// Compresses pixel data fed in pieces (raw deflate, level 1: the bytes a
// gzip file of mode "wb1" holds between its header and trailer) and appends
// it to a record as chunks with the end word.
class BitmapChunkWriter {
 public:
  BitmapChunkWriter();
  ~BitmapChunkWriter();
  BitmapChunkWriter(const BitmapChunkWriter&) = delete;
  BitmapChunkWriter& operator=(const BitmapChunkWriter&) = delete;
  bool ok() const { return ok_; }
  bool Add(std::span<const uint8_t> bytes);
  // Ends the deflate data and appends the chunks and the end word.
  bool Finish(std::vector<uint8_t>& record);

 private:
  bool Run(const uint8_t* in, size_t n, int flush);
  struct Stream;
  Stream* z_;
  std::vector<uint8_t> deflated_;
  bool ok_ = true;
};

// Places a finished media record (or JPEG) as "Media m_wNextMediaNo": the
// bytes appended with their directory entry, the m_pBigStreamList entry
// (kBitmapStreamTag + the bitmap's index for regular sectors, 0 for the mini
// stream), the library record with its mediaNo and value (the stream's
// length), and the number advanced.
// False (nothing recorded, the number kept) when the writer failed or the
// media numbers are used up (kResultTooManyItems).
bool CloseBitmapMediaStream(FlaContext& ctx, std::span<const uint8_t> record,
                            DocumentLibrary::Bitmap entry);

// True when the library holds a bitmap item of that number. A page may name
// only items its document holds.
bool HoldsBitmapItem(const FlaContext& ctx, uint16_t itemNo);

// A JPEG media stream is the JPEG as it stands, then the image bounds in
// twips: u32 0, width x 20, 0, height x 20.
constexpr size_t kJpegTrailerSize = 16;
void AppendJpegTrailer(std::vector<uint8_t>& stream, uint16_t width, uint16_t height);

// The media stream of DefineBits and DefineBitsJPEG2 (the JPEG and its
// bounds trailer), with the library flags of a JPEG bitmap without a stored
// length. Width and height are the JPEG's pixels.
bool WriteJpegMediaRecord(FlaContext& ctx, std::span<const uint8_t> jpeg, uint16_t width, uint16_t height,
                          uint16_t itemNo);

}  // namespace tovrani
