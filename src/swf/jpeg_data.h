// JPEG data as SWF bitmap tags carry it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

namespace tovrani {

// Reads the frame header of JPEG data at the file's position: stores width
// and height and returns the height; 0 when the data does not read as a JPEG
// (no FF D8 start, a segment length below 2, or the file ends first).
uint32_t ReadJpegSize(std::FILE* f, uint32_t& width, uint32_t& height);
// The same for JPEG data in memory.
uint32_t ReadJpegSize(std::span<const uint8_t> data, uint32_t& width, uint32_t& height);

// SWF JPEG data may hold two streams: the encoding tables ending FF D9, then
// the image starting FF D8. Joins them into one stream in place: the inner
// FF D8 with its first segment, then the tables, then the rest of the image.
// The result is length - 4 bytes long (the last 4 bytes keep their values).
// Data without such a pair, or whose first segment after it runs past the
// end, is left unchanged. Returns whether the data was rewritten.
bool FixSwfJpegData(uint8_t* data, int32_t length);

}  // namespace tovrani
