// The search of the inputs names what it passes over. Permission bits do not
// stop root, so the folders and files it may not open are refused by the
// open function it is given.
#include "app/input_search.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/temp_dir.h"

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

const std::vector<uint8_t> kMovie = {'F', 'W', 'S', 8};

// open(2), failing with `error` for the paths whose names are listed.
OpenFunction Refusing(const std::map<std::string, int>& refused) {
  return [refused](const std::string& path, int flags) {
    if (auto it = refused.find(fs::path(path).filename().string()); it != refused.end()) {
      errno = it->second;
      return -1;
    }
    return ::open(path.c_str(), flags);
  };
}

TEST(InputSearch, NamesWhatTheWalkPassesOverAndGoesOn) {
  TempDir dir;
  const std::string in = dir.file("in");
  fs::create_directories(in + "/sub");
  fs::create_directories(in + "/deep/er");
  fs::create_directories(dir.file("elsewhere"));
  for (const char* name : {"in/ok.swf", "in/unread.swf", "in/sub/b.swf", "in/deep/er/c.swf", "elsewhere/d.swf"})
    WriteFileBytes(dir.file(name), kMovie);
  WriteFileBytes(in + "/Text.SWF", {'h', 'i', '!', '!'});
  WriteFileBytes(in + "/empty.swf", {});
  WriteFileBytes(in + "/notes.txt", {'h', 'i'});     // no movie, not named as one: silent
  WriteFileBytes(in + "/locked.bin", kMovie);         // cannot be opened, not named as one: silent
  WriteFileBytes(in + "/looping.swf", kMovie);
  fs::create_symlink(in + "/nowhere", in + "/broken.swf");
  fs::create_symlink(dir.file("elsewhere"), in + "/link");  // a link to a folder is not followed
  fs::create_symlink(in + "/ok.swf", in + "/alias.bin");    // a link to a movie is one
  ASSERT_EQ(::mkfifo((in + "/pipe.swf").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo((in + "/pipe").c_str(), 0600), 0);

  Lines files, problems;
  EXPECT_FALSE(CollectInputs({in}, files, problems,
                             Refusing({{"unread.swf", EACCES}, {"sub", EACCES}, {"locked.bin", EACCES},
                                       {"looping.swf", ELOOP}})));
  EXPECT_EQ(files, (Lines{in + "/alias.bin", in + "/deep/er/c.swf", in + "/ok.swf"}));
  EXPECT_EQ(problems, (Lines{
                          in + "/Text.SWF: not a movie (no \"FWS\", \"CWS\" or \"ZWS\" signature); passed over",
                          in + "/broken.swf: the link cannot be followed (No such file or directory)",
                          in + "/empty.swf: not a movie (no \"FWS\", \"CWS\" or \"ZWS\" signature); passed over",
                          in + "/looping.swf: cannot be opened (Too many levels of symbolic links)",
                          in + "/pipe.swf: not a plain file but a FIFO",
                          in + "/sub: the folder cannot be read (Permission denied)",
                          in + "/unread.swf: cannot be opened (Permission denied)",
                      }));
  // Without refusals only what really is no movie is named.
  files.clear();
  problems.clear();
  EXPECT_FALSE(CollectInputs({in}, files, problems));
  EXPECT_EQ(files.size(), 7u);
  EXPECT_EQ(problems.size(), 4u);
}

TEST(InputSearch, InputsGivenByNameSayWhyTheyCannotBeTaken) {
  TempDir dir;
  WriteFileBytes(dir.file("ok.swf"), kMovie);
  WriteFileBytes(dir.file("unread.swf"), kMovie);
  WriteFileBytes(dir.file("text.swf"), {'t'});  // taken: the conversion names what it is not
  fs::create_directories(dir.file("closed"));
  WriteFileBytes(dir.file("closed/x.swf"), kMovie);
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  fs::create_symlink(dir.file("loop2"), dir.file("loop1"));
  fs::create_symlink(dir.file("loop1"), dir.file("loop2"));
  // A FIFO with no writer would block an open: it is refused unopened.
  Lines files, problems;
  EXPECT_FALSE(CollectInputs({dir.file("ok.swf"), dir.file("unread.swf"), dir.file("fifo"), "/dev/null",
                              dir.file("loop1/x.swf"), dir.file("none.swf"), dir.file("text.swf"),
                              dir.file("closed")},
                             files, problems, Refusing({{"unread.swf", EACCES}, {"closed", EACCES}})));
  EXPECT_EQ(files, (Lines{dir.file("ok.swf"), dir.file("text.swf")}));
  EXPECT_EQ(problems, (Lines{dir.file("unread.swf") + ": cannot be read (Permission denied)",
                             dir.file("fifo") + ": not a plain file but a FIFO",
                             "/dev/null: not a plain file but a character device",
                             dir.file("loop1/x.swf") + ": cannot be reached (Too many levels of symbolic links)",
                             dir.file("none.swf") + ": no such file or folder",
                             dir.file("closed") + ": the folder cannot be read (Permission denied)"}));
  // A folder given by name is followed through its link.
  fs::create_symlink(dir.file("closed"), dir.file("open"));
  files.clear();
  EXPECT_TRUE(CollectInputs({dir.file("open")}, files, problems));
  EXPECT_EQ(files, (Lines{dir.file("open/x.swf")}));
}

}  // namespace
}  // namespace tovrani::test
