#include "support/independent_readers.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "support/temp_dir.h"

namespace tovrani::test {

std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

int RunCommand(const std::string& command, std::string& output) {
  output.clear();
  std::FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) output.append(buf, n);
  int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

::testing::AssertionResult ReadCompoundFile(const std::string& path,
                                            std::map<std::string, std::vector<uint8_t>>& streams) {
  streams.clear();
  TempDir out;
  std::string script = std::string(TOVRANI_SOURCE_DIR) + "/tests/support/cfb_read.py";
  std::string output;
  int rc = RunCommand("/usr/bin/python3 " + ShellQuote(script) + " " + ShellQuote(path) + " " +
                          ShellQuote(out.path().string()),
                      output);
  if (rc != 0) return ::testing::AssertionFailure() << "independent readers refused " << path << ":\n" << output;
  std::ifstream index(out.file("index"));
  std::string line;
  while (std::getline(index, line)) {
    auto tab = line.find('\t');
    if (tab == std::string::npos) continue;
    std::string name = line.substr(0, tab);
    std::string flat = name;
    for (char& c : flat)
      if (c == '/') c = '_';
    streams[name] = ReadFileBytes(out.file(flat));
  }
  return ::testing::AssertionSuccess();
}

std::vector<uint8_t> ReadSavedStream(const std::string& path, const std::string& stream) {
  const std::string script =
      "import olefile,sys; sys.stdout.buffer.write(olefile.OleFileIO(sys.argv[1]).openstream(sys.argv[2]).read())";
  std::string out;
  if (RunCommand("/usr/bin/python3 -c " + ShellQuote(script) + ' ' + ShellQuote(path) + ' ' + ShellQuote(stream) +
                     " 2>/dev/null",
                 out) != 0)
    return {};
  return std::vector<uint8_t>(out.begin(), out.end());
}

::testing::AssertionResult IsValidJavaScriptFile(const std::string& path) {
  std::string output;
  int rc = RunCommand("node --check < " + ShellQuote(path), output);
  if (rc != 0) return ::testing::AssertionFailure() << "node --check refused " << path << ":\n" << output;
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult IsValidJavaScript(const std::string& text) {
  TempDir dir;
  std::string path = dir.file("script.js");
  std::ofstream(path, std::ios::binary) << text;
  return IsValidJavaScriptFile(path);
}

}  // namespace tovrani::test
