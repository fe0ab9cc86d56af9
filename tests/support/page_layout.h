// Every page and media stream of a written document walked with the record
// layouts of the authoring tool's own documents, by the page reader of the
// shared tools (tools/page_grammar.py below `SharedDir()`). A clone without
// the shared folder has no such reader: the check is then left out, and one
// line says so once per test run.
//
// Only structural findings count: a record that does not read under the real
// layout. Those the program is known to write today are listed in
// `kKnownPageStops` with the reason; the change that mends them removes the
// entry (a test checks that each entry is still met).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tovrani::test {

struct KnownPageStop {
  const char* finding;  // the reader's class of the finding
  const char* reason;
};

extern const std::vector<KnownPageStop> kKnownPageStops;

struct PageFindings {
  bool checked = false;                 // false: no reader at hand
  std::vector<std::string> structural;  // findings no known stop covers
  std::vector<size_t> known;            // the known stops met (indexes, once each)
  std::string output;                   // what the reader said
};

PageFindings FindPageDifferences(const std::string& fla);

// Succeeds when the reader finds no structural difference outside the known
// stops, or when no reader is at hand.
::testing::AssertionResult PagesLikeRealDocuments(const std::string& fla);

}  // namespace tovrani::test
