#include "crinel-studio/rollout_panel.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <tuple>

#include <imgui.h>

#include "host/texmap.h"
#include "scene/values.h"

namespace crn::studio {

using namespace host;
using scene::ControlKind;
using scene::ControlModel;

namespace {

// A spinner or swatch being dragged keeps its value here until the drag ends, so one drag is
// one undo step.
using EditKey = std::tuple<const IParamBlock2*, ParamID>;
std::map<EditKey, PBValue>& Editing() {
  static std::map<EditKey, PBValue> editing;
  return editing;
}

void Store(Interface& ip, IParamBlock2& block, ParamID id, const PBValue& v, RolloutPanelState& state) {
  const scene::ControlEdit e = scene::ApplyControlEdit(block, id, ip.GetTime(), v);
  state.status = e.message;
  state.changed |= e.Stored();
}

// The value shown while editing, else the block's value.
template <class T>
T Shown(const IParamBlock2& block, ParamID id, const T& stored) {
  const auto it = Editing().find({&block, id});
  if (it != Editing().end() && std::holds_alternative<T>(it->second)) return std::get<T>(it->second);
  return stored;
}

// Keeps an in-progress value and stores it when the widget lets go.
void Track(Interface& ip, IParamBlock2& block, ParamID id, bool changedNow, const PBValue& v,
           RolloutPanelState& state) {
  const EditKey key{&block, id};
  if (changedNow) Editing()[key] = v;
  if (ImGui::IsItemDeactivatedAfterEdit()) {
    const auto it = Editing().find(key);
    if (it != Editing().end()) {
      Store(ip, block, id, it->second, state);
      Editing().erase(it);
    }
  } else if (!ImGui::IsItemActive()) {
    Editing().erase(key);
  }
}

std::string NodeName(INode* n) { return n ? n->GetName() : "None"; }

void DrawControl(Interface& ip, IParamBlock2& block, const ControlModel& c, RolloutPanelState& state) {
  const TimeValue t = ip.GetTime();
  ImGui::PushID(c.id);
  const bool animated = block.IsAnimated(c.id);
  const char* label = c.label.c_str();
  switch (c.kind) {
    case ControlKind::FloatSpinner: {
      float v = Shown(block, c.id, block.GetFloat(c.id, t));
      const float speed = c.step > 0 ? c.step : 0.01f;
      const float lo = c.hasRange ? float(c.min) : 0.0f, hi = c.hasRange ? float(c.max) : 0.0f;
      const bool ch = ImGui::DragFloat(label, &v, speed, lo, hi, "%.3f", ImGuiSliderFlags_AlwaysClamp);
      Track(ip, block, c.id, ch, v, state);
      break;
    }
    case ControlKind::IntSpinner: {
      int v = Shown(block, c.id, block.GetInt(c.id, t));
      const float speed = c.step > 0 ? std::max(c.step, 0.2f) : 0.5f;
      const int lo = c.hasRange ? int(c.min) : 0, hi = c.hasRange ? int(c.max) : 0;
      const bool ch = ImGui::DragInt(label, &v, speed, lo, hi, "%d", ImGuiSliderFlags_AlwaysClamp);
      Track(ip, block, c.id, ch, v, state);
      break;
    }
    case ControlKind::Checkbox: {
      bool v = block.GetInt(c.id, t) != 0;
      if (ImGui::Checkbox(label, &v)) Store(ip, block, c.id, int(v), state);
      break;
    }
    case ControlKind::DropDown: {
      int v = block.GetInt(c.id, t);
      const char* preview = v >= 0 && v < int(c.items.size()) ? c.items[std::size_t(v)].c_str() : "";
      if (ImGui::BeginCombo(label, preview)) {
        for (int i = 0; i < int(c.items.size()); ++i)
          if (ImGui::Selectable(c.items[std::size_t(i)].c_str(), i == v)) Store(ip, block, c.id, i, state);
        ImGui::EndCombo();
      }
      break;
    }
    case ControlKind::ColourSwatch: {
      const Color stored = block.GetColor(c.id, t);
      const Color shown = Shown(block, c.id, stored);
      float rgb[3] = {shown.r, shown.g, shown.b};
      const bool ch = ImGui::ColorEdit3(label, rgb, ImGuiColorEditFlags_Float);
      Track(ip, block, c.id, ch, Color(rgb[0], rgb[1], rgb[2]), state);
      break;
    }
    case ControlKind::MapSlot: {
      // The slot's button chooses an image for it; x clears it.
      Texmap* m = block.GetTexmap(c.id, t);
      const std::string name = m ? (m->GetObjectName().empty() ? "Map" : m->GetObjectName()) : "None";
      if (ImGui::Button(name.c_str(), ImVec2(ImGui::CalcItemWidth() - 24, 0))) state.map = {&block, c.id};
      if (m && ImGui::IsItemHovered()) ImGui::SetTooltip("%s", name.c_str());
      ImGui::SameLine();
      if (ImGui::SmallButton("x") && m) Store(ip, block, c.id, static_cast<Texmap*>(nullptr), state);
      ImGui::SameLine();
      ImGui::TextUnformatted(label);
      break;
    }
    case ControlKind::NodePicker:
    case ControlKind::NodeList: {
      std::string text;
      if (c.kind == ControlKind::NodePicker) {
        text = NodeName(block.GetINode(c.id, t));
      } else {
        for (int i = 0; i < block.Count(c.id); ++i)
          if (INode* n = block.GetINode(c.id, t, i)) text += (text.empty() ? "" : ", ") + n->GetName();
        if (text.empty()) text = "None";
      }
      const bool picking = state.pick.block == &block && state.pick.id == c.id;
      if (picking) ImGui::PushStyleColor(ImGuiCol_Button, ImVec4(0.75f, 0.55f, 0.1f, 1));
      if (ImGui::Button(picking ? "Pick a node..." : text.c_str(), ImVec2(ImGui::CalcItemWidth() - 24, 0))) {
        if (picking) {
          state.pick = {};
        } else {
          state.pick = {&block, c.id, c.label};
          if (!c.prompt.empty()) ip.ReplacePrompt(c.prompt);
        }
      }
      if (picking) ImGui::PopStyleColor();
      ImGui::SameLine();
      if (ImGui::SmallButton("x")) Store(ip, block, c.id, static_cast<INode*>(nullptr), state);
      ImGui::SameLine();
      ImGui::TextUnformatted(label);
      break;
    }
    case ControlKind::Text:
    case ControlKind::FileName: {
      char buf[1024];
      std::snprintf(buf, sizeof buf, "%s", block.GetStr(c.id, t).c_str());
      if (ImGui::InputText(label, buf, sizeof buf, ImGuiInputTextFlags_EnterReturnsTrue))
        Store(ip, block, c.id, std::string(buf), state);
      break;
    }
  }
  if (animated && ImGui::IsItemHovered()) ImGui::SetTooltip("animated: an edit sets a key at this frame");
  ImGui::PopID();
}

}  // namespace

void DrawParamBlockRollouts(Interface& ip, IParamBlock2& block, const std::string& owner,
                            RolloutPanelState& state) {
  static std::map<const ParamBlockDesc2*, std::vector<scene::RolloutModel>> cache;
  auto& rollouts = cache[block.GetDesc()];
  if (rollouts.empty()) rollouts = scene::BuildRollouts(*block.GetDesc());
  ImGui::PushID(&block);
  for (const scene::RolloutModel& r : rollouts) {
    if (r.controls.empty()) continue;
    const std::string title = r.title + "##" + owner;
    if (!ImGui::CollapsingHeader(title.c_str(), r.openByDefault ? ImGuiTreeNodeFlags_DefaultOpen : 0)) continue;
    ImGui::PushItemWidth(ImGui::GetContentRegionAvail().x * 0.55f);
    for (const ControlModel& c : r.controls) DrawControl(ip, block, c, state);
    ImGui::PopItemWidth();
  }
  ImGui::PopID();
}

std::string AssignMap(Interface& ip, IParamBlock2& block, ParamID id, const std::string* path) {
  Texmap* map = nullptr;
  if (path) {
    auto bitmap = std::make_unique<BitmapTex>();
    std::string error;
    if (!bitmap->LoadFile(*path, error)) return *path + ": " + error;
    map = ip.AddTexmap(std::move(bitmap));
  }
  const scene::ControlEdit e = scene::ApplyControlEdit(block, id, ip.GetTime(), map);
  return e.Stored() ? "" : e.message;
}

std::string CompletePick(Interface& ip, RolloutPanelState& state, INode* node) {
  if (!state.pick.Active()) return "";
  const scene::ControlEdit e = scene::ApplyControlEdit(*state.pick.block, state.pick.id, ip.GetTime(), node);
  state.pick = {};
  state.changed |= e.Stored();
  ip.ReplacePrompt("");
  return e.Stored() ? "" : e.message;
}

}  // namespace crn::studio
