// A commit's record reads back as written, and a record cut short, naming a
// file outside its document's set or in any but the program's own name
// forms is not read at all: the roll-back it drives renames and removes
// files.
#include "convert/commit_record.h"

#include <gtest/gtest.h>

#include "fla/output_names.h"

namespace tovrani::test {
namespace {

using K = RecordedStep;

const std::vector<RecordedStep> kSteps = {
    {K::kReplaces, "Shapes_doc.fla/Symbol 1.swf.tmp-0000042-abcdef", "Shapes_doc.fla/Symbol 1.swf"},
    {K::kAdds, "doc.fla.jsfl.tmp-0000042-abcdef", "doc.fla.jsfl"},
    {K::kStale, "", "StaticText_doc.fla/Symbol 9.swf"},
    {K::kReplaces, "doc.fla.tmp-0000042-abcdef", "doc.fla"}};

TEST(CommitRecord, ReadsBackOnlyTheStepsOfItsOwnDocument) {
  const std::string bytes = EncodeCommitRecord(42, kSteps);
  const auto read = DecodeCommitRecord(bytes, "doc.fla");
  ASSERT_TRUE(read);
  EXPECT_EQ(read->pid, 42);
  ASSERT_EQ(read->steps.size(), kSteps.size());
  for (size_t i = 0; i < kSteps.size(); ++i)
    EXPECT_TRUE(read->steps[i].kind == kSteps[i].kind && read->steps[i].temp == kSteps[i].temp &&
                read->steps[i].finalName == kSteps[i].finalName);
  // Another document's record, every record cut short, and one with bytes
  // past its end mark.
  EXPECT_FALSE(DecodeCommitRecord(bytes, "other.fla"));
  for (size_t cut = 0; cut < bytes.size(); ++cut) EXPECT_FALSE(DecodeCommitRecord(bytes.substr(0, cut), "doc.fla"));
  EXPECT_FALSE(DecodeCommitRecord(bytes + "x", "doc.fla"));
  EXPECT_FALSE(DecodeCommitRecord(std::string(1 << 16, '\0'), "doc.fla"));
  // Files outside the set, names an import movie never has, temporaries
  // that are not the program's own form (a '/' in the random part leads out
  // of the folder), not beside their file or not the committing process's,
  // a staged file without its temporary.
  for (const RecordedStep& bad : std::vector<RecordedStep>{
           {K::kStale, "", "Shapes_doc.fla/../elsewhere.swf"},
           {K::kStale, "", "notes.txt"},
           {K::kStale, "", "Shapes_doc.fla/notes.txt"},
           {K::kStale, "", "Shapes_doc.fla/Symbol 01.swf"},
           {K::kStale, "", "Shapes_doc.fla/Symbol 65536.swf"},
           {K::kStale, "", "Shapes_doc.fla/sub/Symbol 1.swf"},
           {K::kReplaces, "doc.fla.tmp-0000042-/a.txt", "doc.fla"},
           {K::kReplaces, "doc.fla.tmp-0000042-abcde", "doc.fla"},
           {K::kReplaces, "doc.fla.tmp-42-abcdef", "doc.fla"},
           {K::kReplaces, "doc.fla.tmp-0000043-abcdef", "doc.fla"},
           {K::kReplaces, "doc.fla.bak-0000042", "doc.fla"},
           {K::kAdds, "notes.txt", "Shapes_doc.fla/Symbol 2.swf"},
           {K::kAdds, "Symbol 2.swf.tmp-0000042-abcdef", "Shapes_doc.fla/Symbol 2.swf"},
           {K::kAdds, "", "Shapes_doc.fla/Symbol 2.swf"}}) {
    std::vector<RecordedStep> changed = kSteps;
    changed.insert(changed.begin(), bad);
    EXPECT_FALSE(DecodeCommitRecord(EncodeCommitRecord(42, changed), "doc.fla")) << bad.temp << " " << bad.finalName;
  }
  EXPECT_FALSE(DecodeCommitRecord(EncodeCommitRecord(42, {kSteps.begin(), kSteps.end() - 1}), "doc.fla"));
}

// A record may be as long as a commit of every import movie of both
// folders, the script and the FLA, and no longer.
TEST(CommitRecord, TheLongestRecordIsACommitOfEveryMovie) {
  const std::string fla(200, 'd');
  const std::string movie = "StaticText_" + fla + "/Symbol 65535.swf";
  const RecordedStep longest{K::kReplaces, "StaticText_" + fla + "/" + TempName("Symbol 65535.swf", 4194304, "abcdef"),
                             movie};
  const std::vector<RecordedStep> one = {longest, {K::kAdds, TempName(fla, 4194304, "abcdef"), fla}};
  const std::string bytes = EncodeCommitRecord(4194304, one);
  ASSERT_TRUE(DecodeCommitRecord(bytes, fla));
  const std::string empty = EncodeCommitRecord(4194304, {});
  const size_t stepBytes = EncodeCommitRecord(4194304, {longest}).size() - empty.size();
  EXPECT_EQ(MaxCommitRecordBytes(fla.size()), empty.size() + 131074 * stepBytes);
}

}  // namespace
}  // namespace tovrani::test
