#include "app/command_line.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "convert/converter_context.h"

namespace tovrani {

namespace {

struct OptionEntry {
  const char* text;
  uint8_t OptionStates::*state;
  bool staticTextRadio;
};

constexpr OptionEntry kOptions[] = {
    {"Main Timeline", &OptionStates::mainTimeline, false},
    {"Sound", &OptionStates::sound, false},
    {"Button", &OptionStates::button, false},
    {"Frame Label", &OptionStates::frameLabel, false},
    {"Linkage", &OptionStates::linkage, false},
    {"Morph Shape", &OptionStates::morphShape, false},
    {"Picture", &OptionStates::picture, false},
    {"Shape", &OptionStates::shape, false},
    {"Sprite", &OptionStates::sprite, false},
    {"Text", &OptionStates::text, false},
    {"Video", &OptionStates::video, false},
    {"Heuristic Problem Search", &OptionStates::heuristicProblemSearch, false},
    {"Exact Problem Search / Vectorization", &OptionStates::exactProblemSearch, false},
    {"No Problem Search", &OptionStates::noProblemSearch, false},
    {"Closer Vectorization", &OptionStates::closerVectorization, false},
    {"Use JSFL", &OptionStates::useJsfl, false},
    {"Shape / Morph Shape: Convert Using JSFL Import", &OptionStates::shapeJsflImport, false},
    {"Static Text: Convert Using JSFL Import", &OptionStates::textJsflImport, true},
    {"Convert All To Textfields", &OptionStates::textToTextfields, true},
    {"Convert All To Shapes", nullptr, true},
    {"Ask For Fonts Not Found On System", &OptionStates::askMissingFonts, false},
    {"Create Folder For Pictures", &OptionStates::pictureFolder, false},
    {"Create Folder For Sounds", &OptionStates::soundFolder, false},
    {"Create Folders For Videos", &OptionStates::videoFolders, false},
    {"Collapse Folders", &OptionStates::collapseFolders, false},
    {"Save All Files In A New Folder", &OptionStates::saveInNewFolder, false},
    {"Timeline", &OptionStates::timeline, false},
    {"Work Area", &OptionStates::workArea, false},
    {"Grid", &OptionStates::grid, false},
    {"Guides", &OptionStates::guides, false},
    {"Rulers", &OptionStates::rulers, false},
    {"Snap To Grid", &OptionStates::snapToGrid, false},
    {"Snap To Guides", &OptionStates::snapToGuides, false},
    {"Snap To Objects", &OptionStates::snapToObjects, false},
    {"Snap To Pixels", &OptionStates::snapToPixels, false},
    {"Approximate Motion Tweens...", &OptionStates::approximateMotionTweens, false},
    {"Approximate Easing Value", &OptionStates::approximateEasing, false},
};

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The text after a group's "Group: " prefix.
std::string ItemText(const std::string& text) {
  size_t colon = text.find(": ");
  return colon == std::string::npos ? text : text.substr(colon + 2);
}

bool ParseSwitch(const std::string& value, bool& on) {
  std::string v = Lower(value);
  if (v == "on") on = true;
  else if (v == "off") on = false;
  else return false;
  return true;
}

// A list of shape ids: ITEM (',' ITEM)*, an ITEM a number or two joined by
// '-', each number from 1 to 65535; spaces around the commas and dashes.
bool IsShapeIdList(const std::string& text) {
  size_t i = 0;
  auto spaces = [&] {
    while (i < text.size() && text[i] == ' ') ++i;
  };
  auto number = [&] {
    spaces();
    const size_t start = i;
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
      value = std::min<uint32_t>(value * 10 + uint32_t(text[i] - '0'), 0x10000);
    spaces();
    return i > start && value >= 1 && value <= 0xFFFF;
  };
  for (;;) {
    if (!number()) return false;
    if (i < text.size() && text[i] == '-' && (++i, !number())) return false;
    if (i == text.size()) return true;
    if (text[i++] != ',') return false;
  }
}

// The original form: "/s," or "/o," and comma-terminated paths.
bool SlashForm(const std::string& arg, CommandLine& cl) {
  if (arg.size() < 3 || arg[0] != '/' || (arg[1] != 's' && arg[1] != 'o') || arg[2] != ',')
    return false;
  std::error_code ec;
  if (std::filesystem::exists(arg, ec)) return false;  // a real path after all
  cl.openAfter = cl.openAfter || arg[1] == 'o';
  for (size_t p = 3; p < arg.size();) {
    size_t k = arg.find(',', p);
    if (k == std::string::npos) k = arg.size();
    if (k > p) cl.inputs.push_back(arg.substr(p, k - p));
    p = k + 1;
  }
  return true;
}

}  // namespace

bool SetOptionByName(OptionStates& options, const std::string& name, bool on, std::string& error) {
  const std::string want = Lower(name);
  const OptionEntry* found = nullptr;
  int matches = 0;
  for (const OptionEntry& e : kOptions) {
    if (Lower(e.text) == want) {
      found = &e;
      matches = 1;
      break;
    }
    if (Lower(ItemText(e.text)) == want) {
      found = &e;
      ++matches;
    }
  }
  if (matches == 0) {
    error = "unknown option \"" + name + "\" (see --help)";
    return false;
  }
  if (matches > 1) {
    error = "\"" + name + "\" is in two groups: name it with its group, as --help shows";
    return false;
  }
  if (found->staticTextRadio) {
    // One choice of the group; "Convert All To Shapes" is none of the others.
    if (on || found->state) {
      options.textJsflImport = options.textToTextfields = options.textBreakApart = 0;
      if (found->state) options.*(found->state) = on ? 1 : 0;
    }
    return true;
  }
  options.*(found->state) = on ? 1 : 0;
  return true;
}

std::string DescribeOptions(const OptionStates& options) {
  std::string out;
  const bool shapesChoice = !options.textJsflImport && !options.textToTextfields && !options.textBreakApart;
  for (const OptionEntry& e : kOptions) {
    bool on = e.state ? options.*(e.state) != 0 : shapesChoice;
    out += "    \"" + std::string(e.text) + "\"" + std::string(on ? "  on" : "  off") + "\n";
  }
  return out;
}

bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& cl, std::string& error) {
  auto needValue = [&](size_t& i, const std::string& opt, std::string& out) {
    if (i + 1 >= args.size()) {
      error = opt + " needs a value";
      return false;
    }
    out = args[++i];
    return true;
  };
  bool endOfOptions = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (endOfOptions || a.empty() || a[0] != '-' || a == "-") {
      if (!endOfOptions && SlashForm(a, cl)) continue;
      cl.inputs.push_back(a);
      continue;
    }
    std::string value;
    if (a == "--") {
      endOfOptions = true;
    } else if (a == "--help" || a == "-h") {
      cl.help = true;
    } else if (a == "--version") {
      cl.version = true;
    } else if (a == "-q" || a == "--quiet") {
      cl.quiet = true;
    } else if (a == "--open") {
      cl.openAfter = true;
    } else if (a == "-o") {
      if (!needValue(i, a, cl.output)) return false;
    } else if (a == "--new-folder") {
      if (!needValue(i, a, cl.newFolder)) return false;
    } else if (a == "--base") {
      if (!needValue(i, a, cl.base)) return false;
    } else if (a == "--set") {
      if (!needValue(i, a, value)) return false;
      size_t eq = value.rfind('=');
      bool on = false;
      if (eq == std::string::npos || !ParseSwitch(value.substr(eq + 1), on)) {
        error = "--set takes \"Option Name=on\" or \"Option Name=off\"";
        return false;
      }
      cl.settings.emplace_back(value.substr(0, eq), on);
    } else if (a == "--shape-ids") {
      if (!needValue(i, a, cl.shapeIds)) return false;
      if (!IsShapeIdList(cl.shapeIds)) {
        error = "--shape-ids takes ids from 1 to 65535 or ranges of them, separated by commas, such as \"12,20-25\"";
        return false;
      }
      cl.hasShapeIds = true;
    } else if (a == "--approximation") {
      if (!needValue(i, a, value)) return false;
      if (value.empty() || value.size() > 3 ||
          !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
          std::stoi(value) > 100) {
        error = "--approximation takes a number from 0 to 100";
        return false;
      }
      cl.approximation = std::stoi(value);
    } else {
      error = "unknown option " + a;
      return false;
    }
  }
  if (cl.help || cl.version) return true;
  if (cl.inputs.empty()) {
    error = "no input given";
    return false;
  }
  if (!cl.output.empty() && cl.inputs.size() != 1) {
    error = "-o takes one input only";
    return false;
  }
  return true;
}

std::string DeepestCommonFolder(const std::vector<std::string>& paths) {
  namespace fs = std::filesystem;
  if (paths.empty()) return "";
  fs::path common = fs::path(paths[0]).parent_path();
  for (const std::string& p : paths) {
    fs::path folder = fs::path(p).parent_path();
    fs::path shared;
    auto a = common.begin(), b = folder.begin();
    for (; a != common.end() && b != folder.end() && *a == *b; ++a, ++b) shared /= *a;
    common = shared;
  }
  return common.string();
}

}  // namespace tovrani
