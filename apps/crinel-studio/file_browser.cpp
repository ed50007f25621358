#include "crinel-studio/file_browser.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <vector>

#include <imgui.h>

namespace crn::studio {

namespace fs = std::filesystem;

void FileBrowser::Open(const std::string& title, const fs::path& dir, bool save, const std::string& name) {
  title_ = title;
  std::error_code ec;
  dir_ = fs::is_directory(dir, ec) ? dir : fs::current_path(ec);
  save_ = save;
  std::snprintf(name_, sizeof name_, "%s", name.c_str());
  error_.clear();
  open_ = justOpened_ = true;
}

bool FileBrowser::Draw(std::string& path) {
  if (!open_) return false;
  if (justOpened_) {
    ImGui::OpenPopup(title_.c_str());
    justOpened_ = false;
  }
  bool chosen = false;
  ImGui::SetNextWindowSize(ImVec2(620, 440), ImGuiCond_Appearing);
  if (!ImGui::BeginPopupModal(title_.c_str(), &open_)) return false;
  ImGui::TextUnformatted(dir_.string().c_str());
  struct Entry {
    std::string name;
    bool folder;
  };
  std::vector<Entry> entries;
  std::error_code ec;
  for (fs::directory_iterator it(dir_, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string n = it->path().filename().string();
    if (n.empty() || n[0] == '.') continue;
    std::error_code e2;
    entries.push_back({n, it->is_directory(e2)});
  }
  if (ec) ImGui::TextColored(ImVec4(1, 0.4f, 0.4f, 1), "cannot list this folder: %s", ec.message().c_str());
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.folder != b.folder ? a.folder : a.name < b.name;
  });
  ImGui::BeginChild("entries", ImVec2(0, -ImGui::GetFrameHeightWithSpacing() * 2.2f), true);
  if (dir_.has_parent_path() && dir_ != dir_.root_path() && ImGui::Selectable("../"))
    dir_ = dir_.parent_path();
  for (const Entry& e : entries) {
    const std::string label = e.folder ? e.name + "/" : e.name;
    if (ImGui::Selectable(label.c_str(), !e.folder && e.name == name_, ImGuiSelectableFlags_AllowDoubleClick)) {
      if (e.folder) {
        dir_ /= e.name;
      } else {
        std::snprintf(name_, sizeof name_, "%s", e.name.c_str());
        if (ImGui::IsMouseDoubleClicked(0)) chosen = true;
      }
    }
  }
  ImGui::EndChild();
  ImGui::SetNextItemWidth(-160);
  if (ImGui::InputText("##name", name_, sizeof name_, ImGuiInputTextFlags_EnterReturnsTrue)) chosen = true;
  ImGui::SameLine();
  if (ImGui::Button(save_ ? "Save" : "Open", ImVec2(70, 0))) chosen = true;
  ImGui::SameLine();
  if (ImGui::Button("Cancel", ImVec2(70, 0))) open_ = false;
  if (chosen) {
    const fs::path p = fs::path(name_).is_absolute() ? fs::path(name_) : dir_ / name_;
    std::error_code e2;
    if (name_[0] == 0) {
      error_ = "Type or pick a file name.";
      chosen = false;
    } else if (!save_ && !fs::is_regular_file(p, e2)) {
      error_ = "No file " + p.string();
      chosen = false;
    } else {
      path = p.string();
      open_ = false;
    }
  }
  if (!error_.empty()) ImGui::TextColored(ImVec4(1, 0.4f, 0.4f, 1), "%s", error_.c_str());
  if (!open_) ImGui::CloseCurrentPopup();
  ImGui::EndPopup();
  return chosen;
}

}  // namespace crn::studio
