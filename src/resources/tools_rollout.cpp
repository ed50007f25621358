#include "resources/tools_rollout.h"

namespace crn::res {

namespace {

constexpr DialogItem kItems[] = {
    {-1, ItemKind::Group, "Preset"},
    {IDC_PRESET_LIST, ItemKind::DropDownList, ""},
    {IDC_PRESET_APPLY, ItemKind::Button, "Apply"},
    {-1, ItemKind::Group, "Dynamics"},
    {IDC_SIM_RANGE, ItemKind::Button, "Simulate range"},
    {IDC_SIM_RESET, ItemKind::Button, "Reset"},
    {IDC_SIM_STATUS, ItemKind::Static, ""},
    {-1, ItemKind::Group, "Groom brush"},
    {IDC_BRUSH_LIST, ItemKind::DropDownList, ""},
    {IDC_BRUSH_BUTTON, ItemKind::CheckButton, "Brush"},
    {-1, ItemKind::Label, "Size (px):"},
    {IDC_BRUSH_SIZE_EDIT, ItemKind::Edit, ""},
    {IDC_BRUSH_SIZE_SPIN, ItemKind::Spinner, ""},
    {-1, ItemKind::Label, "Strength:"},
    {IDC_BRUSH_STRENGTH_EDIT, ItemKind::Edit, ""},
    {IDC_BRUSH_STRENGTH_SPIN, ItemKind::Spinner, ""},
    {IDC_RESET_GROOMING, ItemKind::Button, "Reset grooming"},
    {-1, ItemKind::Group, "Cache, export && view"},
    {IDC_SAVE_CACHE, ItemKind::Button, "Save sim cache..."},
    {IDC_LOAD_CACHE, ItemKind::Button, "Load sim cache..."},
    {IDC_LIVE_RENDER, ItemKind::Button, "Live render"},
    {IDC_EXPORT_PRT, ItemKind::Button, "Export PRT sequence (every hair point, all channels)..."},
    {IDC_MAKE_MATERIAL, ItemKind::Button, "Make Corona / V-Ray material (keeps strand colours)"},
    {IDC_MESSAGE, ItemKind::Static, ""},
};

}  // namespace

const DialogItem* ToolsRolloutItems(std::size_t& count) {
  count = sizeof kItems / sizeof kItems[0];
  return kItems;
}

}  // namespace crn::res
