#include "fla/output_names.h"

#include <cerrno>
#include <cstdlib>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tovrani {

namespace {

constexpr char kTempMark[] = ".tmp-";
constexpr char kBackupMark[] = ".bak-";
constexpr size_t kMarkLength = 5;
constexpr size_t kRandomPart = 6;  // mkstemp's XXXXXX

std::string PidPart() { return PidDigits(::getpid()); }

}  // namespace

// Seven digits, the most a process id has on Linux, so a name's length never
// depends on which process writes it.
std::string PidDigits(long pid) {
  std::string digits = std::to_string(pid);
  return std::string(digits.size() < 7 ? 7 - digits.size() : 0, '0') + digits;
}

long ParsePid(const std::string& s, size_t from, size_t to) {
  if (from >= to || to - from > 9) return 0;
  long pid = 0;
  for (size_t i = from; i < to; ++i) {
    if (s[i] < '0' || s[i] > '9') return 0;
    pid = pid * 10 + (s[i] - '0');
  }
  return pid;
}

int CreateTempBeside(const std::string& finalPath, std::string& temp) {
  temp = finalPath + kTempMark + PidPart() + "-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return -1;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  return fd;
}

std::string BackupName(const std::string& finalPath) {
  return finalPath + kBackupMark + PidPart();
}

std::string CommitRecordName(const std::string& finalPath) { return finalPath + ".commit"; }

std::optional<LeftoverName> ParseLeftoverName(const std::string& fileName) {
  LeftoverName out;
  if (const size_t at = fileName.rfind(kBackupMark); at != std::string::npos && at > 0) {
    out.pid = ParsePid(fileName, at + kMarkLength, fileName.size());
    out.backup = true;
    out.finalName = fileName.substr(0, at);
    if (out.pid > 0) return out;
  }
  if (fileName.size() < kRandomPart + 1) return std::nullopt;
  const size_t dash = fileName.size() - kRandomPart - 1;
  const size_t at = fileName.rfind(kTempMark, dash);
  if (at == std::string::npos || at == 0 || fileName[dash] != '-') return std::nullopt;
  out.pid = ParsePid(fileName, at + kMarkLength, dash);
  out.backup = false;
  out.finalName = fileName.substr(0, at);
  if (out.pid > 0) return out;
  return std::nullopt;
}

bool ProcessIsGone(long pid) {
  if (pid <= 0) return false;
  return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

}  // namespace tovrani
