#include "groom/tools_panel.h"

#include <cstdio>

#include "dynamics/sim_cache.h"
#include "dynamics/sim_driver.h"
#include "dynamics/sim_registry.h"
#include "groom/brush_mode.h"
#include "groom/brush_ops.h"
#include "groom/brush_state.h"
#include "groom/groom_edits.h"
#include "groom/presets.h"
#include "groom/prt_export.h"
#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "hair/memory_fit.h"
#include "host/file_dialog.h"
#include "host/interface.h"
#include "host/keyboard.h"
#include "host/message_box.h"
#include "host/script_exec.h"
#include "host/timers.h"
#include "resources/tools_rollout.h"

namespace crn {

using namespace host;
using namespace res;

namespace {

// Module-wide: the host edits one object at a time.
struct ToolsPanelState {
  HairObject* editing = nullptr;
  Interface* ip = nullptr;
  HWND hwnd = nullptr;
  ISpinnerControl* sizeSpin = nullptr;
  ISpinnerControl* strengthSpin = nullptr;
  ICustButton* brushButton = nullptr;
  void (*openLiveView)() = nullptr;
};

ToolsPanelState& Panel() {
  static ToolsPanelState s;
  return s;
}

constexpr const char* kCaption = "Talmore Crinel";
constexpr const char* kCacheUnusable = "Cache file could not be used.";

DialogTemplate ToolsTemplate() {
  DialogTemplate t;
  t.id = IDD_TOOLS;
  std::size_t n = 0;
  const DialogItem* items = ToolsRolloutItems(n);
  for (std::size_t i = 0; i < n; ++i) {
    ControlKind kind = ControlKind::Label;
    switch (items[i].kind) {
      case ItemKind::Group: kind = ControlKind::GroupBox; break;
      case ItemKind::Label: kind = ControlKind::Label; break;
      case ItemKind::Static: kind = ControlKind::StaticText; break;
      case ItemKind::Button: kind = ControlKind::PushButton; break;
      case ItemKind::CheckButton: kind = ControlKind::CustButton; break;
      case ItemKind::DropDownList: kind = ControlKind::DropDownList; break;
      case ItemKind::Edit: kind = ControlKind::CustEdit; break;
      case ItemKind::Spinner: kind = ControlKind::Spinner; break;
    }
    t.items.push_back({items[i].id, kind, items[i].caption});
  }
  return t;
}

void SetMessage(const std::string& text) {
  if (Panel().hwnd) SetDlgItemText(Panel().hwnd, IDC_MESSAGE, text);
}

void RefreshSimStatus() {
  ToolsPanelState& p = Panel();
  if (!p.hwnd || !p.editing) return;
  SetDlgItemText(p.hwnd, IDC_SIM_STATUS, SimStatus(*p.editing));
}

void RedrawAll() {
  Interface* ip = Panel().ip ? Panel().ip : GetCOREInterface();
  ip->RedrawViews(ip->GetTime(), REDRAW_NORMAL);
}

// After range simulation and the cache buttons: the message, the status, the viewports.
void Report(const std::string& message) {
  SetMessage(message);
  RefreshSimStatus();
  RedrawAll();
}

// The brush follows the controls; a missing spinner counts as 60 and 0.5.
void BrushFromControls() {
  ToolsPanelState& p = Panel();
  const auto sel = SendDlgItemMessage(p.hwnd, IDC_BRUSH_LIST, CB_GETCURSEL, 0, 0);
  SetBrushKind(int(sel < 0 ? 0 : sel));
  SetBrushRadius(p.sizeSpin ? float(p.sizeSpin->GetIVal()) : 60.f);
  SetBrushStrength(p.strengthSpin ? p.strengthSpin->GetFVal() : 0.5f);
}

std::string MemoryLine(HairObject& obj) {
  IParamBlock2* pb = obj.pblock2;
  const int points = (pb ? pb->GetInt(hp::segments, 0) : 0) + 1;
  const double budget = pb ? pb->GetFloat(hp::memBudget, 0) : 90.0;
  const MemoryFitResult fit = MemoryFit(points, budget);
  char text[160];
  std::snprintf(text, sizeof text, "This machine: up to %.1f M hairs  (RAM %.1f GB free, GPU %.1f GB free)",
                double(fit.strands) / 1e6, double(fit.hostBytes) / double(1ull << 30),
                double(fit.gpuBytes) / double(1ull << 30));
  return text;
}

void InitDialog(HWND hwnd) {
  ToolsPanelState& p = Panel();
  p.hwnd = hwnd;
  for (int i = 0; i < kPresetCount; ++i)
    SendDlgItemMessage(hwnd, IDC_PRESET_LIST, CB_ADDSTRING, 0, reinterpret_cast<std::intptr_t>(PresetName(i)));
  for (int i = 0; i < kBrushCount; ++i)
    SendDlgItemMessage(hwnd, IDC_BRUSH_LIST, CB_ADDSTRING, 0, reinterpret_cast<std::intptr_t>(BrushName(i)));
  SendDlgItemMessage(hwnd, IDC_PRESET_LIST, CB_SETCURSEL, 0, 0);
  SendDlgItemMessage(hwnd, IDC_BRUSH_LIST, CB_SETCURSEL, 0, 0);
  if (p.editing) SetMessage(MemoryLine(*p.editing));

  // The spinners start from the module's brush settings (60 and 0.5 until changed), so that
  // reopening the panel shows what the brush uses.
  p.sizeSpin = GetISpinner(GetDlgItem(hwnd, IDC_BRUSH_SIZE_SPIN));
  p.sizeSpin->LinkToEdit(GetDlgItem(hwnd, IDC_BRUSH_SIZE_EDIT), EDITTYPE_INT);
  p.sizeSpin->SetLimits(4, 1000, false);
  p.sizeSpin->SetScale(1.f);
  p.sizeSpin->SetValue(int(Brush().brushRadius + 0.5f), false);
  p.strengthSpin = GetISpinner(GetDlgItem(hwnd, IDC_BRUSH_STRENGTH_SPIN));
  p.strengthSpin->LinkToEdit(GetDlgItem(hwnd, IDC_BRUSH_STRENGTH_EDIT), EDITTYPE_FLOAT);
  p.strengthSpin->SetLimits(0.01f, 1.f, false);
  p.strengthSpin->SetScale(0.01f);
  p.strengthSpin->SetValue(Brush().brushStrength, false);
  p.brushButton = GetICustButton(GetDlgItem(hwnd, IDC_BRUSH_BUTTON));
  p.brushButton->SetType(CBT_CHECK);
  p.brushButton->SetHighlightColor(GetUIColor(COLOR_ACTIVE_COMMAND));
  p.brushButton->SetCheck(Brush().brushModeActive);
  RefreshSimStatus();
}

void ReleaseControls() {
  ToolsPanelState& p = Panel();
  ReleaseISpinner(p.sizeSpin);
  ReleaseISpinner(p.strengthSpin);
  ReleaseICustButton(p.brushButton);
  p.sizeSpin = p.strengthSpin = nullptr;
  p.brushButton = nullptr;
  p.hwnd = nullptr;
}

OPENFILENAME CacheDialog(unsigned flags) {
  OPENFILENAME ofn;
  ofn.hwndOwner = Panel().hwnd;
  ofn.filters = {{"Crinel simulation (*.crnc)", "*.crnc"}, {"All files", "*.*"}};
  ofn.defExt = "crnc";
  ofn.flags = flags;
  return ofn;
}

// The reason behind "Cache file could not be used." goes to the host's message log.
void LogReason(const std::string& error) {
  if (!error.empty() && Panel().ip) Panel().ip->LogMessage(error);
}

void SaveCache(HairObject& obj) {
  OPENFILENAME ofn = CacheDialog(OFN_OVERWRITEPROMPT);
  if (!GetSaveFileName(ofn)) return;
  std::string error;
  const bool ok = WriteSimCache(obj, ofn.file, &error);
  if (!ok) LogReason(error);
  Report(ok ? "Cache written." : kCacheUnusable);
}

void LoadCache(HairObject& obj) {
  OPENFILENAME ofn = CacheDialog(OFN_FILEMUSTEXIST);
  if (!GetOpenFileName(ofn)) return;
  std::string error;
  const bool ok = ReadSimCache(obj, ofn.file, &error);
  if (ok) {
    obj.pblock2->SetValue(hp::dynCachePath, 0, ofn.file);
    obj.pblock2->SetValue(hp::dynMode, 0, 2);
    // Changing dynamics parameters starts the simulation over, which drops the frames just
    // read: read them again so that the status shows the loaded cache.
    if (!SimRegistry::Get().Find(obj.ObjectId())) ReadSimCache(obj, ofn.file);
  } else {
    LogReason(error);
  }
  Report(ok ? "Cache loaded." : kCacheUnusable);
}

void ExportPrt(HairObject& obj) {
  OPENFILENAME ofn;
  ofn.hwndOwner = Panel().hwnd;
  ofn.file = "hair.prt";
  ofn.filters = {{"Krakatoa PRT (*.prt)", "*.prt"}};
  ofn.defExt = "prt";
  ofn.title = "PRT sequence - frame numbers are added (hair_0000.prt ...)";
  ofn.flags = OFN_OVERWRITEPROMPT;
  if (!GetSaveFileName(ofn)) return;
  const Interval range = Panel().ip->GetAnimRange();
  const int F = GetTicksPerFrame();
  const PrtExportResult r = ExportPrtSequence(obj, ofn.file, range.Start() / F, range.End() / F, &ToolsProgress);
  LogReason(r.error);
  SetMessage(PrtExportMessage(r.written));
}

// WM_COMMAND and spinner changes; false when nothing is edited (not handled).
bool Command(unsigned id, unsigned code) {
  ToolsPanelState& p = Panel();
  HairObject* obj = p.editing;
  if (!obj) return false;
  switch (id) {
    case IDC_PRESET_APPLY: {
      const auto sel = SendDlgItemMessage(p.hwnd, IDC_PRESET_LIST, CB_GETCURSEL, 0, 0);
      ApplyPreset(obj, int(sel));
      return true;
    }
    case IDC_BRUSH_LIST:
      if (code == CBN_SELCHANGE) BrushFromControls();
      return true;
    case IDC_BRUSH_SIZE_SPIN:
    case IDC_BRUSH_STRENGTH_SPIN: BrushFromControls(); return true;
    case IDC_BRUSH_BUTTON: {
      BrushFromControls();
      const std::string message = ToggleBrushMode(obj);
      if (p.brushButton) p.brushButton->SetCheck(Brush().brushModeActive);
      SetMessage(message);
      return true;
    }
    case IDC_SIM_RANGE: {
      const std::string message = SimulateRange(*obj, p.ip->GetAnimRange(), &ToolsProgress);
      Report(message);
      return true;
    }
    case IDC_SIM_RESET:
      SimRegistry::Get().Erase(obj->ObjectId());
      obj->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
      RefreshSimStatus();
      RedrawAll();
      return true;
    case IDC_RESET_GROOMING:
      ResetGrooming(obj);
      RedrawAll();
      return true;
    case IDC_SAVE_CACHE: SaveCache(*obj); return true;
    case IDC_LOAD_CACHE: LoadCache(*obj); return true;
    case IDC_LIVE_RENDER:
      if (p.openLiveView) p.openLiveView();
      return true;
    case IDC_EXPORT_PRT: ExportPrt(*obj); return true;
    case IDC_MAKE_MATERIAL: ExecuteMAXScriptScript(MaterialScript(), false); return true;
    default: return false;
  }
}

}  // namespace

std::intptr_t ToolsDlgProc(HWND hwnd, unsigned msg, std::uintptr_t wParam, std::intptr_t) {
  switch (msg) {
    case WM_INITDIALOG: InitDialog(hwnd); return 1;
    case WM_DESTROY: ReleaseControls(); return 0;
    case WM_COMMAND: return Command(LOWORD(wParam), HIWORD(wParam)) ? 1 : 0;
    case CC_SPINNER_CHANGE: return Command(LOWORD(wParam), 0) ? 1 : 0;
    default: return 0;
  }
}

void BeginToolsPanel(HairObject& obj, Interface* ip) {
  ToolsPanelState& p = Panel();
  p.editing = &obj;
  p.ip = ip;
  ip->AddRollupPage(nullptr, ToolsTemplate(), &ToolsDlgProc, kToolsRolloutTitle, 0, 0,
                    ROLLUP_CAT_STANDARD);
}

void EndToolsPanel(HairObject&, Interface* ip) {
  ToolsPanelState& p = Panel();
  if (Brush().brushModeActive) {
    ip->DeleteMode(&GetBrushMode());
    Brush().brushModeActive = false;
  }
  if (p.hwnd) ip->DeleteRollupPage(p.hwnd);
  p.editing = nullptr;
  p.ip = nullptr;
}

HairObject* ToolsPanelObject() { return Panel().editing; }
HWND ToolsPanelWindow() { return Panel().hwnd; }

bool ToolsProgress(int done, int total) {
  char text[96];
  std::snprintf(text, sizeof text, "Simulating %d / %d  (Esc cancels)", done, total);
  SetMessage(text);
  DispatchTimerMessages();
  return (GetAsyncKeyState(VK_ESCAPE) & 0x8000) == 0;
}

void ToolsBrushModeLeft() {
  if (Panel().brushButton) Panel().brushButton->SetCheck(false);
}

void SetLiveViewOpener(void (*open)()) { Panel().openLiveView = open; }

const std::string& MaterialScript() {
  static const std::string script =
      "(local done = #(); "
      "for n in selection where classOf n.baseObject == Crinel do ("
      "local vc = VertexColor(); local m = undefined; "
      "if CoronaHairMtl != undefined then ("
      "m = CoronaHairMtl name:(n.name + \"_CoronaHair\"); "
      "m.melanin = 0.1; m.pheomelanin = 0.0; "
      "m.tint = white; m.tintTexmap = vc; m.tintTexmapOn = true; "
      "m.diffuse = white; m.diffuseTexmap = vc; m.diffuseTexmapOn = true; m.diffuseLevel = 0.3"
      ") else if VRayHairNextMtl != undefined then ("
      "m = VRayHairNextMtl name:(n.name + \"_VRayHair\"); "
      "try (m.melanin = 0.0; m.dye_color = white; m.dye_map = vc; m.dye_amount = 1.0) catch ()"
      "); "
      "if m != undefined do (n.material = m; append done n.name)"
      "); "
      "if done.count == 0 then "
      "messageBox \"Select a Crinel object first (Corona or V-Ray must be installed).\" title:\"Talmore Crinel\" "
      "else ("
      "local names = \"\"; for i = 1 to done.count do names += (if i > 1 then \", \" else \"\") + done[i]; "
      "messageBox (\"Hair material made for: \" + names + \"\\nThe colours come from the Crinel strand colours (map channel 0).\") "
      "title:\"Talmore Crinel\"))";
  return script;
}

bool MaterialScriptWithoutRendererClasses() {
  if (ScriptClassExists("CoronaHairMtl") || ScriptClassExists("VRayHairNextMtl")) return false;
  MessageBox(Panel().hwnd, "Select a Crinel object first (Corona or V-Ray must be installed).", kCaption,
             MB_OK);
  return true;
}

}  // namespace crn
