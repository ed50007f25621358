#include "dynamics/sim_registry.h"

namespace crn {

SimRegistry& SimRegistry::Get() {
  static SimRegistry registry;
  return registry;
}

SimState& SimRegistry::Acquire(const HairObject* obj) {
  std::lock_guard lock(mutex_);
  return records_[obj];
}

SimState* SimRegistry::Find(const HairObject* obj) {
  std::lock_guard lock(mutex_);
  auto it = records_.find(obj);
  return it == records_.end() ? nullptr : &it->second;
}

bool SimRegistry::Erase(const HairObject* obj) {
  std::lock_guard lock(mutex_);
  return records_.erase(obj) > 0;
}

std::size_t SimRegistry::Count() const {
  std::lock_guard lock(mutex_);
  return records_.size();
}

}  // namespace crn
