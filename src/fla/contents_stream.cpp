#include "fla/contents_stream.h"

#include "fla/text_encoding.h"

namespace tovrani {

ContentsStream g_contents;

void ContentsStream::Restart() {
  std::vector<uint8_t>().swap(bytes_);
  bytes_.reserve(kBlockSize);
  started_ = true;
  pairs_ = 0;
}

void ContentsStream::Release() {
  std::vector<uint8_t>().swap(bytes_);
  started_ = false;
}

void ContentsStream::PutU16(uint16_t v) {
  bytes_.push_back(static_cast<uint8_t>(v));
  bytes_.push_back(static_cast<uint8_t>(v >> 8));
}

void ContentsStream::PutU32(uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void ContentsStream::PutZeroExtended(std::string_view bytes) {
  for (char c : bytes) {
    bytes_.push_back(static_cast<uint8_t>(c));
    bytes_.push_back(0);
  }
}

void ContentsStream::PutUtf16(std::u16string_view units) {
  for (char16_t u : units) PutU16(u);
}

void ContentsStream::PutMarker() {
  bytes_.push_back(0xFF);
  bytes_.push_back(0xFE);
  bytes_.push_back(0xFF);
}

void ContentsStream::PutEmptyStrings(unsigned count) {
  for (unsigned i = 0; i < count; ++i) {
    PutMarker();
    bytes_.push_back(0);
  }
}

void ContentsStream::Put(uint8_t op, int32_t value, const char* text) {
  const std::string_view t = text ? std::string_view(text) : std::string_view();
  switch (op) {
    case 1: PutU8(static_cast<uint8_t>(value)); return;
    case 2: PutU16(static_cast<uint16_t>(value)); return;
    case 3: PutU32(static_cast<uint32_t>(value)); return;
    case 4: PutBytes(t); return;
    case 5: PutZeroExtended(t); return;
    case 6: PutMarker(); return;
    case 7: {
      const int32_t count = value >> 8;
      if (count > 0) bytes_.insert(bytes_.end(), static_cast<size_t>(count), static_cast<uint8_t>(value));
      return;
    }
    default:
      if (op > 7 && (op & 8)) PutEmptyStrings(op & 7);
      return;
  }
}

void ContentsStream::PutStringLength(size_t length) {
  // After an FF length byte, FF FE announces the Unicode marker and FF FF a
  // u32, so the u16 form ends at 65533.
  if (length < 0xFF) {
    PutU8(static_cast<uint8_t>(length));
  } else if (length < 0xFFFE) {
    PutU8(0xFF);
    PutU16(static_cast<uint16_t>(length));
  } else {
    PutU8(0xFF);
    PutU16(0xFFFF);
    PutU32(static_cast<uint32_t>(length));
  }
}

void ContentsStream::PutString(std::string_view utf8, uint8_t level) {
  if (level >= 1) {
    PutUtf16String(Utf16FromUtf8(utf8));
  } else {
    const std::string ansi = AnsiFromUtf8(utf8);
    PutStringLength(ansi.size());
    PutBytes(ansi);
  }
}

void ContentsStream::PutUtf16String(std::u16string_view units) {
  PutStringLength(units.size());
  PutUtf16(units);
}

void ContentsStream::PadTo(size_t offset) {
  if (bytes_.size() < offset) bytes_.resize(offset, 0);
}

void ContentsPut(uint8_t op, int32_t value, const char* text) { g_contents.Put(op, value, text); }

}  // namespace tovrani
