#include "fla/publish_properties.h"

#include <algorithm>

#include "fla/document_page.h"

namespace tovrani {
namespace {

void PutKeyAndValue(ContentsStream& s, uint8_t level, const PublishPropertyPair& pair) {
  s.CountPair();
  s.PutString(pair.key, level);
  if (level >= 1) s.PutMarker();
  s.PutString(pair.value, level);
}

}  // namespace

void WritePublishPropertyPair(ContentsStream& s, uint8_t level, const PublishPropertyPair& pair) {
  PutKeyAndValue(s, level, pair);
  if (level >= 1) s.PutMarker();
}

void WritePublishPropertyGroup(ContentsStream& s, uint8_t level, std::span<const PublishPropertyPair> pairs) {
  for (const PublishPropertyPair& p : pairs) WritePublishPropertyPair(s, level, p);
}

void WritePublishGroupA(ContentsStream& s, uint8_t level) {
  WritePublishPropertyPair(s, level, {"PublishFormatProperties::projectorWin", "0"});
  PutKeyAndValue(s, level, {"PublishFormatProperties::defaultNames", "1"});
  s.PutU32(0xFFFFFFFF);
  if (level >= 1) {
    s.PutEmptyStrings(2);
  } else {
    s.PutU8(0);
    s.PutU8(0);
  }
  s.PutU16(1);
}

void WritePublishGroupB(ContentsStream& s, uint8_t level) {
  static constexpr PublishPropertyPair kPairs[] = {
      {"PublishHtmlProperties::UsingDefaultAlternateFilename", "1"},
      {"PublishGifProperties::Smooth", "1"},
      {"PublishRNWKProperties::mediaCopyright", "(c) 2005"},
      {"PublishRNWKProperties::flashBitRate", "1200"},
  };
  WritePublishPropertyGroup(s, level, kPairs);
}

bool WritePublishSettingsChunk(ContentsStream& s, const PublishChunkInput& in) {
  if (!ColorDefIndexFits(in.streams, in.bitmaps, in.sounds, in.videos)) return false;
  // The list's count comes first; it is known once the groups are written.
  const size_t countAt = s.Length();
  const uint32_t before = s.PairCount();
  s.PutU16(0);
  // The record before the chunk ends without a marker; the first key's
  // marker opens the list.
  if (in.level >= 1) s.PutMarker();
  WritePublishGroupB(s, in.level);
  if (in.writeMoreGroups) in.writeMoreGroups(s, in.level);
  WritePublishGroupA(s, in.level);
  const uint32_t count = std::min<uint32_t>(s.PairCount() - before, 0xFFFF);
  s.SetByte(countAt, uint8_t(count));
  s.SetByte(countAt + 1, uint8_t(count >> 8));

  // The palette's head as the authoring tool writes it: u32 0, the u16 count
  // of solid swatch objects (the class head's own and the 251 after it),
  // then CColorDef with schema 0.
  s.PutU32(0);
  s.PutU16(252);
  s.PutU16(0xFFFF);
  s.PutU16(kColorDefSchema);
  return WriteColorDefs(s, in.level, in.streams, in.bitmaps, in.sounds, in.videos);
}

}  // namespace tovrani
