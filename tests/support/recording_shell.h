// A ShellServices that records every call, for tests.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/shell_services.h"

namespace tovrani::test {

class RecordingShell : public ShellServices {
 public:
  std::vector<std::string> actions;   // SetCurrentAction texts
  std::vector<std::string> messages;  // "caption: text"
  std::vector<std::string> questions;
  std::vector<std::string> opened;
  std::map<std::string, std::map<std::string, std::string>> settings;  // key -> name -> value
  std::vector<std::string> fonts;
  int pumps = 0;
  int cancelAfterPumps = -1;  // PumpMessages reports a cancel from this call on
  bool answerYes = false;
  uint32_t mainMax = 0, mainPosition = 0;
  std::vector<uint32_t> layerSteps;  // StepSubProgressLayers positions
  // With recordProgress: "action TEXT", "begin START END", "step POSITION"
  // and "redraw", in the order of the calls.
  bool recordProgress = false;
  std::vector<std::string> progress;
  // BeginSubTask ("sub START END") and StepSubProgressBytes ("bytes N")
  // calls in the order made.
  std::vector<std::string> subProgress;

  void SetMainRange(uint32_t, uint32_t max) override { mainMax = max; }
  void SetMainProgress(uint32_t position) override { mainPosition = position; }
  void SetCurrentAction(const std::string& text) override {
    actions.push_back(text);
    if (recordProgress) progress.push_back("action " + text);
  }
  void BeginSubTask(uint32_t start, uint32_t end) override {
    subProgress.push_back("sub " + std::to_string(start) + " " + std::to_string(end));
    if (recordProgress) progress.push_back("begin " + std::to_string(start) + " " + std::to_string(end));
  }
  void StepSubProgressBytes(uint32_t position) override {
    subProgress.push_back("bytes " + std::to_string(position));
    if (recordProgress) progress.push_back("step " + std::to_string(position));
  }
  void RedrawProgressPane() override {
    if (recordProgress) progress.push_back("redraw");
  }
  void StepSubProgressLayers(uint32_t position) override { layerSteps.push_back(position); }
  bool PumpMessages() override {
    ++pumps;
    return cancelAfterPumps >= 0 && pumps > cancelAfterPumps;
  }
  void ShowMessage(const std::string& caption, const std::string& text) override {
    messages.push_back(caption + ": " + text);
  }
  bool AskYesNo(const std::string&, const std::string& text, bool) override {
    questions.push_back(text);
    return answerYes;
  }
  bool OpenFile(const std::string& path) override {
    opened.push_back(path);
    return true;
  }
  bool ReadSetting(const std::string& key, const std::string& name, std::string& value) override {
    auto k = settings.find(key);
    if (k == settings.end()) return false;
    auto v = k->second.find(name);
    if (v == k->second.end()) return false;
    value = v->second;
    return true;
  }
  bool WriteSetting(const std::string& key, const std::string& name, const std::string& value,
                    bool create) override {
    if (!create && !settings.count(key)) return false;
    settings[key][name] = value;
    return true;
  }
  const std::vector<std::string>& InstalledFontFamilies() override { return fonts; }
};

}  // namespace tovrani::test
