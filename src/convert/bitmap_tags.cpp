#include "convert/bitmap_tags.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "fla/stream_placement.h"
#include "fla/bitmap_media.h"
#include "fla/file_helpers.h"
#include "media/jpeg_import.h"
#include "platform/resource_bound.h"
#include "convert/converter_context.h"
#include "swf/jpeg_data.h"
#include "platform/movie_messages.h"
#include "swf/swf_reader.h"

namespace tovrani {

namespace {

const char kBitmapCaption[] = "BRASKELON Tovrani Bitmap";
// Kinds of message more than one place shows.
const char kShortTag[] = "bitmap tags too short";
const char kUncompressed[] = "bitmaps whose pixels could not be compressed";

const char* TagName(uint16_t code) {
  switch (code) {
    case 6: return "DefineBits";
    case 21: return "DefineBitsJPEG2";
    case 35: return "DefineBitsJPEG3";
    case 20: return "DefineBitsLossless";
    default: return "DefineBitsLossless2";
  }
}

// `kind`: the kind of message (movie_messages.h); kAlwaysShown for the
// first refusal of an allowance.
void Tell(ConverterContext& ctx, const char* kind, uint16_t code, uint16_t id, const std::string& what) {
  ShowWarning(ctx, kind, kBitmapCaption,
              std::string(TagName(code)) + " (character " + std::to_string(id) + "): " + what);
}

BitmapOutcome Skip(ConverterContext& ctx, const char* kind, uint16_t code, uint16_t id, const std::string& why) {
  Tell(ctx, kind, code, id, why + "; the bitmap was skipped.");
  return BitmapOutcome::kDone;
}

BitmapOutcome SkipAsTooLarge(ConverterContext& ctx, uint16_t code, uint16_t id, uint64_t w, uint64_t h) {
  Skip(ctx, "bitmaps too large", code, id,
       "the image of " + std::to_string(w) + " x " + std::to_string(h) + " pixels is too large");
  return BitmapOutcome::kTooLarge;
}

// Charges the bitmap's pixels to the movie's budget before it is decoded.
// False when they would overdraw it: the bitmap is skipped (the first one
// named) and the budget stays for the bitmaps that fit.
bool ChargePixels(ConverterContext& ctx, uint16_t code, uint16_t id, uint64_t w, uint64_t h) {
  if (ctx.m_budget.pixels.Take(w * h)) return true;
  if (ctx.m_budget.pixels.FirstRefusal())
    Skip(ctx, kAlwaysShown, code, id,
         MoreImageDataThanTheMovieHolds(ctx.m_budget) + " (" + std::to_string(w) + " x " + std::to_string(h) +
             " pixels)");
  return false;
}

// Charges the JPEGTables a DefineBits takes into its medium. False when
// the copy would overdraw the movie's allowance: the bitmap is skipped as
// one past the pixels is, the first one named.
bool ChargeJpegTables(ConverterContext& ctx, uint16_t code, uint16_t id) {
  const uint64_t bytes = ctx.m_pJpegTables.size();
  if (ctx.m_budget.jpegTableCopies.Take(bytes)) return true;
  if (ctx.m_budget.jpegTableCopies.FirstRefusal())
    Skip(ctx, kAlwaysShown, code, id,
         "the movie's bytes allow no more copies of its JPEG tables (" + std::to_string(bytes) + " bytes)");
  return false;
}

bool StartsWith(const std::vector<uint8_t>& v, std::initializer_list<uint8_t> bytes) {
  return v.size() >= bytes.size() && std::equal(bytes.begin(), bytes.end(), v.begin());
}

bool EndsWith(const std::vector<uint8_t>& v, std::initializer_list<uint8_t> bytes) {
  return v.size() >= bytes.size() && std::equal(bytes.begin(), bytes.end(), v.end() - std::ptrdiff_t(bytes.size()));
}

bool WithinCaps(uint64_t w, uint64_t h) {
  return w <= kMaxImageSide && h <= kMaxImageSide && w * h <= kMaxImagePixels;
}

// The size of a JPEG for its media stream; nullopt (with the message) when
// it cannot be read or is above the caps.
std::optional<BitmapOutcome> JpegSizeOrSkip(ConverterContext& ctx, uint16_t code, uint16_t id,
                                            const std::vector<uint8_t>& jpeg, uint32_t& w, uint32_t& h) {
  w = h = 0;  // never the previous bitmap's size
  if (!ReadJpegSize(std::span(jpeg), w, h) || w == 0) {
    return Skip(ctx, "JPEG data without a frame header", code, id, "the JPEG data has no readable frame header");
  }
  if (!WithinCaps(w, h)) return SkipAsTooLarge(ctx, code, id, w, h);
  return std::nullopt;
}

// The JPEG of a tag as one plain stream, a Photoshop wrapper taken off.
std::vector<uint8_t> TagJpeg(std::span<const uint8_t> data, std::span<const uint8_t> tables) {
  std::vector<uint8_t> jpeg = PlainJpeg(data, tables), plain;
  if (StripPhotoshopWrapper(jpeg, plain)) return plain;
  return jpeg;
}

// The JPEG's bytes are copied as they are: nothing is decoded, so only the
// tables a DefineBits takes from the movie's JPEGTables are charged.
BitmapOutcome DefineJpeg(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body) {
  SwfReader r(body);
  const uint16_t id = r.u16();
  if (!r.ok()) return Skip(ctx, kShortTag, code, id, "the tag is too short");
  const bool withTables = code == 6 && !ctx.m_pJpegTables.empty();
  if (withTables && !ChargeJpegTables(ctx, code, id)) return BitmapOutcome::kTooLarge;
  const std::vector<uint8_t> jpeg =
      TagJpeg(body.subspan(2), withTables ? std::span<const uint8_t>(ctx.m_pJpegTables) : std::span<const uint8_t>());
  uint32_t w = 0, h = 0;
  if (const auto skipped = JpegSizeOrSkip(ctx, code, id, jpeg, w, h)) return *skipped;
  WriteJpegMediaRecord(ctx, jpeg, uint16_t(w), uint16_t(h), DefinitionItemNo(ctx, id));
  return BitmapOutcome::kDone;
}

// DefineBitsJPEG3: the decoded JPEG joined with its alpha plane into a
// record of format 5. It is decoded (or made black) at its frame header's
// size, whatever its scans hold: that size is what is charged, once for the
// first scans and again for each further one.
BitmapOutcome DefineJpegWithAlpha(ConverterContext& ctx, std::span<const uint8_t> body) {
  constexpr uint16_t code = 35;
  SwfReader r(body);
  const uint16_t id = r.u16();
  const uint32_t alphaOffset = r.u32();
  if (!r.ok()) return Skip(ctx, kShortTag, code, id, "the tag is too short");
  if (alphaOffset < 4 || alphaOffset > body.size() - 6)
    return Skip(ctx, "alpha data outside its tag", code, id,
                "the alpha data offset " + std::to_string(alphaOffset) + " lies outside the tag");
  const std::vector<uint8_t> jpeg = TagJpeg(body.subspan(6, alphaOffset), {});
  const std::span<const uint8_t> alphaData = body.subspan(6 + size_t(alphaOffset));
  uint32_t w = 0, h = 0;
  if (const auto skipped = JpegSizeOrSkip(ctx, code, id, jpeg, w, h)) return *skipped;
  if (!ChargePixels(ctx, code, id, w, h)) return BitmapOutcome::kTooLarge;

  // The charge above pays for the first scans; each further scan walks the
  // whole image again and is charged as much.
  bool refused = false;
  const ScanCharge chargeScan = [&] {
    if (ctx.m_budget.pixels.Take(uint64_t(w) * h)) return true;
    refused = true;
    return false;
  };
  DecodedImage image;
  const int decoded = RecodeJpeg(jpeg, kDecodeOnlyQuality, image, chargeScan);
  // Given up past a bound on the conversion's time or memory: the
  // conversion fails, nothing is said of the bitmap.
  if (ResourceBoundCrossed()) return BitmapOutcome::kDone;
  if (decoded == kRecodeDone) {
    if (image.damaged)
      Tell(ctx, "damaged JPEG data", code, id, "the JPEG data is damaged; what could be decoded is kept.");
    if (image.cut == ScanCut::kTooMany)
      Tell(ctx, "JPEGs of too many scans", code, id,
           "the JPEG has more than " + std::to_string(kMaxScans) + " scans; the bitmap is made of the first " +
               std::to_string(kMaxScans) + ".");
    if (refused && ctx.m_budget.pixels.FirstRefusal())
      Tell(ctx, kAlwaysShown, code, id,
           MoreImageDataThanTheMovieHolds(ctx.m_budget) + " (" + std::to_string(w) + " x " + std::to_string(h) +
               " pixels a scan); the bitmap is made of its first " + std::to_string(image.scansKept) + " scans.");
    w = image.width;
    h = image.height;
  } else if (decoded == kRecodeLimits) {
    return Skip(ctx, "JPEGs beyond the decoder's limits", code, id, "the JPEG is beyond the decoder's limits");
  } else {
    Tell(ctx, "JPEGs that could not be decoded", code, id, "the JPEG could not be decoded; the image is black.");
  }

  const uint64_t pixels = uint64_t(w) * h;
  if (!ReserveHeap(pixels)) return BitmapOutcome::kDone;
  std::unique_ptr<uint8_t[]> alphaBuffer(new uint8_t[pixels]);
  const std::span<uint8_t> alpha(alphaBuffer.get(), pixels);
  std::fill(alpha.begin() + InflateZlibToBuffer(alphaData, alpha), alpha.end(), 0xFF);  // missing alpha is opaque

  std::vector<uint8_t> record;
  WriteBitmapMediaLead(record, 5, uint16_t(w), uint16_t(h));
  WriteBitmapMediaMiddle(record, 1, {});
  BitmapChunkWriter chunks;
  std::vector<uint8_t> row(size_t(w) * 4);
  for (uint32_t y = 0; y < h; ++y) {
    const uint8_t* rgb = image.rgb ? image.row(y) : nullptr;
    for (uint32_t x = 0; x < w; ++x) {
      uint8_t* p = &row[size_t(x) * 4];
      const uint8_t a = alpha[size_t(y) * w + x];
      p[0] = a;
      for (int i = 0; i < 3; ++i) p[1 + i] = a && rgb ? rgb[size_t(x) * 3 + i] : 0;
    }
    chunks.Add(row);
  }
  if (!chunks.Finish(record)) return Skip(ctx, kUncompressed, code, id, "its pixels could not be compressed");
  DocumentLibrary::Bitmap entry;
  entry.itemNo = DefinitionItemNo(ctx, id);
  entry.hasValue = true;
  CloseBitmapMediaStream(ctx, record, entry);
  return BitmapOutcome::kDone;
}

bool IsZlibHeader(std::span<const uint8_t> body, size_t at) {
  if (at >= body.size() || body.size() - at < 2) return false;
  const uint32_t cmf = body[at], flg = body[at + 1];
  return (cmf & 0x0F) == 8 && (cmf * 256 + flg) % 31 == 0;
}

uint8_t ByteAt(std::span<const uint8_t> body, size_t at) { return at < body.size() ? body[at] : 0; }

// Where a lossless tag's zlib data starts and how many colours precede the
// pixels in it. The SWF layout (format 3: u8 count at 7, data at 8; 4 and 5:
// data at 7) when a zlib header stands there; otherwise the older guess by
// the byte at 7.
void FindLosslessData(std::span<const uint8_t> body, uint8_t format, size_t& dataOffset,
                      uint64_t& colours) {
  dataOffset = format == 3 ? 8 : 7;
  colours = format == 3 ? uint64_t(ByteAt(body, 7)) + 1 : 0;
  if (IsZlibHeader(body, dataOffset)) return;
  const uint8_t b7 = ByteAt(body, 7);
  if (b7 == 0x78 || b7 == 0xDA) {
    colours = 0;
    dataOffset = 8;
  } else if (format == 3) {
    colours = b7;
    dataOffset = 8;
  } else if (format == 4) {
    colours = ByteAt(body, 7) | ByteAt(body, 8) << 8;
    dataOffset = 9;
  } else {
    colours = ByteAt(body, 7) | ByteAt(body, 8) << 8 | ByteAt(body, 9) << 16 |
              uint64_t(ByteAt(body, 10)) << 24;
    dataOffset = 11;
  }
  if (colours) ++colours;
  if (ByteAt(body, dataOffset - 1) == 0x78 && ByteAt(body, dataOffset) == 0xDA) --dataOffset;
}

// 15-bit pixels (rows of big-endian words: a reserved bit, then 5 bits each
// of red, green and blue, padded to 4 bytes) as 32-bit opaque ones (alpha,
// red, green, blue): the format's lossless media hold formats 3 and 5 only.
std::vector<uint8_t> ExpandPix15(std::span<const uint8_t> rows, uint32_t w, uint32_t h) {
  const size_t stride = (size_t(w) * 2 + 3) / 4 * 4;
  std::vector<uint8_t> out;
  out.reserve(size_t(w) * h * 4);
  const auto wide = [](unsigned v) { return uint8_t(v << 3 | v >> 2); };
  for (uint32_t y = 0; y < h; ++y) {
    const uint8_t* row = rows.data() + y * stride;
    for (uint32_t x = 0; x < w; ++x) {
      const unsigned p = unsigned(row[x * 2]) << 8 | row[x * 2 + 1];
      out.insert(out.end(), {0xFF, wide(p >> 10 & 0x1F), wide(p >> 5 & 0x1F), wide(p & 0x1F)});
    }
  }
  return out;
}

// The header fields of a lossless tag (the writer service that sets width
// and height).
bool SetLosslessBitmapSize(SwfReader& r, uint16_t& id, uint8_t& format, uint32_t& w, uint32_t& h) {
  id = r.u16();
  format = r.u8();
  w = r.u16();
  h = r.u16();
  return r.ok();
}

// A lossless bitmap is inflated to its full size, what its data lacks read
// as zero: its declared size is charged before anything is inflated.
BitmapOutcome DefineLossless(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body) {
  SwfReader r(body);
  uint16_t id = 0;
  uint8_t format = 0;
  uint32_t w = 0, h = 0;
  if (!SetLosslessBitmapSize(r, id, format, w, h)) return Skip(ctx, kShortTag, code, id, "the tag is too short");
  if (format < 3 || format > 5)
    return Skip(ctx, "unknown bitmap formats", code, id, "the bitmap format " + std::to_string(format) + " is unknown");
  if (!WithinCaps(w, h)) return SkipAsTooLarge(ctx, code, id, w, h);
  size_t dataOffset = 0;
  uint64_t colours = 0;
  FindLosslessData(body, format, dataOffset, colours);
  if (colours > 256) return Skip(ctx, "colour tables too large", code, id, "its colour table is too large");
  if (!ChargePixels(ctx, code, id, w, h)) return BitmapOutcome::kTooLarge;
  const bool withAlpha = code == 36;
  const uint64_t tableBytes = colours * (withAlpha ? 4 : 3);
  const uint64_t rowBytes = format == 3 ? (uint64_t(w) + 3) / 4 * 4
                            : format == 4 ? (uint64_t(w) * 2 + 3) / 4 * 4
                                          : uint64_t(w) * 4;
  const uint64_t need = tableBytes + rowBytes * h;
  // Inflated into a buffer of its final size, asked for first with the
  // 4-byte pixels that 15-bit ones become.
  if (!ReserveHeap(need + (format == 4 ? uint64_t(w) * h * 4 : 0))) return BitmapOutcome::kDone;
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[need]);
  const std::span<uint8_t> data(buffer.get(), need);
  const size_t given = dataOffset < body.size() ? InflateZlibToBuffer(body.subspan(dataOffset), data) : 0;
  std::fill(data.begin() + given, data.end(), 0);  // what the data lacks reads as zero

