// An output folder others can reach: a staged file swapped for a link is
// never written through nor put in place; an import folder that is a link
// or another user's is left as it is; a flush that fails before the FLA is
// in place fails the commit. Nothing outside the document's set is touched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "convert/output_folder.h"
#include "convert/output_set_fixture.h"

namespace tovrani::test {
namespace {

std::vector<uint8_t> LinkTo(const std::string& target) { return Bytes("-> " + target); }

struct CommitSafety : Conversions {
  // The test's folder but the output: the movies and the victim's files.
  Set Outside() {
    Set all = Listing(dir.path());
    std::erase_if(all, [](const auto& f) { return f.first == "out" || f.first.starts_with("out/"); });
    return all;
  }
  Set OutListing() { return Listing(dir.file("out")); }
};

// Acts once the document is being written: the script's temporary, the
// import movies' and the FLA's all stand then.
struct ActsAtTheDocument : RecordingShell {
  std::function<void()> act;
  bool acted = false;
  void SetCurrentAction(const std::string& text) override {
    RecordingShell::SetCurrentAction(text);
    if (text == "writing the FLA document..." && !acted) {
      acted = true;
      act();
    }
  }
};

// Another user swaps a staged file (the script's, an import movie's, the
// FLA's temporary) for a link to the victim's notes.txt while the
// conversion runs: the notes keep their bytes, the commit fails naming the
// temporary, the previous set stays and no final name becomes the link.
// Over a previous set (the staged files are flushed) and into an empty
// folder (only their identity is checked).
TEST_F(CommitSafety, AStagedFileSwappedForALinkIsNeitherWrittenThroughNorPutInPlace) {
  const Set green = Clean("green.swf");
  struct Case {
    const char* name;
    std::string folder, prefix;
  };
  const Case cases[] = {{"script", "", "doc.fla.jsfl.tmp-"},
                        {"import movie", "Shapes_doc.fla/", "Symbol 2.swf.tmp-"},
                        {"document", "", "doc.fla.tmp-"}};
  for (const bool previous : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (previous ? ", over a previous set" : ", into an empty folder"));
      Restore(previous ? green : Set{});
      const std::string notes = dir.file("notes.txt");
      WriteFileBytes(notes, Bytes("the victim's notes\n"));
      const Set outside = Outside(), before = OutListing();
      std::string swapped;  // below out/
      ActsAtTheDocument swapper;
      swapper.act = [&] {
        for (const std::string& name : OutputFolder::Open(Out(c.folder)).List())
          if (name.starts_with(c.prefix) && swapped.empty()) swapped = c.folder + name;
        if (swapped.empty()) return;
        fs::create_symlink(notes, Out(c.folder + ".swap"));
        fs::rename(Out(c.folder + ".swap"), Out(swapped));
      };
      const FileOutcome o = Convert("red.swf", &swapper);
      ASSERT_FALSE(swapped.empty());
      EXPECT_EQ(o.result, 44u);
      EXPECT_NE(o.detail.find(Out(swapped) + " was replaced by another file while the conversion ran"),
                std::string::npos)
          << o.detail;
      EXPECT_EQ(Outside(), outside);
      // The link stays where it was put, the other user's; the rest is the
      // previous set (and the import folder the link keeps from going).
      Set after = OutListing();
      EXPECT_EQ(after[swapped], LinkTo(notes));
      after.erase(swapped);
      Set expected = before;
      if (!c.folder.empty()) expected.try_emplace("Shapes_doc.fla");
      EXPECT_EQ(after, expected);
      for (const char* final : {"doc.fla", "doc.fla.jsfl", "Shapes_doc.fla/Symbol 1.swf", "Shapes_doc.fla/Symbol 2.swf",
                                "Shapes_doc.fla/Symbol 3.swf"})
        EXPECT_FALSE(fs::is_symlink(Out(final))) << final;
    }
  }
}

