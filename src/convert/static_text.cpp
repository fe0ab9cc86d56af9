#include "convert/static_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "convert/converter_context.h"
#include "convert/font_tags.h"
#include "convert/output_set.h"
#include "convert/import_movie.h"
#include "convert/placements.h"
#include "convert/writer_services.h"
#include "fla/archive.h"
#include "fla/file_helpers.h"
#include "fla/item_names.h"
#include "fla/keyframe_records.h"
#include "fla/layer_records.h"
#include "fla/publish_properties.h"
#include "fla/stream_placement.h"
#include "fla/text_encoding.h"
#include "fla/work_folder.h"
#include "shape/decode/define_shape.h"
#include "shape/decode/font_glyphs.h"
#include "swf/swf_reader.h"
#include "platform/movie_messages.h"
#include "platform/resource_bound.h"

namespace tovrani {

namespace {

constexpr char kCaption[] = "BRASKELON Tovrani";

bool On(const uint8_t* option) { return option && *option; }
constexpr size_t kMaxStaticTexts = 1999;
constexpr size_t kMaxRuns = 2000;
constexpr size_t kMaxRunCharacters = 4999;
constexpr uint16_t kSpace = 32;

// A filled circle 20 pixels across: a shape body without character id.
constexpr uint8_t kDummyShape[56] = {
    0x50, 0x00, 0xC8, 0x00, 0x0C, 0x80, 0x01, 0x00, 0x00, 0xFF, 0x33, 0x00, 0x10, 0x15,
    0x4C, 0x81, 0x91, 0x98, 0x01, 0x4F, 0x14, 0xEA, 0x6C, 0x53, 0xBA, 0xE0, 0x09, 0xAB,
    0x40, 0x31, 0x71, 0x66, 0xC6, 0xC6, 0x00, 0xAD, 0x98, 0x02, 0xB4, 0xEB, 0x16, 0x63,
    0xBC, 0x65, 0x30, 0x09, 0x94, 0x80, 0x0E, 0xCE, 0xA6, 0x3B, 0x3B, 0x00, 0x53, 0x00};

struct Glyph {
  uint32_t index = 0;
  int32_t advance = 0;
};

struct TextRecord {
  bool style = false;
  uint8_t flags = 0;  // 0x08 font, 0x04 colour, 0x02 y, 0x01 x
  uint16_t fontId = 0, height = 0;
  uint32_t color = 0;
  int16_t x = 0, y = 0;
  std::vector<Glyph> glyphs;
  bool hasFont() const { return flags & 0x08; }
  bool hasColor() const { return flags & 0x04; }
  bool hasY() const { return flags & 0x02; }
  bool hasX() const { return flags & 0x01; }
};

struct ParsedText {
  uint16_t id = 0;
  SwfRect bounds;
  SwfMatrix matrix;
  std::vector<TextRecord> records;
  bool cut = false;  // the records end before their end mark
  bool overBudget = false;  // the records end where the movie's glyph references ran out
  size_t glyphs = 0;  // references kept
};

// Each glyph reference kept is charged to `references`: fields of 0 bits
// make references that take no bytes. The records end at the first one it
// refuses.
ParsedText ParseText(uint16_t code, std::span<const uint8_t> body, Allowance& references) {
  ParsedText t;
  SwfReader r(body);
  t.id = r.u16();
  // Some writers leave an empty rectangle and matrix as 08 and eighteen zeros.
  if (body.size() > 20 && body[2] == 8 &&
      std::all_of(body.begin() + 3, body.begin() + 21, [](uint8_t b) { return b == 0; })) {
    r.seek(21);
  } else {
    ReadSwfRect(r, t.bounds);
    ReadSwfMatrix(r, t.matrix);
    const size_t p = r.pos();
    if (p + 2 < body.size() && body[p] == 0 && !(body[p + 2] & 0x80)) r.skip(1);
  }
  const unsigned glyphBits = r.u8(), advanceBits = r.u8();
  // Wider fields than 32 bits have no meaning: the records end here.
  if (!r.ok() || glyphBits > 32 || advanceBits > 32) {
    t.cut = true;
    return t;
  }
  bool first = true;
  while (!r.atEnd()) {
    const uint8_t b = r.u8();
    if (b == 0) return t;
    TextRecord rec;
    unsigned count = b;
    if (first || (b & 0x80)) {
      rec.style = true;
      rec.flags = b;
      if (rec.hasFont()) rec.fontId = r.u16();
      if (rec.hasColor()) {
        const uint32_t red = r.u8(), green = r.u8(), blue = r.u8();
        const uint32_t alpha = code == 33 ? r.u8() : 0xFF;
        rec.color = red | green << 8 | blue << 16 | alpha << 24;
      }
      if (rec.hasX()) rec.x = r.i16();
      if (rec.hasY()) rec.y = r.i16();
      if (rec.hasFont()) rec.height = r.u16();
      count = r.u8();
    }
    first = false;
    for (unsigned i = 0; i < count && r.ok(); ++i) {
      Glyph g;
      g.index = r.ubits(glyphBits);
      g.advance = r.sbits(advanceBits);
      if (!r.ok()) break;
      if (!references.Take(1)) {
        t.overBudget = true;
        break;
      }
      rec.glyphs.push_back(g);
    }
    t.glyphs += rec.glyphs.size();
    if (t.overBudget) {
      if (rec.style || !rec.glyphs.empty()) t.records.push_back(std::move(rec));
      return t;
    }
    r.alignBits();
    const bool ok = r.ok();
    if (ok || rec.style || !rec.glyphs.empty()) t.records.push_back(std::move(rec));
    if (!ok) break;
  }
  t.cut = true;
  return t;
}

// The last font record with the id, or -1.
int FindFont(ConverterContext& ctx, uint16_t id) {
  const IdRowIndex::Rows* rows = FindFontRows(ctx, id);
  return rows ? int(rows->last) : -1;
}

// DefineFont3 outlines are in units twenty times finer.
double FontDivisor(const FontRecord& f) { return f.definingTag == 75 ? 20.0 : 1.0; }

bool HasOutline(const GlyphShape& g) { return g.recordCount != 0 && g.minX != kEmptyGlyphMin; }

int32_t GlyphLeftEdge(const FontRecord& f, const GlyphShape& g, uint16_t height) {
  return int32_t(std::floor(g.minX / 1024.0 * height / FontDivisor(f) + 0.5));
}

// What the first pass learns of a text.
struct TextFonts {
  std::vector<size_t> used;  // font rows, first use order
  bool missing = false;      // a font is unknown or has no name
  bool allInstalled = true;
  int32_t smallestLeft = kEmptyGlyphMin;
};

TextFonts FirstPass(ConverterContext& ctx, const ParsedText& t) {
  TextFonts out;
  std::unordered_set<size_t> seen;
  const FontRecord* font = nullptr;
  uint16_t height = 0;
  int32_t x = t.bounds.xmin;
  for (const TextRecord& rec : t.records) {
    if (rec.style) {
      if (rec.hasFont()) {
        const int row = FindFont(ctx, rec.fontId);
        if (row < 0 || !ctx.m_library.fonts[size_t(row)].nameKnown) {
          out.missing = true;
          return out;
        }
        font = &ctx.m_library.fonts[size_t(row)];
        height = rec.height;
        if (seen.insert(size_t(row)).second) out.used.push_back(size_t(row));
        out.allInstalled = out.allInstalled && font->installed;
      }
      if (rec.hasX()) x = rec.x;
    }
    if (!font) continue;
    int32_t pen = x;
    for (const Glyph& g : rec.glyphs) {
      if (font->HasGlyph(g.index) && font->codes[g.index] != kSpace &&
          HasOutline(font->glyphs[g.index])) {
        out.smallestLeft =
            std::min(out.smallestLeft, pen + GlyphLeftEdge(*font, font->glyphs[g.index], height));
        break;
      }
      pen += g.advance;
    }
  }
  return out;
}

std::string TagName(uint16_t code) { return code == 33 ? "DefineText2" : "DefineText"; }

// `kind`: the kind of message (movie_messages.h); kAlwaysShown for what a
// movie says once.
void ReportSkipped(ConverterContext& ctx, const char* kind, uint16_t code, uint16_t id, const std::string& why) {
  ShowWarning(ctx, kind, kCaption, TagName(code) + " " + std::to_string(id) + " is left out: " + why);
}

// Font names for a question: control characters as \xNN.
std::string EscapeName(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out.push_back(char(c));
    }
  }
  return out;
}

