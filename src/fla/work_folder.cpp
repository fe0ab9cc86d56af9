#include "fla/work_folder.h"

#include "fla/memory_file.h"
#include "fla/output_names.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <unordered_map>
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

namespace {

uint64_t g_memoryBudget = WorkFolder::kDefaultMemoryBudget;
std::function<bool(const std::string&)> g_spillHook;
std::function<void(const std::string&)> g_madeFolderHook;

// The live folders by path, so that opening one of their paths reaches
// their files.
std::mutex g_foldersLock;
std::unordered_map<std::string, const WorkFolder*> g_folders;

std::string BaseFolder() {
  const char* base = std::getenv("TMPDIR");
  return base && *base ? base : "/tmp";
}

}  // namespace

struct WorkFolder::Files {
  std::shared_ptr<WorkSpace> space = std::make_shared<WorkSpace>();
  std::unordered_map<std::string, std::shared_ptr<MemoryFile>> byName;
};

void WorkFolder::SetMemoryBudget(uint64_t bytes) { g_memoryBudget = bytes; }
uint64_t WorkFolder::MemoryBudget() { return g_memoryBudget; }
void WorkFolder::SetSpillHook(std::function<bool(const std::string&)> hook) {
  g_spillHook = std::move(hook);
}

void WorkFolder::SetMadeFolderHook(std::function<void(const std::string&)> hook) {
  g_madeFolderHook = std::move(hook);
}

void WorkFolder::SweepLeftovers() { SweepGoneWorkFolders(BaseFolder()); }

WorkFolder::WorkFolder() = default;
WorkFolder::~WorkFolder() { remove(); }

FileHandle::FileHandle(const std::string& path, const char* mode) : f_(OpenPath(path, mode)) {}

bool WorkFolder::create() {
  remove();
  std::lock_guard<std::mutex> lock(g_foldersLock);
  // The name only: nothing is made on disk until a file needs it there. The
  // process id and a long random part keep other folders from taking it.
  std::error_code ec;
  const std::string base = BaseFolder();
  const auto abs = std::filesystem::absolute(base, ec);
  files_ = std::make_unique<Files>();
  WorkSpace& space = *files_->space;
  space.base = ec ? base : abs.string();
  space.name = NewWorkFolderName();
  path_ = space.base + "/" + space.name;
  space.budget = g_memoryBudget;
  space.spillHook = g_spillHook;
  space.madeHook = g_madeFolderHook;
  g_folders[path_] = this;
  return true;
}

std::FILE* WorkFolder::open(const std::string& name, const char* mode) const {
  if (!files_ || !mode) {
    errno = ENOENT;
    return nullptr;
  }
  auto it = files_->byName.find(name);
  if (mode[0] == 'r') {
    if (it == files_->byName.end()) {
      errno = ENOENT;
      return nullptr;
    }
  } else if (mode[0] != 'w' && mode[0] != 'a') {
    errno = EINVAL;
    return nullptr;
  } else if (it == files_->byName.end()) {
    auto file = std::make_shared<MemoryFile>(files_->space, name);
    // Without a budget on disk from the start, made here: never a file that
    // was there.
    if (files_->space->budget == 0 && !file->StartOnDisk()) return nullptr;
    it = files_->byName.emplace(name, std::move(file)).first;
  }
  // On disk too, every stream goes through the file, which holds it to
  // what the conversion may still write.
  return MemoryFile::Open(it->second, mode);
}

void WorkFolder::removeFile(const std::string& name) const {
  if (!files_) return;
  auto it = files_->byName.find(name);
  if (it == files_->byName.end()) return;
  it->second->Unlink();
  files_->byName.erase(it);
}

void WorkFolder::markCharged(const std::string& name) const {
  if (!files_) return;
  if (auto it = files_->byName.find(name); it != files_->byName.end()) it->second->MarkCharged();
}

WriteBound* WorkFolder::writeBound() const { return files_ ? &files_->space->writeBound : nullptr; }

bool WorkFolder::failed() const { return files_ && files_->space->failed; }

uint64_t WorkFolder::bytesCopiedInMemory(const std::string& name) const {
  if (!files_) return 0;
  auto it = files_->byName.find(name);
  return it == files_->byName.end() ? 0 : it->second->bytesCopied();
}

