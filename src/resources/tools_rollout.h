#pragma once
// The dialog template of the hair object's tools rollout: its controls in tab order, each
// frame before the controls it holds.
#include <cstddef>

namespace crn::res {

enum ToolsControlId : int {
  IDD_TOOLS = 7500,
  IDC_PRESET_LIST = 7502,
  IDC_PRESET_APPLY = 7503,
  IDC_SIM_RANGE = 7504,
  IDC_SIM_RESET = 7505,
  IDC_SIM_STATUS = 7506,
  IDC_BRUSH_LIST = 7507,
  IDC_BRUSH_BUTTON = 7508,
  IDC_BRUSH_SIZE_EDIT = 7509,
  IDC_BRUSH_SIZE_SPIN = 7510,
  IDC_BRUSH_STRENGTH_EDIT = 7511,
  IDC_BRUSH_STRENGTH_SPIN = 7512,
  IDC_RESET_GROOMING = 7513,
  IDC_SAVE_CACHE = 7514,
  IDC_LOAD_CACHE = 7515,
  IDC_LIVE_RENDER = 7516,
  IDC_MESSAGE = 7517,
  IDC_EXPORT_PRT = 7518,
  IDC_MAKE_MATERIAL = 7519,
};

enum class ItemKind { Group, Label, Static, Button, CheckButton, DropDownList, Edit, Spinner };

struct DialogItem {
  int id;  // -1: not addressed
  ItemKind kind;
  const char* caption;  // "&&" shows one ampersand
};

inline constexpr const char* kToolsRolloutTitle = "Crinel - Tools";

const DialogItem* ToolsRolloutItems(std::size_t& count);

}  // namespace crn::res
