#include "host/system_log.h"

#include <mutex>

namespace host {

namespace {

struct Log {
  std::mutex mutex;
  std::vector<SystemLogEntry> entries;
};

Log& State() {
  static Log log;
  return log;
}

}  // namespace

void LogSystemEntry(int type, const std::string& title, const std::string& text) {
  std::lock_guard lock(State().mutex);
  State().entries.push_back({type, title, text});
}

std::vector<SystemLogEntry> SystemLogEntries() {
  std::lock_guard lock(State().mutex);
  return State().entries;
}

}  // namespace host
