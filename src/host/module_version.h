#pragma once
// The file version of a module the process has loaded, as the platform's version resource
// gives it. A module here declares its version as the exported array of four 16-bit words
// named by kFileVersionSymbol (major, minor, build, revision).
#include <array>
#include <cstdint>
#include <string>

namespace host {

inline constexpr const char* kFileVersionSymbol = "FileVersionInfo";

using FileVersion = std::array<std::uint16_t, 4>;

// The version of the loaded module with this file name (as GetModuleHandle finds it: the
// module's soname); false when it is not loaded or declares no version.
bool GetLoadedModuleVersion(const std::string& moduleName, FileVersion& version);

}  // namespace host
