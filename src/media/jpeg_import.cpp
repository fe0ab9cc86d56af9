#include "media/jpeg_import.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <jpeglib.h>
// For the entropy decoder's hook, the one way to end a scan before it
// decodes anything.
#include <jpegint.h>

#include "platform/resource_bound.h"

namespace tovrani {

namespace {

// libjpeg's fatal errors come back here by longjmp; its warnings (damaged
// data it can read past) are dropped.
struct ErrorTrap {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

void TrapError(j_common_ptr c) { std::longjmp(reinterpret_cast<ErrorTrap*>(c->err)->jump, 1); }
void DropMessage(j_common_ptr) {}

// libjpeg calls its progress monitor before each step of input, so the
// monitor sees a scan's number before any of the scan's data is decoded.
struct ScanGate {
  jpeg_progress_mgr pub;  // first: libjpeg hands it back as cinfo->progress
  int (*charge)(const void* context);
  const void* context;
  HeapToken* heap;  // what the image and libjpeg's coefficients were granted
  unsigned passed;  // scans let through
  ScanCut cut;
  long warningsBeforeCut;
  // The progression status as the scans let through left it.
  int coefBits[MAX_COMPONENTS][DCTSIZE2];
};

// Takes none of the scan's data and leaves the blocks as the scans before
// left them.
boolean TakeNothing(j_decompress_ptr, JBLOCKROW*) { return TRUE; }

void GateScans(j_common_ptr c) {
  // Past a bound on the conversion's time or memory the image is given up
  // as on a fatal error.
  if (ResourceLook()) c->err->error_exit(c);
  if (!c->is_decompressor) return;
  const j_decompress_ptr d = reinterpret_cast<j_decompress_ptr>(c);
  ScanGate* gate = reinterpret_cast<ScanGate*>(d->progress);
  const unsigned scan = static_cast<unsigned>(d->input_scan_number);
  if (gate->cut != ScanCut::kNone || scan <= gate->passed) return;
  const size_t statusBytes = sizeof gate->coefBits[0] * static_cast<size_t>(d->num_components);
  while (gate->passed < scan) {
    const unsigned next = gate->passed + 1;
    if (next > kMaxScans)
      gate->cut = ScanCut::kTooMany;
    else if (next > kPrepaidScans && gate->charge && !gate->charge(gate->context))
      gate->cut = ScanCut::kRefused;
    if (gate->cut != ScanCut::kNone) break;
    gate->passed = next;
  }
  if (gate->cut == ScanCut::kNone) {
    if (d->coef_bits) std::memcpy(gate->coefBits, d->coef_bits, statusBytes);
    return;
  }
  // The image ends before this scan, as a file ending there would: the
  // memory source gives an end marker next, the scan's blocks are passed
  // over untouched (the Huffman decoder would stuff zero bits into its first
  // unit at that marker, the arithmetic decoder zero data into all of them),
  // and the progression status forgets the scan.
  gate->warningsBeforeCut = c->err->num_warnings;
  d->src->bytes_in_buffer = 0;
  d->entropy->decode_mcu = TakeNothing;
  if (d->coef_bits) std::memcpy(d->coef_bits, gate->coefBits, statusBytes);
}

int ChargeScan(const void* charge) { return (*static_cast<const ScanCharge*>(charge))() ? 1 : 0; }

// The token is held by the caller, outside the longjmp's reach.
int ReserveImageHeap(ScanGate* gate, unsigned long long bytes) {
  *gate->heap = ReserveHeap(bytes);
  return *gate->heap ? 1 : 0;
}

// Stored CMYK values of Adobe files are inverted.
unsigned char CmykChannel(unsigned c, unsigned k, int inverted) {
  if (inverted) return static_cast<unsigned char>(c * k / 255);
  return static_cast<unsigned char>((255 - c) * (255 - k) / 255);
}

// The whole libjpeg session. Plain C on purpose: a longjmp out of libjpeg
// must not skip a destructor, so nothing here owns a C++ object. On success
// *pixels is a malloc'd width x height x 3 buffer that the caller frees.
// `gate` comes filled with its charge and gives how the scans went.
int DecodeJpegC(const unsigned char* data, unsigned long size, ScanGate* gate, unsigned char** pixels,
                unsigned* width, unsigned* height, int* damaged) {
  jpeg_decompress_struct cinfo;
  ErrorTrap trap;
  unsigned char* volatile image = nullptr;
  unsigned char* volatile row = nullptr;
  std::memset(&cinfo, 0, sizeof cinfo);
  cinfo.err = jpeg_std_error(&trap.pub);
  trap.pub.error_exit = TrapError;
  trap.pub.output_message = DropMessage;
  gate->pub.progress_monitor = GateScans;
  if (setjmp(trap.jump)) {
    jpeg_destroy_decompress(&cinfo);
    std::free(image);
    std::free(row);
    return kRecodeLibraryError;
  }
  jpeg_create_decompress(&cinfo);
  cinfo.progress = &gate->pub;
  jpeg_mem_src(&cinfo, data, size);
  jpeg_read_header(&cinfo, TRUE);
  const unsigned w = cinfo.image_width, h = cinfo.image_height;
  if (w == 0 || h == 0 || w > kMaxImageSide || h > kMaxImageSide ||
      static_cast<unsigned long long>(w) * h > kMaxImagePixels) {
    jpeg_destroy_decompress(&cinfo);
    return kRecodeLimits;
  }
  // The image, and for a progressive one libjpeg's coefficients of the
  // whole image (128 bytes a block of each component), ask before they are
  // taken.
  unsigned long long heap = static_cast<unsigned long long>(w) * h * 3;
  if (cinfo.progressive_mode)
    for (int i = 0; i < cinfo.num_components; ++i)
      heap += 128ull * cinfo.comp_info[i].width_in_blocks * cinfo.comp_info[i].height_in_blocks;
  if (!ReserveImageHeap(gate, heap)) {
    jpeg_destroy_decompress(&cinfo);
    return kRecodeWriteFailed;
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
  *damaged = (gate->cut != ScanCut::kNone ? gate->warningsBeforeCut : trap.pub.num_warnings) > 0;
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

int RecodeJpeg(std::span<const uint8_t> jpeg, int quality, DecodedImage& out, const ScanCharge& chargeScan) {
  out = DecodedImage{};
  if (quality != kDecodeOnlyQuality) return 0;
  if (jpeg.empty()) return kRecodeOpenFailed;
  unsigned char* pixels = nullptr;
  unsigned w = 0, h = 0;
  int damaged = 0;
  HeapToken heap;
  ScanGate gate{};
  gate.heap = &heap;
  if (chargeScan) {
    gate.charge = ChargeScan;
    gate.context = &chargeScan;
  }
  const int r = DecodeJpegC(jpeg.data(), static_cast<unsigned long>(jpeg.size()), &gate, &pixels, &w, &h,
                            &damaged);
  if (r != kRecodeDone) return r;
  // libjpeg's coefficients are gone; the image stays.
  heap.ShrinkTo(uint64_t(w) * h * 3);
  out.heap = std::move(heap);
  out.rgb.reset(pixels);
  out.width = w;
  out.height = h;
  out.damaged = damaged != 0;
  out.cut = gate.cut;
  out.scansKept = gate.passed;
  return kRecodeDone;
}

}  // namespace tovrani
