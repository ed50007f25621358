#pragma once
// crinel sim: range simulation of one hair object with a progress bar, optionally written to
// a cache file.
#include <map>
#include <string>

#include "host/interface.h"

namespace crn::cli {

struct SimOptions {
  std::string node, cache;
  bool hasRange = false;
  int first = 0, last = 0;
  enum Device { Auto, Cuda, Cpu } device = Auto;
};

// Reads --node, --range A-B, --cache FILE and --device auto|cuda|cpu; false with the problem.
bool ParseSimOptions(const std::map<std::string, std::string>& opt, SimOptions& out,
                     std::string& problem);

// Simulates the loaded scene's node over the range (default: the animation range). Exit
// status 0 when done, 1 on an error, 130 when Ctrl-C stopped it (the frames so far are kept,
// and written to the cache file when one is given).
int RunSim(const std::string& scene, const SimOptions& o, host::Interface& ip);

}  // namespace crn::cli
