#include "convert/output_set.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "convert/converter_context.h"
#include "convert/engine.h"
#include "fla/output_names.h"

namespace tovrani {

namespace {

CommitRenameHook g_renameHook;

// rename(2) as the commit makes it: 0, or the errno of the failure.
int Rename(const std::string& from, const std::string& to) {
  if (g_renameHook)
    if (const int e = g_renameHook(from, to)) return e;
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// A file the commit moves aside before it replaces it: anything but a
// folder, which no file replaces.
bool Replaceable(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// The folder part of a path with its '/', or "" for a bare name.
std::string FolderPart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string OpenableFolder(const std::string& folderPart) { return folderPart.empty() ? "." : folderPart; }

// An exclusive lock of a folder while it lives. Where none can be taken (no
// read access, a file system without locks) there is none, and no message.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder) {
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;
    int r;
    while ((r = ::flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (r != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~FolderLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_ = -1;
};

// The signals that cancel or end the program wait while it lives, so the
// set is never left half renamed; they arrive when it ends.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&held, s);
    ::pthread_sigmask(SIG_BLOCK, &held, &before_);
  }
  ~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t before_;
};

struct CommitStep {
  CommitStep(std::string t, std::string f) : temp(std::move(t)), finalPath(std::move(f)) {}
  std::string temp, finalPath, backup;
  bool backedUp = false;  // the previous file stands as `backup`
  bool renamed = false;   // the new file stands under its final name
};

void RemoveMadeFolders(ConverterContext& ctx) {
  // Only a folder left empty goes: rmdir refuses any other.
  for (auto it = ctx.m_madeOutputFolders.rbegin(); it != ctx.m_madeOutputFolders.rend(); ++it)
    ::rmdir(it->c_str());
  ctx.m_madeOutputFolders.clear();
}

// Takes back the steps up to `failed`, last first, and removes the
// temporaries of all. Returns what could not be put back, in words.
std::string UndoSteps(std::vector<CommitStep>& steps, size_t failed) {
  std::string stuck;
  for (size_t j = failed + 1; j-- > 0;) {
    CommitStep& s = steps[j];
    if (s.backedUp) {
      if (const int e = Rename(s.backup, s.finalPath)) {
        // With the final name free, the next conversion puts it back.
        if (s.renamed) ::unlink(s.finalPath.c_str());
        stuck += "; putting back the previous " + s.finalPath + " failed too (" + std::strerror(e) +
                 "): it stays as " + s.backup + " until the next conversion to this output";
      }
    } else if (s.renamed) {
      ::unlink(s.finalPath.c_str());
    }
  }
  for (CommitStep& s : steps)
    if (!s.renamed) ::unlink(s.temp.c_str());
  return stuck;
}

uint32_t CommitSteps(ConverterContext& ctx, std::vector<CommitStep> steps) {
  // Staged files are the steps' business from here on.
  ctx.m_stagedFiles.clear();
  FolderLock lock(OpenableFolder(FolderPart(steps.back().finalPath)));
  SignalsHeld held;
  std::string failure;
  size_t k = 0;
  for (; k < steps.size(); ++k) {
    CommitStep& s = steps[k];
    if (Replaceable(s.finalPath)) {
      s.backup = BackupName(s.finalPath);
      if (const int e = Rename(s.finalPath, s.backup)) {
        failure = s.finalPath + " could not be moved aside (" + std::strerror(e) + ")";
        break;
      }
      s.backedUp = true;
    }
    if (const int e = Rename(s.temp, s.finalPath)) {
      failure = s.finalPath + " could not be put in place (" + std::strerror(e) + ")";
      break;
    }
    s.renamed = true;
  }
  if (failure.empty()) {
    for (const CommitStep& s : steps)
      if (s.backedUp) ::unlink(s.backup.c_str());
    ctx.m_madeOutputFolders.clear();
    return kResultDone;
  }
  const std::string stuck = UndoSteps(steps, k);
  RemoveMadeFolders(ctx);
  ctx.m_strFailureDetail = "the document set could not be committed: " + failure +
                           (stuck.empty() ? "; the previous files stand as they were" : stuck);
  return kResultOutputIncomplete;
}

// The leftovers of processes that are gone among `names`, the files of
// `folder`, whose final names `wanted` accepts: a backup whose final name is
// missing (a killed commit took it away) is put back, the rest removed.
template <typename Wanted>
void RecoverFolder(const std::string& folder, const std::vector<std::string>& names, Wanted wanted) {
  for (const std::string& name : names) {
    const std::optional<LeftoverName> l = ParseLeftoverName(name);
    if (!l || !wanted(l->finalName) || !ProcessIsGone(l->pid)) continue;
    const std::string path = folder + name, finalPath = folder + l->finalName;
    if (l->backup && !Exists(finalPath) && std::rename(path.c_str(), finalPath.c_str()) == 0) continue;
    ::unlink(path.c_str());
  }
}

// The regular files of a folder ("" for the current one) that have a
// leftover's form.
std::vector<std::string> LeftoverNames(const std::string& folderPart) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(OpenableFolder(folderPart), ec), end; !ec && it != end;
       it.increment(ec)) {
    std::string name = it->path().filename().string();
    std::error_code kind;
    if (ParseLeftoverName(name) && it->symlink_status(kind).type() == std::filesystem::file_type::regular)
      names.push_back(std::move(name));
  }
  return names;
}

}  // namespace

void SetCommitRenameHook(CommitRenameHook hook) { g_renameHook = std::move(hook); }

std::string StageImportMovie(ConverterContext& ctx, const std::string& folder, const std::string& name) {
  std::error_code ec;
  if (std::filesystem::create_directories(folder, ec) && !ec) ctx.m_madeOutputFolders.push_back(folder);
  std::string finalPath = folder;
  if (finalPath.empty() || finalPath.back() != '/') finalPath.push_back('/');
  finalPath += name;
  std::string temp;
  const int fd = CreateTempBeside(finalPath, temp);
  if (fd < 0) return {};
  ::close(fd);
  ctx.m_stagedFiles.push_back({temp, finalPath});
  return temp;
}

void DropStagedFile(ConverterContext& ctx, const std::string& temp) {
  auto& staged = ctx.m_stagedFiles;
  for (size_t i = staged.size(); i-- > 0;) {
    if (staged[i].temp != temp) continue;
    ::unlink(temp.c_str());
    staged.erase(staged.begin() + ptrdiff_t(i));
    return;
  }
}

void DiscardStagedFiles(ConverterContext& ctx) {
  for (const auto& f : ctx.m_stagedFiles) ::unlink(f.temp.c_str());
  ctx.m_stagedFiles.clear();
  RemoveMadeFolders(ctx);
}

uint32_t CommitDocumentSet(ConverterContext& ctx, const std::string& scriptTemp, const std::string& script,
                           const std::string& flaTemp, const std::string& fla) {
  if (flaTemp.empty()) {
    DiscardStagedFiles(ctx);
    if (!scriptTemp.empty()) ::unlink(scriptTemp.c_str());
    return kResultOutputIncomplete;
  }
  std::vector<CommitStep> steps;
  for (const auto& f : ctx.m_stagedFiles) steps.emplace_back(f.temp, f.finalPath);
  if (!scriptTemp.empty()) steps.emplace_back(scriptTemp, script);
  steps.emplace_back(flaTemp, fla);
  return CommitSteps(ctx, std::move(steps));
}

void RecoverOutputSet(ConverterContext& ctx, const std::string& fla) {
  const std::string folder = FolderPart(fla);
  const std::string name = fla.substr(folder.size());
  FolderLock lock(OpenableFolder(folder));
  // The FLA's folder may hold many documents: it is read once a run, and
  // what each conversion recovers is taken out of what was read.
  auto cached = ctx.m_outputLeftovers.find(folder);
  if (cached == ctx.m_outputLeftovers.end())
    cached = ctx.m_outputLeftovers.emplace(folder, LeftoverNames(folder)).first;
  std::vector<std::string>& inFolder = cached->second;
  const auto ours = [&](const std::string& finalName) { return finalName == name || finalName == name + ".jsfl"; };
  RecoverFolder(folder, inFolder, ours);
  std::erase_if(inFolder, [&](const std::string& n) { return ours(ParseLeftoverName(n)->finalName); });
  for (const char* prefix : {"Shapes_", "StaticText_"}) {
    const std::string imports = folder + prefix + name + "/";
    RecoverFolder(imports, LeftoverNames(imports), [](const std::string&) { return true; });
  }
}

}  // namespace tovrani
