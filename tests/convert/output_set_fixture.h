// Conversions of small movies to one output in this process, with the
// hooks of the document set's commit: the harness of the tests of commits
// that fail, are killed, or meet what others left in the output.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "convert/convert_swf_file.h"
#include "convert/converter_context.h"
#include "convert/output_set.h"
#include "fla/output_names.h"
#include "support/document_frames.h"
#include "support/independent_readers.h"
#include "support/recording_shell.h"
#include "support/swf_writer.h"
#include "support/temp_dir.h"

namespace tovrani::test {

namespace fs = std::filesystem;
using Set = std::map<std::string, std::vector<uint8_t>>;

// Every entry below `root` with its bytes; a link as "-> target" and a FIFO
// as "fifo", never followed nor opened, so a link or a FIFO where a file was
// is told from the file.
inline Set Listing(const fs::path& root) {
  Set files;
  for (auto e = fs::recursive_directory_iterator(root); e != fs::recursive_directory_iterator(); ++e) {
    const std::string name = e->path().lexically_relative(root).string();
    std::string text;
    if (e->is_symlink())
      text = "-> " + fs::read_symlink(e->path()).string();
    else if (e->symlink_status().type() == fs::file_type::fifo)
      text = "fifo";
    if (!text.empty())
      files[name] = std::vector<uint8_t>(text.begin(), text.end());
    else
      files[name] = e->is_regular_file() ? ReadFileBytes(e->path().string()) : std::vector<uint8_t>{};
  }
  return files;
}

inline std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// Shapes of one colour, each an import movie of its own.
inline std::vector<uint8_t> Shapes(uint32_t rgb, uint16_t count = 3) {
  SwfWriter w(8);
  for (uint16_t id = 1; id <= count; ++id) w.tag(2, SquareShape(id, 0, 100 * id, rgb));
  w.tag(26, SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0).data()).showFrame();
  return w.end().build();
}

struct HookScope {
  explicit HookScope(CommitRenameHook h) { SetCommitRenameHook(std::move(h)); }
  ~HookScope() { SetCommitRenameHook({}); }
};

struct FlushHookScope {
  explicit FlushHookScope(CommitFlushHook h) { SetCommitFlushHook(std::move(h)); }
  ~FlushHookScope() { SetCommitFlushHook({}); }
};

struct CallHookScope {
  explicit CallHookScope(CommitCallHook h) { SetCommitCallHook(std::move(h)); }
  ~CallHookScope() { SetCommitCallHook({}); }
};

// Reports a cancel once the document is being written: the conversion is
// abandoned and changes nothing.
struct CancelsAtTheDocument : RecordingShell {
  bool PumpMessages() override {
    return std::find(actions.begin(), actions.end(), "writing the FLA document...") != actions.end();
  }
};

// Conversions of small movies to out/doc.fla in this process: red and blue
// have three shapes, green four and yellow five; cut is broken.
struct Conversions : ::testing::Test {
  Conversions() {
    fs::create_directories(dir.file("out"));
    WriteFileBytes(dir.file("red.swf"), Shapes(0xCC0000));
    WriteFileBytes(dir.file("blue.swf"), Shapes(0x0000CC));
    WriteFileBytes(dir.file("green.swf"), Shapes(0x00CC00, 4));
    WriteFileBytes(dir.file("yellow.swf"), Shapes(0xCCCC00, 5));
    std::vector<uint8_t> cut = Shapes(0x000000);
    cut.resize(cut.size() - 8);
    WriteFileBytes(dir.file("cut.swf"), cut);
  }
  FileOutcome Convert(const std::string& movie, ShellServices* via = nullptr, bool imports = true,
                      uint64_t writeAllowance = kWriteAllowance, const EngineServices* services = nullptr) {
    ConverterContext ctx;
    ctx.m_pShell = via ? via : &shell;
    ctx.options.shapeJsflImport = imports ? 1 : 0;
    ctx.m_nWriteAllowance = writeAllowance;
    SwfFileRequest request;
    request.services = services;
    request.saveDialog = [this](const std::string&, std::string& chosen) {
      chosen = dir.file("out/doc.fla");
      return true;
    };
    const auto outcomes = ConvertSwfFiles(ctx, {dir.file(movie)}, 0, 0, request);
    EXPECT_EQ(outcomes.size(), 1u);
    return outcomes.empty() ? FileOutcome{} : outcomes[0];
  }
  std::string Out(const std::string& name) { return dir.file("out/" + name); }
  Set Snapshot() { return FolderSnapshot(dir.file("out")); }
  // The output folder as `set` has it, and nothing else.
  void Restore(const Set& set) {
    fs::remove_all(dir.file("out"));
    fs::create_directories(dir.file("out"));
    for (const auto& [name, bytes] : set) {
      const auto inside = set.upper_bound(name);
      if (inside != set.end() && inside->first.starts_with(name + "/")) fs::create_directories(Out(name));
      else WriteFileBytes(Out(name), bytes);
    }
  }
  // What converting `movie` into an empty output folder leaves.
  Set Clean(const std::string& movie, bool imports = true) {
    Restore({});
    EXPECT_EQ(Convert(movie, nullptr, imports).result, 0u);
    ExpectReadableDocument(Out("doc.fla"));
    return Snapshot();
  }
  TempDir dir;
  RecordingShell shell;
  pid_t killed = 0;  // the last child KillInCommit ended
};

