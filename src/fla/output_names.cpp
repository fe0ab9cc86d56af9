#include "fla/output_names.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <random>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fla/item_names.h"

namespace tovrani {

namespace {

constexpr std::string_view kTempMark = ".tmp-";
constexpr std::string_view kBackupMark = ".bak-";
constexpr char kRandomChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr size_t kRandomCharCount = sizeof(kRandomChars) - 1;

bool Digits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool RandomChars(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
  });
}

}  // namespace

std::string NewRandomPart() {
  unsigned char bytes[kRandomPartLength];
  if (::getrandom(bytes, sizeof bytes, 0) != ssize_t(sizeof bytes)) {
    static std::mutex lock;
    static std::mt19937_64 gen{(uint64_t(std::random_device{}()) << 32) ^ std::random_device{}()};
    std::lock_guard<std::mutex> hold(lock);
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(gen());
  }
  std::string out;
  for (unsigned char b : bytes) out.push_back(kRandomChars[b % kRandomCharCount]);
  return out;
}

// Seven digits, the most a process id has on Linux, so a name's length never
// depends on which process writes it.
std::string PidDigits(long pid) {
  std::string digits = std::to_string(pid);
  return std::string(digits.size() < kPidDigits ? kPidDigits - digits.size() : 0, '0') + digits;
}

long ParsePid(std::string_view s, size_t from, size_t to) {
  if (from >= to || to > s.size() || to - from > 9 || !Digits(s.substr(from, to - from))) return 0;
  long pid = 0;
  for (size_t i = from; i < to; ++i) pid = pid * 10 + (s[i] - '0');
  return pid;
}

std::string TempName(const std::string& finalName, long pid, const std::string& random) {
  return finalName + std::string(kTempMark) + PidDigits(pid) + "-" + random;
}

std::string BackupName(const std::string& finalName, long pid) {
  return finalName + std::string(kBackupMark) + PidDigits(pid);
}

std::string CommitRecordName(const std::string& flaName) { return flaName + ".commit"; }

std::optional<LeftoverName> ParseLeftoverName(std::string_view name) {
  LeftoverName out;
  // "NAME.bak-PPPPPPP"
  constexpr size_t kBackupTail = kBackupMark.size() + kPidDigits;
  if (name.size() > kBackupTail && name.substr(name.size() - kBackupTail, kBackupMark.size()) == kBackupMark) {
    const size_t at = name.size() - kBackupTail;
    out.pid = ParsePid(name, at + kBackupMark.size(), name.size());
    if (out.pid <= 0) return std::nullopt;
    out.backup = true;
    out.finalName = std::string(name.substr(0, at));
    return out;
  }
  // "NAME.tmp-PPPPPPP-RRRRRR"
  constexpr size_t kTempTail = kTempMark.size() + kPidDigits + 1 + kRandomPartLength;
  if (name.size() <= kTempTail) return std::nullopt;
  const size_t at = name.size() - kTempTail, dash = at + kTempMark.size() + kPidDigits;
  if (name.substr(at, kTempMark.size()) != kTempMark || name[dash] != '-') return std::nullopt;
  out.pid = ParsePid(name, at + kTempMark.size(), dash);
  out.random = std::string(name.substr(dash + 1));
  if (out.pid <= 0 || !RandomChars(out.random)) return std::nullopt;
  out.finalName = std::string(name.substr(0, at));
  return out;
}

bool IsImportMovieName(std::string_view name) {
  constexpr std::string_view kHead = "Symbol ", kTail = ".swf";
  if (!name.starts_with(kHead) || !name.ends_with(kTail)) return false;
  const std::string_view digits = name.substr(kHead.size(), name.size() - kHead.size() - kTail.size());
  if (!Digits(digits) || digits.size() > 5) return false;
  const unsigned long n = std::strtoul(std::string(digits).c_str(), nullptr, 10);
  return n <= 0xFFFF && MakeSymbolName(uint16_t(n)) + std::string(kTail) == name;
}

int CreateFileAt(int dirFd, const std::string& name) {
  int fd;
  do {
    fd = ::openat(dirFd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace tovrani
