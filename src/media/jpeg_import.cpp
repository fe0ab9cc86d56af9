#include "media/jpeg_import.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace tovrani {

namespace {

constexpr int kMaxScans = 1000;

// libjpeg's fatal errors come back here by longjmp; its warnings (damaged
// data it can read past) are dropped.
struct ErrorTrap {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  int tooManyScans;
};

void TrapError(j_common_ptr c) { std::longjmp(reinterpret_cast<ErrorTrap*>(c->err)->jump, 1); }
void DropMessage(j_common_ptr) {}

// A hostile progressive file can hold scans without end.
void CountScans(j_common_ptr c) {
  if (!c->is_decompressor) return;
  if (reinterpret_cast<j_decompress_ptr>(c)->input_scan_number > kMaxScans) {
    ErrorTrap* trap = reinterpret_cast<ErrorTrap*>(c->err);
    trap->tooManyScans = 1;
    std::longjmp(trap->jump, 1);
  }
}

// Stored CMYK values of Adobe files are inverted.
unsigned char CmykChannel(unsigned c, unsigned k, int inverted) {
  if (inverted) return static_cast<unsigned char>(c * k / 255);
  return static_cast<unsigned char>((255 - c) * (255 - k) / 255);
}

// The whole libjpeg session. Plain C on purpose: a longjmp out of libjpeg
// must not skip a destructor, so nothing here owns a C++ object. On success
// *pixels is a malloc'd width x height x 3 buffer that the caller frees.
int DecodeJpegC(const unsigned char* data, unsigned long size, unsigned char** pixels,
                unsigned* width, unsigned* height, int* damaged) {
  jpeg_decompress_struct cinfo;
  ErrorTrap trap;
  jpeg_progress_mgr progress;
  unsigned char* volatile image = nullptr;
  unsigned char* volatile row = nullptr;
  std::memset(&cinfo, 0, sizeof cinfo);
  std::memset(&progress, 0, sizeof progress);
  cinfo.err = jpeg_std_error(&trap.pub);
  trap.pub.error_exit = TrapError;
  trap.pub.output_message = DropMessage;
  trap.tooManyScans = 0;
  progress.progress_monitor = CountScans;
  if (setjmp(trap.jump)) {
    jpeg_destroy_decompress(&cinfo);
    std::free(image);
    std::free(row);
    return trap.tooManyScans ? kRecodeLimits : kRecodeLibraryError;
  }
  jpeg_create_decompress(&cinfo);
  cinfo.progress = &progress;
  jpeg_mem_src(&cinfo, data, size);
  jpeg_read_header(&cinfo, TRUE);
  const unsigned w = cinfo.image_width, h = cinfo.image_height;
  if (w == 0 || h == 0 || w > kMaxImageSide || h > kMaxImageSide ||
      static_cast<unsigned long long>(w) * h > kMaxImagePixels) {
    jpeg_destroy_decompress(&cinfo);
    return kRecodeLimits;
  }
  const int cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  const int gray = cinfo.jpeg_color_space == JCS_GRAYSCALE;
  cinfo.out_color_space = cmyk ? JCS_CMYK : gray ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_start_decompress(&cinfo);
  const unsigned n = static_cast<unsigned>(cinfo.output_components);
  if (cinfo.output_width != w || cinfo.output_height != h || (n != 1 && n != 3 && n != 4)) {
    jpeg_destroy_decompress(&cinfo);
    return kRecodeLibraryError;
  }
  image = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(w) * h * 3));
  row = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(w) * n));
  if (!image || !row) {
    jpeg_destroy_decompress(&cinfo);
    std::free(image);
    std::free(row);
    return kRecodeWriteFailed;
  }
  const int inverted = cinfo.saw_Adobe_marker;
  while (cinfo.output_scanline < h) {
    unsigned char* out = image + static_cast<size_t>(cinfo.output_scanline) * w * 3;
    JSAMPROW rows[1] = {row};
    if (jpeg_read_scanlines(&cinfo, rows, 1) != 1) break;
    for (unsigned x = 0; x < w; ++x) {
      const unsigned char* p = row + static_cast<size_t>(x) * n;
      unsigned char* q = out + static_cast<size_t>(x) * 3;
      if (n == 4) {
        for (int i = 0; i < 3; ++i) q[i] = CmykChannel(p[i], p[3], inverted);
      } else if (n == 1) {
        q[0] = q[1] = q[2] = p[0];
      } else {
        q[0] = p[0];
        q[1] = p[1];
        q[2] = p[2];
      }
    }
  }
  // Rows libjpeg could not deliver stay black.
  if (cinfo.output_scanline < h)
    std::memset(image + static_cast<size_t>(cinfo.output_scanline) * w * 3, 0,
                static_cast<size_t>(h - cinfo.output_scanline) * w * 3);
  jpeg_abort_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  std::free(row);
  *pixels = image;
  *damaged = trap.pub.num_warnings > 0;
  *width = w;
  *height = h;
  return kRecodeDone;
}

}  // namespace

int StripPhotoshopWrapper(std::span<const uint8_t> file, std::vector<uint8_t>& plain) {
  if (file.size() >= 2 && file[0] == 0xFF && file[1] == 0xD8) return 0;
  for (size_t i = 1; i + 2 < file.size(); ++i) {
    if (file[i] == 0xFF && file[i + 1] == 0xD8 && file[i + 2] == 0xFF) {
      plain.assign(file.begin() + std::ptrdiff_t(i), file.end());
      return 1;
    }
  }
  return 0;
}

int RecodeJpeg(std::span<const uint8_t> jpeg, int quality, DecodedImage& out) {
  out = DecodedImage{};
  if (quality != kDecodeOnlyQuality) return 0;
  if (jpeg.empty()) return kRecodeOpenFailed;
  unsigned char* pixels = nullptr;
  unsigned w = 0, h = 0;
  int damaged = 0;
  const int r = DecodeJpegC(jpeg.data(), static_cast<unsigned long>(jpeg.size()), &pixels, &w, &h,
                            &damaged);
  if (r != kRecodeDone) return r;
  out.rgb.reset(pixels);
  out.width = w;
  out.height = h;
  out.damaged = damaged != 0;
  return kRecodeDone;
}

}  // namespace tovrani
