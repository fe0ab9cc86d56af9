#include "convert/edit_text.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "convert/converter_context.h"
#include "convert/font_tags.h"
#include "convert/placements.h"
#include "convert/text_markup.h"
#include "fla/text_encoding.h"
#include "swf/swf_reader.h"
#include "platform/movie_messages.h"

namespace tovrani {
namespace {

constexpr size_t kMaxRuns = 16000;
constexpr size_t kMaxVariableName = 254;

bool StartsWith(std::string_view t, size_t pos, std::string_view s) {
  return t.size() - pos >= s.size() && t.compare(pos, s.size(), s) == 0;
}

enum class Marker { kNone, kFontStart, kFontEnd, kBoldOn, kBoldOff, kItalicOn, kItalicOff };

Marker MarkerAt(std::string_view t, size_t pos) {
  switch (t[pos]) {
    case '#':
      if (StartsWith(t, pos, kFontStartMarker) || StartsWith(t, pos, kFontStartMarkerLower))
        return Marker::kFontStart;
      if (StartsWith(t, pos, kFontEndMarker) || StartsWith(t, pos, kFontEndMarkerLower))
        return Marker::kFontEnd;
      return Marker::kNone;
    case '|':
      if (StartsWith(t, pos, kBoldOnMarker)) return Marker::kBoldOn;
      if (StartsWith(t, pos, kBoldOffMarker)) return Marker::kBoldOff;
      return Marker::kNone;
    case '!':
      if (StartsWith(t, pos, kItalicOnMarker)) return Marker::kItalicOn;
      if (StartsWith(t, pos, kItalicOffMarker)) return Marker::kItalicOff;
      return Marker::kNone;
    default:
      return Marker::kNone;
  }
}

// Where the value of attribute NAME=" (or, only when that form is absent,
// name=") begins inside tag; npos when neither is there.
size_t AttributeValue(std::string_view tag, std::string_view upper, std::string_view lower) {
  int32_t p = FindSubstring(1, tag, upper);
  if (p < 0) p = FindSubstring(1, tag, lower);
  return p < 0 ? std::string_view::npos : size_t(p) + upper.size();
}

uint8_t HexNibble(std::string_view t, size_t pos) {
  if (pos >= t.size()) return 15;
  const char c = t[pos];
  if (c >= '0' && c <= '9') return uint8_t(c - '0');
  if (c >= 'a' && c <= 'e') return uint8_t(c - 'a' + 10);
  if (c >= 'A' && c <= 'E') return uint8_t(c - 'A' + 10);
  return 15;
}

class RunBuilder {
 public:
  explicit RunBuilder(std::string& text) : t_(text) {
    runs_.emplace_back();  // text before the first marker
    nearestFace_.push_back(-1);
  }

  // One pass from the left: markers are taken out as they are met, so the
  // runs follow the text and each byte is looked at a bounded number of
  // times.
  std::vector<TextStyleRun> Build() {
    while (r_ < t_.size()) {
      const Marker m = runs_.size() < kMaxRuns ? MarkerAt(t_, r_) : Marker::kNone;
      if (m == Marker::kNone) {
        t_[w_++] = t_[r_++];
        continue;
      }
      GiveLeadingCrsBack();
      switch (m) {
        case Marker::kFontStart: FontStart(); break;
        case Marker::kFontEnd: FontEnd(); break;
        case Marker::kBoldOn: Style(true, true, kBoldOnMarker.size()); break;
        case Marker::kBoldOff: Style(true, false, kBoldOffMarker.size()); break;
        case Marker::kItalicOn: Style(false, true, kItalicOnMarker.size()); break;
        case Marker::kItalicOff: Style(false, false, kItalicOffMarker.size()); break;
        case Marker::kNone: break;
      }
    }
    t_.resize(w_);
    GiveLeadingCrsBack();
    runs_.back().length = uint32_t(w_ - runs_.back().start);
    std::vector<TextStyleRun> out;
    for (auto& run : runs_) {
      if (run.length == 0) continue;
      run.fontRun = 0;
      out.push_back(std::move(run));
    }
    return out;
  }

 private:
  // Paragraph breaks at the start of the last run belong to the run before.
  void GiveLeadingCrsBack() {
    if (runs_.size() < 2) return;
    TextStyleRun& last = runs_.back();
    while (last.start < w_ && t_[last.start] == '\r') {
      ++last.start;
      ++runs_[runs_.size() - 2].length;
    }
  }

