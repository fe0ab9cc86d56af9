// The document set through the program when its commit is interrupted: a
// second signal, a SIGKILL, a second conversion to the same output. The
// program is stopped (SIGSTOP) at the first rename of its commit, which it
// cannot hold off, and the test acts while it stands there. Also what a run
// sweeps of the runs killed before it, and the message of a movie declaring
// a length past the limit. Conversions that share an output with a live
// one held at a step (in PID namespaces of their own where allowed), and a
// wait for the folder's lock.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "app/program_runner.h"
#include "convert/output_folder.h"
#include "convert/output_set_fixture.h"
#include "fla/work_folder.h"
#include "support/swf_writer.h"

extern char** environ;

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;
using Set = std::map<std::string, std::vector<uint8_t>>;

// Many shapes of one colour, each an import movie of its own: a commit of
// thousands of renames.
std::vector<uint8_t> ManyShapes(uint32_t rgb, uint16_t count = 1000) {
  SwfWriter w(8);
  for (uint16_t id = 1; id <= count; ++id) w.tag(2, SquareShape(id, 0, 200 + id % 50, rgb));
  w.tag(26, SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0).data()).showFrame();
  return w.end().build();
}

// The program running on its own, its output in a file.
class Running {
 public:
  Running(const std::vector<std::string>& args, const std::string& config, const std::string& tmp,
          const std::string& log)
      : log_(log) {
    std::vector<std::string> env = {"XDG_CONFIG_HOME=" + config, "TMPDIR=" + tmp};
    for (char** e = environ; *e; ++e)
      if (!std::string(*e).starts_with("XDG_CONFIG_HOME=") && !std::string(*e).starts_with("TMPDIR="))
        env.push_back(*e);
    std::vector<std::string> argv = {TOVRANI_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> a, e;
    for (std::string& s : argv) a.push_back(s.data());
    for (std::string& s : env) e.push_back(s.data());
    a.push_back(nullptr);
    e.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    if (posix_spawn(&pid_, a[0], &files, nullptr, a.data(), e.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&files);
  }
  ~Running() {
    if (pid_ > 0 && status_ < 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }
  pid_t pid() const { return pid_; }
  // Exit status, 128 + the signal that ended it, or -1.
  int Wait() { return Reap(0); }
  bool Exited() { return Reap(WNOHANG) >= 0; }
  std::string Output() const {
    std::ifstream in(log_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  int Reap(int options) {
    int s = 0;
    if (status_ < 0 && pid_ > 0 && ::waitpid(pid_, &s, options) == pid_)
      status_ = WIFEXITED(s) ? WEXITSTATUS(s) : 128 + WTERMSIG(s);
    return status_;
  }

  std::string log_;
  pid_t pid_ = -1;
  int status_ = -1;
};

// Watches a folder for the first rename in it.
class FirstRename {
 public:
  explicit FirstRename(const std::string& folder) {
    fd_ = inotify_init1(IN_CLOEXEC);
    if (fd_ >= 0) inotify_add_watch(fd_, folder.c_str(), IN_MOVED_FROM | IN_MOVED_TO);
  }
  ~FirstRename() {
    if (fd_ >= 0) ::close(fd_);
  }
  // Stops `p` at the first rename; false when none comes in time.
  bool StopAtIt(Running& p) {
    pollfd w{fd_, POLLIN, 0};
    if (fd_ < 0 || ::poll(&w, 1, 120000) != 1) return false;
    return ::kill(p.pid(), SIGSTOP) == 0;
  }

 private:
  int fd_ = -1;
};

bool HasLeftovers(const Set& set) {
  for (const auto& [name, bytes] : set)
    if (name.find(".tmp-") != std::string::npos || name.find(".bak-") != std::string::npos ||
        name.ends_with(".commit"))
      return true;
  return false;
}

struct Interrupted : ::testing::Test {
  Interrupted() {
    fs::create_directories(dir.file("out"));
    fs::create_directories(dir.file("tmp"));
    WriteFileBytes(dir.file("red.swf"), ManyShapes(0xCC0000));
    WriteFileBytes(dir.file("blue.swf"), ManyShapes(0x0000CC));
    // The sets each movie gives, in the folder of the test.
    red = Convert("red.swf");
    blue = Convert("blue.swf");
  }
  std::vector<std::string> Args(const std::string& movie) {
    return {"-q", "--set", "Shape / Morph Shape: Convert Using JSFL Import=on", dir.file(movie), "-o",
            dir.file("out/doc.fla")};
  }
  Set Convert(const std::string& movie) {
    const ProgramRun run = RunProgram(Args(movie), dir.file("config"), "TMPDIR=" + ShellQuote(dir.file("tmp")) + " ");
    EXPECT_EQ(run.status, 0) << run.output;
    return FolderSnapshot(dir.file("out"));
  }
  Running* Start(const std::string& movie, const std::string& log) { return Start(Args(movie), log); }
  Running* Start(const std::vector<std::string>& args, const std::string& log) {
    runs.push_back(std::make_unique<Running>(args, dir.file("config"), dir.file("tmp"), dir.file(log)));
    return runs.back().get();
  }
  // Starts the conversion of `movie` and stops it at the first rename of
  // its commit, which has then begun and not ended; null when it did not
  // get there.
  Running* StopInCommit(const std::string& movie, const std::string& log) {
    Running* p = StopInCommit(Args(movie), "out/Shapes_doc.fla", log);
    const Set now = FolderSnapshot(dir.file("out"));
    EXPECT_TRUE(HasLeftovers(now) && now != red && now != blue);
    return p;
  }
  Running* StopInCommit(const std::vector<std::string>& args, const std::string& imports, const std::string& log) {
    FirstRename watch(dir.file(imports));
    Running* p = Start(args, log);
    return watch.StopAtIt(*p) ? p : nullptr;
  }
  TempDir dir;
  Set red, blue;
  std::vector<std::unique_ptr<Running>> runs;
};

// Ctrl-C and SIGTERM during the commit wait for it: the new set stands
// whole and the program exits 130.
TEST_F(Interrupted, ASecondSignalWaitsForTheCommit) {
  Running* p = StopInCommit("red.swf", "log");
  ASSERT_TRUE(p);
  ::kill(p->pid(), SIGINT);
  ::kill(p->pid(), SIGTERM);
  ::kill(p->pid(), SIGCONT);
  EXPECT_EQ(p->Wait(), 130) << p->Output();
  EXPECT_EQ(FolderSnapshot(dir.file("out")), red);
  EXPECT_EQ(p->Output(), "tovrani: " + dir.file("red.swf") + ": cancelled while its document was put in place; the new " +
                             dir.file("out/doc.fla") + " stands whole\ntovrani: cancelled\n");
}

// A Ctrl-C that the first movie's commit held ends the batch there: that
// movie's new set stands whole, the next movie's previous set is not
// touched.
TEST_F(Interrupted, ACancelInABatchTouchesNoMovieNotStarted) {
  fs::create_directories(dir.file("in"));
  const std::vector<std::string> batch = {"-q", "--set", "Shape / Morph Shape: Convert Using JSFL Import=on",
                                          dir.file("in/a.swf"), dir.file("in/b.swf")};
  // The previous sets are of the other movies.
  fs::copy_file(dir.file("blue.swf"), dir.file("in/a.swf"));
  fs::copy_file(dir.file("red.swf"), dir.file("in/b.swf"));
  ASSERT_EQ(RunProgram(batch, dir.file("config")).status, 0);
  fs::copy_file(dir.file("red.swf"), dir.file("in/a.swf"), fs::copy_options::overwrite_existing);
  fs::copy_file(dir.file("blue.swf"), dir.file("in/b.swf"), fs::copy_options::overwrite_existing);
  const Set previous = FolderSnapshot(dir.file("in"));

  Running* p = StopInCommit(batch, "in/Shapes_a_.fla", "log");
  ASSERT_TRUE(p);
  ::kill(p->pid(), SIGINT);
  ::kill(p->pid(), SIGCONT);
  EXPECT_EQ(p->Wait(), 130) << p->Output();
  EXPECT_EQ(p->Output(), "tovrani: " + dir.file("in/a.swf") + ": cancelled while its document was put in place; the new " +
                             dir.file("in/a_.fla") + " stands whole\ntovrani: cancelled\n");
  const Set after = FolderSnapshot(dir.file("in"));
  for (const auto& [name, bytes] : previous) {
    if (!name.starts_with("b_") && !name.starts_with("Shapes_b_")) continue;
    EXPECT_TRUE(after.count(name) && after.at(name) == bytes) << name;
  }
  EXPECT_FALSE(HasLeftovers(after));
  // The first set is whole: converting its movie again gives it again.
  ASSERT_EQ(RunProgram({batch[0], batch[1], batch[2], batch[3]}, dir.file("config")).status, 0);
  EXPECT_EQ(FolderSnapshot(dir.file("in")), after);
}

// A run killed inside its commit: the next conversion to the same output
// leaves what a clean run leaves, with no temporary or backup, and no work
// folder of either run.
TEST_F(Interrupted, ARunAfterAKilledCommitLeavesWhatACleanRunLeaves) {
  Running* p = StopInCommit("red.swf", "log");
  ASSERT_TRUE(p);
  ::kill(p->pid(), SIGKILL);
  EXPECT_EQ(p->Wait(), 128 + SIGKILL);
  EXPECT_EQ(Convert("red.swf"), red);
  EXPECT_TRUE(fs::is_empty(dir.file("tmp")));
}

// A second conversion to the same output waits for the commit of the first:
// the last set stands whole.
TEST_F(Interrupted, TwoConversionsToOneOutputCommitOneAfterTheOther) {
  Running* first = StopInCommit("red.swf", "log1");
  ASSERT_TRUE(first);
  Running* second = Start("blue.swf", "log2");
  // The second waits for the folder's lock, and says so after a second;
  // with no lock, it ends.
  const std::string waiting = "BRASKELON Tovrani: Waiting for the lock of the folder " + dir.file("out/") +
                              ", which another program holds; Ctrl-C ends the wait.\n";
  for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
       second->Output() != waiting && !second->Exited() && std::chrono::steady_clock::now() < until;)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(second->Output(), waiting);
  ::kill(first->pid(), SIGCONT);
  EXPECT_EQ(first->Wait(), 0) << first->Output();
  EXPECT_EQ(second->Wait(), 0) << second->Output();
  EXPECT_EQ(FolderSnapshot(dir.file("out")), blue);
}

// A process id that no process has: a child that has ended.
long GonePid() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

std::string Seven(long pid) {
  std::string s = std::to_string(pid);
  return std::string(7 - s.size(), '0') + s;
}

// Leftovers of killed runs: their temporaries removed, their backups
// removed where the user's file stands and never put back; those of
// running processes and of other outputs stay. Work folders of killed runs
// go at start-up.
TEST(Leftovers, KilledRunsAreCleanedUpAndRunningOnesLeftAlone) {
  TempDir dir;
  fs::create_directories(dir.file("out/Shapes_doc.fla"));
  fs::create_directories(dir.file("tmp"));
  const std::string gone = Seven(GonePid()), live = Seven(::getpid());
  auto put = [&](const std::string& name, const std::string& text) {
    WriteFileBytes(dir.file(name), std::vector<uint8_t>(text.begin(), text.end()));
  };
  put("out/doc.fla.bak-" + gone, "old document");
  put("out/doc.fla.jsfl", "new script");
  put("out/doc.fla.jsfl.bak-" + gone, "old script");
  put("out/doc.fla.jsfl.tmp-" + gone + "-a1b2c3", "");
  put("out/Shapes_doc.fla/Symbol 1.swf.bak-" + gone, "old movie");
  put("out/Shapes_doc.fla/Symbol 2.swf.tmp-" + gone + "-zzzzzz", "");
  put("out/doc.fla.tmp-" + live + "-a1b2c3", "running");
  put("out/other.fla.tmp-" + gone + "-a1b2c3", "other output");
  // The running conversion holds its lock: its script's temporary.
  put("out/doc.fla.jsfl.tmp-" + live + "-a1b2c3", "");
  const int runLock = ::open(dir.file("out/doc.fla.jsfl.tmp-" + live + "-a1b2c3").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(runLock, LOCK_EX), 0);
  // Work folders: one of a killed run (marked as a run's), one of a running
  // process (marked and locked), one without the mark (an earlier version's,
  // or of a run killed before its mark), and names that are not ours.
  for (const std::string& name : {"tovrani-" + std::to_string(std::stol(gone)) + "-killedrun123",
                                  "tovrani-" + std::to_string(std::stol(gone)) + "-abcdefghijkl",
                                  "tovrani-" + std::to_string(::getpid()) + "-abcdefghijkl",
                                  "tovrani-" + std::to_string(std::stol(gone)) + "-short"}) {
    fs::create_directories(dir.file("tmp/" + name));
    put("tmp/" + name + "/m.g12", "work");
    if (name != "tovrani-" + std::to_string(std::stol(gone)) + "-abcdefghijkl") put("tmp/" + name + "/.tovrani-run", "");
  }
  const int workLock =
      ::open(dir.file("tmp/tovrani-" + std::to_string(::getpid()) + "-abcdefghijkl").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(workLock, LOCK_EX), 0);
  fs::create_directory_symlink(dir.file("out"), dir.file("tmp/tovrani-" + std::to_string(std::stol(gone)) + "-mnopqrstuvwx"));
  // A conversion that fails: what it recovered is all that changes.
  std::vector<uint8_t> cut = SampleMovie();
  cut.resize(cut.size() - 8);
  WriteFileBytes(dir.file("cut.swf"), cut);
  const ProgramRun run = RunProgram({"-q", dir.file("cut.swf"), "-o", dir.file("out/doc.fla")}, dir.file("config"),
                                    "TMPDIR=" + ShellQuote(dir.file("tmp")) + " ");
  EXPECT_EQ(run.status, 1) << run.output;
  const Set expected = {
      {"Shapes_doc.fla", {}},
      {"Shapes_doc.fla/Symbol 1.swf.bak-" + gone, {'o', 'l', 'd', ' ', 'm', 'o', 'v', 'i', 'e'}},
      {"doc.fla.bak-" + gone, {'o', 'l', 'd', ' ', 'd', 'o', 'c', 'u', 'm', 'e', 'n', 't'}},
      {"doc.fla.jsfl", {'n', 'e', 'w', ' ', 's', 'c', 'r', 'i', 'p', 't'}},
      {"doc.fla.jsfl.tmp-" + live + "-a1b2c3", {}},
      {"doc.fla.tmp-" + live + "-a1b2c3", {'r', 'u', 'n', 'n', 'i', 'n', 'g'}},
      {"other.fla.tmp-" + gone + "-a1b2c3", {'o', 't', 'h', 'e', 'r', ' ', 'o', 'u', 't', 'p', 'u', 't'}}};
  EXPECT_EQ(FolderSnapshot(dir.file("out")), expected);
  std::set<std::string> work;
  for (const auto& e : fs::directory_iterator(dir.file("tmp"))) work.insert(e.path().filename().string());
  EXPECT_EQ(work, (std::set<std::string>{"tovrani-" + std::to_string(::getpid()) + "-abcdefghijkl",
                                         "tovrani-" + std::to_string(std::stol(gone)) + "-abcdefghijkl",
                                         "tovrani-" + std::to_string(std::stol(gone)) + "-short",
                                         "tovrani-" + std::to_string(std::stol(gone)) + "-mnopqrstuvwx"}));
  ::close(runLock);
  ::close(workLock);
}

// A compressed movie whose header declares 4 GiB is refused as too large.
TEST(Leftovers, ACompressedMovieDeclaringTooMuchIsNamedSo) {
  TempDir dir;
  std::vector<uint8_t> movie = SampleMovie(8, true);
  movie[4] = 0xF0;
  movie[5] = movie[6] = movie[7] = 0xFF;
  WriteFileBytes(dir.file("big.swf"), movie);
  const ProgramRun run = RunProgram({"-q", dir.file("big.swf"), "-o", dir.file("big.fla")}, dir.file("config"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("declares 4294967280 bytes, past the limit of 2147483647 bytes (result 18)"),
            std::string::npos)
      << run.output;
}

// Whether this process may make PID namespaces (root, or a system that
// lets users): asked once.
bool PidNamespacesAllowed() {
  static const bool allowed = [] {
    std::string output;
    return RunCommand("unshare --pid --fork true", output) == 0;
  }();
  return allowed;
}

// Where a conversion holds while the test acts.
enum class HoldAt {
  kWritingTheDocument,  // its import movies staged, its FLA about to be written
  kImportFolderMade,    // out/Shapes_doc.fla just made and opened, no movie in it yet
  kImportFolderUnopened,  // out/Shapes_doc.fla just made, not yet opened
};

// The document set's harness converting `movie` to out/doc.fla in a child
// process, its work files on disk under dir/tmp (so its work folder is
// made and locked), held at `at` until released. With `ownNamespace` the
// conversion is process 1 of a PID namespace of its own. Its result is
// the child's exit status; its messages go to dir/held.log.
class HeldConversion {
 public:
  HeldConversion(Conversions& c, const std::string& movie, HoldAt at, bool ownNamespace)
      : log_(c.dir.file("held.log")) {
    // Closed on exec: the programs the test runs meanwhile hold neither end.
    if (::pipe2(ready_, O_CLOEXEC) != 0 || ::pipe2(go_, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ != 0) {
      ::close(ready_[1]);
      ::close(go_[0]);
      return;
    }
    ::close(ready_[0]);
    ::close(go_[1]);
    if (ownNamespace) {
      if (::unshare(CLONE_NEWPID) != 0) ::_exit(97);
      const pid_t inner = ::fork();
      if (inner < 0) ::_exit(97);
      if (inner > 0) {
        ::close(ready_[1]);
        ::close(go_[0]);
        int s = 0;
        ::waitpid(inner, &s, 0);
        ::_exit(WIFEXITED(s) ? WEXITSTATUS(s) : 96);
      }
    }
    WorkFolder::SetMemoryBudget(0);
    ::setenv("TMPDIR", c.dir.file("tmp").c_str(), 1);
    const auto pause = [this] {
      char b = 1;
      if (::write(ready_[1], &b, 1) != 1 || ::read(go_[0], &b, 1) != 1) ::_exit(99);
    };
    Pausing shell;
    if (at == HoldAt::kWritingTheDocument) shell.pause = pause;
    bool paused = false;
    if (at == HoldAt::kImportFolderMade)
      SetOwnerHook([&](const std::string& path) -> std::optional<uid_t> {
        if (path == c.Out("Shapes_doc.fla") && !paused) {
          paused = true;
          pause();
        }
        return std::nullopt;
      });
    if (at == HoldAt::kImportFolderUnopened)
      SetCommitCallHook([&](CommitCall call, const std::string& path) {
        if (call == CommitCall::kImportFolderMade && path == c.Out("Shapes_doc.fla") && !paused) {
          paused = true;
          pause();
        }
        return 0;
      });
    const FileOutcome o = c.Convert(movie, &shell);
    std::ofstream log(log_);
    for (const std::string& m : shell.messages) log << m << "\n";
    if (!o.detail.empty()) log << o.detail << "\n";
    log.close();
    ::_exit(int(o.result));
  }
  ~HeldConversion() {
    // Without a byte to read the child ends where it waits.
    if (go_[1] >= 0) ::close(go_[1]);
    if (ready_[0] >= 0) ::close(ready_[0]);
    if (pid_ > 0 && status_ < 0) ::waitpid(pid_, nullptr, 0);
  }
  pid_t pid() const { return pid_; }
  // True once the conversion stands at its step.
  bool Paused() {
    pollfd w{ready_[0], POLLIN, 0};
    char b = 0;
    return pid_ > 0 && ::poll(&w, 1, 60000) == 1 && ::read(ready_[0], &b, 1) == 1;
  }
  // Lets it go on; its result, or -1.
  int Release() {
    char b = 1;
    if (pid_ <= 0 || ::write(go_[1], &b, 1) != 1) return -1;
    ::close(go_[1]);
    go_[1] = -1;
    int s = 0;
    if (::waitpid(pid_, &s, 0) == pid_) status_ = WIFEXITED(s) ? WEXITSTATUS(s) : 128 + WTERMSIG(s);
    return status_;
  }
  std::string Messages() const {
    std::ifstream in(log_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  // Pauses when the FLA is about to be written.
  struct Pausing : RecordingShell {
    std::function<void()> pause;
    void SetCurrentAction(const std::string& text) override {
      RecordingShell::SetCurrentAction(text);
      if (text == "writing the FLA document..." && pause) std::exchange(pause, nullptr)();
    }
  };

  std::string log_;
  int ready_[2] = {-1, -1}, go_[2] = {-1, -1};
  pid_t pid_ = -1;
  int status_ = -1;
};

// Small movies converted to one output by the program and by conversions
// held in this test's children, with one $TMPDIR.
struct SharedOutput : Conversions {
  SharedOutput() { fs::create_directories(dir.file("tmp")); }
  std::vector<std::string> Args(const std::string& movie, const std::string& imports = "on") {
    return {"-q", "--set", "Shape / Morph Shape: Convert Using JSFL Import=" + imports, dir.file(movie), "-o",
            Out("doc.fla")};
  }
  // The program converting with dir/tmp as $TMPDIR, in a fresh PID
  // namespace (as process 1) where that is allowed.
  ProgramRun Program(const std::vector<std::string>& args, bool freshNamespace = true) {
    std::string prefix = "TMPDIR=" + ShellQuote(dir.file("tmp")) + " ";
    if (freshNamespace && PidNamespacesAllowed()) prefix += "unshare --pid --fork env ";
    return RunProgram(args, dir.file("config"), prefix);
  }
  std::set<std::string> WorkFolders() {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.file("tmp"))) names.insert(e.path().filename().string());
    return names;
  }
  // Whether some staged movie of the held run bears `pid`.
  bool StagedBy(const Set& set, long pid) {
    for (const auto& [name, bytes] : set)
      if (name.starts_with("Shapes_doc.fla/Symbol ") &&
          name.find(".swf.tmp-" + PidDigits(pid) + "-") != std::string::npos)
        return true;
    return false;
  }
};

// A conversion held with its movies staged and its work folder locked:
// another conversion to the same output and $TMPDIR, in a PID namespace of
// its own (where it is process 1, an id it does not see the held one by),
// whether it fails (recovery and the start-up sweep only) or commits its own
// set, takes none of the held run's files for a gone run's. The same with
// the held run in a namespace of its own too, both process 1. Released, the
// held run makes the set it makes alone.
TEST_F(SharedOutput, ALiveRunIsKnownByItsLockNotItsProcessId) {
  if (!PidNamespacesAllowed())
    std::printf("PID namespaces are not allowed here: the second conversion runs beside the held one\n");
  const Set red = Clean("red.swf");
  Restore({});
  ASSERT_EQ(Program(Args("blue.swf"), false).status, 0);
  const Set blue = Snapshot();
  for (bool ownNamespace : {false, true}) {
    SCOPED_TRACE(ownNamespace ? "both in namespaces of their own" : "the second in a namespace of its own");
    if (ownNamespace && !PidNamespacesAllowed()) continue;
    Restore({});
    HeldConversion held(*this, "red.swf", HoldAt::kWritingTheDocument, ownNamespace);
    ASSERT_TRUE(held.Paused()) << held.Messages();
    const Set paused = Snapshot();
    EXPECT_TRUE(StagedBy(paused, ownNamespace ? 1 : held.pid()));
    EXPECT_TRUE(HasLeftovers(paused));
    const std::set<std::string> work = WorkFolders();
    EXPECT_EQ(work.size(), 1u);

    const ProgramRun cut = Program(Args("cut.swf"));
    EXPECT_EQ(cut.status, 1) << cut.output;
    EXPECT_EQ(Snapshot(), paused);
    EXPECT_EQ(WorkFolders(), work);

    const ProgramRun second = Program(Args("blue.swf"));
    EXPECT_EQ(second.status, 0) << second.output;
    Set both = paused;
    both.insert(blue.begin(), blue.end());
    EXPECT_EQ(Snapshot(), both);
    EXPECT_EQ(WorkFolders(), work);

    EXPECT_EQ(held.Release(), 0) << held.Messages();
    EXPECT_EQ(held.Messages(), "");
    EXPECT_EQ(Snapshot(), red);
    EXPECT_TRUE(WorkFolders().empty());
  }
}

// A conversion held right after it made its import folder, before its first
// movie goes in, and also before it opened the folder: another conversion
// to the output (in a PID namespace of its own where allowed), whether its
// movie fails or it commits a set without import movies, finds the folder
// empty and removes it. The held run makes it again: its set is the one it
// makes alone, every shape with its import movie and no message of movies
// that could not be written.
TEST_F(SharedOutput, AnImportFolderRemovedUnderARunIsMadeAgain) {
  const Set red = Clean("red.swf");
  struct Case {
    const char* movie;
    const char* imports;
    int status;
    HoldAt at;
  };
  for (const Case& c : {Case{"cut.swf", "on", 1, HoldAt::kImportFolderMade},
                        Case{"blue.swf", "off", 0, HoldAt::kImportFolderMade},
                        Case{"cut.swf", "on", 1, HoldAt::kImportFolderUnopened},
                        Case{"blue.swf", "off", 0, HoldAt::kImportFolderUnopened}}) {
    SCOPED_TRACE(std::string(c.movie) + (c.at == HoldAt::kImportFolderUnopened ? ", before the opening" : ""));
    Restore({});
    HeldConversion held(*this, "red.swf", c.at, false);
    ASSERT_TRUE(held.Paused()) << held.Messages();
    ASSERT_TRUE(fs::is_directory(Out("Shapes_doc.fla")));
    EXPECT_TRUE(fs::is_empty(Out("Shapes_doc.fla")));

    const ProgramRun second = Program(Args(c.movie, c.imports));
    EXPECT_EQ(second.status, c.status) << second.output;
    // The case is met: the folder is gone under the held run.
    EXPECT_FALSE(fs::exists(Out("Shapes_doc.fla")));

    EXPECT_EQ(held.Release(), 0) << held.Messages();
    EXPECT_EQ(held.Messages(), "");
    EXPECT_EQ(Snapshot(), red);
  }
}

// A conversion that meets the folder's lock held by another says so after
// a second, naming the folder, and Ctrl-C ends the wait with nothing
// changed.
TEST_F(SharedOutput, AWaitForTheFolderLockIsSaidAndEndsWithCtrlC) {
  ASSERT_EQ(Program(Args("red.swf"), false).status, 0);
  const Set before = Snapshot();
  const Descriptor folder(::open(Out("").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  ASSERT_EQ(::flock(folder.get(), LOCK_EX), 0);
  const std::string waiting = "BRASKELON Tovrani: Waiting for the lock of the folder " + Out("") +
                              ", which another program holds; Ctrl-C ends the wait.\n";
  const auto start = std::chrono::steady_clock::now();
  Running p(Args("blue.swf"), dir.file("config"), dir.file("tmp"), dir.file("log"));
  while (p.Output() != waiting && !p.Exited() && std::chrono::steady_clock::now() < start + std::chrono::seconds(20))
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
  ASSERT_EQ(p.Output(), waiting);
  ::kill(p.pid(), SIGINT);
  EXPECT_EQ(p.Wait(), 130) << p.Output();
  EXPECT_EQ(p.Output(), waiting + "tovrani: " + dir.file("blue.swf") +
                            ": cancelled before the document was written; nothing was changed (result 130)\n"
                            "tovrani: cancelled\n");
  EXPECT_EQ(Snapshot(), before);
}

}  // namespace
}  // namespace tovrani::test
