#include "convert/commit_record.h"

#include <string_view>

#include "fla/output_names.h"

namespace tovrani {

namespace {

constexpr std::string_view kHead = "tovrani commit 1";
constexpr std::string_view kEnd = "end";

void Field(std::string& out, std::string_view text) {
  out += text;
  out.push_back('\0');
}

// True for the names of `flaName`'s set: the FLA, its script, and a file
// directly in "Shapes_NAME" or "StaticText_NAME".
bool InDocumentSet(std::string_view name, const std::string& flaName) {
  if (name == flaName || name == flaName + ".jsfl") return true;
  for (std::string_view prefix : {"Shapes_", "StaticText_"}) {
    const std::string folder = std::string(prefix) + flaName + "/";
    if (!name.starts_with(folder)) continue;
    const std::string_view file = name.substr(folder.size());
    return !file.empty() && file != "." && file != ".." && file.find('/') == std::string_view::npos;
  }
  return false;
}

// True when `temp` is a temporary beside `finalName`, in its folder.
bool TemporaryOf(std::string_view temp, std::string_view finalName) {
  if (!temp.starts_with(finalName)) return false;
  const size_t slash = finalName.rfind('/');
  const size_t start = slash == std::string_view::npos ? 0 : slash + 1;
  const std::optional<LeftoverName> l = ParseLeftoverName(std::string(temp.substr(start)));
  return l && !l->backup && l->finalName == finalName.substr(start);
}

}  // namespace

std::string EncodeCommitRecord(const std::string& folder, long pid, const std::vector<RecordedStep>& steps) {
  std::string out;
  Field(out, kHead);
  Field(out, PidDigits(pid));
  for (const RecordedStep& s : steps) {
    Field(out, std::string_view(reinterpret_cast<const char*>(&s.kind), 1));
    Field(out, std::string_view(s.temp).substr(s.temp.empty() ? 0 : folder.size()));
    Field(out, std::string_view(s.finalPath).substr(folder.size()));
  }
  Field(out, kEnd);
  return out;
}

std::optional<CommitRecord> DecodeCommitRecord(const std::string& bytes, const std::string& folder,
                                               const std::string& flaName) {
  std::vector<std::string_view> fields;
  for (size_t at = 0; at < bytes.size();) {
    const size_t nul = bytes.find('\0', at);
    if (nul == std::string::npos) return std::nullopt;
    fields.push_back(std::string_view(bytes).substr(at, nul - at));
    at = nul + 1;
  }
  if (fields.size() < 3 || fields.front() != kHead || fields.back() != kEnd || (fields.size() - 3) % 3 != 0)
    return std::nullopt;
  CommitRecord record;
  const std::string pid(fields[1]);
  record.pid = ParsePid(pid, 0, pid.size());
  if (record.pid <= 0) return std::nullopt;
  std::vector<RecordedStep>& steps = record.steps;
  bool hasFla = false;
  for (size_t i = 2; i + 1 < fields.size(); i += 3) {
    const std::string_view kind = fields[i], temp = fields[i + 1], finalName = fields[i + 2];
    if (kind.size() != 1 || !InDocumentSet(finalName, flaName)) return std::nullopt;
    RecordedStep s;
    s.kind = RecordedStep::Kind(kind[0]);
    if (s.kind != RecordedStep::kAdds && s.kind != RecordedStep::kReplaces && s.kind != RecordedStep::kStale)
      return std::nullopt;
    if ((s.kind == RecordedStep::kStale) != temp.empty() || (!temp.empty() && !TemporaryOf(temp, finalName)))
      return std::nullopt;
    if (finalName == flaName) hasFla = s.kind != RecordedStep::kStale;
    s.temp = temp.empty() ? std::string() : folder + std::string(temp);
    s.finalPath = folder + std::string(finalName);
    steps.push_back(std::move(s));
  }
  // The FLA is the last step of every commit.
  if (!hasFla || steps.back().finalPath != folder + flaName) return std::nullopt;
  return record;
}

}  // namespace tovrani