// ---- the JSFL-import road ----

// The bytes in "ffst": every font tag copied so far. -1 when it cannot be
// read.
int64_t FontCopiesSize(const ConverterContext& ctx) {
  FileHandle f(ctx.m_pWorkFolder->file("ffst"), "rb");
  if (!f) return 0;  // no font tag copied yet
  return FileSizeOf(f.get());
}

// Reads "ffst" up to `size` bytes into m_staticTextFonts, from where the
// last text's reading stopped: each byte is read once per conversion.
bool ReadFontCopies(ConverterContext& ctx, uint64_t size) {
  const size_t have = ctx.m_staticTextFonts.size();
  if (size <= have) return true;
  FileHandle f(ctx.m_pWorkFolder->file("ffst"), "rb");
  if (!f || std::fseek(f.get(), long(have), SEEK_SET) != 0) return false;
  try {
    ctx.m_staticTextFonts.resize(size_t(size));
  } catch (const std::bad_alloc&) {
    // Past the memory bound the conversion ends with the bound's result.
    if (ResourceBoundCrossed()) throw;
    ctx.m_staticTextFonts.resize(have);
    return false;
  }
  if (std::fread(ctx.m_staticTextFonts.data() + have, 1, size_t(size) - have, f.get()) == size - have) return true;
  ctx.m_staticTextFonts.resize(have);
  return false;
}

