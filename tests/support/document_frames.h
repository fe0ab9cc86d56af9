// A converted document against its movie, frame by frame: the movie's side
// from the test display model, the document's from the page walker.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tovrani::test {

// The movie's tags after the header, inflated when compressed; empty when
// the file is no FWS or CWS movie.
std::vector<uint8_t> MovieTags(const std::vector<uint8_t>& file);

// Checks a document's streams against the movie file it came from: every
// symbol page and the scene name only items the library holds, the layers
// of the scene and of each sprite's page fit its frames with the longest as
// long as its timeline, and every frame of them shows, in stacking order, an instance (item and matrix)
// for each object the movie shows there whose character the library holds.
// An instance of a wrapper symbol (one the movie never places, holding one
// element at the origin) stands for that element; inside a motion tween
// only the items are compared, its two keyframes exactly.
::testing::AssertionResult DocumentShowsMovie(const std::vector<uint8_t>& movieFile,
                                              const std::map<std::string, std::vector<uint8_t>>& streams);

}  // namespace tovrani::test
