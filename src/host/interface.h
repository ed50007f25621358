#pragma once
// The host's core interface: the scene's nodes and texture maps, the current time and
// animation range, the prompt line and message log, the active viewport and redraws, the
// command-mode stack and the viewport display callbacks.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/command_mode.h"
#include "host/inode.h"
#include "host/time.h"
#include "host/viewport.h"

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
  // Whether the animation is playing (the play button).
  bool IsAnimPlaying() const { return playing_; }
  void StartAnimPlayback(int /*selOnly*/ = 0) { playing_ = true; }
  void EndAnimPlayback() { playing_ = false; }

  // --- scene
  // Creates a node holding obj, named name (made unique), under the scene root.
  INode* CreateObjectNode(std::unique_ptr<Object> obj, const std::string& name);
  void DeleteNode(INode* node);
  INode* GetINodeByName(const std::string& name) const;
  INode* GetINodeByHandle(ULONG handle) const;
  // Every node in creation order.
  const std::vector<std::unique_ptr<INode>>& Nodes() const { return nodes_; }
  // Empties the scene, the undo stacks and the message state and leaves every command mode;
  // time back to 0. The viewports and display callbacks stay.
  void ResetScene();
  // Next handle a node will get (saved scenes restore it).
  ULONG NextHandle() const { return nextHandle_; }
  void SetNextHandle(ULONG h) { nextHandle_ = h; }
  // Creates a node with a given handle (loading a saved scene); nullptr when taken.
  INode* CreateNodeWithHandle(ULONG handle, const std::string& name);
  // Texture maps owned by the scene (parameters reference them); freed by ResetScene.
  Texmap* AddTexmap(std::unique_ptr<Texmap> map);
  const std::vector<std::unique_ptr<Texmap>>& Texmaps() const { return texmaps_; }
  // Materials owned by the scene (nodes and multi-materials reference them); freed by
  // ResetScene.
  Mtl* AddMtl(std::unique_ptr<Mtl> mtl);
  const std::vector<std::unique_ptr<Mtl>>& Mtls() const { return mtls_; }

  // --- rendering
  // The scene's background colour at t (black until set).
  Point3 GetBackGround(TimeValue t, Interval& valid) const;
  void SetBackGround(TimeValue t, const Point3& colour);
  // The file the render output is saved to (empty: none).
  const std::string& GetRendOutputFilename() const { return rendOutput_; }
  void SetRendOutputFilename(std::string path) { rendOutput_ = std::move(path); }

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
  // The active viewport: alive, 960 x 540 pixels, a perspective view until one is set.
  ViewExp& GetActiveViewExp() { return *active_; }
  // The viewport of window hwnd; a viewport that is not alive for any other window.
  ViewExp& GetViewExp(HWND hwnd);
  void SetActiveViewport(const ViewCamera& cam, int width, int height);

  // --- command modes: a stack whose top is the current mode
  // Exits the current mode and enters m (nothing when m is already current).
  void PushCommandMode(CommandMode* m);
  // Removes m from the stack; when it was current it exits and the mode below enters.
  void DeleteMode(CommandMode* m);
  CommandMode* GetCommandMode() const { return modes_.empty() ? nullptr : modes_.back(); }
  // Hands a mouse event in the active viewport to the current mode's mouse callback and
  // returns its result; 0 without a mode or callback.
  int SendMouse(int msg, int point, int flags, IPoint2 m);

  // --- viewport display callbacks (pre-scene ones draw before the scene, others after)
  void RegisterViewportDisplayCallback(bool preScene, ViewportDisplayCallback* cb);
  void UnRegisterViewportDisplayCallback(bool preScene, ViewportDisplayCallback* cb);
  const std::vector<ViewportDisplayCallback*>& ViewportDisplayCallbacks(bool preScene) const {
    return preScene ? preCallbacks_ : postCallbacks_;
  }

 private:
  void Emit(const char* kind, const std::string& text);

  TimeValue time_ = 0;
  Interval range_{0, 100 * 160};
  bool playing_ = false;
  std::vector<std::unique_ptr<INode>> nodes_;
  std::vector<std::unique_ptr<Texmap>> texmaps_;
  std::vector<std::unique_ptr<Mtl>> mtls_;
  Point3 background_{0, 0, 0};
  std::string rendOutput_;
  ULONG nextHandle_ = 1;
  std::vector<std::string> prompts_;
  std::vector<std::string> log_;
  Sink sink_;
  int redraws_ = 0;
  std::unique_ptr<ViewExp> active_, dead_;
  std::vector<CommandMode*> modes_;
  std::vector<ViewportDisplayCallback*> preCallbacks_, postCallbacks_;
};

Interface* GetCOREInterface();

}  // namespace host
