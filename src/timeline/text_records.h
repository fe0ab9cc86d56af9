// The edit and static texts of a movie as their handlers leave them for the
// text-object writer. Texts are UTF-8; run positions and lengths count UTF-16
// code units of the text.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "swf/swf_values.h"

namespace tovrani {

// A font name, link or target in a style run of a text object holds at
// most this many UTF-16 code units: its count is one byte.
inline constexpr size_t kMaxStyleStringUnits = 254;

// What the text-object writer measures of a text's runs, once a format
// level, to charge a placement before writing it: the bytes its chunks write
// but for the font names the placement's fonts decide, how many chunks
// write such a name, and, for a static text, each run's chunks and those of
// them shorter than a whole chunk (where a line break may follow).
struct TextRunsMeasure {
  bool measured = false;
  bool isNew = false;
  uint64_t bytes = 0;
  uint64_t fontNamedChunks = 0;
  struct Chunks {
    uint32_t all = 0, partial = 0;
  };
  std::vector<Chunks> runs;
};

// One style run of an edit text.
struct TextStyleRun {
  uint8_t fontRun = 0;  // working flag of the run builder: an open FONT run
  uint8_t styleA = 0, styleB = 0;  // bold, italic
  uint32_t start = 0, length = 0;
  uint32_t color = 0;   // R | G << 8 | B << 16 | A << 24; 0 when none was given
  int32_t height = -1;  // font size in twips; -1 when none was given
  std::string fontName;  // empty when none was given
};
using EditTextRun = TextStyleRun;

// Bits of EditTextRecord::textFlags.
enum : uint32_t {
  kEditTextAlways = 0x0001,
  kEditTextReadOnly = 0x0002,
  kEditTextWordWrap = 0x0008,
  kEditTextBorder = 0x0040,
  kEditTextEmpty = 0x4000,
  kEditTextHtml = 0x8000,
  // Not verified against the authoring tool: chosen from the SWF flags
  // they come from; the large text areas of saved documents carry 0x0010.
  kEditTextPassword = 0x0004,
  kEditTextMultiline = 0x0010,
  kEditTextNoSelect = 0x0080,
  kEditTextNotDeviceFont = 0x0100,
};

// Alignment of a field without layout block.
inline constexpr uint16_t kEditTextNoLayout = 1000;

struct EditTextRecord {
  uint16_t characterId = 0;
  SwfRect bounds;
  uint32_t textFlags = kEditTextAlways;
  uint16_t swfFlags = 0;  // first flag byte high, second low
  uint16_t fontId = 0, fontHeight = 0;
  uint32_t color = 0;  // R | G << 8 | B << 16 | A << 24
  uint16_t maxLength = 0;
  uint16_t align = kEditTextNoLayout;
  uint16_t leftMargin = 0, rightMargin = 0, indent = 0, leading = 0;
  // The timeline state: six CSMTextSettings bytes and whether they were set.
  std::array<uint8_t, 6> optionBytes{};
  uint8_t optionsOn = 0;
  std::string variableName, initialText, url, target;
  std::vector<TextStyleRun> runs;
  uint32_t runCount() const { return uint32_t(runs.size()); }
  mutable TextRunsMeasure runsMeasure;  // the writer's, made at its first placement
};

// One glyph run (a line piece) of a static text.
struct StaticTextRun {
  uint16_t fontId = 0;
  uint16_t height = 0;
  uint8_t align = 0;  // 0 left, 1 right, 2 centre
  uint32_t color = 0;
  int32_t y = 0, x = 0, width = 0;  // twips
  std::string text;
};

// One DefineText or DefineText2.
struct StaticTextRecord {
  uint16_t characterId = 0;
  int32_t xMin = 0, xMax = 0, yMax = 0;
  int32_t originX = 0;
  uint32_t centred = 0;
  int32_t centredWidth = 0;
  uint16_t layoutWord = 0;
  std::array<uint8_t, 6> optionBytes{};
  uint8_t optionsOn = 0;
  std::vector<StaticTextRun> runs;
  mutable TextRunsMeasure runsMeasure;  // the writer's, made at its first placement

  int32_t lastRun() const { return int32_t(runs.size()) - 1; }
};

}  // namespace tovrani
