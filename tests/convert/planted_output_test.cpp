// What others plant in an output folder shared with them: records, backups,
// temporaries, links and FIFOs. Only the program's own name forms, and only
// the running user's own records, backups and temporaries, are ever acted
// on; another user's record leaves that document's set to its owner; a
// record is never read past what a commit can write, nor opened where it
// could block. Nothing outside the set is touched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <iostream>
#include <optional>
#include <set>
#include <utility>

#include <fcntl.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "convert/commit_record.h"
#include "convert/output_folder.h"
#include "convert/output_set_fixture.h"

namespace tovrani::test {
namespace {

// The entries in which `seen` differs from `expected`, by name; "" when none.
std::string Differences(const Set& seen, const Set& expected) {
  std::string out;
  for (const auto& [name, bytes] : seen)
    if (!expected.count(name))
      out += "\n  unexpected: " + name;
    else if (expected.at(name) != bytes)
      out += "\n  changed: " + name;
  for (const auto& [name, bytes] : expected)
    if (!seen.count(name)) out += "\n  missing: " + name;
  return out;
}

// A record's bytes written by hand: each field followed by a NUL byte.
std::vector<uint8_t> RecordBytes(const std::vector<std::string>& fields) {
  std::vector<uint8_t> out;
  for (const std::string& f : fields) {
    out.insert(out.end(), f.begin(), f.end());
    out.push_back(0);
  }
  return out;
}

constexpr uid_t kOther = 4242;

std::string OtherName() {
  const passwd* p = ::getpwuid(kOther);
  return p ? p->pw_name : "user " + std::to_string(kOther);
}

// Conversions to out/doc.fla among files another user planted: made theirs
// by the owner hook, and again for real (chown) where the test runs as root.
struct Planted : Conversions {
  Planted() {
    SetOwnerHook([this](const std::string& path) -> std::optional<uid_t> {
      if (theirs.count(path)) return kOther;
      return std::nullopt;
    });
  }
  ~Planted() override { SetOwnerHook({}); }

  // Runs `part` with the owner hook, then with the files really another's.
  void BothWays(const std::function<void()>& part) {
    for (bool chowned : {false, true}) {
      if (chowned && ::geteuid() != 0) {
        if (!saidSkipped) std::cout << "[   NOTE   ] not root: files of another user planted by the owner hook only\n";
        saidSkipped = true;
        return;
      }
      SCOPED_TRACE(chowned ? "really another user's" : "another user's by the owner hook");
      real = chowned;
      part();
      theirs.clear();
    }
  }
  void Theirs(const std::string& path) {
    if (real)
      EXPECT_EQ(::lchown(path.c_str(), kOther, kOther), 0) << path;
    else
      theirs.insert(path);
  }
  void Mine(const std::string& path) {
    if (real)
      EXPECT_EQ(::lchown(path.c_str(), ::geteuid(), ::getegid()), 0) << path;
    else
      theirs.erase(path);
  }
  Set Listed() { return Listing(dir.file("out")); }
  // Why a movie fails, before anything of it is staged, where another
  // user's record stands.
  std::string TheirRecord() {
    return Out("doc.fla.commit") + " is a record of " + OtherName() +
           "'s, which only that user's next conversion to this output finishes; nothing was changed";
  }

