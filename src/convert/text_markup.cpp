#include "convert/text_markup.h"

#include <algorithm>
#include <cstring>

namespace tovrani {
namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

// Replaces every occurrence of `from` by `to` (of the same length).
void ReplaceSameLength(std::string& text, std::string_view from, std::string_view to) {
  for (size_t p = text.find(from); p != std::string::npos; p = text.find(from, p + to.size()))
    text.replace(p, from.size(), to);
}

bool At(const std::string& t, size_t i, char c) { return i < t.size() && t[i] == c; }
bool AtP(const std::string& t, size_t i) { return At(t, i, 'P') || At(t, i, 'p'); }
bool StartsAt(const std::string& t, size_t i, std::string_view s) {
  return i <= t.size() && t.compare(i, s.size(), s) == 0;
}

// A tag that leaves a CR: a paragraph end right before a paragraph start, or
// a line break.
bool TagLeavesCr(const std::string& t, size_t lt) {
  if (At(t, lt + 1, '/') && AtP(t, lt + 2) && At(t, lt + 4, '<') && AtP(t, lt + 5)) return true;
  return StartsAt(t, lt + 1, "SBR/") || StartsAt(t, lt + 1, "sbr/") || StartsAt(t, lt + 1, "BR") ||
         StartsAt(t, lt + 1, "br");
}

// Every tag removed in one pass from the left: whatever precedes the first
// "<" never holds one, so the search goes on where the removed tag stood.
void RemoveTags(std::string& t) {
  size_t w = 0, r = 0;
  for (;;) {
    const size_t lt = t.find('<', r);
    const size_t gt = lt == std::string::npos ? lt : t.find('>', lt + 1);
    if (gt == std::string::npos) break;
    const bool cr = TagLeavesCr(t, lt);
    std::memmove(&t[w], &t[r], lt - r);
    w += lt - r;
    if (cr) t[w++] = '\r';
    r = gt + 1;
  }
  std::memmove(&t[w], t.data() + r, t.size() - r);
  t.resize(w + t.size() - r);
}

char EntityChar(std::string_view name) {
  if (name == "quot") return '"';
  if (name == "apos") return '\'';
  if (name == "nbsp") return ' ';
  if (name == "amp") return '&';
  if (name == "lt") return '<';
  if (name == "gt") return '>';
  return 0;
}

// Entities decoded as if each decoding started over from the text's start:
// an ampersand passed over once stays passed over (the text between it and
// its semicolon never changes into a name), so the scan only steps back to
// the character a decoding left, which may start the next entity.
void DecodeEntities(std::string& t) {
  size_t w = 0, r = 0, semi = 0;
  bool semiValid = false;
  for (;;) {
    const size_t amp = t.find('&', r);
    if (amp == std::string::npos) break;
    if (!semiValid || semi <= amp) {
      semi = t.find(';', amp + 1);
      semiValid = true;
    }
    if (semi == std::string::npos) break;
    const size_t nameLen = semi - amp - 1;
    const char c = nameLen <= 4 ? EntityChar(std::string_view(t).substr(amp + 1, nameLen)) : 0;
    if (c) {
      std::memmove(&t[w], &t[r], amp - r);
      w += amp - r;
      t[semi] = c;  // read again: it may begin the next entity
      r = semi;
      semiValid = false;
    } else {
      std::memmove(&t[w], &t[r], amp + 1 - r);
      w += amp + 1 - r;
      r = amp + 1;
    }
  }
  std::memmove(&t[w], t.data() + r, t.size() - r);
  t.resize(w + t.size() - r);
}

}  // namespace

void CutUtf8(std::string& s, size_t n) {
  if (s.size() <= n) return;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  s.resize(n);
}

int32_t FindSubstring(int32_t start, std::string_view text, std::string_view pattern) {
  const size_t from = start > 1 ? size_t(start - 1) : 0;
  if (from > text.size()) return -1;
  const size_t p = text.find(pattern, from);
  // An index the result cannot hold counts as no occurrence, never as a wrapped one.
  return p == std::string_view::npos || p > size_t(INT32_MAX) ? -1 : int32_t(p);
}

void FindHtmlLink(std::string& text, std::string& url, std::string& target) {
  url.clear();
  target.clear();
  size_t f = 0;
  for (size_t i = 6; i < text.size() && !f; ++i) {
    if (text[i - 6] == '<' && Upper(text[i - 5]) == 'A' && text[i - 4] == ' ' &&
        Upper(text[i - 3]) == 'H' && Upper(text[i - 2]) == 'R' && Upper(text[i - 1]) == 'E' &&
        Upper(text[i]) == 'F')
      f = i;
  }
  if (!f) return;
  const size_t q1 = text.find('"', f + 1);
  const size_t q2 = q1 == std::string::npos ? q1 : text.find('"', q1 + 1);
  if (q2 == std::string::npos) return;
  url = text.substr(q1 + 1, q2 - q1 - 1);
  CutUtf8(url, 249);
  const size_t q3 = text.find('"', q2 + 1);
  const size_t q4 = q3 == std::string::npos ? q3 : text.find('"', q3 + 1);
  if (q4 == std::string::npos) return;
  target = text.substr(q3 + 1, q4 - q3 - 1);
  CutUtf8(target, 49);
  size_t close = std::string::npos;
  for (size_t c = q4; c + 3 < text.size(); ++c) {
    if (text[c] == '<' && text[c + 1] == '/' && Upper(text[c + 2]) == 'A' && text[c + 3] == '>') {
      close = c;
      break;
    }
  }
  if (close == std::string::npos) return;
  text.erase(close, 4);
  // The opening tag: up to the quote and the ">" after it, never past the end.
  const size_t open = f - 6;
  text.erase(open, std::min(q4 + 2, text.size()) - open);
}

int32_t RewriteHtmlTags(std::string& text) {
  ReplaceSameLength(text, "<FONT ", "##ONT ");
  ReplaceSameLength(text, "<font ", "##ont ");
  ReplaceSameLength(text, "</FONT>", "#/FONT>");
  ReplaceSameLength(text, "</font>", "#/font>");
  ReplaceSameLength(text, "<B>", kBoldOnMarker);
  ReplaceSameLength(text, "<b>", kBoldOnMarker);
  ReplaceSameLength(text, "</B>", kBoldOffMarker);
  ReplaceSameLength(text, "</b>", kBoldOffMarker);
  ReplaceSameLength(text, "<I>", kItalicOnMarker);
  ReplaceSameLength(text, "<i>", kItalicOnMarker);
  ReplaceSameLength(text, "</I>", kItalicOffMarker);
  ReplaceSameLength(text, "</i>", kItalicOffMarker);
  RemoveTags(text);
  DecodeEntities(text);
  return int32_t(text.size());
}

}  // namespace tovrani
