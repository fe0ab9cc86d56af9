// A commit that fails at any of its renames puts the previous document set
// back byte for byte, with no temporary or backup left, and says which file
// failed and why. A commit killed at any of its renames is rolled back by
// the next conversion to the same output, or forward once its FLA is in
// place; a reconversion leaves no movie of the previous set; the new files
// reach the disk before the previous ones go.
#include "convert/output_set.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include <sys/wait.h>
#include <unistd.h>

#include "app/program_runner.h"
#include "convert/engine.h"
#include "fla/work_folder.h"
#include "support/bytes_less.h"
#include "support/document_frames.h"
#include "support/work_budget.h"
#include "convert/output_set_fixture.h"

namespace tovrani::test {
namespace {

struct FailingCommit : Conversions {
  FailingCommit() {
    EXPECT_EQ(Convert("red.swf").result, 0u);
    before = Snapshot();
    EXPECT_TRUE(before.count("Shapes_doc.fla/Symbol 3.swf"));
  }
  Set before;
};

// Each rename of the commit in turn fails: a staged file put in place (the
// first import movie, one in the middle, the script, the FLA) or an old
// file moved aside.
TEST_F(FailingCommit, EveryStepPutsThePreviousSetBack) {
  struct Case {
    const char* name;
    std::string file;
    bool aside;  // the old file's move to its backup fails
  };
  const Case cases[] = {{"first movie", Out("Shapes_doc.fla/Symbol 1.swf"), false},
                        {"middle movie", Out("Shapes_doc.fla/Symbol 2.swf"), false},
                        {"script", Out("doc.fla.jsfl"), false},
                        {"document", Out("doc.fla"), false},
                        {"document moved aside", Out("doc.fla"), true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HookScope hook([&](const std::string& from, const std::string& to) {
      const bool failing = c.aside ? from == c.file : to == c.file && from.find(".tmp-") != std::string::npos;
      return failing ? EIO : 0;
    });
    const FileOutcome o = Convert("blue.swf");
    EXPECT_EQ(o.result, 44u);
    EXPECT_NE(o.detail.find(c.file + (c.aside ? " could not be moved aside" : " could not be put in place") +
                            " (Input/output error); the previous files stand as they were"),
              std::string::npos)
        << o.detail;
    EXPECT_EQ(Snapshot(), before);
  }
  // Without a failure the new set stands.
  EXPECT_EQ(Convert("blue.swf").result, 0u);
  EXPECT_NE(Snapshot(), before);
}

// A backup that cannot be put back either: the message says where it
// stays; its final name is left free, every other file is put back, and
// the commit's record and temporaries stay, so that the next conversion
// to this output, whatever it then does, puts the previous set back whole.
TEST_F(FailingCommit, ABackupThatCannotBePutBackIsNamed) {
  const std::string movie = Out("Shapes_doc.fla/Symbol 2.swf");
  {
    HookScope hook([&](const std::string& from, const std::string& to) {
      const bool failing = (to == Out("doc.fla") && from.find(".tmp-") != std::string::npos) ||
                           (to == movie && from.find(".bak-") != std::string::npos);
      return failing ? EACCES : 0;
    });
    const FileOutcome o = Convert("blue.swf");
    EXPECT_EQ(o.result, 44u);
    EXPECT_NE(o.detail.find("putting back the previous " + movie + " failed too (Permission denied): it stays as " +
                            movie + ".bak-"),
              std::string::npos)
        << o.detail;
  }
  Set after = FolderSnapshot(dir.file("out"));
  const auto backup = std::find_if(after.begin(), after.end(),
                                   [](const auto& f) { return f.first.starts_with("Shapes_doc.fla/Symbol 2.swf.bak-"); });
  ASSERT_NE(backup, after.end());
  EXPECT_EQ(backup->second, before.at("Shapes_doc.fla/Symbol 2.swf"));
  after.erase(backup);
  EXPECT_TRUE(after.count("doc.fla.commit"));
  std::erase_if(after, [](const auto& f) { return f.first.find(".tmp-") != std::string::npos || f.first.ends_with(".commit"); });
  Set expected = before;
  expected.erase("Shapes_doc.fla/Symbol 2.swf");
  EXPECT_EQ(after, expected);
  EXPECT_EQ(Convert("cut.swf").result, 138u);
  EXPECT_EQ(Snapshot(), before);
}

// A caller of ConvertMovie that commits with the engine's own finish gets
// the same: the previous FLA and movies back.
TEST_F(FailingCommit, TheFinishOfADirectConversionPutsThePreviousSetBack) {
  HookScope hook([&](const std::string& from, const std::string& to) {
    return to == Out("doc.fla") && from.find(".tmp-") != std::string::npos ? EIO : 0;
  });
  ConverterContext ctx;
  ctx.options.shapeJsflImport = 1;
  DeriveDocumentPaths(ctx, Out("doc.fla"));
  ctx.m_strJsflPath.clear();
  EXPECT_EQ(ConvertMovie(ctx, dir.file("blue.swf"), Out("doc.fla"), 0), 44u);
  EXPECT_NE(ctx.m_strFailureDetail.find(Out("doc.fla") + " could not be put in place"), std::string::npos)
      << ctx.m_strFailureDetail;
  EXPECT_EQ(FolderSnapshot(dir.file("out")), before);
}

// Red replaces green: three movies and the script replaced, the fourth
// movie moved aside (rename 9), the FLA replaced (renames 10 and 11).
// Killed before any of its renames, the next conversion finds the previous
// set, killed after the FLA's the new one, and nothing else. Through the
// program (another process id) a failing conversion, then a successful one;
// in this process (the killed run's id) a cancelled one, then a successful
// one. The same for a commit killed while it undoes a failed rename, and
// for a roll-back that fails once.
TEST_F(Conversions, AKilledCommitIsRolledBackUntilItsDocumentIsInPlace) {
  const Set fresh = Clean("red.swf"), before = Clean("green.swf");
  auto program = [&](const std::string& movie) {
    return RunProgram({"-q", "--set", "Shape / Morph Shape: Convert Using JSFL Import=on", dir.file(movie), "-o",
                       Out("doc.fla")},
                      dir.file("config"))
        .status;
  };
  for (int k = 0; k <= 11; ++k) {
    for (bool sameId : {false, true}) {
      SCOPED_TRACE("killed at " + std::to_string(k) + (sameId ? ", same process id" : ""));
      Restore(before);
      ASSERT_TRUE(KillInCommit(*this, "red.swf", k));
      CancelsAtTheDocument cancelling;
      if (sameId) TakeOverLeftovers(*this);
      EXPECT_EQ(sameId ? int(Convert("red.swf", &cancelling).result) : program("cut.swf"), sameId ? 130 : 1);
      EXPECT_EQ(Snapshot(), k == 0 ? fresh : before);
      EXPECT_EQ(sameId ? int(Convert("red.swf").result) : program("red.swf"), 0);
      EXPECT_EQ(Snapshot(), fresh);
    }
  }
  for (int k : {2, 5, 8, 10, 11}) {
    SCOPED_TRACE("failed at " + std::to_string(k) + ", killed putting back");
    Restore(before);
    ASSERT_TRUE(KillInCommit(*this, "red.swf", k, true));
    EXPECT_EQ(Convert("cut.swf").result, 138u);
    EXPECT_EQ(Snapshot(), before);
  }
  // A previous file that cannot be put back: the record stays, the
  // conversion loses nothing and says so (the new files it took back wait
  // under their temporaries' names); the next one rolls back.
  Restore(before);
  ASSERT_TRUE(KillInCommit(*this, "red.swf", 5));
  const Set halfway = Snapshot();
  const auto contents = [](const Set& set) {
    std::multiset<std::vector<uint8_t>, BytesLess> all;
    for (const auto& [name, bytes] : set) all.insert(bytes);
    return all;
  };
  {
    HookScope refuse([](const std::string& from, const std::string&) {
      return from.find(".bak-") != std::string::npos ? EACCES : 0;
    });
    const FileOutcome o = Convert("blue.swf");
    EXPECT_EQ(o.result, 44u);
    EXPECT_NE(o.detail.find("(Permission denied); " + Out("doc.fla.commit") + " stays for the next conversion"),
              std::string::npos)
        << o.detail;
  }
  EXPECT_EQ(contents(Snapshot()), contents(halfway));
  EXPECT_TRUE(Snapshot().count("doc.fla.commit"));
  EXPECT_EQ(Convert("cut.swf").result, 138u);
  EXPECT_EQ(Snapshot(), before);
}

// A run killed in its commit to the same output while this conversion is
// under way, after its recovery: this commit finishes the killed one first,
// so nothing later puts the killed run's backups over the newer set.
TEST_F(Conversions, ACommitKilledMeanwhileIsFinishedBeforeThisOne) {
  const Set blue = Clean("blue.swf");
  Restore(Clean("green.swf"));
  struct KillsAnother : RecordingShell {
    Conversions* test = nullptr;
    bool killed = false;
    void SetCurrentAction(const std::string& text) override {
      if (text == "writing the FLA document..." && !killed) killed = KillInCommit(*test, "red.swf", 5);
    }
  } meanwhile;
  meanwhile.test = this;
  EXPECT_EQ(Convert("blue.swf", &meanwhile).result, 0u);
  EXPECT_TRUE(meanwhile.killed);
  EXPECT_EQ(Convert("cut.swf").result, 138u);
  EXPECT_EQ(Snapshot(), blue);
}

// A reconversion over a set with more import movies, or with the import
// options off, leaves what a conversion into an empty folder leaves. A
// previous movie that cannot be moved aside stays, with one message; an
// import folder that is a link is left alone.
TEST_F(Conversions, AReconversionLeavesNoImportMovieOfThePreviousSet) {
  const Set three = Clean("red.swf"), none = Clean("red.swf", false), five = Clean("yellow.swf");
  EXPECT_EQ(Convert("red.swf").result, 0u);
  EXPECT_EQ(Snapshot(), three);
  EXPECT_EQ(Convert("red.swf", nullptr, false).result, 0u);
  EXPECT_EQ(Snapshot(), none);

  Restore(five);
  {
    HookScope refuse([&](const std::string& from, const std::string&) {
      return from == Out("Shapes_doc.fla/Symbol 4.swf") || from == Out("Shapes_doc.fla/Symbol 5.swf") ? EACCES : 0;
    });
    EXPECT_EQ(Convert("red.swf").result, 0u);
  }
  EXPECT_EQ(shell.messages.back(), "BRASKELON Tovrani: 2 movies the previous document imported could not be "
                                   "removed; they stay (the first: " +
                                       Out("Shapes_doc.fla/Symbol 4.swf") + " (Permission denied)).");
  Set expected = three;
  for (const char* movie : {"Shapes_doc.fla/Symbol 4.swf", "Shapes_doc.fla/Symbol 5.swf"}) expected[movie] = five.at(movie);
  EXPECT_EQ(Snapshot(), expected);

  Restore(none);
  fs::create_directories(dir.file("elsewhere"));
  WriteFileBytes(dir.file("elsewhere/Symbol 9.swf"), {'k'});
  fs::create_directory_symlink(dir.file("elsewhere"), Out("Shapes_doc.fla"));
  EXPECT_EQ(Convert("red.swf", nullptr, false).result, 0u);
  EXPECT_EQ(FolderSnapshot(dir.file("elsewhere")), (Set{{"Symbol 9.swf", {'k'}}}));
}

// Over a previous set, every staged file and the commit's record reach the
// disk before the first rename, the import folders and the FLA's folder
// just before the FLA's renames, the FLA's folder again after them. Into an
// empty folder nothing is flushed.
TEST_F(Conversions, TheNewFilesReachTheDiskBeforeThePreviousOnesGo) {
  std::vector<std::string> events;
  HookScope renames([&](const std::string& from, const std::string&) { return events.push_back(from), 0; });
  FlushHookScope flushes([&](const std::string& path) { return events.push_back("flush " + path), 0; });
  ASSERT_EQ(Convert("red.swf").result, 0u);
  EXPECT_EQ(std::count_if(events.begin(), events.end(), [](const std::string& e) { return e.starts_with("flush"); }), 0);
  events.clear();
  ASSERT_EQ(Convert("green.swf").result, 0u);
  const auto at = [&](const std::string& e) { return size_t(std::find(events.begin(), events.end(), e) - events.begin()); };
  const size_t firstRename = size_t(std::find_if(events.begin(), events.end(), [](const std::string& e) {
                                      return !e.starts_with("flush");
                                    }) - events.begin());
  size_t staged = 0;
  for (const std::string& e : events)
    if (!e.starts_with("flush") && e.find(".tmp-") != std::string::npos) {
      ++staged;
      EXPECT_LT(at("flush " + e), firstRename) << e;
    }
  EXPECT_EQ(staged, 6u);
  EXPECT_LT(at("flush " + Out("doc.fla.commit")), firstRename);
  const size_t flaAside = at(Out("doc.fla"));
  ASSERT_EQ(flaAside + 3, events.size());
  EXPECT_EQ(events[flaAside - 2], "flush " + Out("Shapes_doc.fla/"));
  EXPECT_EQ(events[flaAside - 1], "flush " + Out(""));
  EXPECT_EQ(events[flaAside + 2], "flush " + Out(""));
}

// Leftovers of a run killed before its commit that carry this process's
// id are an earlier run's (a run in a namespace of its own gets the id
// again), except the script this conversion writes; so is a work folder
// with this id that this process did not make. A backup without a record
// is never put back: it goes once its final name holds the user's file.
TEST_F(Conversions, LeftoversWithThisProcessesIdAreAnEarlierRuns) {
  const Set fresh = Clean("red.swf");
  Restore({});
  const std::string ours = PidDigits(::getpid());
  WriteFileBytes(Out("doc.fla.bak-" + ours), {'o'});
  WriteFileBytes(Out("doc.fla.jsfl.tmp-" + ours + "-a1b2c3"), {});
  EXPECT_EQ(Convert("cut.swf").result, 138u);
  EXPECT_EQ(Snapshot(), (Set{{"doc.fla.bak-" + ours, {'o'}}}));
  EXPECT_EQ(Convert("red.swf").result, 0u);
  EXPECT_EQ(Convert("red.swf").result, 0u);
  EXPECT_EQ(Snapshot(), fresh);

  TmpDirScope tmp(dir.path().string());
  const std::string earlier = dir.file("tovrani-" + std::to_string(::getpid()) + "-abcdefghijkl");
  fs::create_directories(earlier);
  WriteFileBytes(earlier + "/.tovrani-run", {});
  {
    WorkBudgetScope onDisk(0);
    WorkFolder mine;
    ASSERT_TRUE(mine.create());
    FileHandle file(mine.file("m.g12"), "wb");
    ASSERT_TRUE(file);
    WorkFolder::SweepLeftovers();
    EXPECT_FALSE(fs::exists(earlier));
    EXPECT_TRUE(fs::exists(mine.path()));
  }
}

// A cancel read while the tags are read keeps the frames read so far, and
// says so.
TEST_F(Conversions, ACancelWhileTheTagsAreReadKeepsTheFramesReadSoFar) {
  shell.cancelAfterPumps = 2;
  const FileOutcome o = Convert("red.swf");
  EXPECT_EQ(o.result, 0u);
  EXPECT_EQ(o.cancelled, CancelOutcome::kFramesSoFar);
}

}  // namespace
}  // namespace tovrani::test
