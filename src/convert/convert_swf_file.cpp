#include "convert/convert_swf_file.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <unordered_map>

#include <sys/stat.h>
#include <unistd.h>

#include "fla/jsfl_script.h"
#include "fla/output_names.h"
#include "fla/stream_placement.h"
#include "convert/conversion_finish.h"
#include "convert/converter_context.h"
#include "convert/output_set.h"
#include "convert/run_inputs.h"
#include "convert/tag_loop.h"

namespace tovrani {

const char* const kFlashSettingsKeys[2] = {"Software\\Macromedia\\Flash 7\\Settings",
                                           "Software\\Macromedia\\Flash 8\\Settings"};
const char* const kFlashWarningKeys[2] = {"Software\\Macromedia\\Flash 7\\Warning Dialog Windows",
                                          "Software\\Macromedia\\Flash 8\\Warning Dialog Windows"};

namespace {

bool On(const uint8_t* option) { return option && *option; }

size_t NameStart(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

// Replaces the last `count` characters of the file name with `with`; a file
// name not longer than `count` keeps all of it and gets `appended` instead.
std::string ReplaceNameEnd(const std::string& path, size_t count, const std::string& with,
                           const std::string& appended) {
  if (path.size() - NameStart(path) <= count) return path + appended;
  return path.substr(0, path.size() - count) + with;
}

// The limit on a name's length in `folder` ("" for the current one), or in
// the nearest folder above it that exists (the automatic road makes its
// folders later); 255 where none tells.
size_t NameLimit(std::string folder) {
  for (;;) {
    errno = 0;
    const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    if (limit > 0) return size_t(limit);
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
    if (errno != ENOENT || folder.empty()) return 255;
    folder.resize(NameStart(folder));
  }
}

// The longest path the system takes whole, without its terminating NUL.
constexpr size_t kPathLimit = PATH_MAX - 1;

// A document whose set would take a name past its folder's limit fails
// before anything is written: its script's temporary, the first file made,
// would fail with little to say, and the commit's later names after files
// were written. So does one where a path the system takes whole would pass
// the path limit: the source, and the FLA's folder as it is opened (the
// mirrored folders made before it are its leading parts; every other name
// of the set is reached through its descriptor). Past the limit the folder
// would fail to open after the mirrored folders were made.
bool SetNamesFit(ConverterContext& ctx, const std::string& source, const std::string& fla, FileOutcome& o) {
  const size_t start = NameStart(fla);
  const std::string folder = fla.substr(0, start);
  const bool folderLonger = folder.size() > source.size();
  const std::string& longestPath = folderLonger ? folder : source;
  if (longestPath.size() > kPathLimit) {
    o.source = source;
    o.output = fla;
    o.result = kResultNameTooLong;
    o.detail = std::string("a path would pass the system's limit of ") + std::to_string(kPathLimit) +
               " bytes: the longest, " + (folderLonger ? "the document's folder" : "the movie") + " \"" +
               longestPath + "\", would have " + std::to_string(longestPath.size()) + ". Nothing was made";
    return false;
  }
  const size_t limit = NameLimit(folder);
  const std::string flaName = fla.substr(start);
  const SetName longest = LongestSetName(flaName, On(ctx.m_pOptShapeJsflImport) || On(ctx.m_pOptTextJsflImport));
  if (longest.name.size() <= limit) return true;
  const size_t added = longest.name.size() - flaName.size();
  o.source = source;
  o.output = fla;
  o.result = kResultNameTooLong;
  o.detail = "the names of its document set would pass the folder's limit of " + std::to_string(limit) +
             " bytes: the longest, " + longest.what + " \"" + longest.name + "\", would have " +
             std::to_string(longest.name.size()) + "; the document's name (" + std::to_string(flaName.size()) +
             " bytes) may have at most " + std::to_string(limit > added ? limit - added : 0) +
             " here. Nothing was written";
  return false;
}

// A document whose set would write over, replace or remove an input of the
// run fails before anything of it is written, naming the input.
bool TakesNoInput(RunInputs& inputs, const std::string& source, const std::string& fla, FileOutcome& o) {
  const std::optional<RunInputs::Taken> taken = inputs.TakenBy(fla);
  if (!taken) return true;
  o.source = source;
  o.output = fla;
  o.result = kResultDocumentTaken;
  o.detail = "its document set would write over or remove the input " + taken->input +
             (taken->name == taken->input ? "" : ", the same file as " + taken->name) + " (" + taken->what +
             "); not converted";
  return false;
}

// True when a relative path climbs out of its folder.
bool ClimbsOut(const std::string& relative) {
  for (const auto& part : std::filesystem::path(relative))
    if (part == "..") return true;
  return false;
}

// The state of the document writer that one conversion must not inherit
// from the one before.
void ResetDocumentState(ConverterContext& ctx) {
  ResetStreamTables(ctx);
  ctx.m_pJsflStaticTextIds.clear();
  ctx.m_pJsflShapeIds.clear();
  ctx.m_bJsflWritten = 0;
}

// Sets "name" to value under each key that exists; true when one was set.
bool SetUnderExistingKeys(ConverterContext& ctx, const char* const keys[2], const char* name,
                          const char* value) {
  bool any = false;
  if (!ctx.m_pShell) return false;
  for (int i = 0; i < 2; ++i) any = ctx.m_pShell->WriteSetting(keys[i], name, value, false) || any;
  return any;
}

// The documents of a run, one per movie: known by their paths and, once
// written, by their files, so that two names of one file (a case-folding
// file system, a link) are one document too.
class RunDocuments {
 public:
  // The earlier source whose document `fla` is, or null; `byFile` tells
  // that the names differ but the file is the same.
  const std::string* Owner(const std::string& fla, bool& byFile) const {
    byFile = false;
    if (auto it = byPath_.find(PathKey(fla)); it != byPath_.end()) return &sources_[it->second];
    struct stat st;
    if (::lstat(fla.c_str(), &st) != 0) return nullptr;
    auto it = byFile_.find(FileKey(st));
    if (it == byFile_.end()) return nullptr;
    byFile = true;
    return &sources_[it->second];
  }
  size_t Claim(const std::string& source, const std::string& fla) {
    byPath_.emplace(PathKey(fla), sources_.size());
    sources_.push_back(source);
    return sources_.size() - 1;
  }
  void Written(const std::string& fla, size_t claim) {
    struct stat st;
    if (::lstat(fla.c_str(), &st) == 0) byFile_.emplace(FileKey(st), claim);
  }

  // Two sources that are one movie given twice: one file, or one path.
  static bool SameSource(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0) return FileKey(sa) == FileKey(sb);
    return PathKey(a) == PathKey(b);
  }

 private:
  static std::string PathKey(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path abs = std::filesystem::absolute(path, ec);
    return ec ? path : abs.lexically_normal().string();
  }
  static std::string FileKey(const struct stat& st) {
    return std::to_string(st.st_dev) + ':' + std::to_string(st.st_ino);
  }

  std::vector<std::string> sources_;
  std::unordered_map<std::string, size_t> byPath_, byFile_;
};

class PerFile {
 public:
  PerFile(ConverterContext& ctx, uint8_t openAfter, const SwfFileRequest& request)
      : ctx_(ctx), openAfter_(openAfter) {
    services_ = request.services ? *request.services : DefaultEngineServices();
  }

