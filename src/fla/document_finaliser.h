// The library part of the Contents stream, written once when the tag loop
// has ended: a document page per symbol stream (each in its library folder),
// the bitmap, sound and video media items, the document properties with the
// publish-settings chunk, the folder list, the QuickTime sound settings and
// the view settings (with the mobile settings at format level 2). Every
// page, item and folder carries an item id (ItemId, fla/document_page.h).
// Symbols rebuilt by the script (morph shapes, static texts, shapes imported
// from small movies) get their script pieces on the way.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "fla/contents_stream.h"
#include "fla/glyph_shape.h"

namespace tovrani {

struct FlaContext;

// What the converters of a movie leave for the library besides the stream
// tables and the linkage records of the context.
struct DocumentLibrary {
  // One font of the movie, as the font tags leave it.
  struct Font {
    uint16_t id = 0;
    // DefineFont2/3 flag byte in the high byte (0x8000 layout, 0x0800 wide
    // offsets, 0x0400 wide codes); a DefineFontInfo flag byte in the low byte.
    uint16_t flags = 0;
    uint8_t styleA = 0, styleB = 0;  // bold, italic
    uint8_t infoFlag = 0;            // name and codes came from DefineFontInfo/2
    bool nameKnown = false;
    bool installed = false;
    bool glyphsPlaced = false;  // its glyphs are symbol streams
    uint32_t staticTextWord = 0;
    uint32_t fontKind = 0;      // body length of its DefineFontAlignZones, 0 when none
    uint8_t definingTag = 0;    // 10, 48 or 75 (75: units twenty times finer)
    uint8_t nameFlag = 0;       // a "_NNpt_st" size suffix was cut off the name
    std::string name;           // UTF-8
    // Full 16-bit code per glyph index. Its length (the glyph count) and the
    // glyph array's length are apart: DefineFontInfo replaces the codes of a
    // font whose glyphs its font tag gave.
    std::vector<uint16_t> codes;
    std::vector<GlyphShape> glyphs;
    uint16_t firstItemNo = 0, lastItemNo = 0;  // of its first and last glyph symbols
    uint32_t folderId = 0;                     // set here, 0 until created
    uint16_t glyphCount() const { return uint16_t(codes.size()); }
    // Whether a glyph index has both a code and an outline.
    bool HasGlyph(size_t index) const { return index < codes.size() && index < glyphs.size(); }
  };
  struct Morph {
    uint16_t startItemNo = 0, endItemNo = 0;  // the two element symbols
    std::vector<uint16_t> symbolItemNos;      // symbols that show the morph
    std::vector<int16_t> easings;             // parallel to symbolItemNos
  };
  // Media rows, one per item in media-stream order. mediaNo is the N of the
  // item's "Media N" stream (its name, and the document properties count
  // the streams by the highest N); itemNo is the library item number the
  // pages' instances use.
  struct Bitmap {
    uint16_t mediaNo = 0, itemNo = 0;
    bool propFlag = false;  // property word 0x01320103 (else 0x01320003, level 2: 0x00320003)
    bool hasValue = false;  // the item's last word is value (else 0)
    uint32_t value = 0;
  };
  struct Sound {
    uint16_t mediaNo = 0, itemNo = 0;
    uint8_t format = 0;        // the document's sound format byte (its low two bits divide the count)
    uint32_t sampleCount = 0;  // the media stream's length in bytes
    // The record of a sound that went the MP3 way, from its format byte on
    // (format, 0, sample count, 1, 0, 7, 0, data length, 1, stereo, 0, peak
    // count); written in place of format, count and settings.
    std::optional<std::array<uint8_t, 21>> mp3Data;
  };
  struct Video {
    uint16_t itemNo = 0;
    uint16_t flag = 0;  // not written: every item's source path is empty
    uint16_t mediaNo = 0;
  };
  std::vector<Font> fonts;
  std::vector<Morph> morphs;
  std::vector<Bitmap> bitmaps;
  // The item numbers of `bitmaps`, for the fills that name them.
  std::unordered_set<uint16_t> bitmapItemNos;
  std::vector<Sound> sounds;
  std::vector<Video> videos;
  // The font-layout text and its attribute statements for the script.
  std::string jsflPendingText, jsflFontAttrs;
  // Further publish pairs written inside the publish-settings chunk.
  std::function<void(ContentsStream&, uint8_t level)> morePublishGroups;
};
using FontRecord = DocumentLibrary::Font;

// Appends the library part to g_contents and the script pieces to
// ctx.m_strJsflPath. folderIds receives the counters of the folders' item
// ids in creation order; word is set to 0. Returns 0, or kResultTooManyItems (with
// nothing written) when the library's classes would not fit their reference
// words, or kResultDocumentTooLarge when the conversion's write bound was
// crossed (the items stop there).
uint32_t FinishDocument(FlaContext& ctx, DocumentLibrary& library,
                        std::vector<uint32_t>& folderIds, uint32_t& word);

// The mobile-settings text of level-2 documents (176 characters).
extern const char kMobileSettingsXml[];

}  // namespace tovrani
