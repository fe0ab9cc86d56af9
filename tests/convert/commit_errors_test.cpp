// Calls around a commit that fail other than its renames: the look at or
// read of a killed commit's record, the removal of a backup or temporary,
// a roll-back's rename, the run's own lock. None of them may leave a mixed
// set: the set stands whole with what stays named, or the record stays.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "convert/output_folder.h"
#include "convert/output_set_fixture.h"
#include "fla/output_names.h"

namespace tovrani::test {
namespace {

constexpr char kCaption[] = "BRASKELON Tovrani: ";

std::string Names(const Set& set) {
  std::string out;
  for (const auto& [name, bytes] : set) out += "\n  " + name + " (" + std::to_string(bytes.size()) + " bytes)";
  return out;
}

// A killed commit whose record cannot be looked at or read: nothing of the
// output is touched, however the set stands, until the record can be read;
// then the commit is rolled back as any other.
TEST_F(Conversions, ARecordThatCannotBeLookedAtOrReadStopsTheOutput) {
  const Set green = Clean("green.swf");
  ASSERT_TRUE(KillInCommit(*this, "red.swf", 10));
  const Set killed = Snapshot();
  ASSERT_TRUE(killed.count("doc.fla.commit"));
  const std::string record = Out("doc.fla.commit");
  struct Case {
    CommitCall call;
    int error;
    const char* doing;
  };
  const Case cases[] = {{CommitCall::kRecordRead, EIO, "read"},
                        {CommitCall::kRecordLook, EIO, "looked at"},
                        {CommitCall::kRecordLook, ENOMEM, "looked at"},
                        {CommitCall::kRecordLook, EACCES, "looked at"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.doing) + ", " + std::strerror(c.error));
    int calls = 0;
    CallHookScope fail([&](CommitCall call, const std::string& path) {
      return call == c.call && path == record && calls++ == 0 ? c.error : 0;
    });
    const FileOutcome o = Convert("cut.swf");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(o.result, 44u);
    EXPECT_NE(o.detail.find(record + ", the record of a commit, cannot be " + c.doing + " (" +
                            std::strerror(c.error) +
                            "); nothing was changed, and conversions to this output stop until it can be read or "
                            "is removed"),
              std::string::npos)
        << o.detail;
    EXPECT_EQ(Snapshot(), killed) << Names(Snapshot());
  }
  EXPECT_EQ(Convert("cut.swf").result, 138u);
  EXPECT_EQ(Snapshot(), green);
}

// A previous file moved aside whose backup cannot be removed once the new
// set stands: one message names it, it stays, and no later conversion puts
// it back beside a script that does not import it. So after a commit of
// this run, and after a killed one rolled forward.
TEST_F(Conversions, ABackupThatCannotBeRemovedIsNamedAndNeverPutBack) {
  const Set red = Clean("red.swf"), green = Clean("green.swf");
  const auto failing = [&](const std::string& backup) {
    return [this, backup](CommitCall call, const std::string& path) {
      return call == CommitCall::kRemove && path == Out(backup) ? EIO : 0;
    };
  };
  const auto said = [&](const std::string& backup) {
    return std::string(kCaption) + "A previous file of the document set could not be removed and stays: " +
           Out(backup) + " (Input/output error).";
  };
  const std::string movie = "Shapes_doc.fla/Symbol 4.swf";
  {
    const std::string backup = BackupName(movie, ::getpid());
    {
      CallHookScope eio(failing(backup));
      shell.messages.clear();
      const FileOutcome o = Convert("red.swf");
      EXPECT_EQ(o.result, 0u) << o.detail;
    }
    EXPECT_EQ(shell.messages, std::vector<std::string>{said(backup)});
    Set expected = red;
    expected[backup] = green.at(movie);
    EXPECT_EQ(Snapshot(), expected) << Names(Snapshot());
    EXPECT_EQ(Convert("cut.swf").result, 138u);
    EXPECT_EQ(Snapshot(), expected) << Names(Snapshot());
    EXPECT_EQ(Convert("red.swf").result, 0u);
    EXPECT_EQ(Snapshot(), expected) << Names(Snapshot());
  }

  // Rolled forward: the killed run's backups go but the failing one. The
  // FLA's backup stands beside the user's FLA, so a later sweep removes it.
  for (const std::string& name : {movie, std::string("doc.fla")}) {
    SCOPED_TRACE("rolled forward, " + name);
    Restore(green);
    ASSERT_TRUE(KillInCommit(*this, "red.swf", 0));
    const std::string backup = BackupName(name, killed);
    ASSERT_TRUE(Snapshot().count(backup)) << Names(Snapshot());
    {
      CallHookScope eio(failing(backup));
      shell.messages.clear();
      EXPECT_EQ(Convert("cut.swf").result, 138u);
    }
    EXPECT_EQ(std::count(shell.messages.begin(), shell.messages.end(), said(backup)), 1)
        << ::testing::PrintToString(shell.messages);
    Set expected = red;
    expected[backup] = green.at(name);
    EXPECT_EQ(Snapshot(), expected) << Names(Snapshot());
    EXPECT_EQ(Convert("red.swf").result, 0u);
    if (name != movie) expected.erase(backup);
    EXPECT_EQ(Snapshot(), expected) << Names(Snapshot());
  }
}

// A movie the killed or failing commit added that cannot be taken back to
// its temporary's name: the record stays, so that the next conversion
// takes it back, and the previous set comes back whole.
TEST_F(Conversions, AnAddedMovieThatCannotBeTakenBackKeepsTheRecord) {
  const Set red = Clean("red.swf");
  const std::string added = Out("Shapes_doc.fla/Symbol 5.swf"), record = Out("doc.fla.commit");
  std::vector<std::pair<std::string, std::string>> renames;
  {
    HookScope count([&](const std::string& from, const std::string& to) { return renames.emplace_back(from, to), 0; });
    ASSERT_EQ(Convert("yellow.swf").result, 0u);
  }
  const auto numberOf = [&](const auto& is) {
    return int(std::find_if(renames.begin(), renames.end(), [&](const auto& r) { return is(r.first, r.second); }) -
               renames.begin()) + 1;
  };
  const int fourthIn = numberOf([](const std::string&, const std::string& to) {
    return to.ends_with("/Symbol 4.swf");
  });
  const int fifthIn = numberOf([&](const std::string&, const std::string& to) { return to == added; });
  const int flaAside = numberOf([&](const std::string& from, const std::string&) { return from == Out("doc.fla"); });
  ASSERT_LT(std::max(fourthIn, fifthIn), flaAside) << ::testing::PrintToString(renames);
  ASSERT_LE(flaAside, int(renames.size()));

  Restore(red);
  ASSERT_TRUE(KillInCommit(*this, "yellow.swf", flaAside));
  ASSERT_TRUE(fs::exists(added));
  {
    HookScope refuse([&](const std::string& from, const std::string&) { return from == added ? EIO : 0; });
    const FileOutcome o = Convert("cut.swf");
    EXPECT_EQ(o.result, 44u);
    EXPECT_NE(o.detail.find("all but " + added + " (Input/output error); " + record + " stays for the next conversion"),
              std::string::npos)
        << o.detail;
  }
  EXPECT_TRUE(fs::exists(record));
  EXPECT_EQ(Convert("cut.swf").result, 138u);
  EXPECT_EQ(Snapshot(), red) << Names(Snapshot());

  // The commit's own put-back, after its FLA could not be moved aside.
  {
    HookScope refuse([&](const std::string& from, const std::string& to) {
      return from == Out("doc.fla") || (from == added && to.find(".tmp-") != std::string::npos) ? EIO : 0;
    });
    const FileOutcome o = Convert("yellow.swf");
    EXPECT_EQ(o.result, 44u);
    EXPECT_NE(o.detail.find("taking back the new " + added + " failed too (Input/output error)"), std::string::npos)
        << o.detail;
  }
  EXPECT_TRUE(fs::exists(record));
  EXPECT_EQ(Convert("cut.swf").result, 138u);
  EXPECT_EQ(Snapshot(), red) << Names(Snapshot());
}

// A run whose lock could not be taken still never takes its own
// temporaries for a gone run's: its commit finds them where it made them.
TEST_F(Conversions, ARunWithoutItsLockKeepsItsOwnTemporaries) {
  const Set red = Clean("red.swf"), blue = Clean("blue.swf");
  for (const Set& before : {Set{}, blue}) {
    SCOPED_TRACE(before.empty() ? "into an empty folder" : "over blue");
    Restore(before);
    shell.messages.clear();
    int locks = 0;
    CallHookScope nolock([&](CommitCall call, const std::string&) {
      return call == CommitCall::kRunLock ? (++locks, ENOLCK) : 0;
    });
    const FileOutcome o = Convert("red.swf");
    EXPECT_EQ(locks, 1);
    EXPECT_EQ(o.result, 0u) << o.detail;
    EXPECT_EQ(shell.messages, std::vector<std::string>{});
    EXPECT_EQ(Snapshot(), red) << Names(Snapshot());
  }
}

// Green, then red killed in its commit, then blue with one removal failing,
// each in turn: whatever the result, one whole set stands with at most the
// files named as staying beside it, or the record stays and the detail
// says why; one more conversion leaves one whole set.
TEST_F(Conversions, AFailedRemovalNeverLeavesAMixedSet) {
  const Set blue = Clean("blue.swf"), red = Clean("red.swf"), green = Clean("green.swf");
  // The whole set `now` holds, beside it only files `said` names.
  const Set* const sets[] = {&green, &red, &blue};
  const auto whole = [&](const Set& now, const std::string& said) {
    return std::any_of(std::begin(sets), std::end(sets), [&](const Set* set) {
      for (const auto& [name, bytes] : *set)
        if (!now.count(name) || now.at(name) != bytes) return false;
      for (const auto& [name, bytes] : now)
        if (!set->count(name) && said.find(Out(name)) == std::string::npos) return false;
      return true;
    });
  };
  const auto heard = [&](const FileOutcome& o) {
    std::string text = o.detail;
    for (const std::string& m : shell.messages) text += "\n" + m;
    shell.messages.clear();
    return text;
  };
  for (int k : {5, 11, 0}) {
    Restore(green);
    ASSERT_TRUE(KillInCommit(*this, "red.swf", k));
    const Set left = Snapshot();
    int removals = 0;
    {
      CallHookScope count([&](CommitCall call, const std::string&) { return removals += call == CommitCall::kRemove, 0; });
      ASSERT_EQ(Convert("blue.swf").result, 0u);
    }
    ASSERT_EQ(Snapshot(), blue);
    ASSERT_GT(removals, 0);
    for (int i = 1; i <= removals; ++i) {
      std::string failed;
      Restore(left);
      shell.messages.clear();
      int calls = 0;
      FileOutcome o;
      {
        CallHookScope eio([&](CommitCall call, const std::string& path) {
          if (call != CommitCall::kRemove || ++calls != i) return 0;
          failed = path;
          return EIO;
        });
        o = Convert("blue.swf");
      }
      SCOPED_TRACE("killed at " + std::to_string(k) + ", removal " + std::to_string(i) + " of " +
                   std::to_string(removals) + " failed: " + failed + ", result " + std::to_string(o.result));
      std::string said = heard(o);
      const Set now = Snapshot();
      if (now.count("doc.fla.commit") && !now.at("doc.fla.commit").empty()) {
        EXPECT_EQ(o.result, 44u);
        EXPECT_NE(o.detail.find(Out("doc.fla.commit")), std::string::npos) << said;
      } else {
        EXPECT_TRUE(whole(now, said)) << said << Names(now);
      }
      const FileOutcome next = Convert("cut.swf");
      EXPECT_EQ(next.result, 138u) << next.detail;
      said += '\n';
      said += heard(next);
      EXPECT_TRUE(whole(Snapshot(), said)) << said << Names(Snapshot());
    }
  }
}

}  // namespace
}  // namespace tovrani::test
