// The document-level stream of the FLA (document page, library, palette,
// publish settings), built in memory while a movie is converted and laid
// into the compound file at the end.
//
// The stream keeps the 512-byte block arithmetic of the format's writers:
// a block is opened as soon as the previous one is full, so after a put that
// ends on a block boundary there is an empty last block and position 0, and
// the length is (BlockCount() - 1) * 512 + Pos(). The bytes themselves live in
// one growing buffer, so there is no block table to overflow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tovrani {

// The value the writers pass to the marker puts; the puts ignore it.
constexpr int32_t kContentsMarkerValue = 0x32303034;

class ContentsStream {
 public:
  static constexpr size_t kBlockSize = 512;

  // Starts a new document: drops (and frees) everything written before and
  // opens one zero-filled block.
  void Restart();
  // Frees the bytes once they are laid into the compound file.
  void Release();

  // The typed put of the format's writers, op taken modulo 256:
  //  1 u8, 2 u16, 3 u32 of value;  4 the bytes of text;  5 each byte of text
  //  followed by 00;  6 the marker FF FE FF;  7 the byte value & 0xFF,
  //  value >> 8 times;  ops above 7 with bit 3 set: (op & 7) empty UTF-16
  //  strings FF FE FF 00;  any other op appends nothing. A null text is empty.
  void Put(uint8_t op, int32_t value, const char* text);

  void PutU8(uint8_t v) { bytes_.push_back(v); }
  void PutU16(uint16_t v);
  void PutU32(uint32_t v);
  void PutBytes(std::string_view bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }
  // Each byte followed by 00 (op 5): exact for ASCII text.
  void PutZeroExtended(std::string_view bytes);
  void PutUtf16(std::u16string_view units);
  void PutMarker();                     // FF FE FF
  void PutEmptyStrings(unsigned count);  // count x FF FE FF 00
  void PutZeros(size_t count) { bytes_.insert(bytes_.end(), count, 0); }

  // A string's length as the archive reads it: below 255 one byte; else FF
  // and a u16 up to 65533; else FF FF FF and a u32. Never a cut length byte.
  void PutStringLength(size_t length);
  // Length and text: UTF-16 from format level 1 on, ANSI (Windows-1252)
  // at level 0. The marker in front of a UTF-16 string is the caller's.
  void PutString(std::string_view utf8, uint8_t level);
  void PutUtf16String(std::u16string_view units);

  // Zero-fills up to offset (no-op when the stream is already that long).
  void PadTo(size_t offset);
  // Overwrites a byte already written (the lead bytes of the document page).
  void SetByte(size_t offset, uint8_t v) { bytes_.at(offset) = v; }

  // Publish-property pairs written since the stream started: their list is
  // preceded by its count.
  void CountPair() { ++pairs_; }
  uint32_t PairCount() const { return pairs_; }

  bool Started() const { return started_; }
  size_t Length() const { return bytes_.size(); }
  uint32_t BlockCount() const {
    return started_ || !bytes_.empty() ? static_cast<uint32_t>(bytes_.size() / kBlockSize + 1) : 0;
  }
  uint16_t Pos() const { return static_cast<uint16_t>(bytes_.size() % kBlockSize); }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  bool started_ = false;
  uint32_t pairs_ = 0;
};

// The Contents stream of the document being converted (one at a time).
extern ContentsStream g_contents;

// Put on g_contents, as the writers call it.
void ContentsPut(uint8_t op, int32_t value, const char* text);

}  // namespace tovrani
