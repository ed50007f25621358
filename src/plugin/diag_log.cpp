#include "plugin/diag_log.h"

#include <cstdio>

#include "host/platform.h"

namespace crn {

void AppendLog(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "a");
  if (!f) return;
  std::fwrite(text.data(), 1, text.size(), f);
  if (text.empty() || text.back() != '\n') std::fputc('\n', f);
  std::fclose(f);
}

void LogIfSet(const char* envVar, const char* fileName, const std::string& text) {
  if (!host::GetEnvironmentVariable(envVar)) return;
  AppendLog(host::GetTempPath() + fileName, text);
}

void LogToNamedFile(const char* envVar, const std::string& text) {
  std::string path;
  if (!host::GetEnvironmentVariable(envVar, &path) || path.empty()) return;
  AppendLog(path, text);
}

}  // namespace crn
