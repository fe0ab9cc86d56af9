#include "fla/archive.h"

namespace tovrani {

void PutU8(std::FILE* stream, uint8_t value) { std::fputc(value, stream); }

void PutU16(std::FILE* stream, uint16_t value) {
  const uint8_t b[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
  std::fwrite(b, 1, 2, stream);
}

void PutU24(std::FILE* stream, uint32_t value) {
  const uint8_t b[3] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16)};
  std::fwrite(b, 1, 3, stream);
}

void PutU32(std::FILE* stream, uint32_t value) {
  const uint8_t b[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  std::fwrite(b, 1, 4, stream);
}

void PutBytes(std::FILE* stream, const void* data, size_t size) {
  if (size != 0) std::fwrite(data, 1, size, stream);
}

void PutZeros(std::FILE* stream, size_t count) {
  static const uint8_t zeros[64] = {};
  while (count > 0) {
    const size_t n = count < sizeof zeros ? count : sizeof zeros;
    std::fwrite(zeros, 1, n, stream);
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

namespace {

// Decodes one code point at text[i], advancing i; -1 for a malformed byte
// (which is skipped alone, so decoding always makes progress).
int32_t NextCodePoint(std::string_view text, size_t& i) {
  const uint8_t b0 = static_cast<uint8_t>(text[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int extra;
  int32_t cp;
  int32_t minimum;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1, cp = b0 & 0x1F, minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, cp = b0 & 0x0F, minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, cp = b0 & 0x07, minimum = 0x10000;
  } else {
    ++i;
    return -1;
  }
  if (text.size() - i <= static_cast<size_t>(extra)) {
    ++i;
    return -1;
  }
  for (int k = 1; k <= extra; ++k) {
    const uint8_t b = static_cast<uint8_t>(text[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return -1;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return -1;
  }
  i += extra + 1;
  return cp;
}

// Windows-1252 bytes 0x80-0x9F; the five bytes the code page leaves
// undefined stand for the C1 control of the same value.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char ToCp1252(int32_t cp) {
  if (cp < 0) return '?';
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (int k = 0; k < 32; ++k)
    if (kCp1252High[k] == cp) return static_cast<char>(0x80 + k);
  return '?';
}

}  // namespace

std::string Utf8ToAnsi(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) out.push_back(ToCp1252(NextCodePoint(text, i)));
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const int32_t cp = NextCodePoint(text, i);
    if (cp < 0) {
      out.push_back(0xFFFD);
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char16_t>(cp));
    } else {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
  }
  return out;
}

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
  const std::string ansi = Utf8ToAnsi(text);
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
  WriteFlaStringNew(stream, std::u16string_view(Utf8ToUtf16(text)));
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
