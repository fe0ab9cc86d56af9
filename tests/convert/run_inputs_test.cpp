// The inputs of a run are never taken by it. A movie whose document set would
// write over, replace or remove an input, at any name of the set, by its
// path or through a link or a hard link, fails with 50 before anything of it
// is written; a name that only comes close to the set's forms takes none.
// Reached without the per-movie check, the stale-import sweep and the
// recovery of a killed commit leave an input be.
#include "convert/run_inputs.h"

#include <gtest/gtest.h>

#include "app/program_runner.h"
#include "convert/commit_record.h"
#include "convert/engine.h"
#include "convert/output_set_fixture.h"

namespace tovrani::test {
namespace {

struct Inputs : Conversions {
  // Converts `movie` to out/doc.fla, with `others` as the run's other inputs.
  FileOutcome ConvertWith(const std::string& movie, const std::vector<std::string>& others) {
    ConverterContext ctx;
    ctx.m_pShell = &shell;
    ctx.options.shapeJsflImport = 1;
    SwfFileRequest request;
    request.otherInputs = others;
    request.saveDialog = [this](const std::string&, std::string& chosen) {
      chosen = Out("doc.fla");
      return true;
    };
    const auto outcomes = ConvertSwfFiles(ctx, {dir.file(movie)}, 0, 0, request);
    EXPECT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(ctx.m_runInputs, nullptr);
    return outcomes.empty() ? FileOutcome{} : outcomes[0];
  }
  // Converts `movie` to out/doc.fla straight through the engine, which
  // recovers and commits without the per-movie check, knowing `inputs`.
  uint32_t ConvertKnowing(const std::string& movie, const RunInputs& inputs, std::string& detail) {
    ConverterContext ctx;
    ctx.m_pShell = &shell;
    ctx.options.shapeJsflImport = 1;
    ctx.m_runInputs = &inputs;
    DeriveDocumentPaths(ctx, Out("doc.fla"));
    ctx.m_strJsflPath.clear();
    const uint32_t result = ConvertMovie(ctx, dir.file(movie), Out("doc.fla"), 0);
    detail = ctx.m_strFailureDetail;
    return result;
  }
};

TEST_F(Inputs, EveryNameOfTheSetIsComparedByPathAndByFile) {
  const Set fresh = Clean("red.swf");
  const std::vector<uint8_t> movie = ReadFileBytes(dir.file("blue.swf"));
  fs::create_directories(dir.file("elsewhere"));
  const struct {
    const char* name;
    const char* what;
  } names[] = {{"doc.fla", "its document"},
               {"doc.fla.jsfl", "its script"},
               {"doc.fla.commit", "the record of its commit"},
               {"doc.fla.tmp-0000001-abcdef", "a temporary or backup name beside its document"},
               {"doc.fla.jsfl.bak-0000001", "a temporary or backup name beside its document"},
               {"Shapes_doc.fla/Symbol 2.swf", "an import movie of its document"},
               {"StaticText_doc.fla/Symbol 9.swf", "an import movie of its document"},
               {"Shapes_doc.fla/Symbol 1.swf.tmp-0000001-abcdef", "a temporary or backup name of an import movie"}};
  for (const auto& n : names) {
    SCOPED_TRACE(n.name);
    const std::string at = Out(n.name);
    Restore(fresh);
    fs::create_directories(fs::path(at).parent_path());
    WriteFileBytes(at, movie);
    const Set planted = Snapshot();
    // By its path, as the run got it; through a link, and as a hard link.
    fs::create_symlink(at, dir.file("elsewhere/link.swf"));
    fs::create_hard_link(at, dir.file("elsewhere/hard.swf"));
    for (const std::string& input : {at, dir.file("elsewhere/link.swf"), dir.file("elsewhere/hard.swf")}) {
      const FileOutcome o = ConvertWith("yellow.swf", {input});
      EXPECT_EQ(o.result, 50u) << input;
      EXPECT_EQ(o.detail, "its document set would write over or remove the input " + input +
                              (input == at ? "" : ", the same file as " + at) + " (" + n.what + "); not converted");
      EXPECT_EQ(Snapshot(), planted);
    }
    fs::remove(dir.file("elsewhere/link.swf"));
    fs::remove(dir.file("elsewhere/hard.swf"));
  }
  // A link at a name of the set, given as the input: known by its path
  // alone, as the commit would replace the link itself.
  Restore(fresh);
  WriteFileBytes(dir.file("elsewhere/m.swf"), movie);
  fs::remove(Out("Shapes_doc.fla/Symbol 3.swf"));
  fs::create_symlink(dir.file("elsewhere/m.swf"), Out("Shapes_doc.fla/Symbol 3.swf"));
  const Set linked = Listing(dir.file("out"));
  EXPECT_EQ(ConvertWith("yellow.swf", {Out("Shapes_doc.fla/Symbol 3.swf")}).detail,
            "its document set would write over or remove the input " + Out("Shapes_doc.fla/Symbol 3.swf") +
                " (an import movie of its document); not converted");
  EXPECT_EQ(Listing(dir.file("out")), linked);

  // Names close to the set's forms, a movie in a folder below an import
  // folder, and movies beside another document: none is the set's.
  Restore(fresh);
  std::vector<std::string> near;
  for (const char* name : {"doc.fla.tmp-123-abcdef", "doc.fla.bak-12345678", "Shapes_doc.fla/Symbol 01.swf",
                           "Shapes_doc.fla/sub/Symbol 1.swf", "Shapes_other.fla/Symbol 1.swf", "other.fla.commit",
                           "doc.flax"}) {
    fs::create_directories(fs::path(Out(name)).parent_path());
    WriteFileBytes(Out(name), movie);
    near.push_back(Out(name));
  }
  EXPECT_EQ(ConvertWith("yellow.swf", near).result, 0u);
  for (const std::string& p : near) EXPECT_EQ(ReadFileBytes(p), movie) << p;
}

TEST_F(Inputs, TheSweepAndTheRecoveryLeaveAnInputBe) {
  const Set yellow = Clean("yellow.swf");
  const std::vector<uint8_t> movie = ReadFileBytes(dir.file("blue.swf"));
  // A gone run's temporaries beside the document and in an import folder,
  // and a previous import movie the new set lacks.
  const std::vector<std::string> planted = {Out("doc.fla.tmp-9999999-abcdef"),
                                            Out("Shapes_doc.fla/Symbol 1.swf.tmp-9999999-abcdef")};
  for (const std::string& p : planted) WriteFileBytes(p, movie);
  std::vector<std::string> others = planted;
  others.push_back(Out("Shapes_doc.fla/Symbol 5.swf"));
  const RunInputs inputs({}, others);
  std::string detail;
  EXPECT_EQ(ConvertKnowing("red.swf", inputs, detail), 0u) << detail;
  for (const std::string& p : planted) EXPECT_EQ(ReadFileBytes(p), movie) << p;
  EXPECT_EQ(ReadFileBytes(Out("Shapes_doc.fla/Symbol 5.swf")), yellow.at("Shapes_doc.fla/Symbol 5.swf"));
  EXPECT_FALSE(fs::exists(Out("Shapes_doc.fla/Symbol 4.swf")));

  // A record that is an input is neither read nor removed.
  const Set red = Clean("red.swf");
  WriteFileBytes(Out("doc.fla.commit"), movie);
  EXPECT_EQ(ConvertKnowing("blue.swf", RunInputs({}, {Out("doc.fla.commit")}), detail), 44u);
  EXPECT_EQ(detail, Out("doc.fla.commit") + " is an input of this run; nothing was changed");
  EXPECT_EQ(ReadFileBytes(Out("doc.fla.commit")), movie);

  // A killed commit whose FLA is in place: rolled forward, its backups go,
  // but not one that is an input.
  Restore(red);
  const std::string backup = "doc.fla.bak-" + PidDigits(9999999);
  WriteFileBytes(Out(backup), movie);
  const std::string record = EncodeCommitRecord(
      9999999, {{RecordedStep::kReplaces, "doc.fla.tmp-9999999-abcdef", "doc.fla"}});
  WriteFileBytes(Out("doc.fla.commit"), std::vector<uint8_t>(record.begin(), record.end()));
  const Set killed = Snapshot();
  EXPECT_EQ(ConvertKnowing("blue.swf", RunInputs({}, {Out(backup)}), detail), 44u);
  EXPECT_NE(detail.find(Out(backup) + " (an input of this run); nothing was changed"), std::string::npos) << detail;
  EXPECT_EQ(Snapshot(), killed);
  // Not an input, it is the previous document and goes.
  EXPECT_EQ(ConvertKnowing("blue.swf", RunInputs(), detail), 0u) << detail;
  EXPECT_FALSE(fs::exists(Out(backup)));
}

}  // namespace
}  // namespace tovrani::test
