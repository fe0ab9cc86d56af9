// The source folders have one direction: a folder includes only folders
// below it, and no two folders include each other.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;

// Top to bottom. Sub-folders of one entry may include each other in one
// direction only (checked as cycles below).
const char* const kLayers[] = {"app", "convert", "timeline", "shape", "media", "fla", "swf", "platform"};

int LayerOf(const std::string& folder) {
  const std::string top = folder.substr(0, folder.find('/'));
  for (int i = 0; i < int(std::size(kLayers)); ++i) {
    if (top == kLayers[i]) return i;
  }
  return -1;
}

using Graph = std::map<std::string, std::set<std::string>>;

Graph ReadIncludeGraph(const fs::path& src) {
  Graph graph;
  const std::regex include(R"(^\s*#\s*include\s+"([^"]+)/[^/"]+")");
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (!entry.is_regular_file()) continue;
    const std::string ext = entry.path().extension().string();
    if (ext != ".h" && ext != ".cpp") continue;
    const std::string folder = fs::relative(entry.path().parent_path(), src).generic_string();
    graph[folder];
    std::ifstream in(entry.path());
    std::string line;
    std::smatch m;
    while (std::getline(in, line)) {
      if (std::regex_search(line, m, include) && m[1] != folder) graph[folder].insert(m[1]);
    }
  }
  return graph;
}

// Folders on a cycle reachable from `start`, empty when there is none.
std::string FindCycle(const Graph& graph) {
  std::map<std::string, int> state;  // 1 on the path, 2 done
  std::string cycle;
  std::function<bool(const std::string&)> visit = [&](const std::string& f) {
    state[f] = 1;
    auto it = graph.find(f);
    if (it != graph.end()) {
      for (const std::string& to : it->second) {
        if (state[to] == 1 || (state[to] == 0 && visit(to))) {
          cycle = f + " -> " + to + (cycle.empty() ? "" : ", " + cycle);
          return true;
        }
      }
    }
    state[f] = 2;
    return false;
  };
  for (const auto& [f, _] : graph) {
    if (state[f] == 0 && visit(f)) return cycle;
  }
  return {};
}

TEST(Layering, FoldersIncludeOnlyFoldersBelowThemAndFormNoCycle) {
  const Graph graph = ReadIncludeGraph(fs::path(TOVRANI_SOURCE_DIR) / "src");
  ASSERT_FALSE(graph.empty());
  for (const auto& [from, targets] : graph) {
    EXPECT_GE(LayerOf(from), 0) << "src/" << from << " is in no layer";
    for (const std::string& to : targets) {
      EXPECT_GE(LayerOf(to), 0) << "src/" << from << " includes unknown folder " << to;
      if (LayerOf(from) != LayerOf(to)) {
        EXPECT_LT(LayerOf(from), LayerOf(to)) << "src/" << from << " includes src/" << to << ", a folder above it";
      }
    }
  }
  EXPECT_EQ(FindCycle(graph), "");
}

TEST(Layering, CatchesAnUpwardIncludeAndACycle) {
  Graph graph{{"fla", {"swf"}}, {"swf", {"platform"}}, {"platform", {}}};
  EXPECT_EQ(FindCycle(graph), "");
  graph["shape/decode"] = {"shape/builder"};
  graph["shape/builder"] = {"shape/decode"};
  EXPECT_NE(FindCycle(graph), "");
  EXPECT_GT(LayerOf("fla"), LayerOf("timeline"));
  EXPECT_EQ(LayerOf("elsewhere"), -1);
}

}  // namespace
