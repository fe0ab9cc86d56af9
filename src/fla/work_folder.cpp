#include "fla/work_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace tovrani {

bool FileHandle::close() {
  if (!f_) return true;
  return std::fclose(f_.release()) == 0;
}

int64_t FileSizeOf(std::FILE* f) {
  if (!f) return -1;
  long here = std::ftell(f);
  if (here < 0 || std::fseek(f, 0, SEEK_END) != 0) return -1;
  long end = std::ftell(f);
  std::fseek(f, here, SEEK_SET);
  return end;
}

bool WorkFolder::create() {
  remove();
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/tovrani-XXXXXX";
  if (!mkdtemp(tmpl.data())) return false;
  std::error_code ec;
  auto abs = std::filesystem::absolute(tmpl, ec);
  path_ = ec ? tmpl : abs.string();
  return true;
}

void WorkFolder::removeFile(const std::string& name) const {
  if (path_.empty()) return;
  std::error_code ec;
  std::filesystem::remove(file(name), ec);
}

void WorkFolder::remove() {
  if (path_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
  path_.clear();
}

bool OutputTarget::open(const std::string& finalPath) {
  discard();
  if (finalPath.empty()) return false;
  // An existing document must be writable by us; it is not opened for
  // writing here, so it stays untouched until the commit.
  if (::access(finalPath.c_str(), F_OK) == 0 && ::access(finalPath.c_str(), W_OK) != 0)
    return false;
  std::error_code ec;
  if (std::filesystem::is_directory(finalPath, ec)) return false;
  std::string tmpl = finalPath + ".tmp-XXXXXX";
  int fd = mkstemp(tmpl.data());
  if (fd < 0) return false;
  // mkstemp makes the file private; the document gets the usual mode.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  std::FILE* f = fdopen(fd, "wb+");
  if (!f) {
    ::close(fd);
    ::unlink(tmpl.c_str());
    return false;
  }
  final_ = finalPath;
  temp_ = tmpl;
  file_.reset(f);
  return true;
}

bool OutputTarget::commit() {
  if (temp_.empty()) return false;
  bool ok = file_ && std::fflush(file_.get()) == 0;
  ok = file_.close() && ok;
  if (ok) ok = std::rename(temp_.c_str(), final_.c_str()) == 0;
  if (!ok) {
    discard();
    return false;
  }
  temp_.clear();
  return true;
}

void OutputTarget::discard() {
  file_.reset();
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    temp_.clear();
  }
}

}  // namespace tovrani
