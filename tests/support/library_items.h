// Reads the library item numbers a Contents stream holds (its symbol pages'
// and its media items'), field by field as the authoring tool's documents
// lay the library out: the main page and each symbol page as one page
// record, then the media items (CMediaBits, CMediaSound, CMediaVideoStream)
// up to the document properties.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tovrani::test {

// Fails, naming the offset, when a record does not read to its end.
// `symbols`, when given, receives each symbol page's name and item number,
// `kinds` each symbol page's name and kind byte (0 graphic, 1 button, 2
// movie clip), `sounds` the item numbers of the sound items.
::testing::AssertionResult ReadLibraryItems(const std::vector<uint8_t>& contents, std::set<uint16_t>& items,
                                            std::map<std::string, uint16_t>* symbols = nullptr,
                                            std::map<std::string, uint8_t>* kinds = nullptr,
                                            std::set<uint16_t>* sounds = nullptr);

}  // namespace tovrani::test
