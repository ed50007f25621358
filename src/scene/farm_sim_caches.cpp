#include "scene/farm_sim_caches.h"

#include <sys/stat.h>

#include "groom/script_ops.h"
#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "scene/farm_plan.h"

namespace crn::scene {

namespace {

constexpr int kDynLive = 1;
constexpr int kDynFromCache = 2;

}  // namespace

std::vector<std::string> SimulatingHairNodes(host::Interface& ip) {
  std::vector<std::string> nodes;
  for (const auto& node : ip.Nodes())
    if (HairObject* hair = HairObjectOf(node.get()); hair && hair->pblock2->GetInt(hp::dynMode, 0) == kDynLive)
      nodes.push_back(node->GetName());
  return nodes;
}

bool UseSimCaches(host::Interface& ip, const std::string& dir, std::string& error) {
  for (const std::string& name : SimulatingHairNodes(ip)) {
    const std::string cache = SimCacheFileName(dir, name);
    struct stat st {};
    if (::stat(cache.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
      error = cache + ": no simulation cache for the hair object \"" + name + "\"";
      return false;
    }
    HairObject* hair = HairObjectOf(ip.GetINodeByName(name));
    hair->pblock2->SetValue(hp::dynCachePath, 0, cache);
    hair->pblock2->SetValue(hp::dynMode, 0, kDynFromCache);
  }
  return true;
}

}  // namespace crn::scene
