#include "fla/archive.h"

#include "fla/text_encoding.h"

namespace tovrani {

// A page is written a few bytes at a time, some hundred million calls for a
// large document; each stream is only ever written by one thread, so the
// stream's lock, which fwrite takes on every call, is left out.

void PutU8(std::FILE* stream, uint8_t value) { fputc_unlocked(value, stream); }

void PutU16(std::FILE* stream, uint16_t value) {
  const uint8_t b[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
  fwrite_unlocked(b, 1, 2, stream);
}

void PutU24(std::FILE* stream, uint32_t value) {
  const uint8_t b[3] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16)};
  fwrite_unlocked(b, 1, 3, stream);
}

void PutU32(std::FILE* stream, uint32_t value) {
  const uint8_t b[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  fwrite_unlocked(b, 1, 4, stream);
}

void PutBytes(std::FILE* stream, const void* data, size_t size) {
  if (size != 0) fwrite_unlocked(data, 1, size, stream);
}

void PutZeros(std::FILE* stream, size_t count) {
  static const uint8_t zeros[64] = {};
  while (count > 0) {
    const size_t n = count < sizeof zeros ? count : sizeof zeros;
    fwrite_unlocked(zeros, 1, n, stream);
    count -= n;
  }
}

void WriteObjectVersion(std::FILE* stream, uint8_t level) {
  PutU8(stream, FlaVersionByte(level));
  PutU8(stream, 0);
}

void WriteNewClassTag(std::FILE* stream, std::string_view className, uint16_t schema) {
  PutU16(stream, 0xFFFF);
  PutU16(stream, schema);
  PutU16(stream, static_cast<uint16_t>(className.size()));
  PutBytes(stream, className.data(), className.size());
}

// 0x7FFF is the archive's escape word, so the short forms stop below it.
constexpr uint32_t kBigObjectTag = 0x7FFF;

void WriteKnownClassTag(std::FILE* stream, uint32_t classIndex) {
  if (classIndex < kBigObjectTag) {
    PutU16(stream, static_cast<uint16_t>(0x8000 | classIndex));
  } else {
    PutU16(stream, kBigObjectTag);
    PutU32(stream, 0x80000000u | classIndex);
  }
}

void WriteObjectRef(std::FILE* stream, uint32_t index) {
  if (index < kBigObjectTag) {
    PutU16(stream, static_cast<uint16_t>(index));
  } else {
    PutU16(stream, kBigObjectTag);
    PutU32(stream, index);
  }
}

// ---- strings ----

void WriteFlaStringLength(std::FILE* stream, size_t length) {
  // FF FE after an FF is the Unicode marker and FF FF announces a u32, so the
  // u16 form ends at 65533.
  if (length < 0xFF) {
    PutU8(stream, static_cast<uint8_t>(length));
  } else if (length < 0xFFFE) {
    PutU8(stream, 0xFF);
    PutU16(stream, static_cast<uint16_t>(length));
  } else {
    PutU8(stream, 0xFF);
    PutU16(stream, 0xFFFF);
    PutU32(stream, static_cast<uint32_t>(length));
  }
}

void WriteFlaStringOld(std::FILE* stream, std::string_view text) {
  const std::string ansi = AnsiFromUtf8(text);
  WriteFlaStringLength(stream, ansi.size());
  PutBytes(stream, ansi.data(), ansi.size());
}

void WriteFlaStringNew(std::FILE* stream, std::u16string_view units) {
  PutU8(stream, 0xFF);
  PutU16(stream, 0xFFFE);
  WriteFlaStringLength(stream, units.size());
  for (char16_t u : units) PutU16(stream, u);
}

void WriteFlaStringNew(std::FILE* stream, std::string_view text) {
  WriteFlaStringNew(stream, std::u16string_view(Utf16FromUtf8(text)));
}

void WriteFlaString(std::FILE* stream, std::string_view text, uint8_t level) {
  if (IsNewFlaFormat(level))
    WriteFlaStringNew(stream, text);
  else
    WriteFlaStringOld(stream, text);
}

bool PatchFrameDuration(std::FILE* stream, PatchPos pos, uint32_t duration) {
  if (pos < 0) return false;
  const uint16_t d = duration > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(duration);
  if (std::fseek(stream, pos, SEEK_SET) != 0) return false;
  PutU16(stream, d);
  return std::fseek(stream, 0, SEEK_END) == 0;
}

bool PatchFrameTweenKind(std::FILE* stream, PatchPos pos, uint8_t kind) {
  if (pos < 0 || std::fseek(stream, pos + 2, SEEK_SET) != 0) return false;
  PutU8(stream, kind);
  return std::fseek(stream, 0, SEEK_END) == 0;
}

bool PatchFrameEasing(std::FILE* stream, PatchPos pos, int16_t easing) {
  if (pos < 0 || std::fseek(stream, pos + 4, SEEK_SET) != 0) return false;
  PutU16(stream, uint16_t(easing));
  return std::fseek(stream, 0, SEEK_END) == 0;
}

// ---- fixed heads ----

void WritePageHeadTags(std::FILE* stream, uint8_t level) {
  PutU8(stream, 1);
  WriteNewClassTag(stream, "CPicPage");
  WriteObjectVersion(stream, level);
  WriteNewClassTag(stream, "CPicLayer");
  WriteObjectVersion(stream, level);
  WriteNewClassTag(stream, "CPicFrame");
  WriteObjectVersion(stream, level);
}

void WriteShapeRecordHeadShort(std::FILE* stream, bool withPageHead, uint8_t level) {
  if (withPageHead) WritePageHeadTags(stream, level);
  const bool isNew = IsNewFlaFormat(level);
  PutU16(stream, 0);
  PutU32(stream, 0x80000000u);
  PutU32(stream, 0x80000000u);
  if (isNew) PutU16(stream, 0);
  PutU32(stream, isNew ? 0x01000003u : 0x01000002u);
  PutU32(stream, 0);
  PutU32(stream, 0);
  PutU32(stream, 0x01000000u);
  PutU32(stream, 0);
  PutU32(stream, 0);
  PutU16(stream, 0x0500);
}

void WriteShapeRecordHead(std::FILE* stream, bool withPageHead, uint8_t level) {
  WriteShapeRecordHeadShort(stream, withPageHead, level);
  PutU32(stream, 0);
}

void BeginLayerAndFrame(std::FILE* stream, uint8_t level) {
  PutU8(stream, 1);
  WriteKnownClassTag(stream, kPicLayerClassIndex);
  WriteObjectVersion(stream, level);
  WriteKnownClassTag(stream, kPicFrameClassIndex);
  WriteObjectVersion(stream, level);
}

}  // namespace tovrani