  // The run that starts here: the last one when it starts here, else a new
  // one. prev_ becomes the style in effect before the marker.
  TextStyleRun& OpenRun() {
    const uint32_t p = uint32_t(w_);
    if (runs_.back().start == p) {
      prev_ = runs_.back();
      reused_ = true;
      return runs_.back();
    }
    runs_.back().length = p - runs_.back().start;
    prev_ = runs_.back();
    reused_ = false;
    const int32_t before = int32_t(runs_.size()) - 1;
    nearestFace_.push_back(runs_[size_t(before)].fontName.empty() ? nearestFace_.back() : before);
    TextStyleRun& run = runs_.emplace_back();
    run.start = p;
    return run;
  }

  // The face of the nearest earlier run that has one.
  std::string EarlierFace() const {
    if (!prev_.fontName.empty()) return prev_.fontName;
    // Appended: prev_ is the run before, so look before that one.
    const size_t self = runs_.size() - 1;
    const int32_t k = reused_ ? nearestFace_[self] : nearestFace_[self - 1];
    return k >= 0 ? runs_[size_t(k)].fontName : std::string();
  }

  void FontStart() {
    const size_t gt = t_.find('>', r_);
    const size_t tagEnd = gt == std::string::npos ? t_.size() : gt;
    const std::string_view tag = std::string_view(t_).substr(r_, tagEnd - r_);
    TextStyleRun& run = OpenRun();
    const size_t index = runs_.size() - 1;
    run.styleA = prev_.styleA;
    run.styleB = prev_.styleB;
    if (size_t v = AttributeValue(tag, "FACE=\"", "face=\""); v != std::string_view::npos) {
      const size_t q = tag.find('"', v);
      // Every later run copies the face: it is cut at once to what the
      // text object keeps of it.
      const std::string_view face = tag.substr(v, (q == std::string_view::npos ? tag.size() : q) - v);
      run.fontName = std::string(face.substr(0, Utf8BytesForUnits(face, kMaxStyleStringUnits)));
    } else {
      run.fontName = EarlierFace();
    }
    if (size_t v = AttributeValue(tag, "SIZE=\"", "size=\""); v != std::string_view::npos) {
      int64_t n = 0;
      for (size_t i = v; i < tag.size() && tag[i] >= '0' && tag[i] <= '9'; ++i)
        n = std::min<int64_t>(n * 10 + (tag[i] - '0'), INT32_MAX);
      run.height = int32_t(std::min<int64_t>(n * 20, INT32_MAX));
    } else {
      run.height = prev_.height;
    }
    if (size_t v = AttributeValue(tag, "COLOR=\"#", "color=\"#"); v != std::string_view::npos) {
      const size_t at = r_ + v;
      uint8_t rgb[3];
      for (int i = 0; i < 3; ++i)
        rgb[i] = uint8_t(HexNibble(t_, at + 2 * i) << 4 | HexNibble(t_, at + 2 * i + 1));
      run.color = uint32_t(rgb[0]) | uint32_t(rgb[1]) << 8 | uint32_t(rgb[2]) << 16 | 0xFF000000u;
    } else {
      run.color = prev_.color;
    }
    run.fontRun = 1;
    openFonts_.push_back(index);
    // A tag without ">" takes the rest of the text with it.
    r_ = gt == std::string::npos ? t_.size() : gt + 1;
  }

  void FontEnd() {
    TextStyleRun& run = OpenRun();
    run.styleA = prev_.styleA;
    run.styleB = prev_.styleB;
    while (!openFonts_.empty() && !runs_[openFonts_.back()].fontRun) openFonts_.pop_back();
    run.fontName.clear();
    run.height = -1;
    run.color = 0;
    if (!openFonts_.empty()) {
      const size_t k = openFonts_.back();
      openFonts_.pop_back();
      runs_[k].fontRun = 0;
      if (k > 0) {
        const TextStyleRun& before = runs_[k - 1];
        run.fontName = before.fontName;
        run.height = before.height;
        run.color = before.color;
      }
    }
    r_ += kFontEndMarker.size();
  }

  void Style(bool bold, bool on, size_t markerLength) {
    TextStyleRun& run = OpenRun();
    run.fontName = prev_.fontName;
    run.height = prev_.height;
    run.color = prev_.color;
    run.styleA = bold ? uint8_t(on) : prev_.styleA;
    run.styleB = bold ? prev_.styleB : uint8_t(on);
    r_ += markerLength;
  }