// An import folder that is a link to the victim's folder, or another user's
// real folder (holding a stale movie and files named like leftovers): the
// shapes take the fallback road with its message, the
// conversion succeeds, and nothing in or behind that name is moved,
// removed, flushed or written.
TEST_F(CommitSafety, AnImportFolderThatIsNotTheRunsOwnIsLeftAsItIs) {
  const Set plain = Clean("red.swf", false);
  const std::string fallback =
      "BRASKELON Tovrani: 3 shapes (the first DefineShape 1): their movies for the script could not be written; "
      "they are converted as with \"Convert Using JSFL Import\" off.";
  const Set planted = {{"Symbol 3.swf", {'v'}},
                       {"Symbol 9.swf", {'s'}},
                       {"Symbol 1.swf.tmp-0000001-abcdef", {'t'}},
                       {"Symbol 2.swf.bak-0000001", {'b'}}};
  // Two conversions, the first into a folder without a document, the
  // second over the first's set: each takes the fallback road and leaves
  // the import folder's name as `shapes` has it.
  const auto check = [&](const std::string& what, const std::function<void()>& plant, const Set& shapes) {
    SCOPED_TRACE(what);
    for (const char* movie : {"red.swf", "blue.swf"}) {
      SCOPED_TRACE(movie);
      if (std::string(movie) == "red.swf") {
        Restore({});
        plant();
      }
      const Set outside = Outside();
      std::vector<std::string> touched;
      HookScope renames([&](const std::string& from, const std::string& to) {
        for (const std::string& p : {from, to})
          if (p.starts_with(Out("Shapes_doc.fla"))) touched.push_back(p);
        return 0;
      });
      FlushHookScope flushes([&](const std::string& path) {
        if (path.starts_with(Out("Shapes_doc.fla"))) touched.push_back(path);
        return 0;
      });
      shell.messages.clear();
      EXPECT_EQ(Convert(movie).result, 0u);
      EXPECT_EQ(std::count(shell.messages.begin(), shell.messages.end(), fallback), 1) << ::testing::PrintToString(shell.messages);
      EXPECT_EQ(touched, std::vector<std::string>{});
      EXPECT_EQ(Outside(), outside);
      Set after = OutListing(), expected = shapes;
      ExpectReadableDocument(Out("doc.fla"));
      // Red's document and script are those of a conversion with the
      // import off; beside them stands only what was planted.
      for (const std::string name : {"doc.fla", "doc.fla.jsfl"}) {
        EXPECT_EQ(after.count(name), 1u) << name;
        if (std::string(movie) == "red.swf") {
          EXPECT_EQ(after[name], plain.at(name)) << name;
        }
        after.erase(name);
      }
      EXPECT_EQ(after, expected);
    }
  };
  const auto inFolder = [](const Set& files) {
    Set s{{"Shapes_doc.fla", {}}};
    for (const auto& [name, bytes] : files) s["Shapes_doc.fla/" + name] = bytes;
    return s;
  };

  // A link to the victim's folder, made before the first conversion.
  const std::string victim = dir.file("victim");
  check(
      "a link",
      [&] {
        fs::remove_all(victim);
        fs::create_directories(victim);
        for (const auto& [name, bytes] : planted) WriteFileBytes(victim + "/" + name, bytes);
        fs::create_directory_symlink(victim, Out("Shapes_doc.fla"));
      },
      {{"Shapes_doc.fla", LinkTo(victim)}});
  EXPECT_EQ(Listing(victim), planted);
  fs::remove_all(victim);

  // Another user's real folder, as the owner test sees it.
  const auto plantFolder = [&] {
    fs::create_directories(Out("Shapes_doc.fla"));
    for (const auto& [name, bytes] : planted) WriteFileBytes(Out("Shapes_doc.fla/" + name), bytes);
  };
  {
    const std::string folder = Out("Shapes_doc.fla");
    struct OwnerHookScope {
      explicit OwnerHookScope(OwnerHook h) { SetOwnerHook(std::move(h)); }
      ~OwnerHookScope() { SetOwnerHook({}); }
    } another([&](const std::string& path) -> std::optional<uid_t> {
      if (path == folder) return ::geteuid() + 4242;
      return std::nullopt;
    });
    check("another user's folder", plantFolder, inFolder(planted));
  }

  // For real: a folder all may write, another user's.
  if (::geteuid() != 0) {
    std::cout << "[ NOTE     ] not root: another user's real import folder not tried\n";
    return;
  }
  check(
      "another user's folder, for real",
      [&] {
        plantFolder();
        for (const auto& [name, bytes] : planted)
          ASSERT_EQ(::chown(Out("Shapes_doc.fla/" + name).c_str(), 4242, 4242), 0);
        ASSERT_EQ(::chown(Out("Shapes_doc.fla").c_str(), 4242, 4242), 0);
        ASSERT_EQ(::chmod(Out("Shapes_doc.fla").c_str(), 0777), 0);
      },
      inFolder(planted));
}

