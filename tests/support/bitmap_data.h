// Bitmap data made by the tests: JPEG images encoded with libjpeg, the zlib
// data of bitmap tags, and the media records the converter should write.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tovrani::test {

struct Rgb {
  uint8_t r, g, b;
};

// 16 x 16 (or size x size) in four quadrants: red top left, blue top right,
// green bottom left, white bottom right. Rows top first, R, G, B.
std::vector<uint8_t> QuadrantPixels(uint32_t size = 16);
Rgb QuadrantColour(uint32_t x, uint32_t y, uint32_t size = 16);

enum class JpegKind { kRgb, kCmyk, kProgressive, kThirteenScans, kThirteenArithmeticScans };

// A JPEG of the pixels without chroma subsampling, quality 95. kCmyk stores
// the colours inverted with libjpeg's Adobe marker, as Photoshop does.
// kThirteenScans is progressive: the DC of all three components, the luma
// AC in ten bands, then the AC of each chroma component;
// kThirteenArithmeticScans the same, arithmetic-coded.
std::vector<uint8_t> EncodeJpeg(const std::vector<uint8_t>& rgb, uint32_t w, uint32_t h,
                                JpegKind kind = JpegKind::kRgb);
// The same image as a tables-only stream and an image stream without tables
// (the two halves SWF keeps in JPEGTables and DefineBits).
void EncodeJpegPair(const std::vector<uint8_t>& rgb, uint32_t w, uint32_t h,
                    std::vector<uint8_t>& tables, std::vector<uint8_t>& image);

// Damaged copies of a JPEG: its frame header claiming w x h, its scan data
// cut in the middle, its first Huffman table's code counts beyond any table.
std::vector<uint8_t> WithFrameSize(std::vector<uint8_t> jpeg, uint16_t w, uint16_t h);
std::vector<uint8_t> CutInScan(const std::vector<uint8_t>& jpeg);
std::vector<uint8_t> CorruptHuffman(std::vector<uint8_t> jpeg);
// The JPEG as a file ending after its first `scans` scans would be.
std::vector<uint8_t> FirstScans(const std::vector<uint8_t>& jpeg, size_t scans);

// zlib data at a level (1: header 78 01, 6: 78 9C, 9: 78 DA).
std::vector<uint8_t> Zlib(const std::vector<uint8_t>& data, int level);
// Raw deflate at level 1, memory level 8 (what gzip "wb1" writes).
std::vector<uint8_t> RawDeflate1(const std::vector<uint8_t>& data);
// Inflates raw deflate data; empty on failure.
std::vector<uint8_t> RawInflate(const std::vector<uint8_t>& data);

// A bitmap media record up to its data: lead, size, bounds, colour-table
// flag and colours (alpha, R, G, B), 1, 2, 0, 78 01.
std::vector<uint8_t> RecordHead(uint8_t format, uint16_t w, uint16_t h, uint8_t flag,
                                const std::vector<uint8_t>& argb);
// Deflate data as record chunks of at most 2048 bytes with the end word.
std::vector<uint8_t> Chunked(const std::vector<uint8_t>& deflated);
// The pixel data of a record: its chunks from `head` on joined and inflated;
// fails on a chunk longer than 2048 bytes or data after the end word.
::testing::AssertionResult RecordPixels(const std::vector<uint8_t>& record, size_t head,
                                        std::vector<uint8_t>& pixels);

// A JPEG media stream: the JPEG, then u32 0, 20 x width, 0, 20 x height.
std::vector<uint8_t> JpegMedia(const std::vector<uint8_t>& jpeg, uint32_t w, uint32_t h);
// The JPEG of a JPEG media stream (its last 16 bytes taken off); the stream
// as it is when it is shorter.
std::vector<uint8_t> JpegOfMedia(const std::vector<uint8_t>& media);

// Whether a colour is within JPEG tolerance of another.
bool Near(Rgb a, Rgb b, int tolerance = 24);

}  // namespace tovrani::test
