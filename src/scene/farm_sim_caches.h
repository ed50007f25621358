#pragma once
// Farm tasks render from simulation caches: a job before them simulates every hair object
// that simulates live and writes its frames beside the outputs; the tasks then read them.
#include <string>
#include <vector>

#include "host/interface.h"

namespace crn::scene {

// The nodes of the hair objects that simulate live (dynMode 1), in scene order.
std::vector<std::string> SimulatingHairNodes(host::Interface& ip);

// Points every hair object that simulates live at its cache in dir (SimCacheFileName):
// dynMode 2 ("From cache") and dynCachePath. False with error naming a missing cache.
bool UseSimCaches(host::Interface& ip, const std::string& dir, std::string& error);

}  // namespace crn::scene
