#include "timeline/text_object.h"

#include <algorithm>
#include <unordered_map>

#include "fla/archive.h"
#include "fla/document_finaliser.h"
#include "fla/text_encoding.h"
#include "timeline/timeline_context.h"

namespace tovrani {

namespace {

constexpr size_t kChunk = 512;
constexpr uint8_t kNoFont = 255;
constexpr uint8_t kMarker[3] = {0xFF, 0xFE, 0xFF};

// The text in the units the level counts: UTF-16 code units at level 2;
// below it one Windows-1252 byte per code unit ("?" for each half of a
// pair), so positions in code units hold at every level.
std::u16string TextUnits(const std::string& utf8, bool isNew) {
  std::u16string units = Utf16FromUtf8(utf8);
  if (isNew) return units;
  for (char16_t& u : units) {
    if (u < 0x80) continue;
    if (u >= 0xD800 && u <= 0xDFFF) {
      u = u'?';
      continue;
    }
    const std::string ansi = AnsiFromUtf8(Utf8FromUtf16(std::u16string_view(&u, 1)));
    u = ansi.empty() ? u'?' : char16_t(uint8_t(ansi[0]));
  }
  return units;
}

void PutUnits(std::FILE* page, std::u16string_view units, bool isNew) {
  // In one write: a placement may write a long text again.
  std::vector<uint8_t> bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t u : units) {
    bytes.push_back(uint8_t(u));
    if (isNew) bytes.push_back(uint8_t(u >> 8));
  }
  PutBytes(page, bytes.data(), bytes.size());
}

// A bare u8 count and the characters, cut to what the count can hold.
void PutCounted(std::FILE* page, const std::string& utf8, bool isNew) {
  std::u16string units = TextUnits(utf8, isNew);
  if (units.size() > kMaxStyleStringUnits) units.resize(kMaxStyleStringUnits);
  PutU8(page, uint8_t(units.size()));
  PutUnits(page, units, isNew);
}

// Where a chunk of at most 512 units from pos ends: never between the two
// halves of a pair.
size_t ChunkLength(const std::u16string& units, size_t pos, size_t end) {
  size_t n = std::min(kChunk, end - pos);
  if (n == kChunk && pos + n < end && n > 1) {
    const char16_t last = units[pos + n - 1];
    if (last >= 0xD800 && last <= 0xDBFF) --n;
  }
  return n;
}

// The bytes PutCounted writes for utf8.
uint64_t CountedBytes(std::string_view utf8, bool isNew) {
  size_t units = 0;
  for (size_t pos = 0; pos < utf8.size() && units < kMaxStyleStringUnits;)
    units += NextUtf8CodePoint(utf8, pos) >= 0x10000 ? 2 : 1;
  return 1 + std::min(units, kMaxStyleStringUnits) * (isNew ? 2 : 1);
}

// The bytes writeChunk writes but for the font name and the characters.
uint64_t ChunkFrameBytes(bool isNew, bool writeCount, uint64_t urlBytes, uint64_t targetBytes) {
  uint64_t n = (writeCount ? 2 : 0) + 1 + 2 + 4 + 2 + 2 + 3 + 9 + 2 + urlBytes + 3 + targetBytes;
  if (isNew) n += 1 + 1 + 1 + 2 + 6 + urlBytes;
  return n;
}

// Each chunk the runs of an edit text write, in order: visit(run, pos, n,
// writeCount), run null for the field's own style when it has no runs.
template <class Visit>
void ForEachEditChunk(const EditTextRecord& t, const std::u16string& text, Visit visit) {
  if (t.runCount() == 0) {
    // An empty text still writes the style of one run, without a count.
    size_t pos = 0;
    do {
      const size_t n = ChunkLength(text, pos, text.size());
      visit(nullptr, pos, n, n != 0);
      pos += n;
    } while (pos < text.size());
    return;
  }
  for (const EditTextRun& run : t.runs) {
    // Runs outside the text write nothing; the record itself is never
    // changed, so every placement of the text writes it whole.
    if (run.length == 0 || run.start >= text.size()) continue;
    const size_t end = std::min<uint64_t>(uint64_t(run.start) + uint64_t(run.length), text.size());
    for (size_t pos = run.start; pos < end;) {
      const size_t n = ChunkLength(text, pos, end);
      visit(&run, pos, n, true);
      pos += n;
    }
  }
}

// Each chunk of one static run's text: visit(pos, n).
template <class Visit>
void ForEachStaticChunk(const std::u16string& text, Visit visit) {
  size_t pos = 0;
  do {
    const size_t n = ChunkLength(text, pos, text.size());
    visit(pos, n);
    pos += n;
  } while (pos < text.size());
}

class TextWriter {
 public:
  // A text object with its text, or with one style of it and no
  // characters.
  enum class Form { kWhole, kBare };