enum class ImportRoad {
  kDone,
  kNoMovie,
  kOverBudget,  // its fonts overdraw the movie's allowance of copies (the first one named)
  kFailed,
};

// Charges the font bytes the text's movie copies to the movie's allowance
// before it is built. False when they would overdraw it: the text takes the
// road it takes with the option off, the first such one named.
bool ChargeFontCopies(ConverterContext& ctx, uint16_t code, uint16_t id, uint64_t bytes) {
  if (ctx.m_budget.importCopies.Take(bytes)) return true;
  if (ctx.m_budget.importCopies.FirstRefusal() && ctx.m_pShell)
    ctx.m_pShell->ShowMessage(kCaption, RefusedCopiesText(TagName(code) + " " + std::to_string(id), false, bytes,
                                                          "as with \"Convert Using JSFL Import\" off"));
  return false;
}

ImportRoad ConvertForJsflImport(ConverterContext& ctx, uint16_t code, std::span<const uint8_t> body, uint16_t id) {
  // The movie carries every font tag copied so far.
  const int64_t fonts = FontCopiesSize(ctx);
  if (fonts < 0) return ImportRoad::kFailed;
  if (ctx.m_strStaticTextFolder.empty()) return ImportRoad::kNoMovie;
  if (!ChargeFontCopies(ctx, code, id, uint64_t(fonts))) return ImportRoad::kOverBudget;
  if (!ReadFontCopies(ctx, uint64_t(fonts))) return ImportRoad::kFailed;
  std::vector<uint8_t> head = ImportMovieHeader(ctx.m_nSwfVersion, ctx.m_rcFrame, ctx.m_wFrameRate);
  head.insert(head.end(), ctx.m_staticTextFonts.begin(), ctx.m_staticTextFonts.begin() + ptrdiff_t(fonts));
  const uint32_t textLength = uint32_t(body.size() - std::min<size_t>(body.size(), ctx.m_nStaticTextExtraBytes));
  const std::optional<std::vector<uint8_t>> movie = BuildImportMovie(head, code, body, id, textLength);
  // Written beside its final name, renamed in with the document.
  const std::string moviePath =
      movie ? StageImportMovie(ctx, kStaticTextFolder, MakeSymbolName(ctx.m_wCurSymbolId) + ".swf", *movie)
            : std::string();
  if (moviePath.empty()) return ImportRoad::kNoMovie;
  ctx.m_pStreamItemNo[ctx.m_nStreams] = DefinitionItemNo(ctx, id);

  const WorkFolder& work = *ctx.m_pWorkFolder;
  bool placed = false;
  {
    FileHandle page(work.file("stte.tmp"), "wb+");
    std::vector<uint8_t> bytes;
    placed = page && WritePlaceholderPage(page.get(), ctx.m_nFlaFormat, "Static Text", true) &&
             ReadWholeFile(page.get(), bytes);
    if (placed) {
      ctx.m_pJsflStaticTextIds.push_back(id);
      RegisterPlacedCharacter(ctx, id, kElementSymbol, ctx.m_nStreams);
      placed = PlaceSymbolStream(ctx, bytes, 0);
    }
  }
  work.removeFile("stte.tmp");
  if (!placed) DropStagedFile(ctx, moviePath);
  return placed ? ImportRoad::kDone : ImportRoad::kFailed;
}

