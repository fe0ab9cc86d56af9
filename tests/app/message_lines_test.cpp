// The program's message lines: at most 100 of a kind a movie, then one line
// counting the rest; what is never held back; and, in a run of several
// movies, the movie's path at the start of every line.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "app/program_runner.h"
#include "support/document_frames.h"
#include "support/swf_writer.h"

namespace tovrani::test {
namespace {

constexpr char kUnreadable[] = "BRASKELON Tovrani Sound: DefineSound 1: the sound cannot be read and is skipped.";
constexpr char kShortSprite[] =
    "BRASKELON Tovrani Warning: DefineSprite 7 (3 bytes) is too short to be read; it was left out.";

// `sounds` DefineSounds of id 1 with no data (none can be read), three
// sprites too short to be read, and 2,000 labels "x\ny" on the first frame
// (past the allowance of labels, whose first refusal shows the label's
// second line as a line of its own).
std::vector<uint8_t> Movie(int sounds) {
  SwfWriter w(8);
  for (int i = 0; i < sounds; ++i) w.tag(14, SwfBytes().u16(1).u8(0x10).u32(0).data());
  for (int i = 0; i < 3; ++i) w.tag(39, {7, 0, 0});
  for (int i = 0; i < 2000; ++i) w.tag(43, {'x', '\n', 'y', 0});
  return w.showFrame().end().build();
}

// The lines that begin with `prefix`, without it.
std::vector<std::string> Lines(const std::string& text, const std::string& prefix = "") {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line.starts_with(prefix)) lines.push_back(line.substr(prefix.size()));
  return lines;
}

size_t Count(const std::vector<std::string>& lines, const std::string& line) {
  return size_t(std::count(lines.begin(), lines.end(), line));
}

void ExpectMovieLines(const std::vector<std::string>& lines, int sounds) {
  EXPECT_EQ(Count(lines, kUnreadable), 100u);
  EXPECT_EQ(Count(lines, "BRASKELON Tovrani Sound: " + std::to_string(sounds - 100) + " more message" +
                             (sounds == 101 ? " about sounds that cannot be read was not shown."
                                            : "s about sounds that cannot be read were not shown.")),
            1u);
  EXPECT_EQ(Count(lines, kShortSprite), 3u);
  // The allowance's first refusal and its closing line stand whatever else
  // was held back.
  EXPECT_EQ(Count(lines, "BRASKELON Tovrani Warning: FrameLabel \"x"), 1u);
  EXPECT_EQ(Count(lines, "y\" in frame 1: the movie puts more labels on its frames than its size allows; the label "
                         "was left out."),
            1u);
  const auto labelsCounted = [](const std::string& l) {
    return l.starts_with("BRASKELON Tovrani Warning: ") &&
           l.ends_with(" more frame labels were left out: the movie puts more labels on its frames than its size "
                       "allows.");
  };
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), labelsCounted), 1);
  EXPECT_EQ(lines.size(), 100 + 1 + 3 + 2 + 1u);
}

TEST(MessageLines, AKindIsShown100TimesAMovieThenCounted) {
  TempDir dir;
  const std::string a = dir.file("a.swf"), b = dir.file("b.swf");
  WriteFileBytes(a, Movie(130));
  WriteFileBytes(b, Movie(101));
  // Two movies and one that fails: each counts from zero, and every line of
  // a movie's messages begins with its path.
  WriteFileBytes(dir.file("c.swf"), {'F', 'W', 'S'});
  ProgramRun run = RunProgram({a, b, dir.file("c.swf")}, dir.file("config"));
  EXPECT_EQ(run.status, 1) << run.output;
  const std::vector<std::string> lines = Lines(run.output);
  ExpectMovieLines(Lines(run.output, a + ": "), 130);
  ExpectMovieLines(Lines(run.output, b + ": "), 101);
  // Besides those, the failure and the result lines.
  EXPECT_EQ(Count(lines, "tovrani: " + dir.file("c.swf") + ": the file is too short to be a movie (result 136)"), 1u);
  EXPECT_EQ(Count(lines, a + " -> " + dir.file("a_.fla")), 1u);
  EXPECT_EQ(Count(lines, b + " -> " + dir.file("b_.fla")), 1u);
  EXPECT_EQ(lines.size(), 2 * (107 + 2) + 1u) << run.output;
  ExpectReadableDocument(dir.file("a_.fla"));
  ExpectReadableDocument(dir.file("b_.fla"));

  // One movie: the lines as they are.
  run = RunProgram({"-q", a, "-o", dir.file("one.fla")}, dir.file("config"));
  EXPECT_EQ(run.status, 0) << run.output;
  ExpectMovieLines(Lines(run.output), 130);
  ExpectReadableDocument(dir.file("one.fla"));
}

}  // namespace
}  // namespace tovrani::test