  // Converts `movie` in a child process that an alarm ends after 20 s, so a
  // conversion that blocks fails the test instead of hanging it; `first`
  // runs in the child before. The result (-1 when the child did not end by
  // itself) and the detail.
  std::pair<int, std::string> ConvertWatched(const std::string& movie, const std::function<void()>& first = {}) {
    const std::string detail = dir.file("detail");
    const pid_t child = ::fork();
    if (child == 0) {
      ::alarm(20);
      if (first) first();
      const FileOutcome o = Convert(movie);
      WriteFileBytes(detail, Bytes(o.detail));
      ::_exit(int(o.result & 0xFF));
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
      return {-1, "the conversion did not end (wait status " + std::to_string(status) + ")"};
    const std::vector<uint8_t> said = ReadFileBytes(detail);
    fs::remove(detail);
    return {WEXITSTATUS(status), std::string(said.begin(), said.end())};
  }

  std::set<std::string> theirs;
  bool real = false;
  bool saidSkipped = false;
};

// A record that names a temporary "doc.fla.tmp-9999999-/a.txt", with a
// link of that name leading to another folder: the record is malformed and
// removed unread; a.txt stays, whether the conversion fails or succeeds. Names close to the
// program's own (wrong digits, a random part with a dot, an import movie
// name with a leading zero or none at all, a file in a subfolder) and links
// in the program's own forms are left as they are, also with their final
// names missing.
TEST_F(Planted, OnlyTheProgramsOwnNameFormsAreActedOn) {
  const Set blue = Clean("blue.swf"), fresh = Clean("red.swf");
  fs::create_directories(dir.file("elsewhere"));
  WriteFileBytes(dir.file("elsewhere/a.txt"), Bytes("not the program's"));
  const Set elsewhere = Listing(dir.file("elsewhere"));
  const std::string record = Out("doc.fla.commit");
  const std::vector<uint8_t> leadingOut =
      RecordBytes({"tovrani commit 1", "9999999", "R", "doc.fla.tmp-9999999-/a.txt", "doc.fla", "end"});
  const std::string link = "doc.fla.tmp-9999999-", linked = "-> " + dir.file("elsewhere");
  fs::create_directory_symlink(dir.file("elsewhere"), Out(link));

  WriteFileBytes(record, leadingOut);
  EXPECT_EQ(Convert("cut.swf").result, 138u);
  Set expected = fresh;
  expected[link] = Bytes(linked);
  EXPECT_EQ(Differences(Listed(), expected), "");
  EXPECT_EQ(Differences(Listing(dir.file("elsewhere")), elsewhere), "");
  WriteFileBytes(record, leadingOut);
  EXPECT_EQ(Convert("blue.swf").result, 0u);
  expected = blue;
  expected[link] = Bytes(linked);
  EXPECT_EQ(Differences(Listed(), expected), "");
  EXPECT_EQ(Differences(Listing(dir.file("elsewhere")), elsewhere), "");

  // Near forms, and links in the program's forms, with no FLA, script or
  // movies beside them.
  Restore({});
  WriteFileBytes(dir.file("victim.txt"), Bytes("the user's notes"));
  fs::create_directories(Out("Shapes_doc.fla/sub"));
  for (const char* name :
       {"doc.fla.tmp-123-abcdef", "doc.fla.bak-12345678", "doc.fla.bak-123456", "doc.fla.tmp-0000001-abc.de",
        "doc.fla.tmp-0000001-abcde", "doc.fla.jsfl.tmp-00x0001-abcdef", "Shapes_doc.fla/notes.txt.bak-0000001",
        "Shapes_doc.fla/Symbol 01.swf.bak-0000001", "Shapes_doc.fla/Symbol 65536.swf.bak-0000001",
        "Shapes_doc.fla/sub/Symbol 1.swf.bak-0000001"})
    WriteFileBytes(Out(name), Bytes(name));
  for (const char* name :
       {"doc.fla.bak-0000001", "doc.fla.jsfl.tmp-0000001-abcdef", "Shapes_doc.fla/Symbol 2.swf.bak-0000001"})
    fs::create_symlink(dir.file("victim.txt"), Out(name));
  const Set planted = Listed();
  EXPECT_EQ(Convert("cut.swf").result, 138u);
  EXPECT_EQ(Differences(Listed(), planted), "");
  EXPECT_EQ(Convert("red.swf").result, 0u);
  expected = fresh;
  expected.insert(planted.begin(), planted.end());
  EXPECT_EQ(Differences(Listed(), expected), "");
  EXPECT_EQ(ReadFileBytes(dir.file("victim.txt")), Bytes("the user's notes"));
}

// Another user's leftovers in the program's forms, of a run that is gone:
// temporaries and backups without a record (the same files as the user's
// own are swept), and a record of steps that add files, their temporaries
// missing, over the user's previous set. Conversions leave them all as
// they are, and the previous set with them; where their record stands every
// conversion fails with 44, naming it and its owner.
TEST_F(Planted, AnotherUsersRecordBackupsAndTemporariesAreLeftToThem) {
  const Set fresh = Clean("red.swf");
  const std::string record = Out("doc.fla.commit");
  const std::string refused = TheirRecord();

  const std::vector<std::string> leftovers = {"doc.fla.jsfl.tmp-9999999-abcdef",
                                              "doc.fla.tmp-9999999-abcdef",
                                              "Shapes_doc.fla/Symbol 2.swf.tmp-9999999-abcdef",
                                              "Shapes_doc.fla/Symbol 1.swf.bak-9999999",
                                              "doc.fla.jsfl.bak-9999999",
                                              "Shapes_doc.fla/Symbol 4.swf.bak-9999999"};
  const auto plantLeftovers = [&](bool theirs) {
    Restore(fresh);
    for (const std::string& name : leftovers) {
      WriteFileBytes(Out(name), Bytes("planted"));
      if (theirs) Theirs(Out(name));
    }
  };
  // The user's own, the FLA's temporary among them: a commit killed after
  // its record was removed. Nothing of it is swept, and its backups are
  // named. Without the FLA's temporary, the gone run's temporaries go, and
  // its backups where the user's file stands; none is ever put back.
  plantLeftovers(false);
  const Set ownPlanted = Listed();
  const FileOutcome o = Convert("cut.swf");
  EXPECT_EQ(o.result, 44u);
  for (const char* backup :
       {"doc.fla.jsfl.bak-9999999", "Shapes_doc.fla/Symbol 1.swf.bak-9999999", "Shapes_doc.fla/Symbol 4.swf.bak-9999999"})
    EXPECT_NE(o.detail.find(Out(backup)), std::string::npos) << o.detail;
  EXPECT_NE(o.detail.find("whose record is gone; nothing was changed"), std::string::npos) << o.detail;
  EXPECT_EQ(Differences(Listed(), ownPlanted), "");
  fs::remove(Out("doc.fla.tmp-9999999-abcdef"));
  EXPECT_EQ(Convert("cut.swf").result, 138u);
  Set expected = fresh;
  expected["Shapes_doc.fla/Symbol 4.swf.bak-9999999"] = Bytes("planted");
  EXPECT_EQ(Differences(Listed(), expected), "");

  BothWays([&] {
    plantLeftovers(true);
    const Set planted = Listed();
    EXPECT_EQ(Convert("cut.swf").result, 138u);
    EXPECT_EQ(Differences(Listed(), planted), "");
    EXPECT_EQ(Convert("red.swf").result, 0u);
    EXPECT_EQ(Differences(Listed(), planted), "");
  });

  // Their record of a commit that added the set's files, their FLA's
  // temporary beside it: read, it would remove the user's movie and script.
  BothWays([&] {
    Restore(fresh);
    WriteFileBytes(
        record, RecordBytes({"tovrani commit 1", "9999999", "A", "Shapes_doc.fla/Symbol 1.swf.tmp-9999999-abcdef",
                             "Shapes_doc.fla/Symbol 1.swf", "A", "doc.fla.jsfl.tmp-9999999-abcdef", "doc.fla.jsfl", "A",
                             "doc.fla.tmp-9999999-abcdef", "doc.fla", "end"}));
    WriteFileBytes(Out("doc.fla.tmp-9999999-abcdef"), Bytes("their document"));
    Theirs(record);
    Theirs(Out("doc.fla.tmp-9999999-abcdef"));
    const Set planted = Listed();
    for (const char* movie : {"cut.swf", "blue.swf"}) {
      SCOPED_TRACE(movie);
      const FileOutcome o = Convert(movie);
      EXPECT_EQ(o.result, 44u);
      EXPECT_NE(o.detail.find(refused), std::string::npos) << o.detail;
      EXPECT_EQ(Differences(Listed(), planted), "");
    }
  });

}

// Red replacing green killed before its fifth rename (two movies replaced,
// their backups beside them), its record then another user's: conversions
// fail with 44, naming the record, and leave every file as the kill left
// it, the FLA's temporary and the backups included. Once the record is the
// user's again, the next conversion rolls the commit back to green exactly.
TEST_F(Planted, AKilledCommitWhoseRecordIsAnotherUsersIsLeftToItsOwner) {
  const Set before = Clean("green.swf");
  const std::string record = Out("doc.fla.commit");
  BothWays([&] {
    Restore(before);
    ASSERT_TRUE(KillInCommit(*this, "red.swf", 5));
    const Set halfway = Listed();
    ASSERT_TRUE(halfway.count("doc.fla.commit"));
    ASSERT_TRUE(
        std::any_of(halfway.begin(), halfway.end(), [](const auto& f) { return f.first.starts_with("doc.fla.tmp-"); }));
    Theirs(record);
    for (const char* movie : {"cut.swf", "blue.swf"}) {
      SCOPED_TRACE(movie);
      const FileOutcome o = Convert(movie);
      EXPECT_EQ(o.result, 44u);
      EXPECT_NE(o.detail.find(TheirRecord()), std::string::npos) << o.detail;
      EXPECT_EQ(Differences(Listed(), halfway), "");
    }
    Mine(record);
    EXPECT_EQ(Convert("cut.swf").result, 138u);
    EXPECT_EQ(Differences(Listed(), before), "");
  });
}

// Green replaced by red, killed; then a file put at a name the kill left
// free: another user's at the script's temporary when it was killed moving
// the FLA aside (the new script would go back there), another user's at
// the FLA once that was moved aside, and a second link of the FLA's
// temporary. Each stops the recovery: 44 naming that file, every file as
// it was. Once it is gone, the next conversion rolls back exactly. Put at
// the FLA's temporary once the FLA is in place, another user's file stays
// beside the new set.
TEST_F(Planted, AFileAtANameAKilledCommitLeftFreeStopsItsRecovery) {
  const Set fresh = Clean("red.swf"), before = Clean("green.swf");
  enum Plant { kScriptTemp, kDocument, kSecondLink };
  const auto stopped = [&](Plant plant) {
    SCOPED_TRACE(plant);
    Restore(before);
    ASSERT_TRUE(KillInCommit(*this, "red.swf", plant == kDocument ? 11 : 10));
    const std::string planted = plant == kScriptTemp ? Out(RecordedTemp(*this, "doc.fla.jsfl"))
                                : plant == kDocument ? Out("doc.fla")
                                                     : Out(RecordedTemp(*this, "doc.fla"));
    const std::string keeper = dir.file("keeper");
    if (plant == kSecondLink) {
      fs::create_hard_link(planted, keeper);
    } else {
      ASSERT_FALSE(fs::exists(planted));
      WriteFileBytes(planted, Bytes("theirs"));
      Theirs(planted);
    }
    const Set halfway = Listed();
    const FileOutcome o = Convert("cut.swf");
    EXPECT_EQ(o.result, 44u);
    EXPECT_NE(o.detail.find(planted + " ("), std::string::npos) << o.detail;
    EXPECT_NE(o.detail.find("; nothing was changed"), std::string::npos) << o.detail;
    EXPECT_EQ(Differences(Listed(), halfway), "");
    fs::remove(plant == kSecondLink ? keeper : planted);
    theirs.erase(planted);
    EXPECT_EQ(Convert("cut.swf").result, 138u);
    EXPECT_EQ(Differences(Listed(), before), "");
  };
  BothWays([&] {
    stopped(kScriptTemp);
    stopped(kDocument);
    Restore(before);
    ASSERT_TRUE(KillInCommit(*this, "red.swf", 0));
    const std::string planted = Out(RecordedTemp(*this, "doc.fla"));
    WriteFileBytes(planted, Bytes("theirs"));
    Theirs(planted);
    EXPECT_EQ(Convert("cut.swf").result, 138u);
    Set expected = fresh;
    expected[planted.substr(Out("").size())] = Bytes("theirs");
    EXPECT_EQ(Differences(Listed(), expected), "");
  });
  stopped(kSecondLink);
}

// Files at backups' names that no commit moved aside are never put back:
// another user's, planted for the FLA and the script of a first conversion
// killed before its FLA was in place (a commit that only added files), and
// a second link of a private file of the user's planted where no record
// stands. No final name becomes theirs or the private file, and the
// conversions after go on as usual.
TEST_F(Planted, BackupsNoCommitMovedAsideAreNeverPutBack) {
  const Set fresh = Clean("red.swf");
  BothWays([&] {
    Restore({});
    ASSERT_TRUE(KillInCommit(*this, "red.swf", 5));
    ASSERT_TRUE(fs::exists(Out("doc.fla.commit")));
    Set planted;
    for (const std::string& name : {"doc.fla.bak-" + PidDigits(killed), "doc.fla.jsfl.bak-" + PidDigits(killed)}) {
      WriteFileBytes(Out(name), Bytes("theirs"));
      Theirs(Out(name));
      planted[name] = Bytes("theirs");
    }
    EXPECT_EQ(Convert("cut.swf").result, 138u);
    EXPECT_EQ(Differences(Listed(), planted), "");
    EXPECT_EQ(Convert("red.swf").result, 0u);
    Set expected = fresh;
    expected.insert(planted.begin(), planted.end());
    EXPECT_EQ(Differences(Listed(), expected), "");
  });
  Restore({});
  WriteFileBytes(dir.file("private.txt"), Bytes("the user's own"));
  fs::permissions(dir.file("private.txt"), fs::perms::owner_read | fs::perms::owner_write);
  fs::create_hard_link(dir.file("private.txt"), Out("doc.fla.bak-9999999"));
  const Set planted = Listed();
  EXPECT_EQ(Convert("cut.swf").result, 138u);
  EXPECT_EQ(Differences(Listed(), planted), "");
  EXPECT_EQ(fs::hard_link_count(dir.file("private.txt")), 2u);
}

// While a commit of the user's runs (green replaced by red), another keeps
// its record: moves it out of the folder, or links it. The commit ends as
// usual, and the record it leaves elsewhere is empty. Put back two
// conversions later, with another user's files under the FLA's temporary
// name it gave and as a backup of the script, it is a record cut short: it
// is removed and nothing else changes. A file another puts at the record's
// name meanwhile is not the commit's to remove.
TEST_F(Planted, ARecordKeptAsideAndPutBackChangesNothing) {
  const Set green = Clean("green.swf");
  const std::string record = Out("doc.fla.commit"), kept = dir.file("kept.commit");
  // Acts on the record when the commit renames the FLA in.
  const auto atTheDocument = [&](const std::function<void()>& act) {
    return [&, act](const std::string& from, const std::string& to) {
      if (to == Out("doc.fla") && from.find(".tmp-") != std::string::npos) act();
      return 0;
    };
  };
  BothWays([&] {
    for (bool link : {false, true}) {
      SCOPED_TRACE(link ? "linked" : "moved");
      Restore(green);
      std::string flaTemp;
      {
        HookScope keep(atTheDocument([&] {
          flaTemp = RecordedTemp(*this, "doc.fla");
          if (link) fs::create_hard_link(record, kept);
          else fs::rename(record, kept);
        }));
        EXPECT_EQ(Convert("red.swf").result, 0u);
      }
      ASSERT_FALSE(flaTemp.empty());
      EXPECT_EQ(fs::file_size(kept), 0u);
      EXPECT_EQ(Convert("blue.swf").result, 0u);
      EXPECT_EQ(Convert("red.swf").result, 0u);
      Set expected = Listed();
      fs::rename(kept, record);
      for (const std::string& name : {flaTemp, "doc.fla.jsfl.bak-" + PidDigits(::getpid())}) {
        WriteFileBytes(Out(name), Bytes("theirs"));
        Theirs(Out(name));
        expected[name] = Bytes("theirs");
      }
      EXPECT_EQ(Convert("cut.swf").result, 138u);
      EXPECT_EQ(Differences(Listed(), expected), "");
    }
    Restore(green);
    HookScope swap(atTheDocument([&] {
      fs::rename(record, kept);
      WriteFileBytes(record, Bytes("theirs"));
      Theirs(record);
    }));
    EXPECT_EQ(Convert("red.swf").result, 0u);
    EXPECT_EQ(ReadFileBytes(record), Bytes("theirs"));
    EXPECT_EQ(fs::file_size(kept), 0u);
    fs::remove(record);
    fs::remove(kept);
  });
}

// Between the making of an import folder and its opening, another user's
// empty folder takes its place: the run takes its movies the road without
// them, and a cancel that abandons the document leaves that folder alone.
TEST_F(Planted, AnImportFolderTakenBeforeItIsOpenedIsNotTheRunsToRemove) {
  BothWays([&] {
    Restore({});
    const std::string folder = Out("Shapes_doc.fla");
    CallHookScope swap([&](CommitCall call, const std::string& path) {
      if (call == CommitCall::kImportFolderMade && path == folder) {
        fs::remove(folder);
        fs::create_directory(folder);
        Theirs(folder);
      }
      return 0;
    });
    CancelsAtTheDocument cancelling;
    EXPECT_EQ(Convert("red.swf", &cancelling).result, 130u);
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(fs::is_empty(folder));
    fs::remove(folder);
  });
}

// A well-formed record padded to `size` bytes in all with steps that add
// movies no set has (each already taken back: its temporary and its name
// free, so a roll-back passes over it).
std::vector<uint8_t> Padded(const std::vector<uint8_t>& record, uint64_t size) {
  // The FLA's step (kind, temporary, final name) and the end mark close
  // every record: the padding goes before them.
  size_t at = record.size() - 1;
  for (int nuls = 0; nuls < 4;)
    if (record[--at] == 0) ++nuls;
  ++at;
  std::vector<uint8_t> out(record.begin(), record.begin() + ptrdiff_t(at));
  // The process id, the second field.
  const auto head = std::find(record.begin(), record.end(), 0) + 1;
  const std::string pid(head, std::find(head, record.end(), 0));
  // A step "A", "F.tmp-PPPPPPP-abcdef", "F" with F "Shapes_doc.fla/Symbol
  // N.swf" takes 75 bytes and twice N's digits, 8 more in the folder
  // "StaticText_doc.fla": 77 to 93, always odd, so their number follows
  // the gap's parity.
  const uint64_t gap = size - record.size();
  uint64_t steps = (gap + 92) / 93;
  if ((steps & 1) != (gap & 1)) ++steps;
  uint64_t units = (gap - 77 * steps) / 2;
  const char* const numbers[] = {"9", "99", "999", "9999", "65535"};
  for (uint64_t i = 0; i < steps; ++i) {
    const uint64_t more = std::min<uint64_t>(units, 8);
    units -= more;
    const bool text = more >= 4;
    const std::string name = std::string(text ? "StaticText_doc.fla" : "Shapes_doc.fla") + "/Symbol " +
                             numbers[text ? more - 4 : more] + ".swf";
    const std::string step = std::string("A") + '\0' + name + ".tmp-" + pid + "-abcdef" + '\0' + name + '\0';
    out.insert(out.end(), step.begin(), step.end());
  }
  out.insert(out.end(), record.begin() + ptrdiff_t(at), record.end());
  return out;
}

// A 64 MiB record of NUL bytes, the user's own, is refused unread: it costs
// no memory near its size (read whole it took over a gigabyte) and is
// removed, a record that changed nothing. A record that would roll a killed
// commit back is read at the longest a commit can write, and refused one
// byte longer: then the killed commit's files meet the sweep alone, which
// names its backups and changes nothing.
TEST_F(Conversions, ARecordLongerThanACommitCanWriteIsNeverRead) {
  const Set red = Clean("red.swf");
  const std::string record = Out("doc.fla.commit");
  {
    const int fd = ::open(record.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::ftruncate(fd, 64 << 20), 0);
    ::close(fd);
  }
  const std::string grew = dir.file("grew");
  const pid_t child = ::fork();
  if (child == 0) {
    rusage start{}, end{};
    ::getrusage(RUSAGE_SELF, &start);
    const uint32_t result = Convert("cut.swf").result;
    ::getrusage(RUSAGE_SELF, &end);
    WriteFileBytes(grew, Bytes(std::to_string(end.ru_maxrss - start.ru_maxrss)));
    ::_exit(int(result & 0xFF));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 138);
  const std::vector<uint8_t> kib = ReadFileBytes(grew);
  ASSERT_FALSE(kib.empty());
  EXPECT_LE(std::stol(std::string(kib.begin(), kib.end())), 64 << 10) << "KiB more at the most";
  EXPECT_EQ(Differences(Snapshot(), red), "");

  const Set before = Clean("green.swf");
  const uint64_t longest = MaxCommitRecordBytes(std::string("doc.fla").size());
  for (uint64_t size : {longest, longest + 1}) {
    SCOPED_TRACE(size);
    Restore(before);
    ASSERT_TRUE(KillInCommit(*this, "red.swf", 5));
    WriteFileBytes(record, Padded(ReadFileBytes(record), size));
    ASSERT_EQ(fs::file_size(record), size);
    Set left = Snapshot();
    left.erase("doc.fla.commit");
    const FileOutcome o = Convert("cut.swf");
    if (size == longest) {
      EXPECT_EQ(o.result, 138u);
      EXPECT_EQ(Differences(Snapshot(), before), "");
    } else {
      const std::string backups = Out("Shapes_doc.fla/Symbol 1.swf.bak-" + PidDigits(killed)) + ", " +
                                  Out("Shapes_doc.fla/Symbol 2.swf.bak-" + PidDigits(killed));
      EXPECT_EQ(o.result, 44u);
      EXPECT_NE(o.detail.find(backups + " hold the previous files of a conversion to this output killed while it replaced the document set, "
                                         "whose record is gone; nothing was changed"),
                std::string::npos)
          << o.detail;
      EXPECT_EQ(Differences(Snapshot(), left), "");
    }
  }
}

// A record swapped for a FIFO between the look at it and its opening, a
// FIFO planted as the record, the user's or another's:
// the conversion never blocks, fails with 44 saying why, and leaves the
// FIFO and the set as they are.
TEST_F(Planted, ARecordThatIsNoPlainFileNeverBlocks) {
  const Set before = Clean("red.swf");
  const std::string record = Out("doc.fla.commit");
  const auto fifoAlone = [&](const std::string& as) {
    Set expected = before;
    expected["doc.fla.commit"] = Bytes(as);
    EXPECT_EQ(Differences(Listed(), expected), "");
  };
  const std::string noPlainFile =
      record + " stands where a record of a commit would, but is no plain file of its own; nothing was changed";

  WriteFileBytes(record,
                 RecordBytes({"tovrani commit 1", "9999999", "R", "doc.fla.tmp-9999999-abcdef", "doc.fla", "end"}));
  auto [result, detail] = ConvertWatched("cut.swf", [&] {
    // The owner is asked between the look and the opening.
    SetOwnerHook([&, swapped = false](const std::string& path) mutable -> std::optional<uid_t> {
      if (path == record && !swapped) {
        swapped = true;
        ::unlink(record.c_str());
        ::mkfifo(record.c_str(), 0666);
      }
      return std::nullopt;
    });
  });
  EXPECT_EQ(result, 44);
  EXPECT_NE(detail.find(record + ", the record of a commit, cannot be opened (it was replaced while it was read); "
                                 "nothing was changed"),
            std::string::npos)
      << detail;
  fifoAlone("fifo");

  std::tie(result, detail) = ConvertWatched("cut.swf");
  EXPECT_EQ(result, 44);
  EXPECT_NE(detail.find(noPlainFile), std::string::npos) << detail;
  fifoAlone("fifo");

  fs::remove(record);

  BothWays([&] {
    ASSERT_EQ(::mkfifo(record.c_str(), 0666), 0);
    Theirs(record);
    const auto [theirResult, theirDetail] = ConvertWatched("cut.swf");
    EXPECT_EQ(theirResult, 44);
    EXPECT_NE(theirDetail.find(TheirRecord()), std::string::npos) << theirDetail;
    fifoAlone("fifo");
    fs::remove(record);
  });
  EXPECT_EQ(Convert("cut.swf").result, 138u);
  EXPECT_EQ(Differences(Listed(), before), "");
}

}  // namespace
}  // namespace tovrani::test
