// The small movies the JSFL script imports into placeholder symbols: an
// uncompressed movie of one frame that places one definition once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "swf/swf_values.h"

namespace tovrani {

// An uncompressed movie header ("FWS", version, length 0 until the movie is
// written, frame rectangle, frame rate, one frame).
std::vector<uint8_t> ImportMovieHeader(uint8_t version, const SwfRect& frame, uint16_t frameRate);

// The movie: `head` (a header from ImportMovieHeader, possibly followed by
// the definitions the tag relies on), the tag with a long header and its
// body, a PlaceObject2 of `characterId` at depth 1 with an empty matrix (and
// `ratio` when given: the import shows a morph shape at that ratio as a
// plain shape), ShowFrame and End; the header's length field gets the
// movie's length. None when the movie would not fit a 32-bit length.
std::optional<std::vector<uint8_t>> BuildImportMovie(std::span<const uint8_t> head, uint16_t code,
                                                     std::span<const uint8_t> body, uint16_t characterId,
                                                     std::optional<uint16_t> ratio = std::nullopt);
// The same with the length the tag's header gives apart from the body: a
// text tag carries the tag attached to it behind its own body.
std::optional<std::vector<uint8_t>> BuildImportMovie(std::span<const uint8_t> head, uint16_t code,
                                                     std::span<const uint8_t> body, uint16_t characterId,
                                                     uint32_t tagLength, std::optional<uint16_t> ratio = std::nullopt);

// What the user learns of the first shape or text (`element`, its tag and
// character id) whose movies for the script would copy more bitmap and font
// bytes (`bytes`, all its movies together) than the movie's budget has
// left, and the road (`road`) it takes instead.
std::string RefusedCopiesText(const std::string& element, bool twoMovies, uint64_t bytes, std::string_view road);

// The page of a symbol the script fills by importing a small movie: one
// layer with one empty keyframe. With `oldWriters` the page keeps the old
// head and records at every format level.
bool WritePlaceholderPage(std::FILE* page, uint8_t level, std::string_view layerName, bool oldWriters);

}  // namespace tovrani
