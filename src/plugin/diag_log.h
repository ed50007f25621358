#pragma once
// Optional diagnostic logs. Each event opens its file, appends and closes it again; a file
// that cannot be opened is silently skipped.
#include <string>

namespace crn {

// Appends text to the file in the temporary folder when the variable exists, whatever its
// value (even empty).
void LogIfSet(const char* envVar, const char* fileName, const std::string& text);
// Appends text to the file the variable names, when it is set to a non-empty path.
void LogToNamedFile(const char* envVar, const std::string& text);
// Appends text (a newline is added when missing) to path.
void AppendLog(const std::string& path, const std::string& text);

}  // namespace crn
