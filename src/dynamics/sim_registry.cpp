#include "dynamics/sim_registry.h"

#include "dynamics/sim_hooks.h"

namespace crn {

SimHairHooks& GetSimHairHooks() {
  static SimHairHooks hooks;
  return hooks;
}

SimRegistry& SimRegistry::Get() {
  static SimRegistry registry;
  return registry;
}

SimState& SimRegistry::Acquire(SimObjectId id) {
  std::lock_guard lock(mutex_);
  return records_[id];
}

SimState* SimRegistry::Find(SimObjectId id) {
  std::lock_guard lock(mutex_);
  auto it = records_.find(id);
  return it == records_.end() ? nullptr : &it->second;
}

bool SimRegistry::Erase(SimObjectId id) {
  std::lock_guard lock(mutex_);
  return records_.erase(id) > 0;
}

std::size_t SimRegistry::Count() const {
  std::lock_guard lock(mutex_);
  return records_.size();
}

std::vector<std::pair<SimObjectId, SimState*>> SimRegistry::All() {
  std::lock_guard lock(mutex_);
  std::vector<std::pair<SimObjectId, SimState*>> all;
  for (auto& [id, state] : records_) all.emplace_back(id, &state);
  return all;
}

}  // namespace crn
