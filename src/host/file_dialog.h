#pragma once
// The common file dialogs. This host has no windows: the application sets a provider that
// answers each dialog (the command line answers from script calls, a window system from a
// real dialog); without a provider every dialog is cancelled.
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace host {

constexpr unsigned OFN_OVERWRITEPROMPT = 0x00000002;
constexpr unsigned OFN_PATHMUSTEXIST = 0x00000800;
constexpr unsigned OFN_FILEMUSTEXIST = 0x00001000;

struct OPENFILENAME {
  void* hwndOwner = nullptr;
  // (description, pattern) pairs in the order the dialog offers them.
  std::vector<std::pair<std::string, std::string>> filters;
  std::string file;    // in: the name the dialog starts with; out: the chosen path
  std::string defExt;  // added to a chosen name that has no extension
  std::string title;   // empty: the platform's own title
  unsigned flags = 0;
};

// Answers one dialog: save tells a save dialog from an open one; true with ofn.file set to
// the chosen path, false when the user cancels.
using FileDialogProvider = std::function<bool(bool save, OPENFILENAME& ofn)>;
void SetFileDialogProvider(FileDialogProvider provider);

// True with ofn.file the chosen path (the default extension added when the name has none).
// An open dialog with OFN_FILEMUSTEXIST refuses a file that does not exist: it says so in a
// message box and counts as cancelled. A save dialog with OFN_OVERWRITEPROMPT asks in a
// yes/no message box before taking a file that exists; no counts as cancelled.
bool GetOpenFileName(OPENFILENAME& ofn);
bool GetSaveFileName(OPENFILENAME& ofn);

// The last dialog as it was shown (before the answer) and how many were shown.
OPENFILENAME LastFileDialog();
int FileDialogCount();

}  // namespace host
