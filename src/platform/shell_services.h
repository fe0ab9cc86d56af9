// What the converter asks of the program around it: progress, the message
// pump, messages and questions, opening a file, the settings store and the
// installed font families. The command-line program implements it; tests use
// RecordingShell (tests/support). The library never talks to a terminal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tovrani {

class ShellServices {
 public:
  virtual ~ShellServices() = default;

  // Progress display.
  virtual void SetMainRange(uint32_t /*min*/, uint32_t /*max*/) {}
  virtual void SetMainProgress(uint32_t /*position*/) {}
  virtual void BeginSubTask(uint32_t /*start*/, uint32_t /*end*/) {}
  virtual void SetSubRange(uint32_t /*min*/, uint32_t /*max*/) {}
  virtual void StepSubProgressBytes(uint32_t /*position*/) {}
  virtual void StepSubProgressLayers(uint32_t /*position*/) {}
  virtual void SetCurrentAction(const std::string& /*text*/) {}
  // Draws the progress pane again with what it holds now.
  virtual void RedrawProgressPane() {}

  // Called between steps; returns true when the user asked to cancel.
  virtual bool PumpMessages() { return false; }

  // A message box: caption and text. What a movie can repeat per tag or
  // element reaches it through ShowWarning and AskQuestion
  // (movie_messages.h), which cap each kind of message a movie.
  virtual void ShowMessage(const std::string& /*caption*/, const std::string& /*text*/) {}
  // A Yes/No question; `defaultYes` is the answer when nobody can be asked.
  virtual bool AskYesNo(const std::string& /*caption*/, const std::string& /*text*/,
                        bool defaultYes) {
    return defaultYes;
  }
  // Hands a file to the desktop's "open" action.
  virtual bool OpenFile(const std::string& /*path*/) { return false; }

  // Settings store: values under a key path such as
  // "Software\Macromedia\Flash 8\Settings". Reading or writing under a key
  // that does not exist fails unless `create` is set.
  virtual bool ReadSetting(const std::string& /*key*/, const std::string& /*name*/,
                           std::string& /*value*/) {
    return false;
  }
  virtual bool WriteSetting(const std::string& /*key*/, const std::string& /*name*/,
                            const std::string& /*value*/, bool /*create*/) {
    return false;
  }

  // Every installed font family name.
  virtual const std::vector<std::string>& InstalledFontFamilies() {
    static const std::vector<std::string> none;
    return none;
  }
};

}  // namespace tovrani
