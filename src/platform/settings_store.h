// The program's settings store: a small INI-style file, one section per key
// path ("[Software\Macromedia\Flash 8\Settings]") holding "name=value" lines.
//
// It stands in for the registry the authoring tool's settings live in, so it
// keeps the registry's rule that matters to the converter: a value can be
// written under an existing key only, unless the caller asks to create the
// key. Every write replaces the file atomically (temporary file and rename).
#pragma once

#include <map>
#include <string>

namespace tovrani {

class SettingsStore {
 public:
  explicit SettingsStore(std::string path) : path_(std::move(path)) {}

  // $XDG_CONFIG_HOME/tovrani/settings.ini, or ~/.config/tovrani/settings.ini.
  static std::string DefaultPath();

  const std::string& path() const { return path_; }
  bool KeyExists(const std::string& key) const;
  // False when the key or the value does not exist.
  bool Read(const std::string& key, const std::string& name, std::string& value) const;
  // False when the key does not exist and create is off, when a text holds a
  // line break (or a name an '='), or when the file cannot be written.
  bool Write(const std::string& key, const std::string& name, const std::string& value,
             bool create);

 private:
  using Sections = std::map<std::string, std::map<std::string, std::string>>;
  Sections Load() const;
  bool Save(const Sections& sections) const;

  std::string path_;
};

}  // namespace tovrani
