#include "platform/settings_store.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tovrani {

namespace {

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

std::string TrimRight(std::string s) {
  while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) s.pop_back();
  return s;
}

}  // namespace

std::string SettingsStore::DefaultPath() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (xdg && *xdg == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : ".") + "/.config";
  }
  return base + "/tovrani/settings.ini";
}

SettingsStore::Sections SettingsStore::Load() const {
  Sections sections;
  std::ifstream in(path_, std::ios::binary);
  std::string line;
  std::map<std::string, std::string>* current = nullptr;
  while (std::getline(in, line)) {
    line = TrimRight(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      current = &sections[line.substr(1, line.size() - 2)];
      continue;
    }
    size_t eq = line.find('=');
    if (current && eq != std::string::npos) (*current)[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return sections;
}

bool SettingsStore::Save(const Sections& sections) const {
  std::error_code ec;
  std::filesystem::path target(path_);
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
  std::string tmpl = path_ + ".tmp-XXXXXX";
  int fd = mkstemp(tmpl.data());
  if (fd < 0) return false;
  std::FILE* f = fdopen(fd, "wb");
  if (!f) {
    ::close(fd);
    ::unlink(tmpl.c_str());
    return false;
  }
  bool ok = true;
  for (const auto& [key, values] : sections) {
    ok = ok && std::fprintf(f, "[%s]\n", key.c_str()) >= 0;
    for (const auto& [name, value] : values)
      ok = ok && std::fprintf(f, "%s=%s\n", name.c_str(), value.c_str()) >= 0;
  }
  ok = std::fflush(f) == 0 && ok;
  ok = ::fsync(fileno(f)) == 0 && ok;
  ok = std::fclose(f) == 0 && ok;
  if (ok) ok = std::rename(tmpl.c_str(), path_.c_str()) == 0;
  if (!ok) ::unlink(tmpl.c_str());
  return ok;
}

bool SettingsStore::KeyExists(const std::string& key) const { return Load().count(key) != 0; }

bool SettingsStore::Read(const std::string& key, const std::string& name, std::string& value) const {
  Sections s = Load();
  auto k = s.find(key);
  if (k == s.end()) return false;
  auto v = k->second.find(name);
  if (v == k->second.end()) return false;
  value = v->second;
  return true;
}

bool SettingsStore::Write(const std::string& key, const std::string& name, const std::string& value,
                          bool create) {
  if (HasLineBreak(key) || HasLineBreak(name) || HasLineBreak(value) || key.empty() ||
      key.find(']') != std::string::npos || name.empty() || name.find('=') != std::string::npos)
    return false;
  Sections s = Load();
  if (!create && !s.count(key)) return false;
  s[key][name] = value;
  return Save(s);
}

}  // namespace tovrani
