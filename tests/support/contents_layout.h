// Walks a whole Contents stream with the layout of the authoring tool's own
// documents at each format level (lead 0x29, 0x38, 0x3F): the lead bytes, the
// scene and symbol page records, the library end, the media items, the
// document and publish properties, the palette, the folder list, the
// QuickTime key and the view settings. Fixed fields are compared with the
// values those documents hold; fields they fill with varying values are read
// without a comparison. The walk names the first place where a stream differs.
//
// Where the program's documents are known to differ today, the difference is
// listed in `kKnownContentsStops` with its reason: the walk notes it there and
// reads on. The change that mends the program removes the entry (a test
// checks that every entry is still met by a default conversion).
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tovrani::test {

// The records of a Contents stream, in stream order.
enum class ContentsRecord {
  kLead,
  kMainPage,
  kScenePage,
  kSceneListEnd,
  kSymbolPage,
  kLibraryEnd,
  kMediaItem,
  kDocumentProperties,
  kPublishEnd,
  kPalette,
  kFolders,
  kQuickTime,
  kViewSettings,
};

struct ContentsDifference {
  size_t offset = 0;
  ContentsRecord record = ContentsRecord::kLead;
  std::string where;  // the record read, "symbol page 2", "CMediaBits item 1"
  std::string field;  // its field, or "byte N" of the view settings
  std::string expected, found;
  std::string describe() const;
};

// A difference the program's output is known to have today. `fields` empty
// matches any field of the record.
struct KnownContentsStop {
  std::vector<int> levels;
  ContentsRecord record;
  std::vector<std::string> fields;
  const char* reason;
  bool matches(int level, const ContentsDifference& d) const;
};

extern const std::vector<KnownContentsStop> kKnownContentsStops;

struct ContentsWalk {
  int level = -1;  // 0, 1 or 2; -1 when the lead byte names none
  size_t symbolPages = 0, folders = 0;
  std::map<std::string, size_t> media;  // items per class
  // The first difference no known stop covers; the walk ended there.
  std::optional<ContentsDifference> difference;
  // Differences a known stop covered, with the stop (an index into `stops`).
  std::vector<std::pair<ContentsDifference, size_t>> known;
  bool ok() const { return !difference; }
};

// Walks `contents`; `stops` are the differences to note and read past (pass
// {} for a strict walk).
ContentsWalk WalkContents(const std::vector<uint8_t>& contents,
                          const std::vector<KnownContentsStop>& stops = kKnownContentsStops);

// Succeeds when the walk reaches the stream's end, past known stops only.
::testing::AssertionResult ContentsLikeRealDocuments(const std::vector<uint8_t>& contents);

}  // namespace tovrani::test
