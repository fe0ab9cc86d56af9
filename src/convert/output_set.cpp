#include "convert/output_set.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

#include "convert/converter_context.h"
#include "convert/engine.h"

namespace tovrani {

std::string StageImportMovie(ConverterContext& ctx, const std::string& folder, const std::string& name) {
  std::error_code ec;
  if (std::filesystem::create_directories(folder, ec) && !ec) ctx.m_madeOutputFolders.push_back(folder);
  std::string finalPath = folder;
  if (finalPath.empty() || finalPath.back() != '/') finalPath.push_back('/');
  finalPath += name;
  std::string temp = finalPath + ".tmp-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return {};
  // mkstemp makes the file private; the movie gets the usual mode.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
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

bool CommitStagedFiles(ConverterContext& ctx) {
  auto& staged = ctx.m_stagedFiles;
  for (size_t i = 0; i < staged.size(); ++i) {
    if (std::rename(staged[i].temp.c_str(), staged[i].finalPath.c_str()) != 0) {
      staged.erase(staged.begin(), staged.begin() + ptrdiff_t(i));
      DiscardStagedFiles(ctx);
      return false;
    }
  }
  staged.clear();
  ctx.m_madeOutputFolders.clear();
  return true;
}

void DiscardStagedFiles(ConverterContext& ctx) {
  for (const auto& f : ctx.m_stagedFiles) ::unlink(f.temp.c_str());
  ctx.m_stagedFiles.clear();
  // Only a folder left empty goes: rmdir refuses any other.
  for (auto it = ctx.m_madeOutputFolders.rbegin(); it != ctx.m_madeOutputFolders.rend(); ++it)
    ::rmdir(it->c_str());
  ctx.m_madeOutputFolders.clear();
}

uint32_t CommitDocumentSet(ConverterContext& ctx, const std::string& scriptTemp, const std::string& script,
                           const std::string& flaTemp, const std::string& fla) {
  bool ok = !flaTemp.empty() && CommitStagedFiles(ctx);
  if (ok && !scriptTemp.empty()) ok = std::rename(scriptTemp.c_str(), script.c_str()) == 0;
  if (!ok) {
    DiscardStagedFiles(ctx);
    if (!scriptTemp.empty()) ::unlink(scriptTemp.c_str());
    if (!flaTemp.empty()) ::unlink(flaTemp.c_str());
    return kResultOutputIncomplete;
  }
  if (std::rename(flaTemp.c_str(), fla.c_str()) != 0) {
    ::unlink(flaTemp.c_str());
    return kResultOutputIncomplete;
  }
  return kResultDone;
}

}  // namespace tovrani
