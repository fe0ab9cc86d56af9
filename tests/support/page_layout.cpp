#include "support/page_layout.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <sstream>

#include "support/corpus.h"
#include "support/independent_readers.h"

namespace tovrani::test {

// Where the program's page and media streams differ today from every
// document the authoring tool saved. Remove an entry with the change that
// mends it.
const std::vector<KnownPageStop> kKnownPageStops = {
    {"sprite tail: wrapper words",
     "the wrapper clip of a moved sprite with init actions holds, below level 2, the words 2, 13, 0, 1, 14 and "
     "a name in its sprite tail, which no level-0 document of the authoring tool holds"},
};

PageFindings FindPageDifferences(const std::string& fla) {
  PageFindings f;
  const std::filesystem::path reader = SharedDir() / "tools" / "page_grammar.py";
  if (!std::filesystem::exists(reader)) {
    static std::once_flag said;
    std::call_once(said,
                   [&] { std::cerr << "page and media streams not checked: " << reader.string() << " is absent\n"; });
    return f;
  }
  f.checked = true;
  // 0: no structural finding, 1: some, anything else: the reader failed.
  const int status =
      RunCommand("/usr/bin/python3 " + ShellQuote(reader.string()) + ' ' + ShellQuote(fla) + " 2>&1", f.output);
  if (status != 0 && status != 1) {
    f.structural.push_back("the reader failed (status " + std::to_string(status) + ")");
    return f;
  }
  // A finding is a line "    S [class] at offset ..." below its stream's name.
  std::istringstream lines(f.output);
  std::string stream;
  for (std::string line; std::getline(lines, line);) {
    const size_t lead = line.find_first_not_of(' ');
    if (lead == 2 && line.ends_with(':')) stream = line.substr(2);
    if (lead == std::string::npos || line.compare(lead, 3, "S [") != 0) continue;
    const size_t close = line.find(']', lead);
    const std::string finding = line.substr(lead + 3, close == std::string::npos ? 0 : close - lead - 3);
    const auto stop = std::find_if(kKnownPageStops.begin(), kKnownPageStops.end(),
                                   [&](const KnownPageStop& k) { return finding == k.finding; });
    if (stop == kKnownPageStops.end()) {
      f.structural.push_back(stream + ' ' + line.substr(lead));
      continue;
    }
    const size_t k = size_t(stop - kKnownPageStops.begin());
    if (std::find(f.known.begin(), f.known.end(), k) == f.known.end()) f.known.push_back(k);
  }
  if (status == 1 && f.structural.empty() && f.known.empty())
    f.structural.push_back("the reader reports a structural difference it did not name");
  return f;
}

::testing::AssertionResult PagesLikeRealDocuments(const std::string& fla) {
  const PageFindings f = FindPageDifferences(fla);
  if (f.structural.empty()) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure() << fla << ": page or media streams differ from the real layout:";
  for (const std::string& s : f.structural) failure << "\n  " << s;
  return failure;
}

}  // namespace tovrani::test
