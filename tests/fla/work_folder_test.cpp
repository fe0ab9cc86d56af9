#include "fla/work_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include <fcntl.h>

#include "fla/file_helpers.h"
#include "fla/memory_file.h"
#include "support/temp_dir.h"
#include "support/work_budget.h"

namespace tovrani {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WorkBudgetScope;
using test::WriteFileBytes;

// $TMPDIR pointed at a private folder, to see what reaches the disk.
struct TmpDirScope {
  TempDir dir;
  std::string old;
  bool had;
  TmpDirScope() {
    const char* v = std::getenv("TMPDIR");
    had = v != nullptr;
    if (had) old = v;
    setenv("TMPDIR", dir.path().c_str(), 1);
  }
  ~TmpDirScope() {
    if (had)
      setenv("TMPDIR", old.c_str(), 1);
    else
      unsetenv("TMPDIR");
  }
  bool Empty() const { return fs::is_empty(dir.path()); }
};

std::vector<uint8_t> Contents(std::FILE* f) {
  std::vector<uint8_t> v;
  EXPECT_EQ(std::fflush(f), 0);
  EXPECT_TRUE(ReadWholeFile(f, v));
  return v;
}

// The same operations behave as on disk files wherever the files are: in
// memory, moved to disk in the middle, or on disk from the start.
TEST(WorkFolderTest, FilesBehaveAsDiskFilesAndLeaveNothingBehind) {
  for (uint64_t budget : {WorkFolder::kDefaultMemoryBudget, uint64_t(100), uint64_t(0)}) {
    SCOPED_TRACE(budget);
    TmpDirScope tmp;
    WorkBudgetScope scope(budget);
    {
      WorkFolder w;
      ASSERT_TRUE(w.create());
      EXPECT_TRUE(fs::path(w.path()).is_absolute());
      EXPECT_FALSE(FileHandle(w.file("m.g12"), "rb"));  // not there yet
      FileHandle a(w.file("m.g12"), "wb+");
      ASSERT_TRUE(a);
      ASSERT_TRUE(WriteBytes(a.get(), "0123456789", 10));
      ASSERT_EQ(std::fflush(a.get()), 0);
      // A second open is a stream of its own over the same bytes.
      FileHandle b(w.file("m.g12"), "rb+");
      ASSERT_TRUE(b);
      EXPECT_EQ(Contents(b.get()), Contents(a.get()));
      // Patching a written position, writing past the end (the gap is
      // zeros), then appending through a third open: the bytes grow past
      // the small budget here.
      ASSERT_EQ(std::fseek(a.get(), 2, SEEK_SET), 0);
      ASSERT_EQ(std::fputc('X', a.get()), 'X');
      ASSERT_EQ(std::fseek(a.get(), 12, SEEK_SET), 0);
      ASSERT_TRUE(WriteBytes(a.get(), "AB", 2));
      ASSERT_EQ(std::fflush(a.get()), 0);
      {
        FileHandle c(w.file("m.g12"), "ab+");
        ASSERT_EQ(std::fseek(c.get(), 0, SEEK_SET), 0);
        ASSERT_TRUE(WriteBytes(c.get(), std::string(120, 'z').data(), 120));
        EXPECT_TRUE(c.close());
      }
      std::vector<uint8_t> want = {'0', '1', 'X', '3', '4', '5', '6', '7', '8', '9', 0, 0, 'A', 'B'};
      want.insert(want.end(), 120, 'z');
      EXPECT_EQ(Contents(b.get()), want);
      EXPECT_EQ(FileSizeOf(a.get()), int64_t(want.size()));
      EXPECT_EQ(ReadFileBytes(w.file("m.g12")), want);
      // Cut back, as the sound layers do.
      ASSERT_TRUE(TruncateOpenFile(a.get(), 4));
      EXPECT_EQ(Contents(b.get()), (std::vector<uint8_t>{'0', '1', 'X', '3'}));
      // "w" empties the file for every open.
      FileHandle(w.file("m.g12"), "wb");
      EXPECT_EQ(FileSizeOf(b.get()), 0);
      // A removed name is gone; streams still open keep the bytes.
      WriteFileBytes(w.file("fill"), {1, 2, 3});
      FileHandle keep(w.file("fill"), "rb");
      w.removeFile("fill");
      w.removeFile("missing");
      EXPECT_FALSE(FileHandle(w.file("fill"), "rb"));
      EXPECT_EQ(Contents(keep.get()), (std::vector<uint8_t>{1, 2, 3}));
      // A removed file growing past the budget moves to disk with no name.
      FileHandle gone(w.file("gone"), "wb+");
      w.removeFile("gone");
      ASSERT_TRUE(WriteBytes(gone.get(), std::string(300, 'g').data(), 300));
      EXPECT_EQ(Contents(gone.get()), std::vector<uint8_t>(300, 'g'));
      EXPECT_FALSE(w.failed());
      // Below the budget nothing reaches the disk; past it, the folder holds
      // the files with a name and the run's mark.
      EXPECT_EQ(tmp.Empty(), budget == WorkFolder::kDefaultMemoryBudget);
      if (budget != WorkFolder::kDefaultMemoryBudget) {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(w.path())) names.insert(e.path().filename().string());
        EXPECT_EQ(names, (std::set<std::string>{".tovrani-run", "m.g12"}));
      }
    }
    EXPECT_TRUE(tmp.Empty());
  }
}

