// The real movies of ../shared/corpus run through the engine to a result
// code; the well-formed FWS and CWS ones reach the finish.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/recording_shell.h"
#include "support/temp_dir.h"
#include "convert/converter_context.h"
#include "convert/engine.h"

namespace tovrani {
namespace {

namespace fs = std::filesystem;

TEST(EngineCorpusTest, EveryMovieRunsToAResult) {
  const fs::path corpus = fs::path(TOVRANI_SHARED_DIR) / "corpus";
  std::ifstream index(corpus / "INDEX.tsv");
  if (!index) GTEST_SKIP() << "no corpus";
  test::TempDir dir;
  std::string line;
  std::getline(index, line);
  int movies = 0;
  while (std::getline(index, line)) {
    // Columns: path, signature, four others, then the known problems.
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string field; f.size() < 7 && std::getline(fields, field, '\t');) f.push_back(field);
    f.resize(7);
    const std::string &path = f[0], &signature = f[1], &problems = f[6];
    SCOPED_TRACE(path);
    ConverterContext ctx;
    test::RecordingShell shell;
    ctx.m_pShell = &shell;
    EngineServices services;
    bool finished = false;
    services.finish = [&](ConverterContext&) { finished = true; return uint32_t(kResultDone); };
    auto start = std::chrono::steady_clock::now();
    uint32_t r = ConvertMovie(ctx, (corpus / path).string(), dir.file("out.fla"), 0, services);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    if (signature == "ZWS") {
      EXPECT_EQ(r, kResultNotSwf);
    }
    if ((signature == "FWS" || signature == "CWS") && problems.empty()) {
      EXPECT_EQ(r, kResultDone);
      EXPECT_TRUE(finished);
    }
    ++movies;
  }
  EXPECT_GT(movies, 0);
}

}  // namespace
}  // namespace tovrani
