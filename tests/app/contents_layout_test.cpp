// The test support's walk of Contents streams: the authoring tool's own
// documents walk to their end, damaged streams stop where the damage is,
// and the shared tools' reader, where at hand, gives the same verdicts.
#include "support/contents_layout.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "app/program_runner.h"
#include "support/corpus.h"
#include "support/swf_writer.h"

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;

fs::path SharedReader() { return SharedDir() / "tools" / "contents_grammar.py"; }

// The shared reader's verdict on a bare Contents stream: "ok", or the
// offset of the first difference it finds.
std::string SharedVerdict(const std::vector<uint8_t>& contents, const TempDir& dir) {
  const std::string file = dir.file("contents.bin");
  WriteFileBytes(file, contents);
  const std::string script =
      "import sys; sys.path.insert(0, sys.argv[1]); import contents_grammar as g\n"
      "try:\n  g.walk(open(sys.argv[2], 'rb').read()); print('ok')\n"
      "except g.Dev as e:\n  print(e.off)\n";
  std::string out;
  RunCommand("/usr/bin/python3 -c " + ShellQuote(script) + ' ' + ShellQuote(SharedReader().parent_path().string()) +
                 ' ' + ShellQuote(file) + " 2>&1",
             out);
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::string Verdict(const ContentsWalk& walk) {
  return walk.difference ? std::to_string(walk.difference->offset) : "ok";
}

std::vector<uint8_t> ContentsOf(const std::string& fla) {
  std::map<std::string, std::vector<uint8_t>> streams;
  EXPECT_TRUE(ReadCompoundFile(fla, streams)) << fla;
  return streams["Contents"];
}

// The program's document of `movie`, converted with `options`.
std::vector<uint8_t> Converted(const TempDir& dir, const std::vector<uint8_t>& movie,
                               std::vector<std::string> options) {
  static int n = 0;
  const std::string swf = dir.file(std::string("m").append(std::to_string(++n)).append(".swf"));
  WriteFileBytes(swf, movie);
  options.insert(options.end(), {"-q", swf, "-o", swf + ".fla"});
  EXPECT_EQ(RunProgram(options, dir.file("config")).status, 0);
  return ContentsOf(swf + ".fla");
}

const std::vector<std::string> kGuidesOn = {"--set", "Guides=on", "--set", "Snap To Guides=on"};

TEST(ContentsLayout, RealDocumentsWalkToTheirEndAsTheSharedReaderSays) {
  const fs::path samples = SharedDir() / "fla-samples";
  if (!fs::exists(SharedReader()) || !fs::exists(samples)) GTEST_SKIP() << "no " << SharedReader() << " or " << samples;
  TempDir dir;
  size_t walked = 0, ok = 0;
  for (const auto& e : fs::recursive_directory_iterator(samples)) {
    if (e.path().extension() != ".fla") continue;
    SCOPED_TRACE(e.path().string());
    const std::vector<uint8_t> contents = ReadSavedStream(e.path().string(), "Contents");
    ASSERT_FALSE(contents.empty());
    const ContentsWalk walk = WalkContents(contents, {});
    EXPECT_EQ(Verdict(walk), SharedVerdict(contents, dir))
        << (walk.difference ? walk.difference->describe() : std::string());
    ++walked;
    ok += walk.ok();
  }
  EXPECT_GE(walked, 14u);
  EXPECT_GE(ok, 12u);  // two samples hold records the program never writes
}

// Each known stop is still met by a default conversion: when the program
// is mended, its entry goes.
TEST(ContentsLayout, EveryKnownStopIsStillMet) {
  TempDir dir;
  std::set<size_t> met;
  for (uint8_t version : {6, 7, 8}) {
    const ContentsWalk walk = WalkContents(Converted(dir, SampleMovie(version), {}));
    EXPECT_TRUE(walk.ok()) << walk.difference->describe();
    for (const auto& [difference, stop] : walk.known) met.insert(stop);
  }
  for (size_t k = 0; k < kKnownContentsStops.size(); ++k)
    EXPECT_TRUE(met.count(k)) << "no longer met, remove it: " << kKnownContentsStops[k].reason;
}

// Damage in each record stops the walk where it lies; the shared reader,
// where at hand, stops at the same offset.
TEST(ContentsLayout, DamageStopsTheWalkWhereItLies) {
  TempDir dir;
  const bool shared = fs::exists(SharedReader());
  for (uint8_t version : {6, 7, 8}) {
    SCOPED_TRACE(int(version));
    std::vector<std::string> jsfl = kGuidesOn;
    jsfl.insert(jsfl.end(), {"--set", "Shape / Morph Shape: Convert Using JSFL Import=on"});
    const std::vector<uint8_t> good = Converted(dir, SampleMovie(version), jsfl);
    const ContentsWalk clean = WalkContents(good, {});
    ASSERT_TRUE(clean.ok()) << clean.difference->describe();
    if (shared) {
      EXPECT_EQ(SharedVerdict(good, dir), "ok");
    }
    const size_t n = good.size();
    // The offset of the first of `bytes` in the stream.
    const auto find = [&](std::vector<uint8_t> bytes, size_t from = 0) {
      return size_t(std::search(good.begin() + long(from), good.end(), bytes.begin(), bytes.end()) - good.begin());
    };
    const size_t symbolPage = find({1, 0x80, uint8_t(version == 6 ? 17 : version == 7 ? 22 : 23)});
    ASSERT_LT(symbolPage, n);
    const size_t colours = find({'C', 'C', 'o', 'l', 'o', 'r', 'D', 'e', 'f'});
    const size_t audio = find({'C', 'Q', 'T', 'A', 'u', 'd', 'i', 'o'}) + 16;
    struct Damage {
      const char* what;
      size_t at;
      ContentsRecord record;
      std::vector<uint8_t> bytes;  // written at `at`; empty: the stream ends at `at`
    };
    const Damage damages[] = {
        {"lead byte", 0, ContentsRecord::kLead, {0x30}},
        {"lead zeros", 5, ContentsRecord::kLead, {1}},
        {"page class name",
         version == 6   ? 21u
         : version == 7 ? 25u
                        : 29u,
         ContentsRecord::kMainPage,
         {'X'}},
        // The kind byte of the symbol page's item number.
        {"symbol kind", 0, ContentsRecord::kSymbolPage, {7}},
        {"palette class", colours, ContentsRecord::kPalette, {'X'}},
        {"view settings", audio + 1, ContentsRecord::kViewSettings, {0x55}},
        {"cut in the symbol page", symbolPage + 9, ContentsRecord::kSymbolPage, {}},
        {"cut in the view settings", n - 3, ContentsRecord::kViewSettings, {}},
        {"a byte too many", n, ContentsRecord::kViewSettings, {0}},
    };
    for (const Damage& d : damages) {
      SCOPED_TRACE(d.what);
      std::vector<uint8_t> bad = good;
      size_t at = d.at;
      if (std::string(d.what) == "symbol kind") {
        // The page's name, its item name, then u16 item, u16 0, the kind.
        std::vector<uint8_t> name;
        for (char c : std::string("Symbol 1")) {
          name.push_back(uint8_t(c));
          if (version > 6) name.push_back(0);
        }
        at = find(name, symbolPage);
        at = find(name, at + 1) + name.size() + 4;
        ASSERT_LT(at, n);
      }
      if (d.bytes.empty())
        bad.resize(at);
      else if (at >= bad.size())
        bad.insert(bad.end(), d.bytes.begin(), d.bytes.end());
      else
        std::copy(d.bytes.begin(), d.bytes.end(), bad.begin() + long(at));
      const ContentsWalk walk = WalkContents(bad, {});
      ASSERT_FALSE(walk.ok());
      EXPECT_EQ(walk.difference->record, d.record) << walk.difference->describe();
      // A run of fixed bytes is named by its start.
      EXPECT_LE(walk.difference->offset, at) << walk.difference->describe();
      EXPECT_GE(walk.difference->offset + 24, at) << walk.difference->describe();
      if (shared) {
        EXPECT_EQ(SharedVerdict(bad, dir), Verdict(walk)) << walk.difference->describe();
      }
    }
  }
}

}  // namespace
}  // namespace tovrani::test
