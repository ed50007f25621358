#pragma once
// The host's core interface: the scene's nodes and texture maps, the current time and
// animation range, the prompt line and message log, and viewport redraws.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/inode.h"
#include "host/time.h"

namespace host {

constexpr int REDRAW_NORMAL = 1;
constexpr int REDRAW_INTERACTIVE = 2;

class Interface {
 public:
  Interface();
  ~Interface();

  // --- time
  TimeValue GetTime() const { return time_; }
  void SetTime(TimeValue t) { time_ = t; }
  Interval GetAnimRange() const { return range_; }
  void SetAnimRange(const Interval& r) { range_ = r; }

  // --- scene
  // Creates a node holding obj, named name (made unique), under the scene root.
  INode* CreateObjectNode(std::unique_ptr<Object> obj, const std::string& name);
  void DeleteNode(INode* node);
  INode* GetINodeByName(const std::string& name) const;
  INode* GetINodeByHandle(ULONG handle) const;
  // Every node in creation order.
  const std::vector<std::unique_ptr<INode>>& Nodes() const { return nodes_; }
  // Empties the scene, the undo stacks and the message state; time back to 0.
  void ResetScene();
  // Next handle a node will get (saved scenes restore it).
  ULONG NextHandle() const { return nextHandle_; }
  void SetNextHandle(ULONG h) { nextHandle_ = h; }
  // Creates a node with a given handle (loading a saved scene); nullptr when taken.
  INode* CreateNodeWithHandle(ULONG handle, const std::string& name);
  // Texture maps owned by the scene (parameters reference them); freed by ResetScene.
  Texmap* AddTexmap(std::unique_ptr<Texmap> map);
  const std::vector<std::unique_ptr<Texmap>>& Texmaps() const { return texmaps_; }

  // --- prompt line and messages
  void PushPrompt(const std::string& s);
  void PopPrompt();
  void ReplacePrompt(const std::string& s);
  std::string GetPrompt() const { return prompts_.empty() ? "" : prompts_.back(); }
  // Appends a line to the message log.
  void LogMessage(const std::string& s);
  const std::vector<std::string>& MessageLog() const { return log_; }
  // Where the prompt line and log go as they change (the command-line host prints them).
  using Sink = std::function<void(const std::string& kind, const std::string& text)>;
  void SetSink(Sink sink) { sink_ = std::move(sink); }

  // --- viewports
  void RedrawViews(TimeValue t, int type = REDRAW_NORMAL);
  int RedrawCount() const { return redraws_; }

 private:
  void Emit(const char* kind, const std::string& text);

  TimeValue time_ = 0;
  Interval range_{0, 100 * 160};
  std::vector<std::unique_ptr<INode>> nodes_;
  std::vector<std::unique_ptr<Texmap>> texmaps_;
  ULONG nextHandle_ = 1;
  std::vector<std::string> prompts_;
  std::vector<std::string> log_;
  Sink sink_;
  int redraws_ = 0;
};

Interface* GetCOREInterface();

}  // namespace host