// Over a previous set, each flush before the FLA's rename fails in turn
// (the staged files' data, the record's, the folders'): the commit fails
// naming the path and the reason, and the previous set stands. The flush
// after the FLA's rename fails: the new set stands whole and the movie
// fails. A recovery whose flush fails keeps its record, and the next
// conversion rolls back exactly.
TEST_F(CommitSafety, AFailedFlushFailsTheCommitUntilTheDocumentIsInPlace) {
  const Set fresh = Clean("red.swf"), before = Clean("green.swf");
  const Set outside = Outside();
  std::vector<std::string> flushes;
  {
    FlushHookScope record([&](const std::string& path) { return flushes.push_back(path), 0; });
    ASSERT_EQ(Convert("red.swf").result, 0u);
  }
  // Three movies, the script and the FLA, the record, then the folders.
  ASSERT_EQ(flushes.size(), 10u) << ::testing::PrintToString(flushes);
  EXPECT_EQ(flushes[5], Out("doc.fla.commit"));
  EXPECT_EQ(std::vector<std::string>(flushes.begin() + 6, flushes.end()),
            (std::vector<std::string>{Out(""), Out("Shapes_doc.fla/"), Out(""), Out("")}));
  for (size_t i = 0; i < flushes.size(); ++i) {
    SCOPED_TRACE("flush " + std::to_string(i) + ": " + flushes[i]);
    Restore(before);
    size_t calls = 0;
    std::string failed;
    FlushHookScope eio([&](const std::string& path) {
      if (calls++ != i) return 0;
      failed = path;
      return EIO;
    });
    const FileOutcome o = Convert("red.swf");
    EXPECT_EQ(o.result, 44u);
    ASSERT_FALSE(failed.empty());
    // A staged file's temporary bears this run's random part.
    EXPECT_EQ(failed.substr(0, failed.find(".tmp-")), flushes[i].substr(0, flushes[i].find(".tmp-")));
    EXPECT_NE(o.detail.find(failed), std::string::npos) << o.detail;
    EXPECT_NE(o.detail.find("(Input/output error)"), std::string::npos) << o.detail;
    if (i + 1 < flushes.size()) {
      EXPECT_NE(o.detail.find("the previous files stand as they were"), std::string::npos) << o.detail;
      EXPECT_EQ(Snapshot(), before);
    } else {
      EXPECT_NE(o.detail.find("the new document set stands, but " + Out("") +
                              " could not be flushed to disk (Input/output error): it may not survive a power cut"),
                std::string::npos)
          << o.detail;
      EXPECT_EQ(Snapshot(), fresh);
    }
    EXPECT_EQ(Outside(), outside);
  }

  Restore(before);
  ASSERT_TRUE(KillInCommit(*this, "red.swf", 5));
  {
    bool failedOnce = false;
    FlushHookScope eio([&](const std::string& path) {
      if (failedOnce || !path.ends_with('/')) return 0;
      failedOnce = true;
      return EIO;
    });
    const FileOutcome o = Convert("blue.swf");
    EXPECT_EQ(o.result, 44u);
    EXPECT_NE(o.detail.find("could not be flushed to disk (Input/output error); " + Out("doc.fla.commit") +
                            " stays for the next conversion"),
              std::string::npos)
        << o.detail;
  }
  // The record stays, and with it the killed run's temporaries.
  Set kept = Snapshot();
  EXPECT_EQ(kept.erase("doc.fla.commit"), 1u);
  EXPECT_EQ(std::erase_if(kept, [](const auto& f) { return f.first.find(".tmp-") != std::string::npos; }), 5u);
  EXPECT_EQ(kept, before);
  EXPECT_EQ(Convert("cut.swf").result, 138u);
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(Outside(), outside);
}

// An output folder the user may write and search but not read (0333): the
// conversion takes the new set as over any folder, though it can neither
// list, lock nor flush the folder. Where the test runs as root (who reads
// any folder), the conversion runs as another user, who owns the output.
TEST_F(CommitSafety, AFolderTheUserMayNotReadTakesTheNewSet) {
  const Set fresh = Clean("red.swf"), before = Clean("green.swf");
  const bool root = ::geteuid() == 0;
  constexpr uid_t kUser = 65534;
  if (root) {
    fs::permissions(dir.path(), fs::perms(0755));
    for (const auto& e : fs::recursive_directory_iterator(Out("")))
      ASSERT_EQ(::lchown(e.path().c_str(), kUser, kUser), 0);
    ASSERT_EQ(::lchown(Out("").c_str(), kUser, kUser), 0);
  }
  fs::permissions(Out(""), fs::perms(0333));
  const pid_t child = ::fork();
  if (child == 0) {
    if (root && (::setgroups(0, nullptr) != 0 || ::setresgid(kUser, kUser, kUser) != 0 ||
                 ::setresuid(kUser, kUser, kUser) != 0))
      ::_exit(99);
    const FileOutcome o = Convert("red.swf");
    if (!o.detail.empty()) std::cerr << o.detail << "\n";
    ::_exit(int(o.result & 0xFF));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  fs::permissions(Out(""), fs::perms(0755));
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Snapshot(), fresh);
  EXPECT_NE(before, fresh);
}

}  // namespace
}  // namespace tovrani::test
