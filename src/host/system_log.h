#pragma once
// The host's system log: entries with a type, a title and a text, kept in order (and shown
// to no one in a dialog).
#include <string>
#include <vector>

namespace host {

constexpr int SYSLOG_ERROR = 1;
constexpr int SYSLOG_WARN = 2;
constexpr int SYSLOG_INFO = 4;

struct SystemLogEntry {
  int type = SYSLOG_INFO;
  std::string title, text;
};

void LogSystemEntry(int type, const std::string& title, const std::string& text);
std::vector<SystemLogEntry> SystemLogEntries();

}  // namespace host
