#include "support/bitmap_data.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <zlib.h>

#include "support/swf_writer.h"

namespace tovrani::test {

Rgb QuadrantColour(uint32_t x, uint32_t y, uint32_t size) {
  const bool right = x >= size / 2, bottom = y >= size / 2;
  if (!bottom) return right ? Rgb{0, 0, 255} : Rgb{255, 0, 0};
  return right ? Rgb{255, 255, 255} : Rgb{0, 255, 0};
}

std::vector<uint8_t> QuadrantPixels(uint32_t size) {
  std::vector<uint8_t> v;
  for (uint32_t y = 0; y < size; ++y)
    for (uint32_t x = 0; x < size; ++x) {
      Rgb c = QuadrantColour(x, y, size);
      v.insert(v.end(), {c.r, c.g, c.b});
    }
  return v;
}

namespace {

struct Compressor {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  unsigned char* out = nullptr;
  unsigned long size = 0;
  Compressor() {
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &out, &size);
  }
  ~Compressor() {
    jpeg_destroy_compress(&c);
    std::free(out);
  }
  std::vector<uint8_t> Take() {
    std::vector<uint8_t> v(out, out + size);
    std::free(out);
    out = nullptr;
    size = 0;
    return v;
  }
  void Setup(uint32_t w, uint32_t h, JpegKind kind) {
    c.image_width = w;
    c.image_height = h;
    c.input_components = kind == JpegKind::kCmyk ? 4 : 3;
    c.in_color_space = kind == JpegKind::kCmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    for (int i = 0; i < c.num_components; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    if (kind == JpegKind::kProgressive) jpeg_simple_progression(&c);
    if (kind == JpegKind::kThirteenScans || kind == JpegKind::kThirteenArithmeticScans) {
      static const jpeg_scan_info kScans[] = {
          {3, {0, 1, 2}, 0, 0, 0, 0}, {1, {0}, 1, 2, 0, 0},   {1, {0}, 3, 5, 0, 0},   {1, {0}, 6, 9, 0, 0},
          {1, {0}, 10, 14, 0, 0},     {1, {0}, 15, 20, 0, 0}, {1, {0}, 21, 27, 0, 0}, {1, {0}, 28, 35, 0, 0},
          {1, {0}, 36, 44, 0, 0},     {1, {0}, 45, 54, 0, 0}, {1, {0}, 55, 63, 0, 0}, {1, {1}, 1, 63, 0, 0},
          {1, {2}, 1, 63, 0, 0}};
      c.scan_info = kScans;
      c.num_scans = 13;
      c.arith_code = kind == JpegKind::kThirteenArithmeticScans;
    }
  }
  void Rows(const std::vector<uint8_t>& rgb, uint32_t w, uint32_t h, JpegKind kind) {
    std::vector<uint8_t> row(size_t(w) * 4);
    for (uint32_t y = 0; y < h; ++y) {
      const uint8_t* p = &rgb[size_t(y) * w * 3];
      if (kind == JpegKind::kCmyk) {
        // Inverted CMYK: c' = 255 - C = R when K is 0, k' = 255.
        for (uint32_t x = 0; x < w; ++x) {
          row[x * 4 + 0] = p[x * 3 + 0];
          row[x * 4 + 1] = p[x * 3 + 1];
          row[x * 4 + 2] = p[x * 3 + 2];
          row[x * 4 + 3] = 255;
        }
      } else {
        std::memcpy(row.data(), p, size_t(w) * 3);
      }
      JSAMPROW r = row.data();
      jpeg_write_scanlines(&c, &r, 1);
    }
  }
};

}  // namespace

std::vector<uint8_t> EncodeJpeg(const std::vector<uint8_t>& rgb, uint32_t w, uint32_t h, JpegKind kind) {
  Compressor k;
  k.Setup(w, h, kind);
  jpeg_start_compress(&k.c, TRUE);
  k.Rows(rgb, w, h, kind);
  jpeg_finish_compress(&k.c);
  return k.Take();
}

void EncodeJpegPair(const std::vector<uint8_t>& rgb, uint32_t w, uint32_t h,
                    std::vector<uint8_t>& tables, std::vector<uint8_t>& image) {
  Compressor k;
  k.Setup(w, h, JpegKind::kRgb);
  jpeg_write_tables(&k.c);
  tables = k.Take();
  jpeg_mem_dest(&k.c, &k.out, &k.size);
  jpeg_start_compress(&k.c, FALSE);
  k.Rows(rgb, w, h, JpegKind::kRgb);
  jpeg_finish_compress(&k.c);
  image = k.Take();
}

namespace {

// Where a marker's segment starts (its FF), or the size when it is absent.
size_t FindMarker(const std::vector<uint8_t>& jpeg, uint8_t marker) {
  for (size_t i = 0; i + 1 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == marker) return i;
  return jpeg.size();
}

}  // namespace

std::vector<uint8_t> WithFrameSize(std::vector<uint8_t> jpeg, uint16_t w, uint16_t h) {
  // A baseline frame header, or a progressive one.
  size_t sof = FindMarker(jpeg, 0xC0);
  if (sof == jpeg.size()) sof = FindMarker(jpeg, 0xC2);
  if (sof + 9 > jpeg.size()) return jpeg;
  jpeg[sof + 5] = uint8_t(h >> 8);
  jpeg[sof + 6] = uint8_t(h);
  jpeg[sof + 7] = uint8_t(w >> 8);
  jpeg[sof + 8] = uint8_t(w);
  return jpeg;
}

std::vector<uint8_t> CutInScan(const std::vector<uint8_t>& jpeg) {
  return {jpeg.begin(), jpeg.begin() + std::ptrdiff_t((FindMarker(jpeg, 0xDA) + jpeg.size()) / 2)};
}

std::vector<uint8_t> CorruptHuffman(std::vector<uint8_t> jpeg) {
  const size_t dht = FindMarker(jpeg, 0xC4);
  for (size_t k = dht + 5; k < dht + 21 && k < jpeg.size(); ++k) jpeg[k] = 0xFF;
  return jpeg;
}

std::vector<uint8_t> FirstScans(const std::vector<uint8_t>& jpeg, size_t scans) {
  size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xD9) {
    if (jpeg[at + 1] == 0xDA && scans-- == 0) break;
    const bool scan = jpeg[at + 1] == 0xDA;
    at += 2 + size_t(jpeg[at + 2] << 8 | jpeg[at + 3]);
    // A scan's data runs to the first marker that is not a restart marker.
    while (scan && at + 1 < jpeg.size() &&
           !(jpeg[at] == 0xFF && jpeg[at + 1] != 0 && (jpeg[at + 1] < 0xD0 || jpeg[at + 1] > 0xD7)))
      ++at;
  }
  std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(std::min(at, jpeg.size())));
  cut.insert(cut.end(), {0xFF, 0xD9});
  return cut;
}

