#include "convert/run_inputs.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "convert/output_folder.h"
#include "convert/output_set.h"
#include "fla/descriptor.h"
#include "fla/output_names.h"

namespace tovrani {

namespace {

namespace fs = std::filesystem;

constexpr char kDocument[] = "its document";
constexpr char kScript[] = "its script";
constexpr char kRecord[] = "the record of its commit";
constexpr char kLeftover[] = "a temporary or backup name beside its document";
constexpr char kImportMovie[] = "an import movie of its document";
constexpr char kImportLeftover[] = "a temporary or backup name of an import movie";
constexpr char kJsfl[] = ".jsfl";

std::string PathKey(const std::string& path) {
  std::error_code ec;
  const fs::path abs = fs::absolute(path, ec);
  return ec ? path : abs.lexically_normal().string();
}

std::string FileKey(const struct stat& st) { return std::to_string(st.st_dev) + ':' + std::to_string(st.st_ino); }

// `name` without `tail`, where it ends with it and holds more.
std::optional<std::string> Without(const std::string& name, const std::string& tail) {
  if (name.size() <= tail.size() || !name.ends_with(tail)) return std::nullopt;
  return name.substr(0, name.size() - tail.size());
}

// What an import folder holds of the set: its movies, their temporaries and
// backups.
const char* ImportNameKind(const std::string& name) {
  if (IsImportMovieName(name)) return kImportMovie;
  const std::optional<LeftoverName> left = ParseLeftoverName(name);
  return left && IsImportMovieName(left->finalName) ? kImportLeftover : nullptr;
}

// Whether the file may hold a movie: its first bytes are a movie's
// signature, or it cannot be read. What is not a plain file is not opened.
bool MayHoldMovie(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.valid()) return errno == EACCES || errno == EPERM;
  unsigned char b[3] = {};
  size_t got = 0;
  while (got < sizeof b) {
    const ssize_t n = ::read(fd.get(), b + got, sizeof b - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return true;
    if (n == 0) break;
    got += size_t(n);
  }
  return got == sizeof b && (b[0] == 'F' || b[0] == 'C' || b[0] == 'Z') && b[1] == 'W' && b[2] == 'S';
}

}  // namespace

RunInputs::RunInputs(const std::vector<std::string>& sources, const std::vector<std::string>& otherInputs) {
  for (const std::string& source : sources)
    if (!source.empty() && MayHoldMovie(source)) Add(source);
  for (const std::string& other : otherInputs) Add(other);
}

// The input by its path, and the documents whose sets would take it by that
// path, with what it would be to each.
void RunInputs::Add(const std::string& input) {
  const fs::path path(PathKey(input));
  paths_.emplace(path.string(), input);
  struct stat st {};
  if (::stat(input.c_str(), &st) == 0) files_.emplace(FileKey(st), input);

  const fs::path folder = path.parent_path();
  const std::string name = path.filename().string();
  const auto takenBy = [&](const fs::path& in, const std::string& document, const char* what) {
    bySet_.try_emplace((in / document).string(), Use{input, what});
  };
  takenBy(folder, name, kDocument);
  if (const auto document = Without(name, kJsfl)) takenBy(folder, *document, kScript);
  if (const auto document = Without(name, CommitRecordName(""))) takenBy(folder, *document, kRecord);
  if (const std::optional<LeftoverName> left = ParseLeftoverName(name)) {
    takenBy(folder, left->finalName, kLeftover);
    if (const auto document = Without(left->finalName, kJsfl)) takenBy(folder, *document, kLeftover);
  }
  const char* kind = ImportNameKind(name);
  if (!kind) return;
  const std::string folderName = folder.filename().string();
  for (int importKind : {kShapesFolder, kStaticTextFolder}) {
    const std::string prefix = ImportFolderName(importKind, "");
    if (folderName.size() > prefix.size() && folderName.starts_with(prefix))
      takenBy(folder.parent_path(), folderName.substr(prefix.size()), kind);
  }
}

std::optional<RunInputs::Taken> RunInputs::TakenBy(const std::string& fla) {
  if (paths_.empty()) return std::nullopt;
  if (const auto use = bySet_.find(PathKey(fla)); use != bySet_.end())
    return Taken{use->second.input, use->second.what, use->second.input};

  // By file: what stands at the set's names now. Nothing stands in a folder
  // that is not there yet.
  const size_t slash = fla.rfind('/');
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  const std::string flaName = fla.substr(start);
  const OutputFolder folder = OutputFolder::Open(fla.substr(0, start));
  if (!folder.valid()) return std::nullopt;
  for (const auto& [name, what] : {std::pair<std::string, const char*>{flaName, kDocument},
                                   {flaName + kJsfl, kScript},
                                   {CommitRecordName(flaName), kRecord}})
    if (auto taken = ByFile(folder, name, what)) return taken;
  for (const std::string& name : Leftovers(folder, flaName))
    if (auto taken = ByFile(folder, name, kLeftover)) return taken;
  // An import folder that is a link is never the set's: none is opened.
  for (int kind : {kShapesFolder, kStaticTextFolder}) {
    const OutputFolder imports = OutputFolder::OpenIn(folder, ImportFolderName(kind, flaName));
    if (!imports.valid()) continue;
    for (const std::string& name : imports.List())
      if (const char* what = ImportNameKind(name))
        if (auto taken = ByFile(imports, name, what)) return taken;
  }
  return std::nullopt;
}

bool RunInputs::Holds(const OutputFolder& folder, const std::string& name) const {
  if (paths_.empty()) return false;
  struct stat st {};
  return (folder.Stat(name, st) && files_.count(FileKey(st))) || paths_.count(PathKey(folder.PathOf(name)));
}

std::optional<RunInputs::Taken> RunInputs::ByFile(const OutputFolder& folder, const std::string& name,
                                                  const char* what) const {
  struct stat st {};
  if (!folder.Stat(name, st)) return std::nullopt;
  const auto input = files_.find(FileKey(st));
  if (input == files_.end()) return std::nullopt;
  return Taken{folder.PathOf(name), what, input->second};
}

// The temporaries and backups beside the document `flaName` and its script,
// as the recovery knows them; the folder is read once a run, however many
// documents it holds.
const std::vector<std::string>& RunInputs::Leftovers(const OutputFolder& folder, const std::string& flaName) {
  auto [byDocument, added] = leftovers_.try_emplace(PathKey(folder.path().empty() ? "." : folder.path()));
  if (added) {
    for (const std::string& name : folder.List()) {
      const std::optional<LeftoverName> left = ParseLeftoverName(name);
      if (!left) continue;
      byDocument->second[left->finalName].push_back(name);
      if (const auto document = Without(left->finalName, kJsfl)) byDocument->second[*document].push_back(name);
    }
  }
  static const std::vector<std::string> kNone;
  const auto found = byDocument->second.find(flaName);
  return found == byDocument->second.end() ? kNone : found->second;
}

}  // namespace tovrani
