// The two fixed records of the Contents stream: the document page that opens
// it (page "Page 1" of scene "Scene 1") and the palette of swatches that
// closes the document part.
#pragma once

#include <cstdint>
#include <string_view>

#include "fla/contents_stream.h"

namespace tovrani {

// The id the authoring tool gives every library item, folder and page: a
// time stamp and a counter, unique in the document. (0, 0) names no item
// (the library root as a parent).
struct ItemId {
  uint32_t stamp = 0, counter = 0;
};
// One stamp for the whole document, so that a movie converts to the same
// bytes every time (2006-01-01 00:00 UTC).
constexpr uint32_t kItemIdStamp = 0x43B71B80;
// The main page takes the first counter; the library's items and folders
// follow it.
constexpr ItemId kMainPageId{kItemIdStamp, 1};

// The fields of a CDocumentPage record that differ between pages, up to its
// linkage record: page (or symbol) name, scene (or item) name, library item
// number, kind byte (0 graphic, 1 button, 2 movie clip) and the two ids.
struct PageHead {
  std::string_view name, itemName;
  uint16_t itemNo = 0;
  uint8_t kind = 0;
  ItemId parent, own;
};
// After the class tag or reference and the version byte: the head's fields.
void WritePageHead(ContentsStream& contents, uint8_t level, const PageHead& head);
// The linkage record of an item without linkage.
void WriteNoLinkage(ContentsStream& contents, uint8_t level);
// After the linkage record: the name again and the fixed rest of the page
// record (the main page's and a symbol page's alike).
void WritePageTail(ContentsStream& contents, uint8_t level, std::string_view name);

// Restarts the stream and writes the lead bytes and the CDocumentPage record
// of the format level (any level above 2 behaves as 2).
void WriteDocumentPage(ContentsStream& contents, uint8_t level);

// The schema the authoring tool gives the CColorDef class: every document it
// saves introduces the class as FF FF 00 00 09 00 "CColorDef".
constexpr uint16_t kColorDefSchema = 0;

// Hue, luminance and saturation of a swatch on the 0-240 scale.
struct SwatchHls {
  uint16_t hue = 0;
  uint16_t saturation = 0;
  uint8_t luminance = 0;
};
SwatchHls RgbToSwatchHls(uint8_t r, uint8_t g, uint8_t b);

// The palette, from the class name's length on (the caller has written FF FF
// and the schema): 251 solid and 7 gradient swatches and the closing words.
// The four counts are the library's symbol streams, bitmaps, sounds and
// videos; they place CColorDef in the stream's object map. Returns false,
// writing nothing, when that index would not fit a class reference word.
// Whether CColorDef's index in the object map still fits a class reference.
bool ColorDefIndexFits(uint32_t streams, uint32_t bitmaps, uint32_t sounds, uint32_t videos);
[[nodiscard]] bool WriteColorDefs(ContentsStream& contents, uint8_t level, uint32_t streams,
                                  uint32_t bitmaps, uint32_t sounds, uint32_t videos);

}  // namespace tovrani
