#include "convert/font_tags.h"

#include <algorithm>
#include <strings.h>

#include "convert/converter_context.h"
#include "convert/writer_services.h"
#include "fla/jsfl_script.h"
#include "fla/text_encoding.h"
#include "shape/decode/font_glyphs.h"
#include "swf/swf_reader.h"
#include "platform/movie_messages.h"

namespace tovrani {
namespace {

constexpr char kCaption[] = "BRASKELON Tovrani";

const char* TagName(uint16_t code) {
  switch (code) {
    case 10: return "DefineFont";
    case 48: return "DefineFont2";
    case 75: return "DefineFont3";
    case 13: return "DefineFontInfo";
    case 62: return "DefineFontInfo2";
    default: return "font tag";
  }
}

void ReportCutFont(ConverterContext& ctx, uint16_t code, uint16_t id) {
  ShowWarning(ctx, "font tags cut short", kCaption,
              std::string(TagName(code)) + " " + std::to_string(id) +
                  " is cut short: the part inside the tag is kept.");
}

// Decodes a font's glyphs, their bytes charged to the movie's budget; the
// first glyph of the movie left empty for it is named.
void DecodeGlyphs(ConverterContext& ctx, uint16_t code, uint16_t id, int offsetWidth, std::span<const uint8_t> data,
                  uint32_t end, std::vector<GlyphShape>& glyphs) {
  Allowance& budget = ctx.m_budget.glyphBytes;
  const bool noneRefused = budget.refusals() == 0;
  const std::optional<uint32_t> refused =
      DecodeFontGlyphs(offsetWidth, data, end, uint16_t(glyphs.size()), glyphs, &budget);
  if (refused && noneRefused && ctx.m_pShell)
    ctx.m_pShell->ShowMessage(kCaption, std::string(TagName(code)) + " " + std::to_string(id) +
                                            ": " + MoreThanTheMovieHolds(ctx.m_budget, "glyph data") +
                                            " (glyph " +
                                            std::to_string(*refused) + " of " + std::to_string(glyphs.size()) +
                                            "); the glyph was left empty.");
}

void SetAction(ConverterContext& ctx, const char* text) {
  if (ctx.m_pShell) ctx.m_pShell->SetCurrentAction(text);
}

void UpdateFontRows(ConverterContext& ctx) {
  ctx.m_fontRows.Update(
      ctx.m_library.fonts, [](const FontRecord& f) { return f.id; },
      [](const FontRecord& f) { return f.nameKnown && IsDeviceFontName(f.name); });
}

// The first record of a font id (a font id that occurs twice keeps two
// records; lookups take the first).
FontRecord* FindFont(ConverterContext& ctx, uint16_t id) {
  const IdRowIndex::Rows* rows = FindFontRows(ctx, id);
  return rows ? &ctx.m_library.fonts[rows->first] : nullptr;
}

std::string SwfString(ConverterContext& ctx, std::span<const uint8_t> raw) {
  std::string_view s(reinterpret_cast<const char*>(raw.data()), raw.size());
  s = s.substr(0, s.find('\0'));
  return DecodeSwfText(s, ctx.m_nSwfVersion);
}

void TestInstalled(ConverterContext& ctx, FontRecord& font) {
  font.installed = IsFontInstalled(ctx, font.name);
  // A font of several records is named once.
  if (font.installed || !ctx.m_missingFontNames.insert(font.name).second) return;
  if (ctx.m_nMissingFonts) ctx.m_strMissingFonts += ", ";
  ctx.m_strMissingFonts += font.name;
  ++ctx.m_nMissingFonts;
}

// DefineFont2 and DefineFont3.
void HandleDefineFont2(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body) {
  SetAction(ctx, "adding font...");
  FillFontRecord(ctx, code, body);
  FontRecord& font = ctx.m_library.fonts.back();
  bool cut = false;
  if (code == 75 && CutSizeSuffix(font.name)) font.nameFlag = 1;
  if (font.flags & 0x8000) {
    DocumentLibrary& lib = ctx.m_library;
    lib.jsflPendingText += "_";
    const int n = int(lib.jsflPendingText.size());
    lib.jsflFontAttrs += JsflFontAttributeStatements(font.name, n - 1, n, font.styleA, font.styleB);
  }
  TestInstalled(ctx, font);
  font.infoFlag = 0;

  const bool wideOffsets = font.flags & 0x0800, wideCodes = font.flags & 0x0400;
  const size_t width = wideOffsets ? 4 : 2;
  SwfReader r(body);
  r.seek(4);
  r.seek(5 + size_t(r.u8()));
  uint32_t count = r.u16();
  if (!r.ok()) cut = true;
  const size_t table = r.pos();
  // The offset table and the code-table offset after it must fit the body
  // (a font without glyphs, a device font, needs neither).
  const size_t room = (body.size() - table) / width;
  if (count > 0 && count + 1 > room) {
    count = room > 0 ? uint32_t(room - 1) : 0;
    cut = true;
  }
  font.glyphs.assign(count, GlyphShape{});
  font.codes.clear();
  if (count) {
    // Glyph offsets, the code-table offset and the glyph data count from
    // the offset table's start.
    const std::span<const uint8_t> data = body.subspan(table);
    SwfReader t(data);
    t.seek(uint64_t(count) * width);
    const uint64_t codeOffset = wideOffsets ? t.u32() : t.u16();
    const uint32_t glyphEnd = uint32_t(std::min<uint64_t>(codeOffset, data.size()));
    DecodeGlyphs(ctx, code, font.id, wideOffsets ? 48 : 10, data, glyphEnd, font.glyphs);
    if (codeOffset > data.size()) {
      cut = true;
    } else {
      SwfReader c(data.subspan(size_t(codeOffset)));
      const size_t readable = c.remaining() / (wideCodes ? 2 : 1);
      if (readable < count) cut = true;
      font.codes.resize(std::min<size_t>(count, readable));
      for (auto& code16 : font.codes) code16 = wideCodes ? c.u16() : c.u8();
    }
  }
  if (cut) ReportCutFont(ctx, code, font.id);
}

void HandleDefineFontInfo(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body) {
  SetAction(ctx, "adding font...");
  SwfReader r(body);
  const uint16_t id = r.u16();
  FontRecord* font = FindFont(ctx, id);
  if (!font || !r.ok()) return;
  bool cut = false;
  const uint8_t nameLength = r.u8();
  if (r.remaining() < nameLength) cut = true;
  font->name = SwfString(ctx, r.take(std::min<size_t>(nameLength, r.remaining())));
  font->nameKnown = true;
  TestInstalled(ctx, *font);
  const uint8_t flags = r.u8();
  if (!r.ok()) cut = true;
  font->flags = flags;
  font->styleA = (flags & 0x02) ? 1 : 0;
  font->styleB = (flags & 0x04) ? 1 : 0;
  font->infoFlag = 1;
  if (code == 62) r.skip(1);  // language code
  const bool wide = flags & 0x01;
  font->codes.clear();
  // The glyph count is 16-bit: codes beyond 65,535 are not kept.
  while (!r.atEnd() && font->codes.size() < 0xFFFF)
    font->codes.push_back(wide && r.remaining() >= 2 ? r.u16() : r.u8());
  if (!r.atEnd()) cut = true;
  if (cut) ReportCutFont(ctx, code, id);
}

// The first text of a character id in a table of texts.
template <class Texts>
auto* FirstText(IdRowIndex& index, Texts& texts, uint16_t id) {
  const auto update = [&] { index.Update(texts, [](const auto& t) { return t.characterId; }); };
  update();
  const IdRowIndex::Rows* rows = index.Find(id);
  if (rows && (rows->first >= texts.size() || texts[rows->first].characterId != id)) {
    // Rows dropped and appended again since the last lookup.
    index.Clear();
    update();
    rows = index.Find(id);
  }
  return rows ? &texts[rows->first] : nullptr;
}

void HandleAlignZones(ConverterContext& ctx, std::span<const uint8_t> body) {
  if (FontRecord* font = FindFont(ctx, uint16_t(body[0] | body[1] << 8)))
    font->fontKind = uint32_t(body.size());
}

// Advanced anti-aliasing with pixel or sub-pixel grid fitting and a thickness
// whose low half is 0 goes into the text's timeline state: the first edit
// text with the id, or else the first static text.
void HandleCsmTextSettings(ConverterContext& ctx, std::span<const uint8_t> body) {
  const uint16_t id = uint16_t(body[0] | body[1] << 8);
  if ((body[2] != 0x48 && body[2] != 0x50) || body[3] != 0 || body[4] != 0) return;
  auto take = [&](auto* text) {
    if (!text) return false;
    std::copy_n(body.begin() + 5, 6, text->optionBytes.begin());
    text->optionsOn = 1;
    return true;
  };
  if (!take(FirstText(ctx.m_editTextRows, ctx.m_pEditTexts, id)))
    take(FirstText(ctx.m_staticTextRows, ctx.m_pStaticTexts, id));
}

}  // namespace

bool CutSizeSuffix(std::string& name) {
  const size_t n = name.size();
  if (n <= 6 || name.compare(n - 5, 5, "pt_st") != 0) return false;
  for (size_t i = n - 7; i >= 1; --i) {
    if (name[i] == '_') {
      name.resize(i);
      return true;
    }
  }
  return false;
}

const IdRowIndex::Rows* FindFontRows(ConverterContext& ctx, uint16_t id) {
  const auto& fonts = ctx.m_library.fonts;
  UpdateFontRows(ctx);
  const IdRowIndex::Rows* rows = ctx.m_fontRows.Find(id);
  if (rows && (rows->last >= fonts.size() || fonts[rows->first].id != id || fonts[rows->last].id != id)) {
    // Records dropped and appended again since the last lookup.
    ctx.m_fontRows.Clear();
    UpdateFontRows(ctx);
    rows = ctx.m_fontRows.Find(id);
  }
  return rows;
}

bool IsDeviceFontName(std::string_view name) {
  return name == "_sans" || name == "_serif" || name == "_typewriter";
}

bool IsFontInstalled(ConverterContext& ctx, std::string_view name) {
  if (name.empty()) return true;
  if (!ctx.m_pShell) return false;
  for (const std::string& family : ctx.m_pShell->InstalledFontFamilies())
    if (family.size() >= name.size() && strncasecmp(family.data(), name.data(), name.size()) == 0)
      return true;
  return false;
}

void FillFontRecord(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body) {
  FontRecord& font = ctx.m_library.fonts.emplace_back();
  font.definingTag = uint8_t(code);
  SwfReader r(body);
  font.id = r.u16();
  if (code == 10) {
    // The offset table starts at 2; its first entry gives the glyph count.
    const std::span<const uint8_t> table = body.subspan(std::min<size_t>(2, body.size()));
    SwfReader t(table);
    size_t count = t.u16() / 2;
    bool cut = !t.ok();
    if (count > table.size() / 2) {
      count = table.size() / 2;
      cut = true;
    }
    font.glyphs.assign(count, GlyphShape{});
    DecodeGlyphs(ctx, code, font.id, 10, table, uint32_t(table.size()), font.glyphs);
    if (cut) ReportCutFont(ctx, code, font.id);
    return;
  }
  const uint8_t flagByte = r.u8();
  font.flags = uint16_t(flagByte << 8);
  font.styleA = (flagByte & 0x01) ? 1 : 0;
  font.styleB = (flagByte & 0x02) ? 1 : 0;
  r.skip(1);  // language code
  const uint8_t nameLength = r.u8();
  font.name = SwfString(ctx, r.take(std::min<size_t>(nameLength, r.remaining())));
  font.nameKnown = !font.name.empty();
}

void HandleFontTag(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body) {
  if (code == 73) {
    if (body.size() > 2) HandleAlignZones(ctx, body);
    return;
  }
  if (code == 74) {
    if (body.size() > 10) HandleCsmTextSettings(ctx, body);
    return;
  }
  if (body.empty() || !*ctx.m_pOptText) return;
  // The records so far, before this tag appends one: a table emptied since
  // the last lookup is seen as such.
  UpdateFontRows(ctx);
  if (code == 13 || code == 62) {
    HandleDefineFontInfo(ctx, code, body);
    return;
  }
  if (code != 10 && code != 48 && code != 75) return;
  if (ctx.m_library.fonts.size() >= kMaxFontRecords) {
    if (ctx.m_nFontTagsRefused++ == 0 && ctx.m_pShell)
      ctx.m_pShell->ShowMessage(kCaption, "Too many fonts: the fonts after the 65535th are skipped.");
    return;
  }
  if (code == 10) {
    FillFontRecord(ctx, code, body);
  } else {
    HandleDefineFont2(ctx, code, body);
  }
}

void ReportMissingFonts(ConverterContext& ctx) {
  if (ctx.m_nMissingFonts && ctx.m_pShell)
    ctx.m_pShell->ShowMessage(kCaption, "Fonts not found on this system: " + ctx.m_strMissingFonts);
}

}  // namespace tovrani
