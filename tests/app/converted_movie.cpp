#include "app/converted_movie.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/document_frames.h"

namespace tovrani::test {

void ConvertOnce(ConvertedMovie& r, const std::vector<uint8_t>& movie, std::vector<std::string> options,
                 int limitMb) {
  WriteFileBytes(r.dir.file("m.swf"), movie);
  options.insert(options.end(), {r.dir.file("m.swf"), "-o", r.dir.file("m.fla")});
  r.run = RunProgram(options, r.dir.file("config"),
                     "ulimit -f " + std::to_string(limitMb * 2048) + "; TMPDIR=" +
                         ShellQuote(r.dir.path().string()) + ' ');
  ASSERT_EQ(r.run.status, 0) << r.run.output;
  r.flaBytes = std::filesystem::file_size(r.dir.file("m.fla"));
  r.streams = ExpectReadableDocument(r.dir.file("m.fla"));
  ASSERT_FALSE(r.streams.empty());
  EXPECT_TRUE(DocumentShowsMovie(movie, r.streams));
}

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
  return n;
}

}  // namespace tovrani::test
