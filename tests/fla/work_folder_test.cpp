#include "fla/work_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace tovrani {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

TEST(WorkFolderTest, PrivateFolderGoesAwayWithItsFiles) {
  std::string path;
  {
    WorkFolder w;
    ASSERT_TRUE(w.create());
    path = w.path();
    EXPECT_TRUE(fs::path(path).is_absolute());
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::others_all, fs::perms::none);
    WriteFileBytes(w.file("___.___"), {1, 2, 3});
    fs::create_directory(w.file("sub"));
    WriteFileBytes(w.file("sub/x"), {4});
    w.removeFile("___.___");
    w.removeFile("missing");
    EXPECT_FALSE(fs::exists(w.file("___.___")));
  }
  EXPECT_FALSE(fs::exists(path));
}

TEST(OutputTargetTest, OlderDocumentSurvivesUntilCommitAndBadPlacesAreRefused) {
  TempDir dir;
  const std::string out = dir.file("movie.fla");
  WriteFileBytes(out, {9, 9});
  for (bool commit : {false, true}) {
    {
      OutputTarget t;
      ASSERT_TRUE(t.open(out));
      std::fputs("new", t.file());
      EXPECT_EQ(ReadFileBytes(out), (std::vector<uint8_t>{9, 9}));
      if (commit) {
        ASSERT_TRUE(t.commit());
      }
    }
    EXPECT_EQ(ReadFileBytes(out), (commit ? std::vector<uint8_t>{'n', 'e', 'w'} : std::vector<uint8_t>{9, 9}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
  }
  OutputTarget t;
  EXPECT_FALSE(t.open(dir.file("no/such/folder/x.fla")));
  EXPECT_FALSE(t.open(dir.path().string()));
  EXPECT_FALSE(t.open(""));
}

}  // namespace
}  // namespace tovrani