  TextWriter(TimelineContext& ctx, const PlacementEntry& e, uint16_t fontCount, TextPlacement placement)
      : ctx_(ctx),
        page_(ctx.m_pPageStream),
        isNew_(IsNewFlaFormat(ctx.m_nFlaFormat)),
        entry_(e),
        direct_(placement == TextPlacement::kDirect),
        fontRows_(std::min<size_t>({ctx.m_library.fonts.size(), fontCount, kNoFont})) {}

  void write(const SwfMatrix& m, PageClassState& state, Form form) {
    ClassTagFlags flags;
    const bool edit = entry_.kind == 3;
    (edit ? flags.editText : flags.staticText) = true;
    EmitClassTags(page_, flags, state);
    if (edit) {
      const EditTextRecord& t = ctx_.m_pEditTexts[entry_.streamIndex];
      // Bare, the field is written as one without text.
      const uint32_t textFlags = form == Form::kBare ? t.textFlags | kEditTextEmpty : t.textFlags;
      writeHead(m, {t.bounds.xmin + 40ll, t.bounds.xmax - 40ll, t.bounds.ymin + 40ll, t.bounds.ymax - 40ll}, &t,
                textFlags);
      writeEditRuns(t, form);
    } else {
      const StaticTextRecord& t = ctx_.m_pStaticTexts[entry_.streamIndex];
      std::vector<uint8_t> align;
      const int64_t right = staticLayout(t, align);
      writeHead(m, {0, right, 0, t.yMax}, nullptr, 0);
      writeStaticRuns(t, align, form);
    }
    writeTail(edit);
  }

  // The bytes the object's runs write in `form`: all but its head and tail.
  uint64_t runsBytes(Form form) const {
    const uint64_t unit = isNew_ ? 2 : 1;
    if (entry_.kind == 3) {
      const EditTextRecord& t = ctx_.m_pEditTexts[entry_.streamIndex];
      const uint64_t fieldFont = fontNameBytes(lastFont(t.fontId));
      if (form == Form::kBare)
        return ChunkFrameBytes(isNew_, false, CountedBytes(t.url, isNew_), CountedBytes(t.target, isNew_)) +
               fieldFont;
      const TextRunsMeasure& measure = measured(t);
      return measure.bytes + measure.fontNamedChunks * fieldFont;
    }
    const StaticTextRecord& t = ctx_.m_pStaticTexts[entry_.streamIndex];
    // The last of the first font rows with each id, and their names' bytes.
    std::unordered_map<uint16_t, uint8_t> rowOf;
    for (size_t i = 0; i < fontRows_; ++i) rowOf[ctx_.m_library.fonts[i].id] = uint8_t(i);
    std::unordered_map<uint8_t, uint64_t> nameBytes;
    uint8_t fi = kNoFont;
    auto runFont = [&](const StaticTextRun& run) {
      if (const auto it = rowOf.find(run.fontId); it != rowOf.end()) fi = it->second;
      if (fi == kNoFont) return fontNameBytes(kNoFont);
      const auto [it, added] = nameBytes.try_emplace(fi, 0);
      if (added) it->second = fontNameBytes(fi);
      return it->second;
    };
    if (form == Form::kBare)
      return t.runs.empty() ? 0 : ChunkFrameBytes(isNew_, true, 1, 1) + runFont(t.runs[0]);
    const TextRunsMeasure& measure = measured(t);
    uint64_t bytes = measure.bytes;
    for (size_t r = 0; r < t.runs.size(); ++r) {
      bytes += measure.runs[r].all * runFont(t.runs[r]);
      if (lineBreakAfter(t, r)) bytes += measure.runs[r].partial * unit;
    }
    return bytes;
  }

 private:
  struct Style {
    uint16_t size = 0;
    uint8_t fi = kNoFont;
    std::string fontName;  // used when fi is none
    uint32_t color = 0;
    uint8_t styleA = 0, styleB = 0;
    uint8_t paragraph[9] = {};
    const std::string* url = nullptr;
    const std::string* target = nullptr;
    uint8_t optionsOn = 0;
    const std::array<uint8_t, 6>* optionBytes = nullptr;
  };

  uint8_t lastFont(uint16_t id) const {
    uint8_t fi = kNoFont;
    for (size_t i = 0; i < fontRows_; ++i)
      if (ctx_.m_library.fonts[i].id == id) fi = uint8_t(i);
    return fi;
  }

