#pragma once
// A plain file dialog drawn with ImGui: the folder's entries (folders first), a name field,
// and OK / Cancel. One dialog is open at a time.
#include <filesystem>
#include <string>

namespace crn::studio {

class FileBrowser {
 public:
  // Opens the dialog titled title in folder dir; save dialogs accept names that do not exist.
  void Open(const std::string& title, const std::filesystem::path& dir, bool save,
            const std::string& name = "");
  bool IsOpen() const { return open_; }
  // Draws the dialog; true on the frame a path is chosen (then in path).
  bool Draw(std::string& path);

 private:
  bool open_ = false, save_ = false, justOpened_ = false;
  std::string title_;
  std::filesystem::path dir_;
  char name_[512] = {};
  std::string error_;
};

}  // namespace crn::studio