  std::string& t_;
  size_t w_ = 0, r_ = 0;  // text kept so far ends at w_; unread text starts at r_
  std::vector<TextStyleRun> runs_;
  std::vector<int32_t> nearestFace_;  // per run: the nearest earlier run with a face, -1 none
  std::vector<size_t> openFonts_;     // runs opened by FONT, most recent last
  TextStyleRun prev_;
  bool reused_ = false;
};

void ReportCutEditText(ConverterContext& ctx, uint16_t id) {
  ShowWarning(ctx, "edit texts cut short", "BRASKELON Tovrani",
              "DefineEditText " + std::to_string(id) + " is cut short: the part inside the tag is kept.");
}

// Byte positions of the UTF-8 text to UTF-16 code units.
void RunsToUtf16(const std::string& text, std::vector<TextStyleRun>& runs) {
  std::vector<uint32_t> units(text.size() + 1, 0);
  uint32_t count = 0;
  for (size_t pos = 0; pos < text.size();) {
    const size_t at = pos;
    const int32_t cp = NextUtf8CodePoint(text, pos);
    for (size_t i = at; i < pos; ++i) units[i] = count;
    count += cp > 0xFFFF ? 2 : 1;
  }
  units[text.size()] = count;
  for (auto& run : runs) {
    const uint32_t start = units[run.start];
    run.length = units[run.start + run.length] - start;
    run.start = start;
  }
}

}  // namespace

std::vector<TextStyleRun> BuildStyleRuns(std::string& text) { return RunBuilder(text).Build(); }

void HandleEditText(ConverterContext& ctx, std::span<const uint8_t> body) {
  if (!*ctx.m_pOptText) return;
  if (ctx.m_pShell) ctx.m_pShell->SetCurrentAction("adding edit text...");
  EditTextRecord rec;
  SwfReader r(body);
  rec.characterId = r.u16();
  ReadSwfRect(r, rec.bounds);
  const uint8_t f1 = r.u8(), f2 = r.u8();
  rec.swfFlags = uint16_t(f1 << 8 | f2);
  const bool hasFont = f1 & 0x01, html = f2 & 0x02;
  if (f1 & 0x08) rec.textFlags |= kEditTextReadOnly;
  if (f1 & 0x40) rec.textFlags |= kEditTextWordWrap;
  if (f1 & 0x10) rec.textFlags |= kEditTextPassword;
  if (f1 & 0x20) rec.textFlags |= kEditTextMultiline;
  if (f2 & 0x10) rec.textFlags |= kEditTextNoSelect;
  if (f2 & 0x08) rec.textFlags |= kEditTextBorder;
  if (html) rec.textFlags |= kEditTextHtml;
  if (hasFont) rec.fontId = r.u16();
  if (f2 & 0x80) r.cstring();  // font class
  if (hasFont || (f2 & 0x80)) rec.fontHeight = r.u16();
  if (hasFont) {
    bool device = false;
    if (!html) {
      // Any record of the id may name a device font; only the first can
      // have changed its name since it was taken into the index.
      if (const IdRowIndex::Rows* rows = FindFontRows(ctx, rec.fontId)) {
        const FontRecord& first = ctx.m_library.fonts[rows->first];
        device = rows->markedLater || (first.nameKnown && IsDeviceFontName(first.name));
      }
    }
    if (!device) rec.textFlags |= kEditTextNotDeviceFont;
  }
  if (f1 & 0x04) rec.color = r.u32();
  if (f1 & 0x02) rec.maxLength = r.u16();
  if (f2 & 0x20) {
    rec.align = r.u8();
    rec.leftMargin = r.u16();
    rec.rightMargin = r.u16();
    rec.indent = r.u16();
    rec.leading = r.u16();
  }
  const std::string variable = r.cstring();
  rec.variableName = DecodeSwfText(variable, ctx.m_nSwfVersion);
  CutUtf8(rec.variableName, kMaxVariableName);
  const bool cut = !r.ok();

  // The initial text ends at its NUL, or at the body's end.
  std::string_view raw(reinterpret_cast<const char*>(body.data()) + r.pos(), r.remaining());
  if (raw.size() <= 1) {
    rec.textFlags |= kEditTextEmpty;
  } else {
    std::string text = DecodeSwfText(raw.substr(0, raw.find('\0')), ctx.m_nSwfVersion);
    FindHtmlLink(text, rec.url, rec.target);
    RewriteHtmlTags(text);
    if (text.empty()) {
      rec.textFlags |= kEditTextEmpty;
    } else {
      rec.runs = BuildStyleRuns(text);
      RunsToUtf16(text, rec.runs);
      if (text.empty()) rec.textFlags |= kEditTextEmpty;
    }
    rec.initialText = std::move(text);
  }
  if (cut) ReportCutEditText(ctx, rec.characterId);
  const uint32_t row = uint32_t(ctx.m_pEditTexts.size());
  const uint16_t id = rec.characterId;
  ctx.m_pEditTexts.push_back(std::move(rec));
  RegisterPlacedCharacter(ctx, id, kElementEditText, row);
}

}  // namespace tovrani