// ---- the shape road ----

void PutTag(std::FILE* f, std::initializer_list<uint8_t> bytes) {
  for (uint8_t b : bytes) PutU8(f, b);
}

// Writes the glyph instances of the text into `page`.
void WriteGlyphInstances(ConverterContext& ctx, const ParsedText& t, const TextFonts& fonts,
                         std::FILE* page) {
  const uint8_t level = ctx.m_nFlaFormat;
  const bool level2 = IsNewFlaFormat(level);
  const uint8_t version = FlaVersionByte(level);
  bool classWritten = false;
  const FontRecord* font = nullptr;
  uint16_t height = 0;
  uint32_t color = 0xFF000000;
  int32_t penX = t.bounds.xmin, penY = 0;
  for (const TextRecord& rec : t.records) {
    if (rec.style) {
      if (rec.hasFont()) {
        const int row = FindFont(ctx, rec.fontId);
        font = row < 0 ? nullptr : &ctx.m_library.fonts[size_t(row)];
        height = rec.height;
      }
      if (rec.hasColor()) color = rec.color;
      if (rec.hasX()) penX = rec.x;
      if (rec.hasY()) penY = rec.y;
    }
    if (!font) continue;
    const uint32_t s = uint32_t(std::floor(height / 1024.0 * 65536.0 / FontDivisor(*font) + 0.5));
    for (const Glyph& g : rec.glyphs) {
      if (!font->HasGlyph(g.index) || font->codes[g.index] == kSpace) {
        penX += g.advance;
        continue;
      }
      if (!classWritten) {
        PutTag(page, {0xFF, 0xFF, 0x01, 0x00, 0x0A, 0x00});
        PutBytes(page, "CPicSymbol", 10);
        PutU32(page, version);
        classWritten = true;
      } else {
        PutTag(page, {0x07, 0x80, version, 0x00});
        PutU16(page, 0);
      }
      const int32_t x = penX + t.bounds.xmin - fonts.smallestLeft;
      PutU32(page, uint32_t(x));
      PutU32(page, uint32_t(penY));
      if (level2)
        PutTag(page, {0x00, 0x00, 0x13});
      else
        PutU8(page, 0x0A);
      for (uint32_t v : {s, 0u, 0u, s, uint32_t(x), uint32_t(penY), 0u}) PutU32(page, v);
      PutU8(page, 1);
      const uint16_t red = color & 0xFF, green = (color >> 8) & 0xFF, blue = (color >> 16) & 0xFF;
      for (uint16_t v : {uint16_t(256), uint16_t(0), uint16_t(256), red, uint16_t(256), green,
                         uint16_t(256), blue, uint16_t(2), uint16_t(100)})
        PutU16(page, v);
      PutU32(page, color);
      if (level2)
        PutTag(page, {0xFF, 0xFE, 0xFF, 0x00});
      else
        PutU8(page, 0);
      PutU16(page, font->glyphs[g.index].itemNo);
      PutU16(page, 0);
      if (level2) {
        PutU32(page, 0);
        PutTag(page, {0x01, 0x00, 0x00});
      }
      penX += g.advance;
    }
  }
}