std::vector<uint8_t> Zlib(const std::vector<uint8_t>& data, int level) {
  uLongf n = compressBound(uLong(data.size()));
  std::vector<uint8_t> z(n);
  compress2(z.data(), &n, data.data(), uLong(data.size()), level);
  z.resize(n);
  return z;
}

std::vector<uint8_t> RawDeflate1(const std::vector<uint8_t>& data) {
  z_stream s{};
  deflateInit2(&s, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> out(deflateBound(&s, uLong(data.size())) + 16);
  s.next_in = const_cast<Bytef*>(data.data());
  s.avail_in = uInt(data.size());
  s.next_out = out.data();
  s.avail_out = uInt(out.size());
  deflate(&s, Z_FINISH);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

std::vector<uint8_t> RawInflate(const std::vector<uint8_t>& data) {
  z_stream s{};
  if (inflateInit2(&s, -15) != Z_OK) return {};
  std::vector<uint8_t> out;
  uint8_t buf[16384];
  s.next_in = const_cast<Bytef*>(data.data());
  s.avail_in = uInt(data.size());
  int r = Z_OK;
  while (r == Z_OK) {
    s.next_out = buf;
    s.avail_out = sizeof buf;
    r = inflate(&s, Z_NO_FLUSH);
    out.insert(out.end(), buf, buf + (sizeof buf - s.avail_out));
    if (r == Z_BUF_ERROR && s.avail_out) break;
  }
  inflateEnd(&s);
  return r == Z_STREAM_END ? out : std::vector<uint8_t>{};
}

std::vector<uint8_t> RecordHead(uint8_t format, uint16_t w, uint16_t h, uint8_t flag, const std::vector<uint8_t>& argb) {
  SwfBytes b;
  b.u8(3).u8(format).u16(0).u16(w).u16(h).u32(0).u32(w * 20u).u32(0).u32(h * 20u).u8(flag);
  if (!argb.empty()) b.u16(uint32_t(argb.size() / 4)).bytes(argb);
  b.u8(1).u8(2).u8(0).u8(0x78).u8(0x01);
  return b.data();
}

std::vector<uint8_t> Chunked(const std::vector<uint8_t>& deflated) {
  SwfBytes b;
  for (size_t at = 0; at < deflated.size(); at += 2048) {
    const size_t n = std::min<size_t>(2048, deflated.size() - at);
    b.u16(uint32_t(n)).bytes(std::vector<uint8_t>(deflated.begin() + at, deflated.begin() + at + n));
  }
  b.u16(0);
  return b.data();
}

std::vector<uint8_t> JpegMedia(const std::vector<uint8_t>& jpeg, uint32_t w, uint32_t h) {
  SwfBytes b;
  b.bytes(jpeg).u32(0).u32(w * 20).u32(0).u32(h * 20);
  return b.data();
}

std::vector<uint8_t> JpegOfMedia(const std::vector<uint8_t>& media) {
  if (media.size() < 16) return media;
  return std::vector<uint8_t>(media.begin(), media.end() - 16);
}

// The pixel data of a record: its chunks from `head` on joined and inflated;
// fails on a chunk longer than 2048 bytes or data after the end word.
::testing::AssertionResult RecordPixels(const std::vector<uint8_t>& record, size_t head, std::vector<uint8_t>& pixels) {
  std::vector<uint8_t> deflated;
  size_t at = head;
  for (;;) {
    if (at + 2 > record.size()) return ::testing::AssertionFailure() << "no end word";
    const size_t n = record[at] | record[at + 1] << 8;
    at += 2;
    if (n == 0) break;
    if (n > 2048 || at + n > record.size()) return ::testing::AssertionFailure() << "chunk of " << n;
    deflated.insert(deflated.end(), record.begin() + at, record.begin() + at + n);
    at += n;
  }
  if (at != record.size()) return ::testing::AssertionFailure() << record.size() - at << " bytes after the end";
  pixels = RawInflate(deflated);
  return ::testing::AssertionSuccess();
}

bool Near(Rgb a, Rgb b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

}  // namespace tovrani::test
