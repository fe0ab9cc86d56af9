// Publish settings of the Contents stream: key/value pairs such as
// "PublishHtmlProperties::Quality" = "4", written in groups.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "fla/contents_stream.h"

namespace tovrani {

struct PublishPropertyPair {
  std::string_view key;    // ASCII, at most 64 characters
  std::string_view value;  // UTF-8
};

// One pair: key and value each as length and text. From format level 1 on
// the texts are UTF-16 and each is followed by the marker of the next string
// (a pair has no marker in front of its key: that one ends the item before
// it); level 0 documents hold the pairs as ANSI strings without markers.
// Values of 255 characters or more take the long length form.
void WritePublishPropertyPair(ContentsStream& contents, uint8_t level, const PublishPropertyPair& pair);
void WritePublishPropertyGroup(ContentsStream& contents, uint8_t level,
                               std::span<const PublishPropertyPair> pairs);

// The pairs "PublishFormatProperties::projectorWin" = "0" and
// "PublishFormatProperties::defaultNames" = "1", which end the pair list:
// in place of the last marker u32 -1, two empty strings and u16 1.
void WritePublishGroupA(ContentsStream& contents, uint8_t level);

// Four pairs: UsingDefaultAlternateFilename, Smooth, mediaCopyright,
// flashBitRate.
void WritePublishGroupB(ContentsStream& contents, uint8_t level);

struct PublishChunkInput {
  uint8_t level = 0;
  // The library part written before the chunk (they place the palette's
  // class in the stream's object map).
  uint32_t streams = 0, bitmaps = 0, sounds = 0, videos = 0;
  // Further pair groups of the conversion, written among the chunk's pairs
  // before the group that ends the list. May be empty.
  std::function<void(ContentsStream&, uint8_t level)> writeMoreGroups;
};

// The publish-settings chunk that follows the document properties: the pair
// list (u16 its count, group B, the further groups, group A with the list's
// end), then the palette with its class head. Returns false, writing nothing, when the
// palette's class index would not fit its reference word.
[[nodiscard]] bool WritePublishSettingsChunk(ContentsStream& contents, const PublishChunkInput& input);

}  // namespace tovrani
