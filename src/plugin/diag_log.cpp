#include "plugin/diag_log.h"

#include <cstdio>
#include <cstdlib>

namespace crn {

void AppendLog(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "a");
  if (!f) return;
  std::fwrite(text.data(), 1, text.size(), f);
  if (text.empty() || text.back() != '\n') std::fputc('\n', f);
  std::fclose(f);
}

void LogIfSet(const char* envVar, const char* fileName, const std::string& text) {
  if (!std::getenv(envVar)) return;
  // The user's temporary folder, as the platform reports it.
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = tmp && *tmp ? tmp : "/tmp";
  if (dir.back() != '/') dir += '/';
  AppendLog(dir + fileName, text);
}

void LogToNamedFile(const char* envVar, const std::string& text) {
  const char* path = std::getenv(envVar);
  if (!path || !*path) return;
  AppendLog(path, text);
}

}  // namespace crn
