#include "groom/tools_macro.h"

#include <filesystem>

#include "host/interface.h"
#include "host/script_exec.h"
#include "plugin/atomic_file.h"

namespace crn {

const std::string& ToolbarMacroText() {
  static const std::string text = [] {
    const char* lines[] = {
        "macroScript CrinelOnSelection",
        "category:\"Talmoria\"",
        "buttonText:\"Crinel\"",
        "tooltip:\"Grow Talmore Crinel on the selected objects\"",
        "(",
        "  local meshes = for o in selection where superClassOf o == GeometryClass and classOf o != Crinel collect o",
        "  if meshes.count == 0 then",
        "    messageBox \"Select the mesh to grow hair on first.\" title:\"Talmore Crinel\"",
        "  else (",
        "    local made = #()",
        "    for m in meshes do (",
        "      local h = Crinel name:(m.name + \"_Crinel\")",
        "      h.surface = m",
        "      append made h",
        "    )",
        "    select made",
        "    max modify mode",
        "  )",
        ")",
    };
    std::string s;
    for (const char* line : lines) s += std::string(line) + "\r\n";
    return s;
  }();
  return text;
}

bool InstallToolbarMacro(host::Interface& ip, std::string* error) {
  const std::string folder = ip.GetDir(host::APP_USER_MACRO_DIR);
  if (folder.empty()) return true;
  const std::string path = (std::filesystem::path(folder) / kToolbarMacroFile).string();
  std::string why;
  const std::string& text = ToolbarMacroText();
  if (!WriteFileAtomically(path, [&](AtomicFile& f) { f.Write(text.data(), text.size()); }, why)) {
    if (error) *error = why;
    return false;
  }
  // A verbatim string cannot hold a double quote: such a path is not handed to the script.
  if (path.find('"') == std::string::npos)
    host::ExecuteMAXScriptScript("try (fileIn @\"" + path + "\") catch ()", true);
  return true;
}

}  // namespace crn
