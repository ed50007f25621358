// The modify panel of the interface: which object has its parameters open, its rollup pages,
// and the directories the host reports.
#include <algorithm>

#include "host/dialog.h"
#include "host/interface.h"
#include "host/object.h"
#include "host/platform.h"

namespace host {

void Interface::OpenInModifyPanel(INode* node) {
  Animatable* next = node ? node->GetObjectRef() : nullptr;
  if (next == edited_) {
    editedNode_ = next ? node : nullptr;
    return;
  }
  Animatable* prev = edited_;
  // Cleared first, so an object that looks while closing finds nothing open.
  edited_ = nullptr;
  editedNode_ = nullptr;
  if (prev) prev->EndEditParams(this, 0, next);
  if (!next) return;
  edited_ = next;
  editedNode_ = node;
  next->BeginEditParams(this, 0, prev);
}

HWND Interface::AddRollupPage(void*, const DialogTemplate& tmpl, DlgProc proc,
                              const std::string& title, std::intptr_t param, unsigned,
                              int category) {
  HWND hwnd = CreateDialogParam(tmpl, proc, param);
  // Stable among equal categories: a page goes after those of its category already there.
  auto at = std::find_if(rollups_.begin(), rollups_.end(),
                         [&](const RollupPage& p) { return p.category > category; });
  rollups_.insert(at, RollupPage{hwnd, title, category});
  return hwnd;
}

void Interface::DeleteRollupPage(HWND hwnd) {
  auto it = std::find_if(rollups_.begin(), rollups_.end(),
                         [&](const RollupPage& p) { return p.hwnd == hwnd; });
  if (it == rollups_.end()) return;
  rollups_.erase(it);
  DestroyDialog(hwnd);
}

std::vector<RollupPage> Interface::RollupPages() const { return rollups_; }

std::string Interface::GetDir(int which) const {
  auto it = dirs_.find(which);
  if (it != dirs_.end()) return it->second;
  std::string dir;
  if (which == APP_USER_MACRO_DIR && GetEnvironmentVariable("CRINEL_MACRO_DIR", &dir)) return dir;
  return "";
}

}  // namespace host
