// The library part of the Contents stream, written once when the tag loop
// has ended: a document page per symbol stream (each in its library folder),
// the bitmap, sound and video media items, the folder list, the document
// properties with the publish-settings chunk, and at format level 2 the
// QuickTime sound settings and the mobile settings. Symbols rebuilt by the
// script (morph shapes, static texts, shapes imported from small movies) get
// their script pieces on the way.
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
  struct Bitmap {
    uint16_t mediaNo = 0, itemNo = 0;
    bool propFlag = false;
    bool hasValue = false;
    uint32_t value = 0;
  };
  struct Sound {
    uint16_t mediaNo = 0, itemNo = 0;
    uint8_t format = 0;  // the SWF sound format byte
    uint32_t sampleCount = 0;
    std::optional<std::array<uint8_t, 21>> mp3Data;  // sounds that went the MP3 way
  };
  struct Video {
    uint16_t itemNo = 0, flag = 0, mediaNo = 0;
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
// ctx.m_strJsflPath. folderIds receives the library ids of the folders in
// creation order; word is set to 0. Returns 0, or kResultTooManyItems (with
// nothing written) when the library's classes would not fit their reference
// words.
uint32_t FinishDocument(FlaContext& ctx, DocumentLibrary& library,
                        std::vector<uint32_t>& folderIds, uint32_t& word);

// The mobile-settings text of level-2 documents (176 characters).
extern const char kMobileSettingsXml[];

}  // namespace tovrani
