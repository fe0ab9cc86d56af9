// The program's ShellServices on a terminal: progress redrawn in place on
// stderr (only when it is a terminal and not quiet), Ctrl-C as the cancel
// request, messages and questions on stderr, opening files with xdg-open,
// the settings file of ours and fontconfig's family names.
#pragma once

#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include "platform/settings_store.h"
#include "platform/shell_services.h"

namespace tovrani {

// SIGINT and SIGTERM: the first sets the cancel request, the second ends the
// process with status 130.
void InstallCancelHandlers();
bool CancelRequested();
// A SIGINT or SIGTERM the document set's commit held: counted as the handler
// counts it, without ending the process (the commit's signal sink).
void TakeHeldCancelSignal(int signal);

class TerminalShell : public ShellServices {
 public:
  TerminalShell(bool quiet, std::string settingsPath);
  ~TerminalShell() override;

  void SetMainRange(uint32_t min, uint32_t max) override;
  void SetMainProgress(uint32_t position) override;
  void BeginSubTask(uint32_t start, uint32_t end) override;
  void SetSubRange(uint32_t min, uint32_t max) override;
  void StepSubProgressBytes(uint32_t position) override;
  void StepSubProgressLayers(uint32_t position) override;
  void SetCurrentAction(const std::string& text) override;
  void RedrawProgressPane() override;
  bool PumpMessages() override;

  void ShowMessage(const std::string& caption, const std::string& text) override;
  bool AskYesNo(const std::string& caption, const std::string& text, bool defaultYes) override;
  bool OpenFile(const std::string& path) override;

  bool ReadSetting(const std::string& key, const std::string& name, std::string& value) override;
  bool WriteSetting(const std::string& key, const std::string& name, const std::string& value,
                    bool create) override;

  const std::vector<std::string>& InstalledFontFamilies() override;

  // The file being converted, shown in front of the progress.
  void SetCurrentFile(const std::string& name);
  // What begins every line of a message or question: in a run of several
  // movies, the movie's path and ": "; empty in a run of one.
  void SetMessagePrefix(std::string prefix) { prefix_ = std::move(prefix); }
  // Removes the progress line (before other output and at the end).
  void ClearProgress();

 private:
  void Redraw(bool force);
  // Prints `text` with the prefix before each of its lines.
  void PrintLines(const std::string& text);

  bool progress_;  // stderr is a terminal and not quiet
  SettingsStore settings_;
  std::vector<std::string> fonts_;
  bool fontsLoaded_ = false;

  std::string file_, action_, sub_, prefix_;
  uint64_t mainMin_ = 0, mainMax_ = 0, mainPos_ = 0;
  uint64_t subMin_ = 0, subMax_ = 0;
  bool dirty_ = false, shown_ = false;
  std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace tovrani
