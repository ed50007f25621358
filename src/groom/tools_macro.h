#pragma once
// The toolbar macro installed at host start-up: a button that grows hair objects on the
// selected meshes.
#include <string>

namespace host {
class Interface;
}

namespace crn {

inline constexpr const char* kToolbarMacroFile = "Talmoria-CrinelOnSelection.mcr";

// The macro script file's contents, lines ended by carriage return and line feed.
const std::string& ToolbarMacroText();

// Writes the macro into the host's user macro-script folder and loads it into the running
// host (the load's errors suppressed). Does nothing when the host reports no folder. False
// with error when the file cannot be written (the old file stays).
bool InstallToolbarMacro(host::Interface& ip, std::string* error = nullptr);

}  // namespace crn