  // What a chunk's font name takes: the font row's name, or an empty name.
  uint64_t fontNameBytes(uint8_t fi) const {
    if (fi == kNoFont) return CountedBytes("", isNew_);
    const FontRecord& f = ctx_.m_library.fonts[fi];
    return CountedBytes(f.nameKnown ? std::string_view(f.name) : std::string_view("a"), isNew_);
  }

  // Written directly, a static line followed by a lower one ends in a
  // carriage return (unless its text has one).
  bool lineBreakAfter(const StaticTextRecord& t, size_t r) const {
    const StaticTextRun& run = t.runs[r];
    return direct_ && r + 1 < t.runs.size() && run.y < t.runs[r + 1].y &&
           (run.text.empty() || run.text.back() != '\r');
  }

  const TextRunsMeasure& measured(const EditTextRecord& t) const {
    TextRunsMeasure& m = t.runsMeasure;
    if (m.measured && m.isNew == isNew_) return m;
    m = TextRunsMeasure();
    m.measured = true;
    m.isNew = isNew_;
    const std::u16string text = TextUnits(t.initialText, isNew_);
    const uint64_t url = CountedBytes(t.url, isNew_), target = CountedBytes(t.target, isNew_);
    ForEachEditChunk(t, text, [&](const EditTextRun* run, size_t, size_t n, bool writeCount) {
      m.bytes += ChunkFrameBytes(isNew_, writeCount, url, target) + n * (isNew_ ? 2 : 1);
      if (!run || run->fontName.empty())
        ++m.fontNamedChunks;
      else
        m.bytes += CountedBytes(run->fontName, isNew_);
    });
    return m;
  }

  const TextRunsMeasure& measured(const StaticTextRecord& t) const {
    TextRunsMeasure& m = t.runsMeasure;
    if (m.measured && m.isNew == isNew_) return m;
    m = TextRunsMeasure();
    m.measured = true;
    m.isNew = isNew_;
    for (const StaticTextRun& run : t.runs) {
      TextRunsMeasure::Chunks& chunks = m.runs.emplace_back();
      ForEachStaticChunk(TextUnits(run.text, isNew_), [&](size_t, size_t n) {
        m.bytes += ChunkFrameBytes(isNew_, true, 1, 1) + n * (isNew_ ? 2 : 1);
        ++chunks.all;
        if (n < kChunk) ++chunks.partial;
      });
      m.fontNamedChunks += chunks.all;
    }
    return m;
  }

  void writeHead(const SwfMatrix& m, std::array<int64_t, 4> box, const EditTextRecord* edit, uint32_t textFlags) {
    PutU8(page_, FlaVersionByte(ctx_.m_nFlaFormat));
    PutU24(page_, 0);
    PutU32(page_, 0x80000000);
    PutU32(page_, 0x80000000);
    if (isNew_) PutU24(page_, 0x0D0000);
    else PutU8(page_, 0x09);
    for (int32_t v : {m.scaleX, m.rotateSkew0, m.rotateSkew1, m.scaleY, m.translateX, m.translateY})
      PutU32(page_, uint32_t(v));
    for (int64_t v : box) PutU32(page_, uint32_t(uint64_t(v)));
    PutU16(page_, 0);
    PutU16(page_, uint16_t(textFlags));
    uint8_t render = 0;
    if (isNew_ && edit) {
      for (size_t i = 0; i < fontRows_; ++i)
        if (ctx_.m_library.fonts[i].id == edit->fontId && ctx_.m_library.fonts[i].fontKind == 3) render = 2;
    }
    PutU8(page_, render);
    PutU8(page_, 0);
    PutU16(page_, edit ? edit->maxLength : 0);
    // The variable name is a marked string at level 2: its long form too.
    WriteFlaString(page_, edit ? std::string_view(edit->variableName) : std::string_view{},
                   ctx_.m_nFlaFormat);
  }