TEST(WorkFolderTest, AFileThatCannotGoToDiskFailsItsWritesAndTheFolder) {
  TmpDirScope tmp;
  std::vector<std::string> asked;
  WorkBudgetScope scope(64, [&](const std::string& name) {
    asked.push_back(name);
    return false;
  });
  WorkFolder w;
  ASSERT_TRUE(w.create());
  FileHandle small(w.file("a.g12"), "wb+");
  FileHandle big(w.file("b.g12"), "wb+");
  ASSERT_TRUE(WriteBytes(small.get(), std::string(40, 's').data(), 40));
  EXPECT_EQ(std::fflush(small.get()), 0);
  EXPECT_FALSE(w.failed());
  // 40 + 30 bytes pass the budget: the growing file must move, and cannot.
  ASSERT_TRUE(WriteBytes(big.get(), std::string(30, 'b').data(), 30));
  EXPECT_NE(std::fflush(big.get()), 0);
  EXPECT_TRUE(std::ferror(big.get()));
  EXPECT_TRUE(w.failed());
  EXPECT_EQ(asked, std::vector<std::string>{"b.g12"});
  EXPECT_EQ(Contents(small.get()), std::vector<uint8_t>(40, 's'));
  EXPECT_TRUE(tmp.Empty());
}

// The temporary is made in the folder given, never where a file or a link
// stands (a link to another file is not written through).
TEST(OutputTargetTest, OlderDocumentSurvivesUntilCommitAndBadPlacesAreRefused) {
  TempDir dir;
  const std::string out = dir.file("movie.fla"), tempName = "movie.fla.tmp-0000001-abcdef";
  const Descriptor folder(::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  WriteFileBytes(out, {9, 9});
  for (bool commit : {false, true}) {
    {
      OutputTarget t;
      ASSERT_TRUE(t.open(out, folder.get(), tempName));
      EXPECT_EQ(t.tempPath(), dir.file(tempName));
      std::fputs("new", t.file());
      EXPECT_EQ(ReadFileBytes(out), (std::vector<uint8_t>{9, 9}));
      if (commit) {
        const std::string temp = t.release();
        ASSERT_FALSE(temp.empty());
        ASSERT_EQ(std::rename(temp.c_str(), out.c_str()), 0);
      }
    }
    EXPECT_EQ(ReadFileBytes(out), (commit ? std::vector<uint8_t>{'n', 'e', 'w'} : std::vector<uint8_t>{9, 9}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
  }
  fs::create_symlink(out, dir.file(tempName));
  OutputTarget t;
  EXPECT_FALSE(t.open(out, folder.get(), tempName));
  EXPECT_EQ(ReadFileBytes(out), (std::vector<uint8_t>{'n', 'e', 'w'}));
  EXPECT_TRUE(fs::is_symlink(dir.file(tempName)));
  EXPECT_FALSE(t.open(dir.file("no/such/folder/x.fla"), -1, "x.fla.tmp-0000001-abcdef"));
  EXPECT_FALSE(t.open(dir.path().string(), folder.get(), "x.tmp-0000001-abcdef"));
  EXPECT_FALSE(t.open("", folder.get(), "x.tmp-0000001-abcdef"));
}

}  // namespace
}  // namespace tovrani

namespace tovrani {
namespace {

// A file fed by small writes grows by doubling; the first growth that
// doubling cannot give moves it to disk at once, so growth never copies the
// whole file per write.
TEST(WorkFolderTest, GrowthPastTheBudgetMovesToDiskInsteadOfCopyingPerWrite) {
  TmpDirScope tmp;
  uint64_t written = 0, sizeAtMove = 0;
  int moves = 0;
  WorkBudgetScope scope(100000, [&](const std::string& name) {
    if (name == "grow.g12") {
      ++moves;
      sizeAtMove = written;
    }
    return true;
  });
  WorkFolder w;
  ASSERT_TRUE(w.create());
  FileHandle other(w.file("other.g12"), "wb+");
  ASSERT_TRUE(WriteBytes(other.get(), std::string(30000, 'o').data(), 30000));
  ASSERT_EQ(std::fflush(other.get()), 0);

  FileHandle grow(w.file("grow.g12"), "wb+");
  std::setvbuf(grow.get(), nullptr, _IONBF, 0);
  std::string expected;
  for (int i = 0; i < 2000; ++i) {
    const std::string chunk(100, char('a' + i % 26));
    ASSERT_TRUE(WriteBytes(grow.get(), chunk.data(), chunk.size()));
    expected += chunk;
    written += chunk.size();
  }
  ASSERT_EQ(moves, 1);
  // It moved while doubling still had room in memory before it, never after
  // filling the budget by smaller steps.
  EXPECT_GT(sizeAtMove, 0u);
  EXPECT_LE(sizeAtMove * 2, 100000u);
  EXPECT_LT(w.bytesCopiedInMemory("grow.g12"), sizeAtMove);
  EXPECT_TRUE(fs::exists(w.file("grow.g12")));
  const std::vector<uint8_t> got = Contents(grow.get());
  EXPECT_EQ(std::string(got.begin(), got.end()), expected);
  EXPECT_EQ(Contents(other.get()), std::vector<uint8_t>(30000, 'o'));
  EXPECT_FALSE(w.failed());
}

// No work file grows past what the conversion may still write, in memory,
// moved to disk or on disk from the start; what it holds may be rewritten,
// and a file marked charged takes bytes counted for it already. Crossing the
// bound is no failure of the work files.
TEST(WorkFolderTest, NoFileGrowsPastWhatTheWriteBoundLeaves) {
  for (uint64_t budget : {WorkFolder::kDefaultMemoryBudget, uint64_t(100), uint64_t(0)}) {
    SCOPED_TRACE(budget);
    TmpDirScope tmp;
    WorkBudgetScope scope(budget);
    WorkFolder w;
    ASSERT_TRUE(w.create());
    WriteBound& bound = *w.writeBound();
    bound.Start(10000, nullptr);
    ASSERT_TRUE(bound.Charge(4000));
    FileHandle page(w.file("page"), "wb+"), placed(w.file("placed"), "wb+");
    w.markCharged("placed");
    const std::vector<char> bytes(8000, 'x');
    for (int pass = 0; pass < 2; ++pass) {
      ASSERT_EQ(std::fseek(page.get(), 0, SEEK_SET), 0);
      ASSERT_EQ(std::fwrite(bytes.data(), 1, 6000, page.get()), 6000u);
      ASSERT_EQ(std::fflush(page.get()), 0);
    }
    EXPECT_FALSE(bound.Crossed());
    EXPECT_EQ(std::fputc('y', page.get()), 'y');
    EXPECT_NE(std::fflush(page.get()), 0);
    EXPECT_TRUE(bound.Crossed());
    EXPECT_EQ(FileSizeOf(FileHandle(w.file("page"), "rb").get()), 6000);
    EXPECT_EQ(std::fwrite(bytes.data(), 1, 8000, placed.get()), 8000u);
    EXPECT_EQ(std::fflush(placed.get()), 0);
    EXPECT_FALSE(w.failed());
  }
}

}  // namespace
}  // namespace tovrani
