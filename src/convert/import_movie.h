// The small movies the JSFL script imports into placeholder symbols: an
// uncompressed movie of one frame that places one definition once.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "swf/swf_values.h"

namespace tovrani {

// An uncompressed movie header ("FWS", version, length 0 until the movie is
// written, frame rectangle, frame rate, one frame).
std::vector<uint8_t> ImportMovieHeader(uint8_t version, const SwfRect& frame, uint16_t frameRate);

// Writes `head` (a header from ImportMovieHeader, possibly followed by the
// definitions the tag relies on), the tag with a long header and its body,
// a PlaceObject2 of `characterId` at depth 1 with an empty matrix, ShowFrame
// and End; the header's length field gets the file's length. False when the
// file cannot be written (a partial file is removed) or the movie would not
// fit a 32-bit length.
bool WriteImportMovie(const std::string& path, std::span<const uint8_t> head, uint16_t code,
                      std::span<const uint8_t> body, uint16_t characterId);

}  // namespace tovrani
