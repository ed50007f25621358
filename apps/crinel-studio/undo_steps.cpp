#include "crinel-studio/undo_steps.h"

#include <cstring>

#include "host/undo.h"

namespace crn::studio {

using namespace host;

namespace {

// A flag of a node, put back and forth.
class NodeFlagRestore : public RestoreObj {
 public:
  NodeFlagRestore(INode& node, bool (INode::*get)() const, void (INode::*set)(bool), std::string name)
      : node_(node), set_(set), before_((node.*get)()), name_(std::move(name)) {}
  void Restore(int) override { (node_.*set_)(before_); }
  void Redo() override { (node_.*set_)(!before_); }
  std::string Description() override { return name_; }

 private:
  INode& node_;
  void (INode::*set_)(bool);
  bool before_;
  std::string name_;
};

class RenderSettingsRestore : public RestoreObj {
 public:
  RenderSettingsRestore(const RenderSettings& before, const RenderSettings& after) : before_(before), after_(after) {}
  void Restore(int) override { GetRenderSettings() = before_; }
  void Redo() override { GetRenderSettings() = after_; }
  int Size() override { return int(sizeof(RenderSettings) * 2); }
  std::string Description() override { return "renderer settings"; }

 private:
  RenderSettings before_, after_;
};

void FlagStep(INode& node, bool on, bool (INode::*get)() const, void (INode::*set)(bool), const std::string& name) {
  if ((node.*get)() == on) return;
  theHold.Begin();
  theHold.Put(new NodeFlagRestore(node, get, set, name));
  (node.*set)(on);
  theHold.Accept(name);
}

}  // namespace

void SetNodeHidden(INode& node, bool hidden) {
  FlagStep(node, hidden, &INode::IsHidden, &INode::Hide, (hidden ? "Hide " : "Unhide ") + node.GetName());
}

void SetNodeRenderable(INode& node, bool renderable) {
  FlagStep(node, renderable, &INode::Renderable, &INode::SetRenderable,
           (renderable ? "Renderable " : "Not renderable ") + node.GetName());
}

void RecordRenderSettingsEdit(const RenderSettings& before, const std::string& setting) {
  const RenderSettings& now = GetRenderSettings();
  if (std::memcmp(&before, &now, sizeof before) == 0) return;
  theHold.Begin();
  theHold.Put(new RenderSettingsRestore(before, now));
  theHold.Accept("Renderer setting " + setting);
}

}  // namespace crn::studio
