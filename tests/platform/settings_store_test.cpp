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
  EXPECT_FALSE(store.KeyExists(key));
  EXPECT_FALSE(std::filesystem::exists(store.path()));

  ASSERT_TRUE(store.Write(key, "System Default Font", "Arial", true));
  ASSERT_TRUE(store.Write(key, "Other", "a=b c", false));
  EXPECT_FALSE(store.Read(key, "Missing", value));
  EXPECT_FALSE(store.Read("Software\\Nothing", "Other", value));

  // A second store over the same file sees what the first wrote.
  SettingsStore again(store.path());
  ASSERT_TRUE(again.Read(key, "System Default Font", value));
  EXPECT_EQ(value, "Arial");
  ASSERT_TRUE(again.Read(key, "Other", value));
  EXPECT_EQ(value, "a=b c");
  // Only the settings file: no temporary left behind.
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.file("cfg/tovrani"))) (void)e, ++files;
  EXPECT_EQ(files, 1);
}

TEST(SettingsStore, RefusesTextsThatWouldBreakTheFile) {
  TempDir dir;
  SettingsStore store(dir.file("s.ini"));
  EXPECT_FALSE(store.Write("K", "name", "two\nlines", true));
  EXPECT_FALSE(store.Write("K", "a=b", "v", true));
  EXPECT_FALSE(store.Write("K]", "a", "v", true));
  EXPECT_FALSE(store.Write("", "a", "v", true));
  EXPECT_FALSE(store.KeyExists("K"));
}

TEST(SettingsStore, LivesUnderTheConfigHome) {
  const char* old = std::getenv("XDG_CONFIG_HOME");
  std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", "/x/config", 1);
  EXPECT_EQ(SettingsStore::DefaultPath(), "/x/config/tovrani/settings.ini");
  setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
  EXPECT_NE(SettingsStore::DefaultPath().find("/.config/tovrani/settings.ini"), std::string::npos);
  if (old) setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace tovrani::test
