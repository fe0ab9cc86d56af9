// A commit that fails at any of its renames puts the previous document set
// back byte for byte, with no temporary or backup left, and says which file
// failed and why.
#include "convert/output_set.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>

#include "app/program_runner.h"
#include "convert/convert_swf_file.h"
#include "convert/converter_context.h"
#include "convert/engine.h"
#include "support/recording_shell.h"
#include "support/swf_writer.h"

namespace tovrani::test {
namespace {

namespace fs = std::filesystem;
using Set = std::map<std::string, std::vector<uint8_t>>;

// Three shapes, each an import movie of its own.
std::vector<uint8_t> Shapes(uint32_t rgb) {
  SwfWriter w(8);
  for (uint16_t id = 1; id <= 3; ++id) w.tag(2, SquareShape(id, 0, 100 * id, rgb));
  w.tag(26, SwfBytes().u8(0x06).u16(1).u16(1).matrix(0, 0).data()).showFrame();
  return w.end().build();
}

struct HookScope {
  explicit HookScope(CommitRenameHook h) { SetCommitRenameHook(std::move(h)); }
  ~HookScope() { SetCommitRenameHook({}); }
};

struct FailingCommit : ::testing::Test {
  FailingCommit() {
    fs::create_directories(dir.file("out"));
    WriteFileBytes(dir.file("red.swf"), Shapes(0xCC0000));
    WriteFileBytes(dir.file("blue.swf"), Shapes(0x0000CC));
    EXPECT_EQ(Convert("red.swf").result, 0u);
    before = FolderSnapshot(dir.file("out"));
    EXPECT_TRUE(before.count("Shapes_doc.fla/Symbol 3.swf"));
  }
  FileOutcome Convert(const std::string& movie) {
    ConverterContext ctx;
    ctx.m_pShell = &shell;
    ctx.options.shapeJsflImport = 1;
    SwfFileRequest request;
    request.saveDialog = [this](const std::string&, std::string& chosen) {
      chosen = dir.file("out/doc.fla");
      return true;
    };
    const auto outcomes = ConvertSwfFiles(ctx, {dir.file(movie)}, 0, 0, request);
    EXPECT_EQ(outcomes.size(), 1u);
    return outcomes.empty() ? FileOutcome{} : outcomes[0];
  }
  std::string Out(const std::string& name) { return dir.file("out/" + name); }
  TempDir dir;
  RecordingShell shell;
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
    EXPECT_EQ(FolderSnapshot(dir.file("out")), before);
  }
  // Without a failure the new set stands.
  EXPECT_EQ(Convert("blue.swf").result, 0u);
  EXPECT_NE(FolderSnapshot(dir.file("out")), before);
}

// A backup that cannot be put back either: the message says where it
// stays; its final name is left free for the next run, and every other
// file is put back.
TEST_F(FailingCommit, ABackupThatCannotBePutBackIsNamed) {
  const std::string movie = Out("Shapes_doc.fla/Symbol 2.swf");
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
  Set after = FolderSnapshot(dir.file("out"));
  const auto backup = std::find_if(after.begin(), after.end(),
                                   [](const auto& f) { return f.first.starts_with("Shapes_doc.fla/Symbol 2.swf.bak-"); });
  ASSERT_NE(backup, after.end());
  EXPECT_EQ(backup->second, before.at("Shapes_doc.fla/Symbol 2.swf"));
  after.erase(backup);
  Set expected = before;
  expected.erase("Shapes_doc.fla/Symbol 2.swf");
  EXPECT_EQ(after, expected);
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

}  // namespace
}  // namespace tovrani::test
