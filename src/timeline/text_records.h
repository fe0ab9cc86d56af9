// The text records the conversion driver fills for edit texts, static texts
// and fonts, as the text-object writer reads them. Texts are UTF-8; run
// positions and lengths count UTF-16 code units of the decoded text.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tovrani {

// One style run of an edit text's HTML markup.
struct EditTextRun {
  uint8_t styleA = 0, styleB = 0;  // bold, italic
  uint32_t start = 0;              // into initialText
  int32_t length = 0;
  uint32_t color = 0;       // 0 none
  int32_t height = -1;      // twips; negative none
  std::string fontName;     // empty none
};

// One DefineEditText.
struct EditTextRecord {
  uint16_t characterId = 0;
  int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;  // bounds, twips
  uint32_t textFlags = 0;
  uint32_t runCount = 0;  // HTML runs in use (at most runs.size())
  uint16_t swfFlags = 0;  // 0x20: the field has layout values
  uint16_t fontId = 0, fontHeight = 0;
  uint32_t color = 0;
  uint16_t maxLength = 0;
  uint16_t align = 1000;  // 1000 without layout
  uint16_t leftMargin = 0, rightMargin = 0, indent = 0, leading = 0;
  std::array<uint8_t, 6> optionBytes{};
  uint8_t optionsOn = 0;
  std::string variableName, initialText, url, target;
  std::vector<EditTextRun> runs;
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
  int32_t xMin = 0, xMax = 0, yMax = 0;
  int32_t originX = 0;
  uint32_t centred = 0;
  int32_t centredWidth = 0;
  uint16_t layoutWord = 0;
  std::array<uint8_t, 6> optionBytes{};
  uint8_t optionsOn = 0;
  std::vector<StaticTextRun> runs;

  int32_t lastRun() const { return int32_t(runs.size()) - 1; }
};

// One font of the movie.
struct FontRecord {
  uint16_t id = 0;
  uint8_t styleA = 0, styleB = 0;  // bold, italic
  uint8_t hasName = 0;
  uint32_t fontKind = 0;
  uint8_t nameFlag = 0;
  std::string name;
};

}  // namespace tovrani
