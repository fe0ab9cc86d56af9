// A commit's record reads back as written, and a record cut short or naming
// a file outside its document's set is not read at all: the roll-back it
// drives renames and removes files.
#include "convert/commit_record.h"

#include <gtest/gtest.h>

namespace tovrani::test {
namespace {

TEST(CommitRecord, ReadsBackOnlyTheStepsOfItsOwnDocument) {
  using K = RecordedStep;
  const std::vector<RecordedStep> steps = {
      {K::kReplaces, "/out/Shapes_doc.fla/Symbol 1.swf.tmp-0000042-abcdef", "/out/Shapes_doc.fla/Symbol 1.swf"},
      {K::kAdds, "/out/doc.fla.jsfl.tmp-0000042-ghijkl", "/out/doc.fla.jsfl"},
      {K::kStale, "", "/out/StaticText_doc.fla/Symbol 9.swf"},
      {K::kReplaces, "/out/doc.fla.tmp-0000042-mnopqr", "/out/doc.fla"}};
  const std::string bytes = EncodeCommitRecord("/out/", 42, steps);
  const auto read = DecodeCommitRecord(bytes, "/out/", "doc.fla");
  ASSERT_TRUE(read);
  EXPECT_EQ(read->pid, 42);
  ASSERT_EQ(read->steps.size(), steps.size());
  for (size_t i = 0; i < steps.size(); ++i)
    EXPECT_TRUE(read->steps[i].kind == steps[i].kind && read->steps[i].temp == steps[i].temp &&
                read->steps[i].finalPath == steps[i].finalPath);
  // Another document's record, and every record cut short.
  EXPECT_FALSE(DecodeCommitRecord(bytes, "/out/", "other.fla"));
  for (size_t cut = 0; cut < bytes.size(); ++cut) EXPECT_FALSE(DecodeCommitRecord(bytes.substr(0, cut), "/out/", "doc.fla"));
  // A file outside the set, a temporary not beside its file, a staged file
  // without its temporary, no FLA last.
  for (const RecordedStep& bad : std::vector<RecordedStep>{
           {K::kStale, "", "/out/Shapes_doc.fla/../elsewhere.swf"},
           {K::kStale, "", "/out/notes.txt"},
           {K::kAdds, "/out/notes.txt", "/out/Shapes_doc.fla/Symbol 2.swf"},
           {K::kAdds, "", "/out/Shapes_doc.fla/Symbol 2.swf"}}) {
    std::vector<RecordedStep> changed = steps;
    changed.insert(changed.begin(), bad);
    EXPECT_FALSE(DecodeCommitRecord(EncodeCommitRecord("/out/", 42, changed), "/out/", "doc.fla")) << bad.finalPath;
  }
  EXPECT_FALSE(DecodeCommitRecord(EncodeCommitRecord("/out/", 42, {steps.begin(), steps.end() - 1}), "/out/", "doc.fla"));
}

}  // namespace
}  // namespace tovrani::test
