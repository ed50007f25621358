#include "host/interface.h"

#include <algorithm>

#include "host/undo.h"

namespace host {

Interface::Interface() : active_(std::make_unique<ViewExp>()), dead_(std::make_unique<ViewExp>()) {
  active_->SetSize(960, 540);
  dead_->SetAlive(false);
}
Interface::~Interface() { ResetScene(); }

Interface* GetCOREInterface() {
  // Never destroyed: objects in the scene run module code, which may already be unloaded
  // when static destructors run at process exit.
  static Interface* ip = new Interface;
  return ip;
}

INode* Interface::CreateObjectNode(std::unique_ptr<Object> obj, const std::string& name) {
  std::string unique = name.empty() ? "Object" : name;
  for (int n = 1; GetINodeByName(unique); ++n) unique = name + std::to_string(n);
  INode* node = CreateNodeWithHandle(nextHandle_, unique);
  node->SetObjectRef(std::move(obj));
  return node;
}

INode* Interface::CreateNodeWithHandle(ULONG handle, const std::string& name) {
  if (GetINodeByHandle(handle)) return nullptr;
  nodes_.push_back(std::make_unique<INode>(handle, name));
  nextHandle_ = std::max(nextHandle_, handle + 1);
  return nodes_.back().get();
}

Texmap* Interface::AddTexmap(std::unique_ptr<Texmap> map) {
  if (!map) return nullptr;
  texmaps_.push_back(std::move(map));
  return texmaps_.back().get();
}

Mtl* Interface::AddMtl(std::unique_ptr<Mtl> mtl) {
  if (!mtl) return nullptr;
  mtls_.push_back(std::move(mtl));
  return mtls_.back().get();
}

Point3 Interface::GetBackGround(TimeValue, Interval&) const { return background_; }
void Interface::SetBackGround(TimeValue, const Point3& colour) { background_ = colour; }

void Interface::DeleteNode(INode* node) {
  auto it = std::find_if(nodes_.begin(), nodes_.end(),
                         [node](const std::unique_ptr<INode>& n) { return n.get() == node; });
  if (it == nodes_.end()) return;
  std::unique_ptr<INode> doomed = std::move(*it);
  nodes_.erase(it);
  doomed.reset();
}

INode* Interface::GetINodeByName(const std::string& name) const {
  for (const auto& n : nodes_)
    if (n->GetName() == name) return n.get();
  return nullptr;
}

INode* Interface::GetINodeByHandle(ULONG handle) const {
  for (const auto& n : nodes_)
    if (n->GetHandle() == handle) return n.get();
  return nullptr;
}

void Interface::ResetScene() {
  // Modes may hold on to scene objects: leave them before the objects go.
  if (CommandMode* current = GetCommandMode()) {
    modes_.clear();
    current->ExitMode();
  }
  modes_.clear();
  theHold.ClearStacks();
  // Objects first (they reference other nodes), then the nodes, newest first.
  for (auto it = nodes_.rbegin(); it != nodes_.rend(); ++it) (*it)->SetObjectRef(nullptr);
  while (!nodes_.empty()) nodes_.pop_back();
  // Materials, then maps: whatever referenced them is gone by now.
  while (!mtls_.empty()) mtls_.pop_back();
  while (!texmaps_.empty()) texmaps_.pop_back();
  background_ = Point3(0, 0, 0);
  rendOutput_.clear();
  nextHandle_ = 1;
  time_ = 0;
  prompts_.clear();
  log_.clear();
  redraws_ = 0;
}

void Interface::Emit(const char* kind, const std::string& text) {
  if (sink_) sink_(kind, text);
}

void Interface::PushPrompt(const std::string& s) {
  prompts_.push_back(s);
  Emit("prompt", s);
}

void Interface::PopPrompt() {
  if (!prompts_.empty()) prompts_.pop_back();
}

void Interface::ReplacePrompt(const std::string& s) {
  if (prompts_.empty()) prompts_.push_back(s);
  else prompts_.back() = s;
  Emit("prompt", s);
}

void Interface::LogMessage(const std::string& s) {
  log_.push_back(s);
  Emit("log", s);
}

void Interface::RedrawViews(TimeValue, int) { ++redraws_; }

ViewExp& Interface::GetViewExp(HWND hwnd) {
  return hwnd && hwnd == active_->GetHWnd() ? *active_ : *dead_;
}

void Interface::SetActiveViewport(const ViewCamera& cam, int width, int height) {
  active_->SetCamera(cam);
  active_->SetSize(width, height);
}

void Interface::PushCommandMode(CommandMode* m) {
  if (!m || GetCommandMode() == m) return;
  CommandMode* old = GetCommandMode();
  modes_.push_back(m);
  if (old) old->ExitMode();
  m->EnterMode();
}

void Interface::DeleteMode(CommandMode* m) {
  if (!m || std::find(modes_.begin(), modes_.end(), m) == modes_.end()) return;
  const bool wasCurrent = GetCommandMode() == m;
  // The stack changes first, so a mode that deletes itself again in ExitMode does nothing.
  modes_.erase(std::remove(modes_.begin(), modes_.end(), m), modes_.end());
  if (!wasCurrent) return;
  m->ExitMode();
  if (CommandMode* below = GetCommandMode()) below->EnterMode();
}

int Interface::SendMouse(int msg, int point, int flags, IPoint2 m) {
  CommandMode* mode = GetCommandMode();
  if (!mode) return 0;
  int points = 0;
  MouseCallBack* cb = mode->MouseProc(&points);
  return cb ? cb->proc(active_->GetHWnd(), msg, point, flags, m) : 0;
}

void Interface::RegisterViewportDisplayCallback(bool preScene, ViewportDisplayCallback* cb) {
  auto& list = preScene ? preCallbacks_ : postCallbacks_;
  if (cb && std::find(list.begin(), list.end(), cb) == list.end()) list.push_back(cb);
}

void Interface::UnRegisterViewportDisplayCallback(bool preScene, ViewportDisplayCallback* cb) {
  auto& list = preScene ? preCallbacks_ : postCallbacks_;
  list.erase(std::remove(list.begin(), list.end(), cb), list.end());
}

}  // namespace host
