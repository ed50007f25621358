// The layers run one way: every project include must go to the including file's own unit or
// to one it may use. The build writes which unit each source file belongs to.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// What each unit may include besides itself, lowest layers first. The module's folders are
// units of their own: hair knows none of its consumers, which reach it directly or, where
// hair must call them, through hooks the plugin unit fills.
const std::map<std::string, std::set<std::string>>& Allowed() {
  static const std::set<std::string> below = {"kernels", "gen", "host", "resources"};
  auto with = [](std::set<std::string> base, std::initializer_list<const char*> more) {
    for (const char* m : more) base.insert(m);
    return base;
  };
  static const std::set<std::string> module =
      with(below, {"hair", "groom", "dynamics", "material", "render", "plugin"});
  static const std::map<std::string, std::set<std::string>> table = {
      {"kernels", {}},
      {"gen", {"kernels"}},
      {"host", {}},
      {"resources", {}},
      {"hair", below},
      {"material", below},
      {"dynamics", below},
      {"render", with(below, {"hair", "material"})},
      {"groom", with(below, {"hair", "dynamics", "render", "material"})},
      {"plugin", module},
      {"scene", module},
      {"cli", with(module, {"scene"})},
  };
  return table;
}

// Source path (relative to the source tree) -> unit.
using Manifest = std::map<std::string, std::string>;
// Source path -> the quoted includes it names.
using Includes = std::map<std::string, std::vector<std::string>>;

Manifest ReadManifest(const std::string& path) {
  Manifest m;
  std::ifstream in(path);
  std::string unit, file;
  while (in >> unit >> file) m[file] = unit;
  return m;
}

std::vector<std::string> QuotedIncludes(const fs::path& file) {
  static const std::regex include(R"re(^\s*#\s*include\s*"([^"]+)")re");
  std::vector<std::string> out;
  std::ifstream in(file);
  std::smatch match;
  for (std::string line; std::getline(in, line);)
    if (std::regex_search(line, match, include)) out.push_back(match[1]);
  return out;
}

// Every include that leaves its unit for one the table does not allow. An include that names
// no file of the tree (a third-party header) is not the table's business.
std::vector<std::string> Violations(const Manifest& manifest, const Includes& includes) {
  std::vector<std::string> out;
  for (const auto& [file, names] : includes) {
    const auto from = manifest.find(file);
    if (from == manifest.end()) continue;
    const auto allowed = Allowed().find(from->second);
    for (const std::string& name : names) {
      std::string target;
      for (const char* root : {"src/", "apps/"})
        if (manifest.count(root + name)) target = manifest.at(root + name);
      if (target.empty() || target == from->second) continue;
      if (allowed == Allowed().end() || !allowed->second.count(target))
        out.push_back(file + " (" + from->second + ") includes " + name + " (" + target + ")");
    }
  }
  return out;
}

TEST(Layers, TheTableCatchesEveryKnownLoop) {
  const Manifest manifest = {
      {"src/hair/hair_object.cpp", "hair"},   {"src/hair/memory_fit.cpp", "gen"},
      {"src/hair/gen_types.h", "gen"},        {"src/dynamics/sim_registry.h", "dynamics"},
      {"src/groom/brush_state.h", "groom"},   {"src/render/gpu_memory.h", "render"},
      {"src/host/inode.h", "host"},           {"src/hair/hair_object.h", "hair"},
      {"src/kernels/vec3.h", "kernels"},      {"src/scene/scene_file.h", "scene"},
      {"src/dynamics/sim_driver.cpp", "dynamics"}, {"apps/crinel/main.cpp", "cli"},
  };
  struct Case {
    const char* file;
    const char* include;
    bool allowed;
  };
  const Case cases[] = {
      {"src/hair/hair_object.cpp", "dynamics/sim_registry.h", false},
      {"src/hair/hair_object.cpp", "groom/brush_state.h", false},
      {"src/hair/memory_fit.cpp", "render/gpu_memory.h", false},
      {"src/hair/memory_fit.cpp", "host/inode.h", false},
      {"src/dynamics/sim_driver.cpp", "hair/hair_object.h", false},
      {"src/kernels/vec3.h", "hair/gen_types.h", false},
      {"src/hair/hair_object.cpp", "scene/scene_file.h", false},
      {"src/hair/hair_object.cpp", "host/inode.h", true},
      {"src/hair/memory_fit.cpp", "kernels/vec3.h", true},
      {"src/dynamics/sim_driver.cpp", "hair/gen_types.h", true},
      {"apps/crinel/main.cpp", "scene/scene_file.h", true},
      {"src/hair/hair_object.cpp", "nlohmann/json.hpp", true},
  };
  for (const Case& c : cases) {
    const Includes includes = {{c.file, {c.include}}};
    EXPECT_EQ(Violations(manifest, includes).empty(), c.allowed) << c.file << " -> " << c.include;
  }
}

TEST(Layers, EveryIncludeOfTheTreeRunsDownwards) {
  const Manifest manifest = ReadManifest(CRINEL_LAYER_MANIFEST);
  ASSERT_FALSE(manifest.empty()) << CRINEL_LAYER_MANIFEST;
  const fs::path root = CRINEL_SOURCE_DIR;
  Includes includes;
  std::vector<std::string> unassigned;
  for (const char* top : {"src", "apps"})
    for (const auto& entry : fs::recursive_directory_iterator(root / top)) {
      const std::string ext = entry.path().extension().string();
      if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp" && ext != ".cu" && ext != ".cuh"))
        continue;
      const std::string rel = fs::relative(entry.path(), root).generic_string();
      if (!manifest.count(rel)) unassigned.push_back(rel);
      includes[rel] = QuotedIncludes(entry.path());
    }
  std::ostringstream report;
  for (const std::string& f : unassigned) report << f << " belongs to no layer\n";
  for (const std::string& v : Violations(manifest, includes)) report << v << '\n';
  EXPECT_TRUE(unassigned.empty() && report.str().empty()) << report.str();
  for (const auto& [file, unit] : manifest)
    EXPECT_TRUE(Allowed().count(unit)) << file << " is in an unknown unit " << unit;
}

}  // namespace