bool ConvertToGlyphInstances(ConverterContext& ctx, uint16_t code, const ParsedText& t,
                             const TextFonts& fonts) {
  // Every number the glyph symbols take must exist before any is handed out.
  uint64_t glyphs = 0;
  for (size_t row : fonts.used)
    if (!ctx.m_library.fonts[row].glyphsPlaced) glyphs += ctx.m_library.fonts[row].glyphs.size();
  const uint32_t textItem = t.id == 0 ? 1 : 0;  // character 0 takes a number too
  if (glyphs + textItem > ItemNosLeft(ctx) || ctx.m_wCurSymbolId + glyphs + 1 > 0xFFFF) {
    ReportSkipped(ctx, "static texts past the symbol numbers", code, t.id,
                  "its fonts have more glyphs than the document has symbol numbers left.");
    return true;
  }
  // A glyph symbol is a page of its own whatever the glyph holds: an offset
  // of two bytes must not buy one.
  if (!ctx.m_budget.glyphSymbols.Take(glyphs)) {
    if (ctx.m_budget.glyphSymbols.FirstRefusal())
      ReportSkipped(ctx, kAlwaysShown, code, t.id,
                    std::string(ctx.m_budget.countedShort ? "its fonts ask for more glyphs than the movie's size allows"
                                                          : "its fonts declare more glyphs than the movie holds") +
                        " (" + std::to_string(glyphs) + " glyphs).");
    return true;
  }
  // The text's row counts from here; its page is placed last.
  if (!LibraryTakes(ctx, LibraryObject::kSymbolStream)) return false;
  const uint8_t level = ctx.m_nFlaFormat;
  ctx.m_nStaticTextRow = ctx.m_nStreams;
  ctx.m_pStreamItemNo[ctx.m_nStreams] = DefinitionItemNo(ctx, t.id);
  ++ctx.m_nStreams;
  for (size_t row : fonts.used) {
    FontRecord& f = ctx.m_library.fonts[row];
    if (f.glyphsPlaced) continue;
    if (!PlaceSymbolStreams(ctx, f.glyphs, f.firstItemNo, f.lastItemNo, level)) return false;
    f.glyphsPlaced = true;
  }

  const WorkFolder& work = *ctx.m_pWorkFolder;
  bool placed = false;
  {
    FileHandle page(work.file("sp.tmp"), "wb+");
    if (page) {
      std::array<uint8_t, kFileHead.size()> head = kFileHead;
      if (IsNewFlaFormat(level)) head[15] = head[32] = FlaVersionByte(level);
      PutBytes(page.get(), head.data(), head.size());
      PutU8(page.get(), FlaVersionByte(level));
      PutU8(page.get(), 0);
      WriteGlyphInstances(ctx, t, fonts, page.get());
      ctx.m_pPageStream = page.get();
      PlaceStaticTextPage(ctx);
      ctx.m_pPageStream = nullptr;
      placed = ctx.m_nWriterError == 0;
    }
  }
  work.removeFile("sp.tmp");
  if (placed) RegisterPlacedCharacter(ctx, t.id, kElementSymbol, ctx.m_nStaticTextRow);
  return placed;
}

// ---- the text-field road ----

