#include "platform/settings_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/temp_dir.h"

namespace tovrani::test {
namespace {

TEST(SettingsStore, WritesOnlyUnderExistingKeysUnlessCreating) {
  TempDir dir;
  SettingsStore store(dir.file("cfg/tovrani/settings.ini"));
  const std::string key = "Software\\Macromedia\\Flash 8\\Settings";
  std::string value;
  EXPECT_FALSE(store.Write(key, "System Default Font", "Arial", false));
  EXPECT_FALSE(std::filesystem::exists(store.path()));
  ASSERT_TRUE(store.Write(key, "System Default Font", "Arial", true));
  ASSERT_TRUE(store.Write(key, "Other", "a=b c", false));
  EXPECT_FALSE(store.Read(key, "Missing", value));
  EXPECT_FALSE(store.Read("Software\\Nothing", "Other", value));
  // Texts that would break the file are refused.
  for (auto [k, name, text] : {std::tuple{"K", "name", "two\nlines"}, std::tuple{"K", "a=b", "v"},
                               std::tuple{"K]", "a", "v"}, std::tuple{"", "a", "v"}})
    EXPECT_FALSE(store.Write(k, name, text, true)) << k << name << text;
  // A second store over the same file sees what the first wrote, and only
  // the settings file is left (no temporary).
  SettingsStore again(store.path());
  ASSERT_TRUE(again.Read(key, "Other", value));
  EXPECT_EQ(value, "a=b c");
  EXPECT_FALSE(again.KeyExists("K"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("cfg/tovrani")),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(SettingsStore, LivesUnderTheConfigHome) {
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", "/x/config", 1);  // the tests' runs of the program rely on it
  EXPECT_EQ(SettingsStore::DefaultPath(), "/x/config/tovrani/settings.ini");
  setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
  EXPECT_NE(SettingsStore::DefaultPath().find("/.config/tovrani/settings.ini"), std::string::npos);
  old ? setenv("XDG_CONFIG_HOME", saved.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace tovrani::test