  // Steps from the chunk's style to its characters; `count` is the length
  // written, `cr` a carriage return after the characters.
  void writeChunk(const Style& s, std::u16string_view chars, bool writeCount, size_t count, bool cr) {
    if (writeCount) PutU16(page_, uint16_t(count));
    PutU8(page_, isNew_ ? 0x0C : 0x07);
    PutU16(page_, s.size);
    if (s.fi != kNoFont) {
      const FontRecord& f = ctx_.m_library.fonts[s.fi];
      PutCounted(page_, f.nameKnown ? f.name : std::string("a"), isNew_);
    } else {
      PutCounted(page_, s.fontName, isNew_);
    }
    PutU32(page_, s.color);
    PutU16(page_, 0x22);
    if (s.fi != kNoFont) {
      const FontRecord& f = ctx_.m_library.fonts[s.fi];
      const bool styles = !direct_ || f.nameKnown;
      PutU8(page_, styles ? f.styleA : 0);
      PutU8(page_, styles ? f.styleB : 0);
    } else {
      PutU8(page_, s.styleA);
      PutU8(page_, s.styleB);
    }
    PutU24(page_, 0);
    PutBytes(page_, s.paragraph, sizeof s.paragraph);
    PutU16(page_, 0);
    static const std::string kEmpty;
    PutCounted(page_, s.url ? *s.url : kEmpty, isNew_);
    PutU24(page_, 0);
    if (isNew_) {
      const FontRecord* f = s.fi != kNoFont ? &ctx_.m_library.fonts[s.fi] : nullptr;
      PutU8(page_, f && f->fontKind > 3 && f->nameFlag && s.optionsOn == 0 ? 1 : 0);
    }
    PutCounted(page_, s.target ? *s.target : kEmpty, isNew_);
    if (isNew_) {
      PutU8(page_, 0x02);
      const auto& o = *s.optionBytes;
      const bool any = std::any_of(o.begin(), o.end(), [](uint8_t b) { return b != 0; });
      PutU8(page_, s.optionsOn == 0 ? 0 : any ? 2 : 1);
      PutU16(page_, 0);
      PutBytes(page_, o.data(), o.size());
      PutCounted(page_, s.url ? *s.url : kEmpty, isNew_);
    }
    PutUnits(page_, chars, isNew_);
    if (cr) PutUnits(page_, u"\r", isNew_);
  }

  void writeEditRuns(const EditTextRecord& t, Form form) {
    const std::u16string text = form == Form::kBare ? std::u16string() : TextUnits(t.initialText, isNew_);
    Style s;
    s.url = &t.url;
    s.target = &t.target;
    s.optionsOn = t.optionsOn;
    s.optionBytes = &t.optionBytes;
    if (t.swfFlags & 0x20) {
      uint8_t* p = s.paragraph;
      p[0] = uint8_t(t.align);
      for (size_t i = 0; i < 4; ++i) {
        const uint16_t v = i == 0 ? t.leading : i == 1 ? t.indent : i == 2 ? t.leftMargin : t.rightMargin;
        p[1 + 2 * i] = uint8_t(v);
        p[2 + 2 * i] = uint8_t(v >> 8);
      }
    }
    const EditTextRun* styled = nullptr;
    auto chunk = [&](const EditTextRun* run, size_t pos, size_t n, bool writeCount) {
      if (!run) {
        s.size = t.fontHeight;
        s.fi = lastFont(t.fontId);
        s.color = t.color;
      } else if (run != styled) {
        styled = run;
        s.size = run->height >= 0 ? uint16_t(run->height) : t.fontHeight;
        s.fi = run->fontName.empty() ? lastFont(t.fontId) : kNoFont;
        s.fontName = run->fontName;
        s.color = run->color ? run->color : t.color;
        s.styleA = run->styleA;
        s.styleB = run->styleB;
      }
      writeChunk(s, std::u16string_view(text).substr(pos, n), writeCount, n, false);
    };
    if (form == Form::kBare) {
      chunk(nullptr, 0, 0, false);
      return;
    }
    ForEachEditChunk(t, text, chunk);
  }

  // The alignment of every run and the frame box's right edge.
  int64_t staticLayout(const StaticTextRecord& t, std::vector<uint8_t>& align) const {
    align.resize(t.runs.size());
    for (size_t i = 0; i < t.runs.size(); ++i) align[i] = t.runs[i].align;
    if (t.runs.empty()) return t.xMax;
    if (t.runs.size() == 1) {
      align[0] = t.centred ? 2 : 0;
      return t.centred ? t.centredWidth : t.xMax;
    }
    struct Line {
      int64_t left, right;
      int32_t y;
    };
    std::vector<Line> lines;
    for (const StaticTextRun& r : t.runs) {
      const int64_t left = r.x, right = int64_t(r.x) + r.width;
      if (lines.empty() || lines.back().y != r.y) {
        lines.push_back({left, right, r.y});
      } else {
        lines.back().left = std::min(lines.back().left, left);
        lines.back().right = std::max(lines.back().right, right);
      }
    }
    if (lines.size() == 1) {
      const bool centre = lines[0].left != 0;
      align[0] = centre ? 2 : 0;
      return centre ? int64_t(t.xMin) - t.originX + lines[0].right : t.xMax;
    }
    int64_t maxRight = lines[0].right;
    for (const Line& l : lines) maxRight = std::max(maxRight, l.right);
    // Of several lines at one y the last decides.
    std::unordered_map<int32_t, uint8_t> byY;
    for (const Line& l : lines) byY[l.y] = l.left != 0 && l.right == maxRight ? 1 : l.left != 0 ? 2 : 0;
    for (size_t i = 0; i < t.runs.size(); ++i) align[i] = byY[t.runs[i].y];
    return t.xMax;
  }