void WorkFolder::remove() {
  if (path_.empty()) return;
  {
    std::lock_guard<std::mutex> lock(g_foldersLock);
    g_folders.erase(path_);
  }
  if (files_) {
    // Streams still open keep their bytes; nothing goes to disk any more.
    WorkSpace& space = *files_->space;
    for (auto& [name, file] : files_->byName) file->Unlink();
    space.closed = true;
    space.RemoveDir();
    files_.reset();
  }
  path_.clear();
}

namespace {

// The live folder holding a path, and the file's name in it.
const WorkFolder* FolderOf(const std::string& path, std::string& name) {
  const size_t cut = path.rfind('/');
  if (cut == std::string::npos || g_folders.empty()) return nullptr;
  auto it = g_folders.find(path.substr(0, cut));
  if (it == g_folders.end()) return nullptr;
  name = path.substr(cut + 1);
  return it->second;
}

}  // namespace

std::FILE* OpenPath(const std::string& path, const char* mode) {
  {
    std::lock_guard<std::mutex> lock(g_foldersLock);
    std::string name;
    if (const WorkFolder* folder = FolderOf(path, name)) return folder->open(name, mode);
  }
  return std::fopen(path.c_str(), mode);
}

bool RemoveWorkPath(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_foldersLock);
  std::string name;
  const WorkFolder* folder = FolderOf(path, name);
  if (folder) folder->removeFile(name);
  return folder != nullptr;
}

bool OutputTarget::open(const std::string& finalPath, int folderFd, const std::string& tempName) {
  discard();
  problem_.clear();
  if (finalPath.empty()) {
    problem_ = "no name was given for it";
    return false;
  }
  std::error_code ec;
  if (std::filesystem::is_directory(finalPath, ec)) {
    problem_ = "a folder has its name";
    return false;
  }
  // An existing document must be writable by us; it is not opened for
  // writing here, so it stays untouched until the commit.
  if (::access(finalPath.c_str(), F_OK) == 0 && ::access(finalPath.c_str(), W_OK) != 0) {
    problem_ = "the existing FLA cannot be replaced (it is not writable)";
    return false;
  }
  // The names are copied before the file exists: a refused allocation
  // leaves nothing behind.
  const size_t slash = finalPath.rfind('/');
  std::string final = finalPath, name = tempName;
  std::string temp = finalPath.substr(0, slash == std::string::npos ? 0 : slash + 1) + tempName;
  Descriptor folder(::fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
  Descriptor fd(folder.valid() ? CreateFileAt(folder.get(), tempName) : -1);
  struct stat st {};
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
    const int error = errno;
    if (fd.valid()) ::unlinkat(folder.get(), tempName.c_str(), 0);
    problem_ = std::string("its folder cannot be written (") + std::strerror(error) + ")";
    return false;
  }
  std::FILE* f = ::fdopen(fd.get(), "wb+");
  if (!f) {
    const int error = errno;
    ::unlinkat(folder.get(), tempName.c_str(), 0);
    problem_ = std::strerror(error);
    return false;
  }
  fd.release();  // the stream owns it now
  final_ = std::move(final);
  temp_ = std::move(temp);
  tempName_ = std::move(name);
  identity_ = IdentityOf(st);
  folder_ = std::move(folder);
  file_.reset(f);
  return true;
}

std::string OutputTarget::release() {
  if (temp_.empty()) return {};
  bool ok = file_ && std::fflush(file_.get()) == 0;
  ok = file_.close() && ok;
  if (!ok) {
    discard();
    return {};
  }
  std::string path;
  path.swap(temp_);
  tempName_.clear();
  folder_.reset();
  return path;
}

void OutputTarget::discard() {
  file_.reset();
  if (!temp_.empty()) {
    // Only the file made here: a name another put there stays.
    struct stat st {};
    if (::fstatat(folder_.get(), tempName_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && IdentityOf(st) == identity_)
      ::unlinkat(folder_.get(), tempName_.c_str(), 0);
    temp_.clear();
    tempName_.clear();
  }
  folder_.reset();
}

}  // namespace tovrani