  std::vector<uint8_t> argb;
  argb.reserve(size_t(colours) * 4);
  for (uint64_t i = 0; i < colours; ++i) {
    const uint8_t* c = &data[size_t(i * (withAlpha ? 4 : 3))];
    argb.insert(argb.end(), {withAlpha ? c[3] : uint8_t(0xFF), c[0], c[1], c[2]});
  }
  // A palette record holds one colour at least, also where the tag's data
  // is too broken to say how many: black, as its missing data reads.
  if (format == 3 && argb.empty()) argb = {uint8_t(withAlpha ? 0 : 0xFF), 0, 0, 0};
  std::vector<uint8_t> record;
  const std::span<const uint8_t> pixels = data.subspan(size_t(tableBytes));
  std::vector<uint8_t> expanded;
  if (format == 4) {
    expanded = ExpandPix15(pixels, w, h);
    format = 5;
  }
  WriteBitmapMediaLead(record, format, uint16_t(w), uint16_t(h));
  WriteBitmapMediaMiddle(record, !argb.empty() || withAlpha ? 1 : 0, argb);
  BitmapChunkWriter chunks;
  chunks.Add(expanded.empty() ? pixels : std::span<const uint8_t>(expanded));
  if (!chunks.Finish(record)) return Skip(ctx, kUncompressed, code, id, "its pixels could not be compressed");
  DocumentLibrary::Bitmap entry;
  entry.itemNo = DefinitionItemNo(ctx, id);
  entry.propFlag = true;
  CloseBitmapMediaStream(ctx, record, entry);
  return BitmapOutcome::kDone;
}

}  // namespace

