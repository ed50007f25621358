#include "host/dialog.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>

namespace host {

namespace {

struct Control {
  int id = -1;
  ControlKind kind = ControlKind::Label;
  std::string text;   // caption or text as set (mnemonic marks kept)
  std::string group;  // raw caption of the frame it sits in
  std::vector<std::string> items;
  int selection = -1;
  ICustButton button;
  ISpinnerControl spinner;
  Control* linkedEdit = nullptr;  // spinners: the edit showing the value
};

struct Dialog {
  int templateId = 0;
  DlgProc proc = nullptr;
  std::vector<std::unique_ptr<Control>> controls;
};

std::set<Dialog*>& Dialogs() {
  static std::set<Dialog*> d;
  return d;
}

Dialog* AsDialog(HWND h) {
  auto* d = static_cast<Dialog*>(h);
  return d && Dialogs().count(d) ? d : nullptr;
}

Control* Find(HWND dlg, int id) {
  Dialog* d = AsDialog(dlg);
  if (!d || id < 0) return nullptr;
  for (auto& c : d->controls)
    if (c->id == id) return c.get();
  return nullptr;
}

// A control handle is valid only while its dialog lives.
Control* AsControl(HWND h) {
  for (Dialog* d : Dialogs())
    for (auto& c : d->controls)
      if (c.get() == h) return c.get();
  return nullptr;
}

std::intptr_t Send(HWND dlg, unsigned msg, std::uintptr_t w, std::intptr_t l) {
  Dialog* d = AsDialog(dlg);
  return d && d->proc ? d->proc(dlg, msg, w, l) : 0;
}

// "&&" shows one ampersand, a single "&" only marks the next letter.
std::string WithoutMnemonics(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '&' && i + 1 < s.size()) ++i;
    else if (s[i] == '&') continue;
    out += s[i];
  }
  return out;
}

std::string FormatValue(const ISpinnerControl& s) {
  if (!s.IsFloat()) return std::to_string(s.GetIVal());
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", double(s.GetFVal()));
  std::string t = text;
  while (t.size() > 1 && t.back() == '0') t.pop_back();
  if (!t.empty() && t.back() == '.') t.pop_back();
  return t;
}

Control* SpinnerOf(Control* c) {
  if (!c) return nullptr;
  if (c->kind == ControlKind::Spinner) return c;
  if (c->kind != ControlKind::CustEdit) return nullptr;
  for (Dialog* d : Dialogs())
    for (auto& s : d->controls)
      if (s->kind == ControlKind::Spinner && s->linkedEdit == c) return s.get();
  return nullptr;
}

}  // namespace

struct DialogAccess {
  static void Bind(ISpinnerControl& s, HWND dlg, int id) {
    s.dlg_ = dlg;
    s.id_ = id;
  }
};

// --- spinners

void ISpinnerControl::SetLimits(int lo, int hi, bool limitCurrent) {
  SetLimits(float(lo), float(hi), limitCurrent);
}

void ISpinnerControl::SetLimits(float lo, float hi, bool limitCurrent) {
  lo_ = std::min(lo, hi);
  hi_ = std::max(lo, hi);
  if (limitCurrent) value_ = std::clamp(value_, lo_, hi_);
}

void ISpinnerControl::Set(double v, bool notify) {
  if (std::isnan(v)) v = lo_;
  v = std::clamp(v, lo_, hi_);
  if (type_ == EDITTYPE_INT) v = std::round(v);
  value_ = v;
  if (notify && dlg_) Send(dlg_, CC_SPINNER_CHANGE, MAKEWPARAM(unsigned(id_), 0),
                           reinterpret_cast<std::intptr_t>(this));
}

void ISpinnerControl::SetValue(int v, bool notify) { Set(double(v), notify); }
void ISpinnerControl::SetValue(float v, bool notify) { Set(double(v), notify); }
int ISpinnerControl::GetIVal() const { return int(std::lround(value_)); }

void ISpinnerControl::LinkToEdit(HWND edit, EditSpinnerType type) {
  type_ = type;
  if (type_ == EDITTYPE_INT) value_ = std::round(value_);
  for (Dialog* d : Dialogs())
    for (auto& c : d->controls)
      if (&c->spinner == this) c->linkedEdit = AsControl(edit);
}

// --- dialogs

HWND CreateDialogParam(const DialogTemplate& tmpl, DlgProc proc, std::intptr_t param) {
  auto* d = new Dialog;
  d->templateId = tmpl.id;
  d->proc = proc;
  std::string group;
  for (const DialogItemTemplate& item : tmpl.items) {
    auto c = std::make_unique<Control>();
    c->id = item.id;
    c->kind = item.kind;
    c->text = item.caption;
    if (item.kind == ControlKind::GroupBox) group = item.caption;
    c->group = item.kind == ControlKind::GroupBox ? "" : group;
    DialogAccess::Bind(c->spinner, d, item.id);
    d->controls.push_back(std::move(c));
  }
  Dialogs().insert(d);
  Send(d, WM_INITDIALOG, 0, param);
  return d;
}

bool DestroyDialog(HWND dlg) {
  Dialog* d = AsDialog(dlg);
  if (!d) return false;
  Send(d, WM_DESTROY, 0, 0);
  Dialogs().erase(d);
  delete d;
  return true;
}

