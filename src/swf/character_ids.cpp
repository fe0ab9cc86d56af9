#include "swf/character_ids.h"

#include <algorithm>

#include "swf/place_object.h"
#include "swf/swf_reader.h"
#include "swf/swf_values.h"
#include "swf/tag_statistics.h"

namespace tovrani {

namespace {

enum : uint16_t {
  kTagDefineButton = 7,
  kTagDefineFontInfo = 13,
  kTagStartSound = 15,
  kTagDefineButtonCxform = 23,
  kTagDefineButton2 = 34,
  kTagExportAssets = 56,
  kTagVideoFrame = 61,
  kTagDefineFontInfo2 = 62,
  kTagDefineFontAlignZones = 73,
  kTagCsmTextSettings = 74,
  kTagSymbolClass = 76,
  kTagDefineScalingGrid = 78,
  kTagDefineFontName = 88,
};

// Tags whose body starts with the id of the character they name.
bool LeadsWithId(uint16_t code) {
  switch (code) {
    case kTagPlaceObject: case kTagRemoveObject: case kTagDefineFontInfo: case kTagStartSound:
    case kTagDefineButtonCxform: case kTagDoInitAction: case kTagVideoFrame: case kTagDefineFontInfo2:
    case kTagDefineFontAlignZones: case kTagCsmTextSettings: case kTagDefineScalingGrid: case kTagDefineFontName:
      return true;
    default:
      return false;
  }
}

void Note(CharacterIds& ids, uint16_t id) { ids.used.set(id); }

// A u16 count, then that many ids each followed by a name.
void NoteIdNameList(SwfReader& r, CharacterIds& ids) {
  for (uint16_t count = r.u16(); count && r.ok() && r.has(2); --count) {
    Note(ids, r.u16());
    r.cstring();
  }
}

// The records up to the end flag; a record with a filter list ends the walk,
// since the list's length is not read here.
void NoteButtonRecords(SwfReader& r, bool two, CharacterIds& ids) {
  constexpr uint8_t kHasFilterList = 0x10, kHasBlendMode = 0x20;
  while (r.ok() && r.has(3)) {
    const uint8_t flags = r.u8();
    if (flags == 0) return;
    Note(ids, r.u16());
    r.u16();  // depth
    SwfMatrix m;
    ReadSwfMatrix(r, m);
    if (!two) continue;
    SwfCxform c;
    ReadSwfCxform(r, c);
    if (flags & kHasFilterList) return;
    if (flags & kHasBlendMode) r.u8();
  }
}

// DefineButtonSound: the button, then four sounds, each with its sound
// information when it names one.
void NoteButtonSounds(SwfReader& r, CharacterIds& ids) {
  Note(ids, r.u16());
  for (int state = 0; state < 4 && r.ok() && r.has(2); ++state) {
    const uint16_t sound = r.u16();
    if (sound == 0) continue;
    Note(ids, sound);
    const uint8_t flags = r.u8();
    if (flags & 0x01) r.skip(4);  // in point
    if (flags & 0x02) r.skip(4);  // out point
    if (flags & 0x04) r.skip(2);  // loops
    if (flags & 0x08) r.skip(uint64_t(r.u8()) * 8);  // envelope points
  }
}

}  // namespace

uint64_t CharacterIdBytes(uint16_t code) {
  switch (code) {
    case kTagPlaceObject2: case kTagPlaceObject3: case kTagDefineButtonSound: case kTagExportAssets:
    case kTagImportAssets: case kTagImportAssets2: case kTagSymbolClass: case kTagDefineButton:
    case kTagDefineButton2: case kTagDefineSprite:
      return UINT64_MAX;
    default:
      return DefinesCharacter(code) || LeadsWithId(code) ? 2 : 0;
  }
}

void NoteCharacterIds(uint16_t code, std::span<const uint8_t> body, CharacterIds& ids) {
  SwfReader r(body);
  if (DefinesCharacter(code) && body.size() >= 2) {
    const uint16_t id = r.u16();
    Note(ids, id);
    ids.highestDefined = std::max(ids.highestDefined, id);
    if (code == kTagDefineButton) NoteButtonRecords(r, false, ids);
    if (code == kTagDefineButton2 && r.skip(3)) NoteButtonRecords(r, true, ids);
    return;
  }
  if (LeadsWithId(code)) {
    if (body.size() >= 2) Note(ids, r.u16());
    return;
  }
  switch (code) {
    case kTagPlaceObject2:
    case kTagPlaceObject3:
      if (DisplayListTag tag; ParseDisplayListTag(code, body, tag) && tag.hasCharacter) Note(ids, tag.characterId);
      break;
    case kTagDefineButtonSound:
      if (body.size() >= 2) NoteButtonSounds(r, ids);
      break;
    case kTagExportAssets:
    case kTagSymbolClass:
      NoteIdNameList(r, ids);
      break;
    case kTagImportAssets:
    case kTagImportAssets2:
      for (uint16_t id : ImportedIds(code, body)) Note(ids, id);
      break;
    default:
      break;
  }
}

}  // namespace tovrani
