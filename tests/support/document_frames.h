// A converted document against its movie, frame by frame: the movie's side
// from the test display model, the document's from the page walker.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tovrani::test {

// Reads the document at `fla` with the independent readers, checks its
// script with node, walks every page, and walks its Contents, page and media
// streams with the layouts of the authoring tool's own documents (past the
// known stops; pages and media only where the shared tools are at hand);
// returns its streams.
std::map<std::string, std::vector<uint8_t>> ExpectReadableDocument(const std::string& fla);

// The movie's tags after the header, inflated when compressed; empty when
// the file is no FWS or CWS movie.
std::vector<uint8_t> MovieTags(const std::vector<uint8_t>& file);

// Checks a document's streams against the movie file it came from: every
// symbol page and the scene name only items the library holds, the scene's
// layers fit the movie's frames with the longest as long as the movie, and
// every frame of the scene and of each sprite's page shows, in stacking
// order, an element for each object the movie shows there: an instance
// (item, matrix, colour) when the library holds its character, a text object
// whose box is its bounds for an edit text, a static text object for a
// static text the library holds no symbol for, a video object of its item
// for a video (which may end with its frames, one at least). A sprite
// without a ShowFrame shows one frame. Every sound keyframe names a sound
// item of the library. Instances of inner symbols (groups, "Text" symbols,
// component and video wrappers) count as what their own page shows; an
// instance of a symbol made for a morph shape counts as the morph (the ratio
// it shows is not compared). In a frame inside a motion tween only the
// elements and their order count.
::testing::AssertionResult DocumentShowsMovie(const std::vector<uint8_t>& movieFile,
                                              const std::map<std::string, std::vector<uint8_t>>& streams);

}  // namespace tovrani::test
