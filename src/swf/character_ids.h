// The character ids a movie uses: those its definition tags define and those
// its other tags name (placements, sounds started, button records and
// sounds, exports and imports, and the tags that add to a defined character).
// The document numbers its library items by character id, so a number the
// converters hand out for an item of their own must be none of these.
#pragma once

#include <bitset>
#include <cstdint>
#include <span>

namespace tovrani {

struct CharacterIds {
  uint16_t highestDefined = 0;  // the highest id a definition tag defines, 0 when none
  std::bitset<65536> used;      // every id defined or named
};

// How many bytes of a tag's body NoteCharacterIds reads: 0 for a tag that
// defines and names no character, 2 where the id leads the body, and
// UINT64_MAX where ids lie further in (a sprite's own tags are the caller's
// to walk).
uint64_t CharacterIdBytes(uint16_t code);

// Notes the ids a tag body defines or names. A body cut short gives the ids
// read before the cut. Not read: the fonts a text's records name (a font is
// no library item), the bitmaps a shape's fills name (finding them means
// decoding every shape's styles), and a button record's
// character after a filter list, whose length is not read here (a button
// shows only characters the movie defines).
void NoteCharacterIds(uint16_t code, std::span<const uint8_t> body, CharacterIds& ids);

}  // namespace tovrani
