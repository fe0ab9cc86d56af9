// Text of a movie, decoded once and written in the forms the outputs hold.
//
// Inside the converter text is UTF-8. A SWF stores its strings as UTF-8 from
// version 6 on and in the Windows code page 1252 before; DecodeSwfText turns
// either into UTF-8. The FLA holds text as UTF-16 code units or as ANSI
// (Windows-1252, "?" for what the code page cannot hold).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tovrani {

// Bytes of a SWF string (without its terminator) to UTF-8. Malformed UTF-8
// sequences become U+FFFD, one per byte that cannot start a character.
std::string DecodeSwfText(std::string_view raw, uint8_t swfVersion);

// UTF-8 to UTF-16 code units (surrogate pairs above U+FFFF); malformed
// sequences become U+FFFD.
std::u16string Utf16FromUtf8(std::string_view utf8);

// UTF-8 to Windows-1252; every character the code page lacks, and every
// malformed sequence, becomes one "?".
std::string AnsiFromUtf8(std::string_view utf8);

// Windows-1252 bytes to UTF-8.
std::string Utf8FromAnsi(std::string_view ansi);

// UTF-16 code units to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view units);

// The next code point of utf8 at pos, advancing pos past it; -1 (and one
// byte) for a malformed sequence. pos must be below utf8.size().
int32_t NextUtf8CodePoint(std::string_view utf8, size_t& pos);

// The bytes of the shortest start of utf8 that reads as at least `units`
// UTF-16 code units; all of utf8 when it holds fewer.
size_t Utf8BytesForUnits(std::string_view utf8, size_t units);

// Appends code point cp as UTF-8.
void AppendUtf8(std::string& out, uint32_t cp);

}  // namespace tovrani
