#include "host/file_dialog.h"

#include <filesystem>

#include "host/message_box.h"

namespace host {

namespace {

struct Dialogs {
  FileDialogProvider provider;
  OPENFILENAME last;
  int count = 0;
};

Dialogs& State() {
  static Dialogs d;
  return d;
}

bool Run(bool save, OPENFILENAME& ofn) {
  State().last = ofn;
  ++State().count;
  OPENFILENAME answer = ofn;
  if (!State().provider || !State().provider(save, answer) || answer.file.empty()) return false;
  std::filesystem::path p(answer.file);
  if (!p.has_extension() && !ofn.defExt.empty()) answer.file += "." + ofn.defExt;
  if (!save && (ofn.flags & OFN_FILEMUSTEXIST) && !std::filesystem::is_regular_file(answer.file)) {
    MessageBox(ofn.hwndOwner, answer.file + "\nFile not found.\nCheck the file name and try again.",
               ofn.title.empty() ? "Open" : ofn.title, MB_OK | MB_ICONWARNING);
    return false;
  }
  if (save && (ofn.flags & OFN_OVERWRITEPROMPT) && std::filesystem::exists(answer.file) &&
      MessageBox(ofn.hwndOwner, answer.file + " already exists.\nDo you want to replace it?",
                 ofn.title.empty() ? "Confirm Save As" : ofn.title, MB_YESNO | MB_ICONWARNING) != IDYES)
    return false;
  ofn.file = answer.file;
  return true;
}

}  // namespace

void SetFileDialogProvider(FileDialogProvider provider) { State().provider = std::move(provider); }

bool GetOpenFileName(OPENFILENAME& ofn) { return Run(false, ofn); }
bool GetSaveFileName(OPENFILENAME& ofn) { return Run(true, ofn); }

OPENFILENAME LastFileDialog() { return State().last; }
int FileDialogCount() { return State().count; }

}  // namespace host
