// tovrani: turns SWF movies into FLA documents with a JSFL script beside each.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "app/command_line.h"
#include "app/terminal_shell.h"
#include "convert/convert_swf_file.h"
#include "convert/converter_context.h"
#include "convert/output_set.h"
#include "fla/work_folder.h"
#include "platform/id_range_list.h"
#include "platform/resource_bound.h"

namespace {

using namespace tovrani;

void PrintHelp(const OptionStates& defaults) {
  std::printf(
      "Usage: tovrani [options] INPUT...\n"
      "       tovrani /s,INPUT1,INPUT2,    (convert)\n"
      "       tovrani /o,INPUT1,INPUT2,    (convert and open)\n"
      "Turns compiled Flash movies (SWF) back into authoring documents (FLA)\n"
      "with a JSFL script beside each one (the document's name plus \".jsfl\").\n"
      "An INPUT is a movie or a folder searched for movies.\n"
      "\n"
      "  -o FILE              the document's name (one input only); by default\n"
      "                       movie.swf gives movie_.fla beside the movie\n"
      "  --new-folder DIR     with two or more inputs, write the documents under\n"
      "                       DIR/Fla_Recovery_Results/, mirroring the inputs' folders\n"
      "  --base DIR           the folder mirrored below (default: the deepest\n"
      "                       folder common to the inputs)\n"
      "  --open               open each document, then its script, with xdg-open\n"
      "  --set \"NAME=on|off\"  set an option by its text (below)\n"
      "  --shape-ids LIST     the shapes \"Exact Problem Search / Vectorization\"\n"
      "                       searches (it serves only that option): ids from 1\n"
      "                       to 65535, such as \"12,20-25\"\n"
      "  --approximation N    level of approximation of motion tweens, 0-100 (10)\n"
      "  -q                   no progress display\n"
      "  --help, --version\n"
      "\n"
      "Options and their defaults:\n%s"
      "\n"
      "Exit status: 0 all converted, 1 a movie failed or was passed over, 2 usage\n"
      "error, 130 cancelled.\n",
      DescribeOptions(defaults).c_str());
}

std::string ResultText(uint32_t r) {
  switch (r) {
    case 16: return "the movie could not be copied or is too large";
    case 17: case 21: return "not enough memory";
    case 18: return "the compressed movie inflates to almost nothing";
    case 19: case 22: case 23: case 24: case 25: return "a tag runs past the end of the movie";
    case 43: return "the FLA cannot be written";
    case 44: return "the output could not be written completely";
    case 45: return "the movie has more items than a document can number";
    case 46: return "the document would take more than the movie's size allows";
    case 47: return "the conversion took more processor time than the movie's size allows";
    case 48: return "the conversion needed more memory than the movie's size allows";
    case 49: return "the movie cannot be read";
    case 50: return "its document is another movie's of this run, or its document set would write over or remove an "
                    "input of the run; not converted";
    case 51: return "a name of the document's files would be too long for its folder, or a path for the system";
    case 130: return "cancelled before the document was written; nothing was changed";
    case 136: return "the file is too short to be a movie";
    case 137: return "not a SWF movie (no \"FWS\" or \"CWS\" signature)";
    case 138: return "the header's length does not match the data";
    default: return "conversion failed";
  }
}

#ifdef TOVRANI_ALLOCATION_HOOK
// The tests' road through every allocation (sanitizer builds only): each
// conversion refuses the allocation TOVRANI_REFUSE_ALLOCATION names, and
// the run says how many the last one counted.
const char* RefusedAllocation() {
  const char* nth = std::getenv("TOVRANI_REFUSE_ALLOCATION");
  if (nth) RefuseNthAllocation(std::strtoull(nth, nullptr, 10));
  return nth;
}
void TellCountedAllocations(const char* nth) {
  if (nth) std::fprintf(stderr, "tovrani: %llu allocations counted\n", (unsigned long long)LastHeapCount().allocations);
}
#else
const char* RefusedAllocation() { return nullptr; }
void TellCountedAllocations(const char*) {}
#endif

std::string Absolute(const std::string& path) {
  std::error_code ec;
  auto abs = std::filesystem::absolute(path, ec);
  return ec ? path : abs.lexically_normal().string();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  CommandLine cl;
  std::string error;
  if (!ParseCommandLine(args, cl, error)) {
    std::fprintf(stderr, "tovrani: %s\nTry 'tovrani --help'.\n", error.c_str());
    return 2;
  }
  ConverterContext ctx;
  if (cl.help) {
    PrintHelp(ctx.options);
    return 0;
  }
  if (cl.version) {
    std::printf("tovrani %s\n", TOVRANI_VERSION);
    return 0;
  }
  for (const auto& [name, on] : cl.settings) {
    if (!SetOptionByName(ctx.options, name, on, error)) {
      std::fprintf(stderr, "tovrani: %s\n", error.c_str());
      return 2;
    }
  }
  if (cl.approximation >= 0) ctx.options.approximation = uint32_t(cl.approximation);
  if (cl.hasShapeIds) AddIdRangesFromText(cl.shapeIds, ctx.m_shapeIdRanges);
  // A warning, said with -q too: the list alone changes nothing.
  if (cl.hasShapeIds && !ctx.options.exactProblemSearch)
    std::fprintf(stderr,
                 "tovrani: --shape-ids serves only \"Exact Problem Search / Vectorization\", which is off: "
                 "the list is not used\n");

  // What the inputs pass over is named; the movies found still convert.
  std::vector<std::string> files, passedOver, otherMovies;
  const bool allFound = CollectInputs(cl.inputs, files, passedOver, nullptr, &otherMovies);
  for (const std::string& line : passedOver) std::fprintf(stderr, "tovrani: %s\n", line.c_str());
  if (files.empty()) {
    if (allFound) std::fprintf(stderr, "tovrani: no SWF movie found in the inputs\n");
    return 1;
  }

  if (!cl.output.empty() && files.size() != 1) {
    std::fprintf(stderr, "tovrani: -o takes one movie, but the inputs hold %zu\n", files.size());
    return 2;
  }
  if (ctx.options.saveInNewFolder && cl.newFolder.empty() && files.size() >= 2) {
    std::fprintf(stderr, "tovrani: \"Save All Files In A New Folder\" needs --new-folder DIR\n");
    return 2;
  }

  InstallCancelHandlers();
  // A cancel that waited for a commit ends the batch after that movie.
  SetHeldSignalSink(&TakeHeldCancelSignal);
  // Work folders of runs killed before their end.
  WorkFolder::SweepLeftovers();
  TerminalShell shell(cl.quiet, SettingsStore::DefaultPath());
  ctx.m_pShell = &shell;

  // In a run of several movies each message line begins with its movie's
  // path as the inputs gave it.
  std::map<std::string, std::string> given;
  if (files.size() >= 2)
    for (const std::string& f : files) given.emplace(f, f);
  SwfFileRequest request;
  request.otherInputs = otherMovies;
  if (!cl.newFolder.empty() && files.size() >= 2) {
    ctx.options.saveInNewFolder = 1;
    given.clear();
    for (std::string& f : files) {
      const std::string absolute = Absolute(f);
      given.emplace(absolute, f);
      f = absolute;
    }
    ctx.m_strOutputFolder = Absolute(cl.newFolder) + "/Fla_Recovery_Results/";
    std::error_code ec;
    std::filesystem::create_directories(ctx.m_strOutputFolder, ec);
    if (ec) {
      std::fprintf(stderr, "tovrani: cannot create %s: %s\n", ctx.m_strOutputFolder.c_str(),
                   ec.message().c_str());
      return 1;
    }
    request.selectedFolder = cl.base.empty() ? DeepestCommonFolder(files) : Absolute(cl.base);
  }
  if (!cl.output.empty()) {
    const std::string answer = cl.output;
    request.saveDialog = [answer](const std::string&, std::string& chosen) {
      chosen = answer;
      return true;
    };
  }
  request.onFileStart = [&shell, &given](const std::string& source, const std::string&) {
    shell.SetCurrentFile(std::filesystem::path(source).filename().string());
    if (const auto g = given.find(source); g != given.end()) shell.SetMessagePrefix(g->second + ": ");
  };

  const char* refused = RefusedAllocation();
  std::vector<FileOutcome> outcomes = ConvertSwfFiles(ctx, files, cl.openAfter ? 1 : 0, 0, request);
  TellCountedAllocations(refused);
  shell.ClearProgress();
  RestoreFontWarning(ctx);

  bool failed = !allFound;
  for (const FileOutcome& o : outcomes) {
    if (o.result != 0) {
      failed = true;
      // The engine's own words for the cause, where it found one.
      const std::string why = o.detail.empty() ? ResultText(o.result) : o.detail;
      std::fprintf(stderr, "tovrani: %s: %s (result %u)\n", o.source.c_str(), why.c_str(), o.result);
      continue;
    }
    if (!cl.quiet) {
      std::printf("%s -> %s\n", o.source.c_str(), o.output.c_str());
      if (!o.script.empty()) std::printf("%s -> %s\n", o.source.c_str(), o.script.c_str());
    }
    // What a cancel left is said even when quiet.
    if (o.cancelled == CancelOutcome::kFramesSoFar)
      std::fprintf(stderr, "tovrani: %s: cancelled; the frames read so far were written to %s\n", o.source.c_str(),
                   o.output.c_str());
    else if (o.cancelled == CancelOutcome::kWhole)
      std::fprintf(stderr, "tovrani: %s: cancelled while its document was put in place; the new %s stands whole\n",
                   o.source.c_str(), o.output.c_str());
  }
  std::fflush(stdout);
  if (ctx.m_bCancel || CancelRequested()) {
    std::fprintf(stderr, "tovrani: cancelled\n");
    return 130;
  }
  return failed ? 1 : 0;
}