std::vector<uint8_t> PlainJpeg(std::span<const uint8_t> data, std::span<const uint8_t> tables) {
  std::vector<uint8_t> v(data.begin(), data.end());
  if (StartsWith(v, {0xFF, 0xD9, 0xFF, 0xD8})) v.erase(v.begin(), v.begin() + 4);
  if (v.size() >= 8 && StartsWith(v, {0xFF, 0xD8, 0xFF, 0xD8}) && EndsWith(v, {0xFF, 0xD9, 0xFF, 0xD9})) {
    v.erase(v.begin(), v.begin() + 2);
    v.resize(v.size() - 2);
  }
  if (v.size() <= 0x7FFFFFFF && FixSwfJpegData(v.data(), int32_t(v.size()))) v.resize(v.size() - 4);
  if (!tables.empty() && StartsWith(v, {0xFF, 0xD8}))
    v.insert(v.begin() + 2, tables.begin(), tables.end());
  if (!EndsWith(v, {0xFF, 0xD9})) v.insert(v.end(), {0xFF, 0xD9});
  return v;
}

BitmapOutcome HandleBitmapTag(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body) {
  switch (code) {
    case 8:
      // The tables without their start and end markers; a later JPEGTables
      // replaces them.
      ctx.m_pJpegTables.clear();
      if (body.size() >= 4) ctx.m_pJpegTables.assign(body.begin() + 2, body.end() - 2);
      return BitmapOutcome::kDone;
    case 6:
    case 21:
      return DefineJpeg(ctx, code, body);
    case 35:
      return DefineJpegWithAlpha(ctx, body);
    case 20:
    case 36:
      return DefineLossless(ctx, code, body);
    default:
      return BitmapOutcome::kDone;
  }
}

}  // namespace tovrani