  void writeStaticRuns(const StaticTextRecord& t, const std::vector<uint8_t>& align, Form form) {
    Style s;
    s.optionsOn = t.optionsOn;
    s.optionBytes = &t.optionBytes;
    uint8_t fi = kNoFont;
    const size_t runs = form == Form::kBare ? std::min<size_t>(t.runs.size(), 1) : t.runs.size();
    for (size_t r = 0; r < runs; ++r) {
      const StaticTextRun& run = t.runs[r];
      const std::u16string text = form == Form::kBare ? std::u16string() : TextUnits(run.text, isNew_);
      s.size = run.height;
      const uint8_t found = lastFont(run.fontId);
      if (found != kNoFont) fi = found;
      s.fi = fi;
      s.color = run.color;
      s.paragraph[0] = align[r];
      s.paragraph[1] = 40;
      s.paragraph[3] = uint8_t(t.layoutWord);
      s.paragraph[4] = uint8_t(t.layoutWord >> 8);
      const bool lineBreak = form == Form::kWhole && lineBreakAfter(t, r);
      ForEachStaticChunk(text, [&](size_t pos, size_t n) {
        const bool cr = lineBreak && n < kChunk;
        writeChunk(s, std::u16string_view(text).substr(pos, n), true, n + (cr ? 1 : 0), cr);
      });
    }
  }

  void writeTail(bool edit) {
    PutU16(page_, 0);
    WriteFlaString(page_, entry_.instanceName, ctx_.m_nFlaFormat);
    PutU32(page_, 0);
    PutU32(page_, edit ? 1 : 0);
    if (isNew_) {
      PutBytes(page_, kMarker, 3);
      PutU8(page_, 0);
      PutBytes(page_, kMarker, 3);
      PutU32(page_, 0);
    }
  }

  TimelineContext& ctx_;
  std::FILE* page_;
  bool isNew_;
  const PlacementEntry& entry_;
  bool direct_;
  size_t fontRows_;
};

}  // namespace

bool HasTextRow(const TimelineContext& ctx, const PlacementEntry& e) {
  if (e.streamIndex & 0x80000000u) return false;
  if (e.kind == 3) return e.streamIndex < ctx.m_pEditTexts.size();
  if (e.kind == 4) return e.streamIndex < ctx.m_pStaticTexts.size();
  return false;
}

void WriteTextObject(TimelineContext& ctx, const PlacementEntry& e, const SwfMatrix& m,
                     PageClassState& state, uint16_t fontCount, TextPlacement placement) {
  if (!HasTextRow(ctx, e)) return;
  TextWriter writer(ctx, e, fontCount, placement);
  // Each placement writes its text again: a few bytes of the movie must not
  // buy the same long text a thousand times.
  Allowance& budget = ctx.m_budget.textObjectBytes;
  if (budget.unbounded()) return writer.write(m, state, TextWriter::Form::kWhole);
  const uint64_t whole = writer.runsBytes(TextWriter::Form::kWhole);
  if (budget.Take(whole)) return writer.write(m, state, TextWriter::Form::kWhole);
  if (budget.FirstRefusal() && ctx.m_pShell) {
    const bool edit = e.kind == 3;
    const uint16_t id =
        edit ? ctx.m_pEditTexts[e.streamIndex].characterId : ctx.m_pStaticTexts[e.streamIndex].characterId;
    ctx.m_pShell->ShowMessage("BRASKELON Tovrani",
                              std::string(edit ? "Edit text" : "Static text") + " (character " + std::to_string(id) +
                                  "): the movie places its texts more often than its bytes allow (" +
                                  std::to_string(whole) +
                                  " bytes of text and styles); the placement was written without its characters.");
  }
  // Without its characters while even that fits; then the keyframe keeps
  // no text at all.
  const uint64_t bare = writer.runsBytes(TextWriter::Form::kBare);
  if (bare > budget.left()) return;
  budget.Take(bare);
  writer.write(m, state, TextWriter::Form::kBare);
}

}  // namespace tovrani
