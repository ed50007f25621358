#include "crinel-studio/rollup_pages.h"

#include <map>
#include <string>

#include <imgui.h>

namespace crn::studio {

using namespace host;

namespace {

void DrawSpinner(HWND dlg, const DlgItemInfo& item, const std::string& label, std::vector<DialogAction>& actions) {
  ISpinnerControl* s = GetISpinner(GetDlgItem(dlg, item.id));
  if (!s) return;
  // A drag keeps its value here until it ends, so the dialog hears one change.
  static std::map<std::pair<HWND, int>, float> editing;
  const auto key = std::make_pair(dlg, item.id);
  float v = editing.count(key) ? editing[key] : s->GetFVal();
  const std::string text = (label.empty() ? std::string("##spin") : label) + "##" + std::to_string(item.id);
  bool changed;
  if (s->IsFloat()) {
    changed = ImGui::DragFloat(text.c_str(), &v, std::max(s->GetScale(), 0.001f), float(s->Min()), float(s->Max()),
                               "%.3f", ImGuiSliderFlags_AlwaysClamp);
  } else {
    int iv = int(v);
    changed = ImGui::DragInt(text.c_str(), &iv, std::max(s->GetScale(), 0.2f), int(s->Min()), int(s->Max()), "%d",
                             ImGuiSliderFlags_AlwaysClamp);
    v = float(iv);
  }
  if (changed) editing[key] = v;
  if (ImGui::IsItemDeactivatedAfterEdit()) {
    actions.push_back({DialogAction::Spin, dlg, item.id, double(editing.count(key) ? editing[key] : v)});
    editing.erase(key);
  } else if (!ImGui::IsItemActive()) {
    editing.erase(key);
  }
  ReleaseISpinner(s);
}

void DrawPage(const RollupPage& page, std::vector<DialogAction>& actions) {
  const std::vector<DlgItemInfo> items = GetDlgItems(page.hwnd);
  std::string label;  // a label names the control after it
  for (const DlgItemInfo& item : items) {
    ImGui::PushID(item.id >= 0 ? item.id : int(&item - items.data()) + 100000);
    switch (item.kind) {
      case ControlKind::GroupBox:
        ImGui::Spacing();
        ImGui::TextDisabled("%s", item.text.c_str());
        ImGui::Separator();
        break;
      case ControlKind::Label: label = item.text; break;
      case ControlKind::StaticText:
        if (!item.text.empty()) ImGui::TextWrapped("%s", item.text.c_str());
        break;
      case ControlKind::PushButton:
      case ControlKind::CustButton: {
        ICustButton* b = item.kind == ControlKind::CustButton ? GetICustButton(GetDlgItem(page.hwnd, item.id)) : nullptr;
        const bool on = b && b->GetType() == CBT_CHECK && b->IsChecked();
        if (on) ImGui::PushStyleColor(ImGuiCol_Button, ImVec4(0.75f, 0.55f, 0.1f, 1));
        if (ImGui::Button(item.text.c_str(), ImVec2(-1, 0))) actions.push_back({DialogAction::Click, page.hwnd, item.id, 0});
        if (on) ImGui::PopStyleColor();
        if (b) ReleaseICustButton(b);
        label.clear();
        break;
      }
      case ControlKind::DropDownList: {
        const std::vector<std::string> list = GetDlgItemList(page.hwnd, item.id);
        const int sel = int(SendDlgItemMessage(page.hwnd, item.id, CB_GETCURSEL, 0, 0));
        const std::string text = (label.empty() ? std::string("##list") : label);
        if (ImGui::BeginCombo(text.c_str(), sel >= 0 && sel < int(list.size()) ? list[std::size_t(sel)].c_str() : "")) {
          for (int i = 0; i < int(list.size()); ++i)
            if (ImGui::Selectable(list[std::size_t(i)].c_str(), i == sel))
              actions.push_back({DialogAction::Select, page.hwnd, item.id, double(i)});
          ImGui::EndCombo();
        }
        label.clear();
        break;
      }
      case ControlKind::CustEdit: break;  // the spinner after it shows and takes the value
      case ControlKind::Spinner:
        DrawSpinner(page.hwnd, item, label, actions);
        label.clear();
        break;
    }
    ImGui::PopID();
  }
}

}  // namespace

void DrawRollupPages(Interface& ip, std::vector<DialogAction>& actions) {
  for (const RollupPage& page : ip.RollupPages()) {
    // Parameter-block pages have no dialog controls here: the rollouts built from the
    // descriptors show them.
    if (!IsDialog(page.hwnd) || GetDlgItems(page.hwnd).empty()) continue;
    ImGui::PushID(page.hwnd);
    if (ImGui::CollapsingHeader(page.title.c_str(), ImGuiTreeNodeFlags_DefaultOpen)) {
      ImGui::PushItemWidth(ImGui::GetContentRegionAvail().x * 0.55f);
      DrawPage(page, actions);
      ImGui::PopItemWidth();
    }
    ImGui::PopID();
  }
}

void DoDialogAction(const DialogAction& a) {
  if (!IsDialog(a.dlg)) return;  // the page closed meanwhile
  switch (a.kind) {
    case DialogAction::Click: ClickDlgItem(a.dlg, a.id); break;
    case DialogAction::Select: SelectDlgItem(a.dlg, a.id, int(a.value)); break;
    case DialogAction::Spin: SpinDlgItem(a.dlg, a.id, a.value); break;
  }
}

}  // namespace crn::studio
