#include "app/terminal_shell.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <set>

#include <fontconfig/fontconfig.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tovrani {

namespace {

volatile std::sig_atomic_t g_cancelRequests = 0;

void OnCancelSignal(int) {
  if (g_cancelRequests >= 1) _exit(130);
  g_cancelRequests = 1;
}

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

size_t TerminalWidth() {
  winsize ws{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 10) return ws.ws_col;
  return 80;
}

}  // namespace

void InstallCancelHandlers() {
  struct sigaction sa {};
  sa.sa_handler = OnCancelSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

bool CancelRequested() { return g_cancelRequests != 0; }

void TakeHeldCancelSignal(int) {
  if (g_cancelRequests < 2) g_cancelRequests = g_cancelRequests + 1;
}

TerminalShell::TerminalShell(bool quiet, std::string settingsPath)
    : progress_(!quiet && ::isatty(STDERR_FILENO)), settings_(std::move(settingsPath)) {}

TerminalShell::~TerminalShell() { ClearProgress(); }

void TerminalShell::SetMainRange(uint32_t min, uint32_t max) {
  mainMin_ = mainPos_ = min;
  mainMax_ = max;
  dirty_ = true;
}

void TerminalShell::SetMainProgress(uint32_t position) {
  mainPos_ = position;
  dirty_ = true;
  Redraw(false);
}

void TerminalShell::BeginSubTask(uint32_t start, uint32_t end) {
  subMin_ = start;
  subMax_ = end;
  sub_.clear();
  dirty_ = true;
}

void TerminalShell::SetSubRange(uint32_t min, uint32_t max) {
  subMin_ = min;
  subMax_ = max;
}

void TerminalShell::StepSubProgressBytes(uint32_t position) {
  if (!progress_) return;
  uint64_t total = subMax_ > subMin_ ? subMax_ - subMin_ : 0;
  uint64_t done = std::min<uint64_t>(position > subMin_ ? position - subMin_ : 0, total);
  sub_ = total ? " Sub Progress: " + std::to_string(done * 100 / total) + "%" : "";
  dirty_ = true;
  Redraw(false);
}

void TerminalShell::StepSubProgressLayers(uint32_t position) {
  if (!progress_) return;
  uint64_t total = subMax_ > subMin_ ? subMax_ - subMin_ : 0;
  uint64_t done = std::min<uint64_t>(position + 1 > subMin_ ? position + 1 - subMin_ : 0, total);
  uint64_t percent = total ? std::min<uint64_t>(done * 100 / total, 99) : 0;
  sub_ = " Sub Progress: " + std::to_string(done) + " / " + std::to_string(total) + " Layers (" +
         std::to_string(percent) + "%)";
  dirty_ = true;
  Redraw(false);
}

void TerminalShell::SetCurrentAction(const std::string& text) {
  action_ = text;
  dirty_ = true;
  Redraw(false);
}

void TerminalShell::RedrawProgressPane() {
  // Within the redraw rate: a pane drawn more often only flickers.
  dirty_ = true;
  Redraw(false);
}

bool TerminalShell::PumpMessages() {
  Redraw(false);
  return CancelRequested();
}

void TerminalShell::SetCurrentFile(const std::string& name) {
  file_ = name;
  action_.clear();
  sub_.clear();
  mainPos_ = mainMin_ = mainMax_ = 0;
  dirty_ = true;
  Redraw(true);
}

void TerminalShell::Redraw(bool force) {
  if (!progress_ || !dirty_) return;
  auto now = std::chrono::steady_clock::now();
  if (!force && shown_ && now - lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;
  dirty_ = false;
  uint64_t span = mainMax_ > mainMin_ ? mainMax_ - mainMin_ : 0;
  uint64_t pos = std::min(mainPos_ > mainMin_ ? mainPos_ - mainMin_ : 0, span);
  std::string line(1, '[');
  line += std::to_string(span ? pos * 100 / span : 0);
  line += "%] ";
  line += file_;
  line += " Current Action: ";
  line += action_;
  line += sub_;
  const size_t width = TerminalWidth() - 1;
  if (line.size() > width) line.resize(width);
  std::fprintf(stderr, "\r\033[K%s", line.c_str());
  std::fflush(stderr);
  shown_ = true;
}

void TerminalShell::ClearProgress() {
  if (!shown_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  shown_ = false;
  dirty_ = true;
}

void TerminalShell::PrintLines(const std::string& text) {
  if (prefix_.empty()) {
    std::fputs(text.c_str(), stderr);
    return;
  }
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find('\n', start), text.size() - 1);
    std::fputs(prefix_.c_str(), stderr);
    std::fwrite(text.data() + start, 1, end + 1 - start, stderr);
    start = end + 1;
  }
}

void TerminalShell::ShowMessage(const std::string& caption, const std::string& text) {
  ClearProgress();
  PrintLines(caption + ": " + text + "\n");
}

bool TerminalShell::AskYesNo(const std::string& caption, const std::string& text, bool defaultYes) {
  if (!::isatty(STDIN_FILENO) || !::isatty(STDERR_FILENO)) {
    // Nobody to ask: the question and the answer taken still show.
    PrintLines(caption + "\n" + text + (defaultYes ? " [Yes]\n" : " [No]\n"));
    return defaultYes;
  }
  ClearProgress();
  PrintLines(caption + "\n" + text + (defaultYes ? " [Y/n] " : " [y/N] "));
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) return defaultYes;
  if (answer.empty()) return defaultYes;
  return answer[0] == 'y' || answer[0] == 'Y';
}

bool TerminalShell::OpenFile(const std::string& path) {
  pid_t pid;
  char* argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(path.c_str()), nullptr};
  if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool TerminalShell::ReadSetting(const std::string& key, const std::string& name, std::string& value) {
  return settings_.Read(key, name, value);
}

bool TerminalShell::WriteSetting(const std::string& key, const std::string& name,
                                 const std::string& value, bool create) {
  return settings_.Write(key, name, value, create);
}

const std::vector<std::string>& TerminalShell::InstalledFontFamilies() {
  if (fontsLoaded_) return fonts_;
  fontsLoaded_ = true;
  // Every family name fontconfig lists; its matching would always find a
  // substitute, which is not what the converter asks.
  FcConfig* config = FcInitLoadConfigAndFonts();
  if (!config) return fonts_;
  FcPattern* pattern = FcPatternCreate();
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
  FcFontSet* set = pattern && objects ? FcFontList(config, pattern, objects) : nullptr;
  std::set<std::string> names;
  for (int i = 0; set && i < set->nfont; ++i) {
    FcChar8* family = nullptr;
    for (int n = 0; FcPatternGetString(set->fonts[i], FC_FAMILY, n, &family) == FcResultMatch; ++n)
      names.insert(reinterpret_cast<const char*>(family));
  }
  if (set) FcFontSetDestroy(set);
  if (objects) FcObjectSetDestroy(objects);
  if (pattern) FcPatternDestroy(pattern);
  FcConfigDestroy(config);
  fonts_.assign(names.begin(), names.end());
  return fonts_;
}

}  // namespace tovrani
