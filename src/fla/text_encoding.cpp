#include "fla/text_encoding.h"

namespace tovrani {
namespace {

// Windows-1252 bytes 0x80-0x9F. The five bytes the code page leaves
// undefined map to the C1 control of the same value, as Windows does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr uint32_t kReplacement = 0xFFFD;

uint32_t Cp1252ToCodePoint(uint8_t b) {
  return (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : b;
}

char CodePointToCp1252(int32_t cp) {
  if (cp < 0) return '?';
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (int k = 0; k < 32; ++k)
    if (kCp1252High[k] == cp) return static_cast<char>(0x80 + k);
  return '?';
}

}  // namespace

int32_t NextUtf8CodePoint(std::string_view utf8, size_t& pos) {
  const uint8_t lead = static_cast<uint8_t>(utf8[pos]);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  int extra;
  uint32_t cp;
  uint32_t minimum;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, cp = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, cp = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, cp = lead & 0x07, minimum = 0x10000;
  } else {
    ++pos;
    return -1;
  }
  if (utf8.size() - pos <= static_cast<size_t>(extra)) {
    ++pos;
    return -1;
  }
  for (int k = 1; k <= extra; ++k) {
    const uint8_t b = static_cast<uint8_t>(utf8[pos + k]);
    if ((b & 0xC0) != 0x80) {
      ++pos;
      return -1;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not characters.
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++pos;
    return -1;
  }
  pos += extra + 1;
  return static_cast<int32_t>(cp);
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string DecodeSwfText(std::string_view raw, uint8_t swfVersion) {
  if (swfVersion < 6) return Utf8FromAnsi(raw);
  std::string out;
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size();) {
    const int32_t cp = NextUtf8CodePoint(raw, i);
    AppendUtf8(out, cp < 0 ? kReplacement : static_cast<uint32_t>(cp));
  }
  return out;
}

std::u16string Utf16FromUtf8(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const int32_t cp = NextUtf8CodePoint(utf8, i);
    if (cp < 0) {
      out.push_back(static_cast<char16_t>(kReplacement));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char16_t>(cp));
    } else {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
  }
  return out;
}

size_t Utf8BytesForUnits(std::string_view utf8, size_t units) {
  size_t pos = 0;
  for (size_t read = 0; pos < utf8.size() && read < units;) {
    const int32_t cp = NextUtf8CodePoint(utf8, pos);
    read += cp >= 0x10000 ? 2 : 1;
  }
  return pos;
}

std::string AnsiFromUtf8(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) out.push_back(CodePointToCp1252(NextUtf8CodePoint(utf8, i)));
  return out;
}

std::string Utf8FromAnsi(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (char c : ansi) AppendUtf8(out, Cp1252ToCodePoint(static_cast<uint8_t>(c)));
  return out;
}

std::string Utf8FromUtf16(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    const uint32_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else {
      AppendUtf8(out, u);  // a lone surrogate becomes U+FFFD there
    }
  }
  return out;
}

}  // namespace tovrani