// False when the text has no run.
bool ConvertToTextRecord(ConverterContext& ctx, const ParsedText& t) {
  StaticTextRecord out;
  out.characterId = t.id;
  out.xMin = t.bounds.xmin;
  out.xMax = t.bounds.xmax;
  out.yMax = t.bounds.ymax;
  std::vector<std::u16string> texts;
  std::vector<int32_t> leftEdges;
  std::vector<bool> edgeSet;
  bool haveLineStart = false;
  int32_t lineStart = 0;
  const FontRecord* font = nullptr;
  bool leading = true;
  for (const TextRecord& rec : t.records) {
    if (rec.style) {
      if (out.runs.size() >= kMaxRuns) break;
      StaticTextRun run;
      run.color = 0xFF000000;
      if (!out.runs.empty()) {
        const StaticTextRun& prev = out.runs.back();
        run.fontId = prev.fontId;
        run.color = prev.color;
        run.y = prev.y;
        run.height = prev.height;
      }
      if (rec.hasFont()) {
        run.fontId = rec.fontId;
        run.height = rec.height;
      }
      if (rec.hasColor()) run.color = rec.color;
      run.x = rec.hasX() ? rec.x : 0;
      if (rec.hasY()) {
        run.y = rec.y;
        if (!haveLineStart) {
          haveLineStart = true;
          lineStart = run.x;
        } else if (lineStart != 0 && run.x == lineStart && !texts.empty()) {
          if (texts.back().size() < kMaxRunCharacters) texts.back() += u'\r';
          out.layoutWord = uint16_t(lineStart);
        }
      }
      const int row = FindFont(ctx, run.fontId);
      font = row < 0 ? nullptr : &ctx.m_library.fonts[size_t(row)];
      leading = true;
      leftEdges.push_back(run.x);
      out.runs.push_back(std::move(run));
      texts.emplace_back();
      edgeSet.push_back(false);
    }
    if (out.runs.empty()) continue;
    StaticTextRun& run = out.runs.back();
    for (const Glyph& g : rec.glyphs) {
      run.width += g.advance;
      if (!font || !font->HasGlyph(g.index)) continue;
      const uint16_t c = font->codes[g.index];
      if (texts.back().size() < kMaxRunCharacters) texts.back().push_back(char16_t(c));
      if (!leading) continue;
      if (c == kSpace || !HasOutline(font->glyphs[g.index])) {
        leftEdges.back() += g.advance;
      } else {
        leftEdges.back() += GlyphLeftEdge(*font, font->glyphs[g.index], run.height);
        edgeSet.back() = true;
        leading = false;
      }
    }
  }
  if (out.runs.empty()) return false;
  bool anyEdge = false;
  int32_t left = 0, smallestX = 0;
  for (size_t i = 0; i < out.runs.size(); ++i) {
    StaticTextRun& run = out.runs[i];
    // Codes that are no characters of their own (surrogate halves) become U+FFFD.
    for (char16_t& c : texts[i])
      if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
    run.text = Utf8FromUtf16(texts[i]);
    out.centredWidth = std::max(out.centredWidth, run.width);
    if (!edgeSet[i]) continue;
    left = anyEdge ? std::min(left, leftEdges[i]) : leftEdges[i];
    smallestX = anyEdge ? std::min(smallestX, run.x) : run.x;
    anyEdge = true;
  }
  out.originX = left;
  out.centred = uint32_t(smallestX);
  const uint32_t row = uint32_t(ctx.m_pStaticTexts.size());
  ctx.m_pStaticTexts.push_back(std::move(out));
  RegisterPlacedCharacter(ctx, t.id, kElementStaticText, row);
  return true;
}

// The font questions' default answer is Yes: taken when nobody can be asked.
bool Ask(ConverterContext& ctx, const char* kind, const std::string& text) {
  return AskQuestion(ctx, kind, kCaption, text, true);
}

// A dummy is a symbol of its own for a tag of nine bytes: a movie gets as
// many as it may have static texts as text fields.
void DummyShape(ConverterContext& ctx, uint16_t code, uint16_t id, uint64_t tagOffset) {
  if (ctx.m_nDummyShapes >= kMaxStaticTexts) {
    if (!ctx.m_bDummyShapesFull) {
      ctx.m_bDummyShapesFull = true;
      ReportSkipped(ctx, kAlwaysShown, code, id,
                    "the movie has no font, and a document gets at most " + std::to_string(kMaxStaticTexts) +
                        " dummy shapes for its texts.");
    }
    return;
  }
  char text[160];
  std::snprintf(text, sizeof text,
                "Missing font at byte x%llx... unable to recover textentry. \nDo you want a dummy instead?",
                static_cast<unsigned long long>(tagOffset));
  if (!Ask(ctx, "static texts without a font", text)) return;
  ctx.m_pStreamItemNo[ctx.m_nStreams] = DefinitionItemNo(ctx, id);
  if (ctx.m_pShell) ctx.m_pShell->SetCurrentAction("adding dummy shape...");
  ctx.m_bShapesOn = On(ctx.m_pOptShape) ? 1 : 0;
  g_shortLayerEndLead = 0;
  if (ConvertShapeTag(ctx, 2000, kDummyShape)) {
    ++ctx.m_nDummyShapes;
    RegisterPlacedCharacter(ctx, id, kElementSymbol, ctx.m_nStreams);
    CommitSymbolStream(ctx, 0);
  }
}