bool IsDialog(HWND dlg) { return AsDialog(dlg) != nullptr; }

int DialogTemplateId(HWND dlg) {
  Dialog* d = AsDialog(dlg);
  return d ? d->templateId : 0;
}

// --- controls

HWND GetDlgItem(HWND dlg, int id) { return Find(dlg, id); }

int GetDlgCtrlID(HWND ctrl) {
  Control* c = AsControl(ctrl);
  return c ? c->id : 0;
}

std::intptr_t SendDlgItemMessage(HWND dlg, int id, unsigned msg, std::uintptr_t wParam,
                                 std::intptr_t lParam) {
  Control* c = Find(dlg, id);
  if (!c || c->kind != ControlKind::DropDownList) return CB_ERR;
  switch (msg) {
    case CB_ADDSTRING:
      c->items.emplace_back(lParam ? reinterpret_cast<const char*>(lParam) : "");
      return std::intptr_t(c->items.size() - 1);
    case CB_RESETCONTENT:
      c->items.clear();
      c->selection = -1;
      return 0;
    case CB_GETCOUNT: return std::intptr_t(c->items.size());
    case CB_GETCURSEL: return c->selection;
    case CB_SETCURSEL: {
      const auto i = std::intptr_t(wParam);
      c->selection = i >= 0 && i < std::intptr_t(c->items.size()) ? int(i) : -1;
      return c->selection < 0 ? CB_ERR : c->selection;
    }
    default: return CB_ERR;
  }
}

bool SetDlgItemText(HWND dlg, int id, const std::string& text) {
  Control* c = Find(dlg, id);
  if (!c) return false;
  if (Control* s = SpinnerOf(c)) {
    s->spinner.SetValue(float(std::atof(text.c_str())), false);
    return true;
  }
  c->text = text;
  return true;
}

std::string GetDlgItemText(HWND dlg, int id) {
  Control* c = Find(dlg, id);
  if (!c) return "";
  if (Control* s = SpinnerOf(c)) return FormatValue(s->spinner);
  switch (c->kind) {
    case ControlKind::DropDownList:
      return c->selection >= 0 ? c->items[std::size_t(c->selection)] : "";
    case ControlKind::StaticText: return c->text;  // set by the program: shown as is
    default: return WithoutMnemonics(c->text);
  }
}

std::vector<DlgItemInfo> GetDlgItems(HWND dlg) {
  std::vector<DlgItemInfo> out;
  Dialog* d = AsDialog(dlg);
  if (!d) return out;
  for (const auto& c : d->controls)
    out.push_back({c->id, c->kind, c->id >= 0 ? GetDlgItemText(dlg, c->id) : WithoutMnemonics(c->text)});
  return out;
}

std::string GetDlgItemGroup(HWND dlg, int id) {
  Control* c = Find(dlg, id);
  return c ? WithoutMnemonics(c->group) : "";
}

bool GetDlgItemKind(HWND dlg, int id, ControlKind& kind) {
  Control* c = Find(dlg, id);
  if (c) kind = c->kind;
  return c != nullptr;
}

std::vector<std::string> GetDlgItemList(HWND dlg, int id) {
  Control* c = Find(dlg, id);
  return c ? c->items : std::vector<std::string>{};
}

ICustButton* GetICustButton(HWND ctrl) {
  Control* c = AsControl(ctrl);
  return c && c->kind == ControlKind::CustButton ? &c->button : nullptr;
}
void ReleaseICustButton(ICustButton*) {}

ISpinnerControl* GetISpinner(HWND ctrl) {
  Control* c = AsControl(ctrl);
  return c && c->kind == ControlKind::Spinner ? &c->spinner : nullptr;
}
void ReleaseISpinner(ISpinnerControl*) {}

COLORREF GetUIColor(int which) {
  // The default interface scheme's colour for an active command button (a light yellow).
  return which == COLOR_ACTIVE_COMMAND ? COLORREF(0x0074E6FF) : COLORREF(0x00C8C8C8);
}

// --- user actions

bool ClickDlgItem(HWND dlg, int id) {
  Control* c = Find(dlg, id);
  if (!c || (c->kind != ControlKind::PushButton && c->kind != ControlKind::CustButton)) return false;
  if (c->kind == ControlKind::CustButton && c->button.GetType() == CBT_CHECK)
    c->button.SetCheck(!c->button.IsChecked());
  Send(dlg, WM_COMMAND, MAKEWPARAM(unsigned(id), BN_CLICKED), reinterpret_cast<std::intptr_t>(c));
  return true;
}

bool SelectDlgItem(HWND dlg, int id, int index) {
  Control* c = Find(dlg, id);
  if (!c || c->kind != ControlKind::DropDownList || index < 0 || index >= int(c->items.size()))
    return false;
  c->selection = index;
  Send(dlg, WM_COMMAND, MAKEWPARAM(unsigned(id), CBN_SELCHANGE), reinterpret_cast<std::intptr_t>(c));
  return true;
}

bool SpinDlgItem(HWND dlg, int id, double value) {
  Control* s = SpinnerOf(Find(dlg, id));
  if (!s || std::isnan(value)) return false;
  s->spinner.SetValue(float(value), true);
  return true;
}

}  // namespace host