  // Runs one document; the outcome's result is the engine's.
  FileOutcome Convert(const std::string& source, const std::string& fla);
  void OpenResult(const FileOutcome& o);

 private:
  ConverterContext& ctx_;
  uint8_t openAfter_;
  EngineServices services_;
};

FileOutcome PerFile::Convert(const std::string& source, const std::string& fla) {
  FileOutcome o;
  o.source = source;
  o.output = fla;
  const std::string script = DeriveDocumentPaths(ctx_, fla);
  ResetDocumentState(ctx_);

  // The script starts under a temporary name beside its final one: the
  // run's lock in this output, written through its descriptor.
  std::string why, temp;
  ctx_.m_outputRun = OpenDocumentOutput(fla, why);
  if (!ctx_.m_outputRun && errno == ENAMETOOLONG) {
    // Only the script's longer name is too long: the document could be
    // written, but is incomplete without it.
    o.result = kResultOutputIncomplete;
    o.detail = "the script beside the FLA cannot be written";
    return o;
  }
  if (ctx_.m_outputRun && WriteJsflHeader(ctx_.m_outputRun->lock.fd())) {
    temp = ctx_.m_outputRun->folder.PathOf(ctx_.m_outputRun->lock.name());
    ctx_.m_nJsflFd = ctx_.m_outputRun->lock.fd();
  }
  ctx_.m_strJsflPath = temp;
  ctx_.m_bJsflMissing = temp.empty() ? 1 : 0;

  // The finish leaves the FLA under its temporary name: the set is
  // committed here, in one order.
  ctx_.m_bInConversion = 1;
  ctx_.m_bDeferDocumentCommit = 1;
  o.result = ConvertMovie(ctx_, source, fla, 0, services_);
  ctx_.m_bDeferDocumentCommit = 0;
  ctx_.m_bInConversion = 0;
  o.converted = true;
  o.detail = ctx_.m_strFailureDetail;
  std::string flaTemp;
  flaTemp.swap(ctx_.m_strFlaTempPath);

  // A document without its script is incomplete, whether or not it has
  // anything to say in it.
  if (o.result == kResultDone && temp.empty()) {
    o.result = kResultOutputIncomplete;
    o.detail = "the script beside the FLA cannot be written";
  }
  if (o.result == kResultDone) {
    const bool cutShort = ctx_.m_bCancel != 0;
    o.result = CommitDocumentSet(ctx_, temp, script, flaTemp, fla);
    if (o.result == kResultDone) o.script = script;
    else o.detail = ctx_.m_strFailureDetail;
    // A cancel the commit held comes in now.
    PumpMessages(ctx_);
    if (o.result == kResultDone && ctx_.m_bCancel)
      o.cancelled = cutShort ? CancelOutcome::kFramesSoFar : CancelOutcome::kWhole;
  } else {
    DiscardStagedFiles(ctx_);
    DropDocumentTemp(ctx_, flaTemp);
  }
  ctx_.m_strJsflPath = o.script;
  ctx_.m_nJsflFd = -1;
  ctx_.m_bJsflMissing = 0;
  // The script's temporary, where it is not in place, goes with the lock.
  ctx_.m_outputRun.reset();
  return o;
}

void PerFile::OpenResult(const FileOutcome& o) {
  if (!openAfter_ || ctx_.m_bCancel || o.result != kResultDone || !ctx_.m_pShell) return;
  if (ctx_.m_bJsflWritten && On(ctx_.m_pOptUseJsfl) && !ctx_.m_bFontWarningSet) {
    if (SetUnderExistingKeys(ctx_, kFlashWarningKeys, "Missing Font Warning", "TRUE")) {
      ctx_.m_pszSavedFontWarning = "FALSE";
      ctx_.m_bFontWarningSet = 1;
    }
  }
  ctx_.m_pShell->OpenFile(o.output);
  if (ctx_.m_bJsflWritten && !o.script.empty()) ctx_.m_pShell->OpenFile(o.script);
}

}  // namespace

std::string SuggestedFlaName(const std::string& source) {
  return ReplaceNameEnd(source, 4, "_.fla", "_.fla");
}

std::string WithFlaExtension(const std::string& chosen) {
  if (chosen.find(".fla") != std::string::npos || chosen.find(".FLA") != std::string::npos)
    return chosen;
  std::string out = chosen;
  if (out.empty() || out.back() != '.') out += '.';
  return out + "fla";
}

std::string AutomaticFlaPath(const std::string& source, const std::string& selectedFolder,
                             const std::string& outputFolder) {
  std::string base = selectedFolder;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  std::string relative;
  const bool below = !base.empty() && source.size() > base.size() &&
                     source.compare(0, base.size(), base) == 0 &&
                     (base == "/" || source[base.size()] == '/');
  if (below) {
    relative = source.substr(base.size());
    while (!relative.empty() && relative.front() == '/') relative.erase(0, 1);
  }
  if (relative.empty() || ClimbsOut(relative)) relative = source.substr(NameStart(source));
  return outputFolder + ReplaceNameEnd(relative, 3, "fla", ".fla");
}

std::string DeriveDocumentPaths(ConverterContext& ctx, const std::string& flaPath) {
  const size_t start = NameStart(flaPath);
  const std::string folder = flaPath.substr(0, start);  // with its '/', or empty
  const std::string name = flaPath.substr(start);
  ctx.m_bJsflWritten = 0;
  ctx.m_strShapesFolder = folder + "Shapes_" + name;
  ctx.m_strStaticTextFolder = folder + "StaticText_" + name;
  ctx.m_strPicturesFolder = folder + "Pictures_" + name;
  ctx.m_strSoundsFolder = folder + "Sounds_" + name;
  ctx.m_strVideosFolder = folder + "Videos_" + name;
  ctx.m_strJsflPath = flaPath + ".jsfl";
  return ctx.m_strJsflPath;
}

std::vector<FileOutcome> ConvertSwfFile(ConverterContext& ctx, const std::string& selection,
                                        uint8_t openAfter, uint8_t suppressPanel,
                                        const SwfFileRequest& request) {
  // An item ends at the next comma; the list is read while it is longer
  // than the position.
  std::vector<std::string> sources;
  for (size_t p = 0; selection.size() > p;) {
    size_t k = selection.find(',', p);
    if (k == std::string::npos) k = selection.size();
    sources.push_back(selection.substr(p, k - p));
    p = k + 1;
  }
  return ConvertSwfFiles(ctx, sources, openAfter, suppressPanel, request);
}

std::vector<FileOutcome> ConvertSwfFiles(ConverterContext& ctx,
                                         const std::vector<std::string>& sources,
                                         uint8_t openAfter, uint8_t suppressPanel,
                                         const SwfFileRequest& request) {
  std::vector<FileOutcome> outcomes;
  ctx.m_outputLeftovers.clear();
  ctx.m_bSuppressPanel = suppressPanel;
  PumpMessages(ctx);
  SetUnderExistingKeys(ctx, kFlashSettingsKeys, "System Default Font", "Arial");

  PerFile perFile(ctx, openAfter, request);
  RunDocuments documents;
  // The run's inputs, known to the sweep and the recovery while it lasts.
  RunInputs inputs(sources, request.otherInputs);
  struct Known {
    ConverterContext& ctx;
    ~Known() { ctx.m_runInputs = nullptr; }
  } known{ctx};
  ctx.m_runInputs = &inputs;
  const bool automatic = On(ctx.m_pOptSaveInNewFolder) && sources.size() >= 2;

  for (const std::string& source : sources) {
    PumpMessages(ctx);
    if (ctx.m_bCancel) break;
    if (source.empty()) continue;

    std::string fla;
    if (automatic) {
      fla = AutomaticFlaPath(source, request.selectedFolder, ctx.m_strOutputFolder);
    } else {
      std::string chosen = SuggestedFlaName(source);
      if (request.saveDialog && !request.saveDialog(chosen, chosen)) continue;
      if (ctx.m_bCancel) continue;
      fla = WithFlaExtension(chosen);
    }

    // One document per movie: the first source to name it converts; the
    // same movie given again is converted once.
    bool byFile = false;
    if (const std::string* owner = documents.Owner(fla, byFile)) {
      if (RunDocuments::SameSource(*owner, source)) continue;
      FileOutcome o;
      o.source = source;
      o.result = kResultDocumentTaken;
      o.detail = "its document " + fla + (byFile ? " is the same file as the document of " : " is also that of ") +
                 *owner + "; not converted";
      outcomes.push_back(o);
      continue;
    }
    const size_t claim = documents.Claim(source, fla);
    if (FileOutcome o; !SetNamesFit(ctx, source, fla, o)) {
      outcomes.push_back(o);
      continue;
    }
    if (FileOutcome o; !TakesNoInput(inputs, source, fla, o)) {
      outcomes.push_back(o);
      continue;
    }

    if (automatic) {
      // The mirrored folders; failures show when the output cannot be made.
      for (size_t i = ctx.m_strOutputFolder.size(); (i = fla.find('/', i + 1)) != std::string::npos;) {
        std::error_code ec;
        std::filesystem::create_directory(fla.substr(0, i), ec);
      }
      if (ctx.m_bCancel) continue;
    }

    if (request.onFileStart) request.onFileStart(source, fla);
    FileOutcome o = perFile.Convert(source, fla);
    if (o.result == kResultDone) documents.Written(fla, claim);
    outcomes.push_back(o);
    perFile.OpenResult(o);
  }

  ctx.m_shapeIdRanges.Clear();
  ctx.m_bSuppressPanel = 0;
  ctx.m_bInConversion = 0;
  return outcomes;
}

void RestoreFontWarning(ConverterContext& ctx) {
  if (!ctx.m_bFontWarningSet) return;
  SetUnderExistingKeys(ctx, kFlashWarningKeys, "Missing Font Warning",
                       ctx.m_pszSavedFontWarning.c_str());
  ctx.m_bFontWarningSet = 0;
  ctx.m_pszSavedFontWarning.clear();
}

}  // namespace tovrani
