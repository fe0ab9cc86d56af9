// The start-up sweep of work folders in a $TMPDIR that others may write to
// (no sticky bit), through the program: another user can give any folder of
// the user's a work folder's name, so only a folder a run marked as its own
// is emptied, and of it only its regular files.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>

#include "app/program_runner.h"
#include "convert/output_set_fixture.h"
#include "fla/work_folder.h"

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;
constexpr uid_t kOther = 65534;

// Renames `from` to `to` as another user where the test may act as one
// (root); else as this user, which the program cannot tell apart.
bool RenameAsAnother(const std::string& from, const std::string& to) {
  if (::geteuid() != 0) return ::rename(from.c_str(), to.c_str()) == 0;
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setresgid(kOther, kOther, kOther) != 0 || ::setresuid(kOther, kOther, kOther) != 0) ::_exit(2);
    ::_exit(::rename(from.c_str(), to.c_str()) == 0 ? 0 : 1);
  }
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A run killed with a work file on disk: its folder, as it left it.
std::string KilledRunFolder(const std::string& tmp) {
  const pid_t child = ::fork();
  if (child == 0) {
    ::setenv("TMPDIR", tmp.c_str(), 1);
    WorkFolder::SetMemoryBudget(0);
    WorkFolder w;
    if (!w.create()) ::_exit(1);
    FileHandle f(w.file("m.g12"), "wb");
    if (!f || std::fputs("work", f.get()) < 0 || !f.close()) ::_exit(1);
    ::_exit(0);  // no removal: as if killed
  }
  int status = 0;
  if (child <= 0 || ::waitpid(child, &status, 0) != child || status != 0) return {};
  for (const auto& e : fs::directory_iterator(tmp))
    if (e.path().filename().string().starts_with("tovrani-" + std::to_string(child) + "-")) return e.path().string();
  return {};
}

TEST(WorkFolderSweep, OnlyFoldersMarkedAsARunsAreEmptiedAndOnlyOfTheirFiles) {
  if (::geteuid() != 0) std::printf("not root: the folder is renamed by this user and no mark of another is tried\n");
  TempDir dir;
  fs::permissions(dir.path(), fs::perms(0711));
  const std::string tmp = dir.file("tmp");
  fs::create_directory(tmp);
  fs::permissions(tmp, fs::perms::all);
  const auto put = [](const std::string& path, const std::string& text) { WriteFileBytes(path, Bytes(text)); };

  // The user's projects, renamed by another user to a work folder's name.
  fs::create_directories(tmp + "/projects/logo");
  put(tmp + "/projects/notes.txt", "notes");
  put(tmp + "/projects/logo/logo.fla", "logo");
  fs::permissions(tmp + "/projects", fs::perms(0755));
  const Set projects = Listing(tmp + "/projects");
  const std::string taken = tmp + "/tovrani-12345-abcdefghijkl";
  ASSERT_TRUE(RenameAsAnother(tmp + "/projects", taken));

  // A marked folder holding a subfolder: its files go, the rest stays.
  const std::string nested = tmp + "/tovrani-12346-subfolder000";
  fs::create_directories(nested + "/inner");
  for (const char* name : {"/.tovrani-run", "/m.g12", "/inner/keep.txt"}) put(nested + name, "work");

  // Marks that are not a run's: a link, a file of two links, another
  // user's. Their folders stay whole.
  std::map<std::string, std::function<bool(const std::string& mark)>> marks = {
      {"symlinkmark0", [](const std::string& mark) { return ::symlink("m.g12", mark.c_str()) == 0; }},
      {"twolinkmark0",
       [](const std::string& mark) {
         return ::link((fs::path(mark).parent_path() / "m.g12").c_str(), mark.c_str()) == 0;
       }}};
  if (::geteuid() == 0)
    marks["othersmark00"] = [&](const std::string& mark) {
      put(mark, "");
      return ::lchown(mark.c_str(), kOther, kOther) == 0;
    };
  std::map<std::string, Set> badlyMarked;
  for (const auto& [random, mark] : marks) {
    const std::string folder = tmp + "/tovrani-12347-" + random;
    fs::create_directory(folder);
    put(folder + "/m.g12", "work");
    ASSERT_TRUE(mark(folder + "/.tovrani-run")) << random;
    badlyMarked[folder] = Listing(folder);
  }

  const std::string killed = KilledRunFolder(tmp);
  ASSERT_FALSE(killed.empty());
  EXPECT_EQ(Listing(killed), (Set{{".tovrani-run", {}}, {"m.g12", Bytes("work")}}));

  WriteFileBytes(dir.file("movie.swf"), SampleMovie());
  const ProgramRun run = RunProgram({"-q", dir.file("movie.swf"), "-o", dir.file("movie.fla")}, dir.file("config"),
                                    "TMPDIR=" + ShellQuote(tmp) + " ");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(Listing(taken), projects);
  EXPECT_EQ(fs::status(taken).permissions(), fs::perms(0755));
  EXPECT_EQ(Listing(nested), (Set{{"inner", {}}, {"inner/keep.txt", Bytes("work")}}));
  for (const auto& [folder, before] : badlyMarked) EXPECT_EQ(Listing(folder), before) << folder;
  EXPECT_FALSE(fs::exists(killed));
}

}  // namespace
}  // namespace tovrani::test
