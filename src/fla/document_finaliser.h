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
#include <vector>

#include "fla/contents_stream.h"

namespace tovrani {

struct FlaContext;

// What the converters of a movie leave for the library besides the stream
// tables and the linkage records of the context.
struct DocumentLibrary {
  struct Font {
    bool glyphsPlaced = false;  // its glyphs are symbol streams
    bool nameKnown = false;
    std::string name;
    uint16_t firstItemNo = 0, lastItemNo = 0;  // of its glyph symbols
    uint32_t folderId = 0;                     // set here, 0 until created
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
    // count); written in place of format and count.
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
  std::vector<Sound> sounds;
  std::vector<Video> videos;
  // The font-layout text and its attribute statements for the script.
  std::string jsflPendingText, jsflFontAttrs;
  // Further publish pairs written inside the publish-settings chunk.
  std::function<void(ContentsStream&, uint8_t level)> morePublishGroups;
};

// Appends the library part to g_contents and the script pieces to
// ctx.m_strJsflPath. folderIds receives the counters of the folders' item
// ids in creation order; word is set to 0. Returns 0, or kResultTooManyItems (with
// nothing written) when the library's classes would not fit their reference
// words.
uint32_t FinishDocument(FlaContext& ctx, DocumentLibrary& library,
                        std::vector<uint32_t>& folderIds, uint32_t& word);

// The mobile-settings text of level-2 documents (176 characters).
extern const char kMobileSettingsXml[];

}  // namespace tovrani