bool AskRescueAsShapes(ConverterContext& ctx, const TextFonts& fonts) {
  std::string names;
  size_t missing = 0;
  for (size_t row : fonts.used) {
    const FontRecord& f = ctx.m_library.fonts[row];
    if (f.installed) continue;
    if (missing++) names += ", ";
    names += EscapeName(f.name);
  }
  const std::string text = std::string(missing == 1 ? "A static text uses the missing font "
                                                     : "A static text uses the missing fonts ") +
                           names + ".\nDo you want to rescue the text as shapes?";
  return Ask(ctx, "static texts in missing fonts", text);
}

}  // namespace

std::array<uint8_t, 8> EmptySpriteBody(uint16_t id) {
  return {uint8_t(id), uint8_t(id >> 8), 0x01, 0x00, 0x40, 0x00, 0x00, 0x00};
}

StaticTextOutcome HandleStaticText(ConverterContext& ctx, uint16_t code,
                                   std::span<const uint8_t> body, uint64_t tagOffset) {
  if ((code != 11 && code != 33) || body.size() < 2 || ctx.m_pStaticTexts.size() >= kMaxStaticTexts ||
      !ctx.m_pWorkFolder || ctx.m_nWriterError)
    return StaticTextOutcome::kDone;
  const uint16_t id = uint16_t(body[0] | body[1] << 8);
  if (ctx.m_pShell) ctx.m_pShell->SetCurrentAction("adding static text...");
  if (On(ctx.m_pOptTextJsflImport)) {
    const ImportRoad road = ConvertForJsflImport(ctx, code, body, id);
    if (road == ImportRoad::kFailed && !ctx.m_nWriterError)
      ReportSkipped(ctx, "static texts whose page could not be written", code, id, "its page could not be written.");
    if (road != ImportRoad::kNoMovie && road != ImportRoad::kOverBudget) return StaticTextOutcome::kDone;
    // A text whose movie cannot be written, or would copy more than the
    // movie's budget allows (named then already), takes the road it takes
    // with the option off rather than vanish.
    if (road == ImportRoad::kNoMovie)
      ShowWarning(ctx, "static texts without their movie for the script", kCaption,
                  TagName(code) + " " + std::to_string(id) +
                      ": its movie for the script could not be written; it is converted "
                      "as with \"Convert Using JSFL Import\" off.");
  }
  if (ctx.m_library.fonts.empty()) {
    DummyShape(ctx, code, id, tagOffset);
    return StaticTextOutcome::kDone;
  }
  const size_t extra = std::min<size_t>(body.size(), ctx.m_nStaticTextExtraBytes);
  const ParsedText text = ParseText(code, body.first(body.size() - extra), ctx.m_budget.glyphReferences);
  if (text.overBudget && ctx.m_budget.glyphReferences.FirstRefusal() && ctx.m_pShell)
    ctx.m_pShell->ShowMessage(kCaption, TagName(code) + " " + std::to_string(id) +
                                            " is cut short: " + MoreThanTheMovieHolds(ctx.m_budget, "glyphs") +
                                            "; the first " +
                                            std::to_string(text.glyphs) + " glyphs are kept.");
  const TextFonts fonts = FirstPass(ctx, text);
  if (fonts.missing) return StaticTextOutcome::kAsSprite;
  if (text.cut)
    ShowWarning(ctx, "static texts cut short", kCaption,
                TagName(code) + " " + std::to_string(id) + " is cut short: the part inside the tag is kept.");

  bool shapes = !On(ctx.m_pOptTextToTextfields);
  if (shapes && On(ctx.m_pOptAskMissingFonts) && !fonts.allInstalled) shapes = AskRescueAsShapes(ctx, fonts);
  if (!shapes) return ConvertToTextRecord(ctx, text) ? StaticTextOutcome::kDone : StaticTextOutcome::kAsSprite;
  ConvertToGlyphInstances(ctx, code, text, fonts);
  return StaticTextOutcome::kDone;
}