// Converts `movie` in a child process that dies (`_exit`) in its commit:
// just before its `k`th rename, or with k = 0 once its FLA is in place; or,
// `undoing`, after its `k`th rename failed, at the first file it puts back.
// False when the child did not get there.
inline bool KillInCommit(Conversions& c, const std::string& movie, int k, bool undoing = false) {
  c.killed = ::fork();
  if (c.killed == 0) {
    int renames = 0;
    bool flaRenamed = false;
    SetCommitRenameHook([&](const std::string& from, const std::string& to) {
      if (++renames == k && !undoing) ::_exit(3);
      if (undoing && renames > k && from.find(".bak-") != std::string::npos) ::_exit(3);
      flaRenamed = to == c.Out("doc.fla") && from.find(".tmp-") != std::string::npos;
      return undoing && renames == k ? EIO : 0;
    });
    SetCommitFlushHook([&](const std::string& path) {
      if (k == 0 && flaRenamed && path == c.Out("")) ::_exit(3);
      return 0;
    });
    c.Convert(movie);
    ::_exit(0);
  }
  int status = 0;
  return c.killed > 0 && ::waitpid(c.killed, &status, 0) == c.killed && WIFEXITED(status) &&
         WEXITSTATUS(status) == 3;
}

// The temporary that the record out/doc.fla.commit names for `finalName`
// (a name below out/), as a name below out/; "" when it names none.
inline std::string RecordedTemp(Conversions& c, const std::string& finalName) {
  const std::vector<uint8_t> bytes = ReadFileBytes(c.Out("doc.fla.commit"));
  std::vector<std::string> fields(1);
  for (uint8_t b : bytes)
    if (b) fields.back().push_back(char(b));
    else fields.emplace_back();
  for (size_t i = 4; i < fields.size(); ++i)
    if (fields[i] == finalName && fields[i - 2].size() == 1) return fields[i - 1];
  return {};
}

inline std::string Replaced(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size()) s.replace(at, from.size(), to);
  return s;
}

// The killed child's leftovers in out/ made this process's, as when every
// run gets the same process id.
inline void TakeOverLeftovers(Conversions& c) {
  const std::string theirs = PidDigits(c.killed), ours = PidDigits(::getpid());
  std::vector<fs::path> found;
  for (const auto& e : fs::recursive_directory_iterator(c.Out("")))
    if (e.path().filename().string().find(theirs) != std::string::npos) found.push_back(e.path());
  for (const fs::path& p : found) fs::rename(p, p.parent_path() / Replaced(p.filename().string(), theirs, ours));
  if (fs::exists(c.Out("doc.fla.commit"))) {
    const std::vector<uint8_t> bytes = ReadFileBytes(c.Out("doc.fla.commit"));
    const std::string text = Replaced(std::string(bytes.begin(), bytes.end()), theirs, ours);
    WriteFileBytes(c.Out("doc.fla.commit"), std::vector<uint8_t>(text.begin(), text.end()));
  }
}

}  // namespace tovrani::test
