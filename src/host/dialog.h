#pragma once
// Dialogs and rollouts with their controls, addressed by control id, as the windowing platform
// and the host's custom controls offer them. This host shows nothing on a screen: a dialog
// keeps each control's state (text, list items and selection, check, spinner value) for
// whoever reads it, and a user's action on a control (a click, a list choice, a value typed
// into a spinner) reaches the dialog procedure as the message a real dialog sends.
#include <cstdint>
#include <string>
#include <vector>

#include "host/window_messages.h"

namespace host {

using HWND = void*;
using COLORREF = std::uint32_t;

// --- messages a dialog procedure receives
constexpr unsigned WM_INITDIALOG = 0x0110;
constexpr unsigned WM_COMMAND = 0x0111;
constexpr unsigned WM_USER = 0x0400;
// A spinner changed: LOWORD(wParam) its id, HIWORD(wParam) 1 while dragging; lParam the
// ISpinnerControl*.
constexpr unsigned CC_SPINNER_CHANGE = WM_USER + 0x600;
// WM_COMMAND notification codes (HIWORD of wParam).
constexpr unsigned BN_CLICKED = 0;
constexpr unsigned CBN_SELCHANGE = 1;
// Drop-down list messages.
constexpr unsigned CB_ADDSTRING = 0x0143;
constexpr unsigned CB_GETCOUNT = 0x0146;
constexpr unsigned CB_GETCURSEL = 0x0147;
constexpr unsigned CB_RESETCONTENT = 0x014B;
constexpr unsigned CB_SETCURSEL = 0x014E;
constexpr std::intptr_t CB_ERR = -1;

constexpr unsigned LOWORD(std::uintptr_t w) { return unsigned(w & 0xFFFF); }
constexpr unsigned HIWORD(std::uintptr_t w) { return unsigned((w >> 16) & 0xFFFF); }
constexpr std::uintptr_t MAKEWPARAM(unsigned lo, unsigned hi) {
  return std::uintptr_t(lo & 0xFFFF) | (std::uintptr_t(hi & 0xFFFF) << 16);
}

// --- templates
enum class ControlKind {
  GroupBox,      // a frame with a caption; the controls after it belong to it
  Label,         // fixed text
  StaticText,    // text the program sets
  PushButton,
  CustButton,    // the host's custom button (push or check, SetType)
  DropDownList,
  CustEdit,      // the host's edit box (a spinner's partner)
  Spinner,       // the host's spinner; linked to the edit before it
};

struct DialogItemTemplate {
  int id = -1;  // -1 for frames and labels nobody addresses
  ControlKind kind = ControlKind::Label;
  // In captions "&" marks the mnemonic and "&&" shows one ampersand.
  std::string caption;
};

struct DialogTemplate {
  int id = 0;
  std::vector<DialogItemTemplate> items;  // in tab order
};

using DlgProc = std::intptr_t (*)(HWND hwnd, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);

// Creates the dialog and its controls and sends WM_INITDIALOG with param.
HWND CreateDialogParam(const DialogTemplate& tmpl, DlgProc proc, std::intptr_t param);
// Sends WM_DESTROY and frees the dialog; false for no dialog.
bool DestroyDialog(HWND dlg);
bool IsDialog(HWND dlg);
int DialogTemplateId(HWND dlg);

// --- controls by id
// The control's handle, or null.
HWND GetDlgItem(HWND dlg, int id);
int GetDlgCtrlID(HWND ctrl);
std::intptr_t SendDlgItemMessage(HWND dlg, int id, unsigned msg, std::uintptr_t wParam,
                                 std::intptr_t lParam);
bool SetDlgItemText(HWND dlg, int id, const std::string& text);
// The text the control shows: a caption with its mnemonic marks resolved, a static text,
// the selected list entry, an edit's or spinner's value. Empty for no control.
std::string GetDlgItemText(HWND dlg, int id);
// The caption of the frame the control belongs to (mnemonic marks resolved), or empty.
std::string GetDlgItemGroup(HWND dlg, int id);
bool GetDlgItemKind(HWND dlg, int id, ControlKind& kind);
// One control as a window system lays it out: frames and labels have id -1; text is what
// GetDlgItemText shows (the caption without mnemonic marks for frames and labels).
struct DlgItemInfo {
  int id = -1;
  ControlKind kind = ControlKind::Label;
  std::string text;
};
// Every control of the dialog in tab order; empty for no dialog.
std::vector<DlgItemInfo> GetDlgItems(HWND dlg);
// The list's entries in order (empty for other controls).
std::vector<std::string> GetDlgItemList(HWND dlg, int id);

// --- the host's custom controls
constexpr int CBT_PUSH = 0;
constexpr int CBT_CHECK = 1;

class ICustButton {
 public:
  void SetType(int type) { type_ = type; }
  int GetType() const { return type_; }
  void SetHighlightColor(COLORREF c) { highlight_ = c; }
  COLORREF GetHighlightColor() const { return highlight_; }
  void SetCheck(bool on) { checked_ = on; }
  bool IsChecked() const { return checked_; }

 private:
  int type_ = CBT_PUSH;
  COLORREF highlight_ = 0;
  bool checked_ = false;
};

enum EditSpinnerType { EDITTYPE_INT, EDITTYPE_FLOAT };

class ISpinnerControl {
 public:
  // limitCurrent also clamps the current value into the new range.
  void SetLimits(int lo, int hi, bool limitCurrent = true);
  void SetLimits(float lo, float hi, bool limitCurrent = true);
  void SetScale(float s) { scale_ = s; }
  float GetScale() const { return scale_; }
  // Values are clamped to the limits, as the spinner does with anything typed or dragged.
  void SetValue(int v, bool notify);
  void SetValue(float v, bool notify);
  int GetIVal() const;
  float GetFVal() const { return float(value_); }
  void LinkToEdit(HWND edit, EditSpinnerType type);
  bool IsFloat() const { return type_ == EDITTYPE_FLOAT; }
  double Min() const { return lo_; }
  double Max() const { return hi_; }

 private:
  friend struct DialogAccess;
  void Set(double v, bool notify);
  double lo_ = 0, hi_ = 100, value_ = 0;
  float scale_ = 1;
  EditSpinnerType type_ = EDITTYPE_INT;
  HWND dlg_ = nullptr;
  int id_ = -1;
};

// The custom control behind a control handle (null for another kind); Release does nothing
// here, but every Get is paired with one as the host wants.
ICustButton* GetICustButton(HWND ctrl);
void ReleaseICustButton(ICustButton* b);
ISpinnerControl* GetISpinner(HWND ctrl);
void ReleaseISpinner(ISpinnerControl* s);

// The host's interface colours.
constexpr int COLOR_ACTIVE_COMMAND = 7;
COLORREF GetUIColor(int which);

// --- what a user does to a control (script calls drive dialogs with these)
// A click on a button: a check button flips its check first; then WM_COMMAND BN_CLICKED.
bool ClickDlgItem(HWND dlg, int id);
// A choice in a drop-down list: the selection, then WM_COMMAND CBN_SELCHANGE. False for an
// index outside the list.
bool SelectDlgItem(HWND dlg, int id, int index);
// A value typed into a spinner (or into the edit linked to it): clamped to the spinner's
// limits, an integer spinner rounding it, then CC_SPINNER_CHANGE.
bool SpinDlgItem(HWND dlg, int id, double value);

}  // namespace host