// The page in m_pPageStream (frame head and glyph instances written) is
// closed and placed as the stream of the row kept for it.
void PlaceStaticTextPage(ConverterContext& cv) {
  std::FILE* page = cv.m_pPageStream;
  if (!page || cv.m_nWriterError) return;
  const uint8_t level = cv.m_nFlaFormat;
  PutU8(page, 0);  // end of the frame's elements
  g_shortLayerEndLead = 0;
  if (IsNewFlaFormat(level)) {
    WriteSingleFrameNew(page);
    WriteLayerTailNew(page, "Layer 1", true, false, false, 0, 0);
    WriteLayerEndNew(page, 2);
  } else {
    WriteSingleFrameOld(page);
    WriteLayerTailOld(page, "Layer 1", true, false, false, 0, 0);
    WriteLayerEndOld(page, 2);
  }
  std::vector<uint8_t> bytes;
  if (std::ferror(page) || !ReadWholeFile(page, bytes) || bytes.size() > 0xFFFFFFFFu) {
    NoteWriterFailure(cv, kResultOutputIncomplete);
    return;
  }
  const uint32_t row = cv.m_nStaticTextRow;
  const uint32_t size = uint32_t(bytes.size());
  StreamPlacement where;
  if (!AppendStreamData(cv, bytes, where)) return;
  cv.m_pStreamSize[row] = size;
  cv.m_pStreamStart[row] = where.start;
  if (!WriteSymbolDirEntry(cv, 0, size, where.start)) return;
  cv.m_pBigStreamList[cv.m_nBigStreamList++] = where.regular ? row + kSymbolStreamTag : 0;
  cv.m_pStreamId[row] = cv.m_wCurSymbolId;
  cv.m_pStreamFlagA[row] = 0;
  cv.m_pStreamFlagB[row] = 0;
  ++cv.m_wCurSymbolId;
  ++cv.m_nSymbolStreams;
}

void WriteStaticTextPublishGroups(ContentsStream& contents, uint8_t level, const SwfRect& frame) {
  const std::string width = std::to_string(frame.xmax / 20);
  const PublishPropertyPair group155[] = {
      {"PublishFormatProperties::rnwkDefaultName", "1"},
      {"PublishFormatProperties::jpegDefaultName", "1"},
      {"PublishFormatProperties::gif", "0"},
      {"PublishGifProperties::Loop", "1"},
      {"PublishGifProperties::Width", width},
      {"PublishRNWKProperties::mediaKeywords", ""},
      {"PublishRNWKProperties::mediaTitle", ""},
      {"PublishRNWKProperties::speed28K", "1"},
  };
  const PublishPropertyPair group220[] = {
      {"PublishQTProperties::Width", width},
      {"PublishPNGProperties::OptimizeColors", "1"},
      {"PublishRNWKProperties::speedSingleISDN", "0"},
      {"PublishRNWKProperties::singleRateAudio", "0"},
      {"Vector::External Player", ""},
      {"PublishHtmlProperties::showTagWarnMsg", "1"},
      {"PublishHtmlProperties::Units", "0"},
  };
  const PublishPropertyPair group3[] = {
      {"PublishHtmlProperties::Scale", "0"},
      {"PublishFormatProperties::projectorWinDefaultName", "1"},
      {"PublishQTProperties::Looping", "0"},
      {"PublishQTProperties::UseQTSoundCompression", "0"},
      {"PublishPNGProperties::PaletteName", ""},
      {"PublishPNGProperties::Transparent", "0"},
  };
  const PublishPropertyPair group17[] = {
      {"PublishFormatProperties::htmlDefaultName", "1"},
      {"PublishFormatProperties::rnwk", "0"},
      {"PublishFormatProperties::png", "0"},
  };
  WritePublishPropertyGroup(contents, level, group155);
  WritePublishPropertyGroup(contents, level, group220);
  WritePublishPropertyGroup(contents, level, group3);
  WritePublishPropertyGroup(contents, level, group17);
}

}  // namespace tovrani
