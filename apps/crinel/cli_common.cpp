#include "cli_common.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>

#include "scene/scene_file.h"

namespace crn::cli {

bool Load(const std::string& path, host::Interface& ip) {
  crn::scene::SceneLoad r = crn::scene::LoadAnyScene(path, ip);
  for (const std::string& w : r.warnings) std::cerr << "warning: " << w << '\n';
  if (!r.ok) std::cerr << "crinel: " << r.error << '\n';
  return r.ok;
}

bool ParseOptions(const std::vector<std::string>& args, std::size_t from,
                  const std::vector<std::string>& known, std::map<std::string, std::string>& out,
                  std::string& problem) {
  for (std::size_t i = from; i < args.size(); i += 2) {
    const std::string& name = args[i];
    if (std::find(known.begin(), known.end(), name) == known.end()) {
      problem = "unknown option " + name;
      return false;
    }
    if (i + 1 >= args.size()) {
      problem = name + " needs a value";
      return false;
    }
    if (!out.emplace(name, args[i + 1]).second) {
      problem = name + " given twice";
      return false;
    }
  }
  return true;
}

bool ParseFrame(const std::string& text, double& frame) {
  char* end = nullptr;
  frame = std::strtod(text.c_str(), &end);
  return end && *end == '\0' && !text.empty() && std::isfinite(frame) && std::fabs(frame) <= 1e7;
}

}  // namespace crn::cli
