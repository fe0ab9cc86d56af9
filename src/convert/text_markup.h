// Helpers that turn the HTML text of a text field into plain text with style
// markers: a substring search, the first hyperlink taken out, and the tags
// and character entities rewritten. They work on byte strings (UTF-8 text;
// every character they look for is ASCII) and keep no state.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tovrani {

// The 0-based index of the first occurrence of pattern that begins at index
// start - 1 (start is 1-based) or later; -1 when there is none (or when
// its index would not fit the result).
int32_t FindSubstring(int32_t start, std::string_view text, std::string_view pattern);

// The first link tag (<A HREF, letters in either case): its first quoted
// value into url (at most 249 bytes) and its second into target (at most
// 49 bytes); with both found and a closing </A>, the link's tags are taken
// out of text, its own text stays. Both empty when there is no link.
void FindHtmlLink(std::string& text, std::string& url, std::string& target);

// Cuts UTF-8 text to at most n bytes without splitting a character.
void CutUtf8(std::string& s, size_t n);

// Style markers of RewriteHtmlTags.
inline constexpr std::string_view kFontStartMarker = "##ONT ", kFontStartMarkerLower = "##ont ";
inline constexpr std::string_view kFontEndMarker = "#/FONT>", kFontEndMarkerLower = "#/font>";
inline constexpr std::string_view kBoldOnMarker = "|#!", kBoldOffMarker = "|/#!";
inline constexpr std::string_view kItalicOnMarker = "!#|", kItalicOffMarker = "!/#|";

// In three passes: FONT, B and I tags (exact-case forms only) become the
// markers above; every other tag is removed, a paragraph end followed by a
// paragraph start and a line break leaving one CR; the entities quot, apos,
// nbsp, amp, lt and gt are decoded, each decoding starting over from the
// text's start. Returns the new length.
int32_t RewriteHtmlTags(std::string& text);

}  // namespace tovrani
