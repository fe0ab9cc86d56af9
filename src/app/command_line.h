// The program's command line: `tovrani [options] INPUT...` and the original
// form `tovrani /s,IN1,IN2,` (convert) or `/o,...` (convert and open).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/input_search.h"

namespace tovrani {

struct OptionStates;

struct CommandLine {
  std::vector<std::string> inputs;  // files or folders, as given
  bool openAfter = false;
  std::string output;      // -o: the save dialog's answer
  std::string newFolder;   // --new-folder: the chosen destination
  std::string base;        // --base: the folder the inputs are mirrored below
  std::vector<std::pair<std::string, bool>> settings;  // --set, in order
  std::string shapeIds;
  bool hasShapeIds = false;
  int approximation = -1;  // -1: not given
  bool quiet = false, help = false, version = false;
};

// False (with a message) on a usage error.
bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& cl, std::string& error);

// Sets the option named by its text (case ignored) on or off. The radio
// group "Static Text" keeps one choice. False when no option or more than
// one has that text.
bool SetOptionByName(OptionStates& options, const std::string& name, bool on, std::string& error);

// The option texts with their states, for --help.
std::string DescribeOptions(const OptionStates& options);

// The deepest folder holding every path (absolute paths expected).
std::string DeepestCommonFolder(const std::vector<std::string>& paths);

}  // namespace tovrani
