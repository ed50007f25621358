#include "crinel-studio/studio_app.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <vector>

#define GL_GLEXT_PROTOTYPES 1
#define GLFW_INCLUDE_NONE
#include <GL/gl.h>
#include <GL/glext.h>
#include <GLFW/glfw3.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl3.h>
#include <imgui.h>

#include "crinel-studio/event_script.h"
#include "crinel-studio/file_browser.h"
#include "crinel-studio/frame_capture.h"
#include "crinel-studio/gl_viewport.h"
#include "crinel-studio/live_view_window.h"
#include "crinel-studio/rollup_pages.h"
#include "crinel-studio/rollout_panel.h"
#include "crinel-studio/undo_steps.h"
#include "crinel-studio/view_navigation.h"
#include "crinel-studio/viewport_pick.h"
#include "groom/brush_mode.h"
#include "groom/brush_ops.h"
#include "groom/brush_state.h"
#include "groom/script_ops.h"
#include "groom/tools_panel.h"
#include "host/file_dialog.h"
#include "host/keyboard.h"
#include "host/message_box.h"
#include "host/timers.h"
#include "host/undo.h"
#include "render/live_view_window.h"
#include "render/render_settings.h"
#include "resources/tools_rollout.h"
#include "scene/png_file.h"
#include "scene/scene_file.h"
#include "scene/values.h"
#include "scene/viewport_render.h"
#include "scene/viewport_setup.h"

namespace crn::studio {

using namespace host;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

// Running timings of one kind of work.
struct Timing {
  double total = 0, worst = 0;
  int count = 0;
  void Add(double ms) {
    total += ms;
    worst = std::max(worst, ms);
    ++count;
  }
  double Mean() const { return count ? total / count : 0; }
};

// The replayed mouse: overrides what the window system reports.
struct ScriptedMouse {
  bool active = false;
  ImVec2 pos{-1, -1};
  bool down[3] = {false, false, false};
  float wheel = 0;  // notches for the next frame
};

class Studio {
 public:
  Studio(GLFWwindow* window, const StudioOptions& o)
      : window_(window), options_(o), ip_(*GetCOREInterface()), live_(window) {
    ip_.SetSink([this](const std::string& kind, const std::string& text) {
      if (kind == "prompt") prompt_ = text;
      else status_ = text;
    });
    // The module's message boxes show as the studio's own.
    host::SetMessageBoxSink([this](const std::string& text, const std::string& caption, int) {
      ShowError(caption.empty() ? "Crinel" : caption, text);
    });
    // The module's file dialogs and questions are answered here: from the session's `answer`
    // events when a session plays, else by the user in a dialog that runs frames of its own.
    host::SetFileDialogProvider([this](bool save, host::OPENFILENAME& ofn) { return AnswerFileDialog(save, ofn); });
    host::SetMessageBoxAnswerer([this](const std::string& text, const std::string& caption, int) {
      return AskYesNo(caption, text) ? host::IDYES : host::IDNO;
    });
    // A long action (range simulation, PRT export) dispatches the pending messages with its
    // progress: the window is drawn and read then, and Escape (or closing the window) cancels.
    host::SetPendingMessagePump([this] { PumpDuringAction(); });
    host::SetAsyncKeyStateSource([this](int vk) { return vk == int(host::VK_ESCAPE) && EscapeDown(); });
    glfwSetInputMode(window_, GLFW_STICKY_KEYS, GLFW_TRUE);  // a short press between two reports counts
    glGenTextures(1, &viewTexture_);
    glBindTexture(GL_TEXTURE_2D, viewTexture_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glGenFramebuffers(1, &viewFramebuffer_);
    ip_.SetActiveViewport(ip_.GetActiveViewExp().Camera(), 800, 600);
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const std::string name = renderer ? renderer : "";
    const bool softwareGl = name.find("llvmpipe") != std::string::npos ||
                            name.find("softpipe") != std::string::npos || name.find("swrast") != std::string::npos;
    if (o.viewport == "gl" || (o.viewport == "auto" && !softwareGl)) {
      gl_ = std::make_unique<GlViewport>();
      if (!gl_->Ready()) {
        std::cerr << "crinel-studio: the OpenGL viewport is unavailable; drawing in software\n";
        gl_.reset();
      }
    }
  }
  ~Studio() {
    gl_.reset();
    glDeleteFramebuffers(1, &viewFramebuffer_);
    glDeleteTextures(1, &viewTexture_);
    ip_.SetSink(nullptr);
    host::SetMessageBoxSink(nullptr);
    host::SetMessageBoxAnswerer(nullptr);
    host::SetFileDialogProvider(nullptr);
    host::SetPendingMessagePump(nullptr);
    host::SetAsyncKeyStateSource(nullptr);
    ip_.OpenInModifyPanel(nullptr);
    if (live_.IsOpen()) DestroyLiveViewWindow();
    live_.Update();  // its desktop window goes too
  }

  bool Open(const std::string& path) {
    if (Brush().brushModeActive) ToggleBrushMode(nullptr);
    rollouts_.pick = {};
    ip_.OpenInModifyPanel(nullptr);
    actions_.clear();
    // The old scene's render items go with its nodes.
    viewItems_.Clear();
    if (gl_) gl_->ForgetItems();
    const scene::SceneLoad r = scene::LoadAnyScene(path, ip_);
    selected_ = nullptr;
    if (!r.ok) {
      ShowError("Open failed", r.error);
      scenePath_.clear();
      return false;
    }
    for (const std::string& w : r.warnings) std::cerr << "warning: " << w << '\n';
    scenePath_ = path;
    savedAsBinary_ = IsBinaryScene(path);
    scene::SetActiveView(ip_, scene::ViewKind::Persp);
    for (const auto& n : ip_.Nodes())
      if (HairObjectOf(n.get())) {
        SelectNode(n.get());
        break;
      }
    status_ = "Opened " + path;
    dirty_ = true;
    return true;
  }

  bool SaveAs(const std::string& path) {
    std::string error;
    if (!scene::SaveScene(path, ip_, error)) {
      ShowError("Save failed", error);
      return false;
    }
    scenePath_ = path;
    savedAsBinary_ = true;
    status_ = "Saved " + path;
    return true;
  }

  // One frame: input, panels, drawing. False once the window should close.
  bool Frame(ScriptedMouse& mouse) {
    glfwPollEvents();
    if (glfwWindowShouldClose(window_)) return false;
    inFrame_ = true;
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplGlfw_NewFrame();
    ImGuiIO& io = ImGui::GetIO();
    if (mouse.active) {
      io.MousePos = mouse.pos;
      for (int b = 0; b < 3; ++b) io.MouseDown[b] = mouse.down[b];
      io.MouseWheel = mouse.wheel;
    }
    mouse.wheel = 0;
    ImGui::NewFrame();
    if (busy_) {
      // The scene is being worked on: shown, not edited.
      ImGui::BeginDisabled();
      DrawMenu();
      DrawLayout();
      ImGui::EndDisabled();
      DrawBusyNote();
    } else {
      Shortcuts();
      Play();
      DrawMenu();
      DrawLayout();
    }
    if (!busy_ && browser_.Draw(browserPath_)) {
      if (browserForHost_) hostDialogPath_ = browserPath_;
      else if (browserSaves_) SaveAs(browserPath_);
      else Open(browserPath_);
    }
    DrawQuestion();
    live_.Update();
    if (!live_.ScreenshotError().empty()) {
      std::cerr << "crinel-studio: " << live_.ScreenshotError() << '\n';
      failed_ = true;
    }
    DrawMessageBox();
    ImGui::Render();
    int fw, fh;
    glfwGetFramebufferSize(window_, &fw, &fh);
    glViewport(0, 0, fw, fh);
    glClearColor(0.12f, 0.12f, 0.13f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    CopyViewportPicture(fh);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    inFrame_ = false;
    // A replayed screenshot shows the frame its event led to.
    if (!screenshotAfterFrame_.empty()) {
      std::string error;
      if (!Screenshot(screenshotAfterFrame_, error)) {
        std::cerr << "crinel-studio: " << error << '\n';
        failed_ = true;
      }
      screenshotAfterFrame_.clear();
    }
    return true;
  }

  void Present() { glfwSwapBuffers(window_); }

  // With nothing to play, redraw or do, sleep until an input event, the next host timer (live
  // mode's repaints) or, at the longest, half a second (text cursors blink); the live view
  // window, when open, is shown 30 times a second. What woke the loop gets two frames, so the
  // panels settle on what it changed. True when it waited.
  bool WaitWhileIdle() {
    const bool active = EventsLeft() || ip_.IsAnimPlaying() || dirty_ || !actions_.empty() ||
                        ip_.RedrawCount() != seenRedraws_ || ip_.GetTime() != seenTime_;
    if (active) {
      settleFrames_ = 2;
      return false;
    }
    if (settleFrames_ > 0) {
      --settleFrames_;
      return false;
    }
    double wait = live_.IsOpen() ? 0.033 : 0.5;
    const int due = NextTimerDueIn();
    if (due >= 0) wait = std::min(wait, double(due) / 1000.0);
    if (wait > 0) glfwWaitEventsTimeout(wait);
    settleFrames_ = 1;
    return true;
  }

  // The control actions of the last frame, done between frames (they may run dialogs).
  void RunActions() {
    std::vector<DialogAction> todo;
    todo.swap(actions_);
    for (const DialogAction& a : todo) {
      // Each action starts with Escape up: a press before it cancels nothing.
      scriptEscape_ = false;
      glfwGetKey(window_, GLFW_KEY_ESCAPE);
      inAction_ = true;
      DoDialogAction(a);
      inAction_ = false;
      actions_.clear();  // nothing else is clicked while an action runs
    }
    if (!todo.empty()) dirty_ = true;
    if (rollouts_.map.Active()) ChooseMap();
  }

  // The pressed map slot gets an image chosen in a file dialog.
  void ChooseMap() {
    const PendingMapSlot slot = rollouts_.map;
    rollouts_.map = {};
    host::OPENFILENAME ofn;
    ofn.title = "Choose an image for the map";
    ofn.filters = {{"Images (*.png, *.jpg, *.jpeg)", "*.png;*.jpg;*.jpeg"}, {"All files", "*.*"}};
    ofn.flags = host::OFN_FILEMUSTEXIST;
    if (Texmap* m = slot.block->GetTexmap(slot.id, ip_.GetTime()))
      if (auto* bitmap = dynamic_cast<BitmapTex*>(m)) ofn.file = bitmap->FileName();
    if (!host::GetOpenFileName(ofn)) return;
    const std::string error = AssignMap(ip_, *slot.block, slot.id, &ofn.file);
    if (!error.empty()) ShowError("Map not loaded", error);
    else status_ = "Map: " + ofn.file;
    dirty_ = true;
  }

  // The replayed session: one event a frame, also in the frames a long action draws.
  void SetScript(std::vector<ScriptEvent> events, const std::string& path) {
    events_ = std::move(events);
    scriptPath_ = path;
    playing_ = !events_.empty();
  }
  bool Replaying() const { return !events_.empty(); }
  bool EventsLeft() const { return next_ < events_.size(); }
  bool Failed() const { return failed_; }
  ScriptedMouse& Mouse() { return mouse_; }
  // Plays the next event; false (the error printed with its line) when it fails.
  bool PlayNextEvent() {
    const ScriptEvent& e = events_[next_++];
    std::string error;
    if (Apply(e, mouse_, error)) return true;
    std::cerr << "crinel-studio: " << scriptPath_ << ":" << e.line << ": " << error << '\n';
    failed_ = true;
    return false;
  }

  // Plays one replayed event (mouse state changes take effect in the next frame).
  bool Apply(const ScriptEvent& e, ScriptedMouse& mouse, std::string& error) {
    auto num = [&](std::size_t i) { return float(std::atof(e.args[i].c_str())); };
    auto button = [&]() {
      const std::string b = e.args.empty() ? "left" : e.args[0];
      return b == "right" ? 1 : b == "middle" ? 2 : 0;
    };
    mouse.active = true;
    if (busy_ && !PlayableWhileBusy(e))
      return Fail(error, "\"" + e.verb + (e.args.empty() ? "" : " " + e.args[0]) +
                             "\" cannot be played while a long action runs (only frames, mouse, key escape, expect and screenshot)");
    if (e.verb == "frames") return true;
    if (e.verb == "move") mouse.pos = ImVec2(num(0), num(1));
    else if (e.verb == "wheel") {
      mouse.pos = ImVec2(num(0), num(1));
      mouse.wheel = num(2);
    }
    else if (e.verb == "vmove") mouse.pos = ImVec2(viewOrigin_.x + num(0), viewOrigin_.y + num(1));
    else if (e.verb == "press") mouse.down[button()] = true;
    else if (e.verb == "release") mouse.down[button()] = false;
    else if (e.verb == "key") return Key(e.args[0], error);
    else if (e.verb == "select" || e.verb == "brush") {
      INode* n = ip_.GetINodeByName(e.args[0]);
      if (!n) return Fail(error, "no node named \"" + e.args[0] + "\"");
      SelectNode(n);
      if (e.verb == "brush") {
        if (!HairObjectOf(n)) return Fail(error, "\"" + e.args[0] + "\" is not a hair object");
        PressBrushButton();
      }
    } else if (e.verb == "brushKind") SetBrushKind(int(num(0)));
    else if (e.verb == "brushSize") SetBrushRadius(num(0));
    else if (e.verb == "brushStrength") SetBrushStrength(num(0));
    else if (e.verb == "param") return ScriptedParam(e, error);
    else if (e.verb == "view") return SetView(e.args[0], error);
    else if (e.verb == "time") SetFrame(num(0));
    else if (e.verb == "play") ip_.StartAnimPlayback();
    else if (e.verb == "stop") ip_.EndAnimPlayback();
    else if (e.verb == "open") return Open(e.args[0]) || Fail(error, status_);
    else if (e.verb == "saveas") return SaveAs(e.args[0]) || Fail(error, status_);
    else if (e.verb == "screenshot") screenshotAfterFrame_ = e.args[0];
    else if (e.verb == "hide" || e.verb == "renderable") {
      INode* n = ip_.GetINodeByName(e.args[0]);
      if (!n) return Fail(error, "no node named \"" + e.args[0] + "\"");
      if (e.verb == "hide") ToggleHidden(*n);
      else ToggleRenderable(*n);
    } else if (e.verb == "map" || e.verb == "mapclear") {
      scene::ParamRef ref;
      if (!FindNodeParam(e.args[0], e.args[1], ref, error)) return false;
      if (ref.def->type != TYPE_TEXMAP) return Fail(error, "\"" + e.args[1] + "\" is not a map slot");
      if (e.verb == "map") rollouts_.map = {ref.block, ref.def->id};
      else if (const std::string refused = AssignMap(ip_, *ref.block, ref.def->id, nullptr); !refused.empty())
        return Fail(error, refused);
      dirty_ = true;
    } else if (e.verb == "renderer") {
      return SetRenderSetting(e.args[0], e.args[1]) ||
             Fail(error, "no renderer setting \"" + e.args[0] + "\" (passes, denoise, exposure, environment, saveLayers, layersPath)");
    }
    else if (e.verb == "live") live_.Open();
    else if (e.verb == "livekey") return live_.PressKey(e.args[0]) || Fail(error, "the live view is not open or takes no key \"" + e.args[0] + "\"");
    else if (e.verb == "liveclose") live_.Close();
    else if (e.verb == "liveshot") return live_.ScreenshotNextFrame(e.args[0]) || Fail(error, "the live view is not open");
    else if (e.verb == "answer") answers_.push_back(e.args[0]);
    else if (e.verb == "tool") return ClickTool(e.args[0], error);
    else if (e.verb == "pick") return PressPicker(e.args[0], e.args[1], error);
    else if (e.verb == "expect") return Expect(e.args[0], e.args[1], error);
    return true;
  }

  // expect selected NODE | undo NAME: equal; expect tools TEXT: one of the Tools rollout's
  // texts (message line, simulation status) contains TEXT.
  bool Expect(const std::string& what, const std::string& want, std::string& error) {
    if (what == "live") {
      if (want == "closed" ? !live_.IsOpen() && live_.Title().empty() : live_.Title().find(want) != std::string::npos)
        return true;
      return Fail(error, "expected the live view's title to say \"" + want + "\", it is \"" + live_.Title() + "\"");
    }
    if (what == "tools") {
      std::string texts;
      for (const int id : {int(res::IDC_MESSAGE), int(res::IDC_SIM_STATUS)}) {
        const std::string text = ToolsPanelWindow() ? GetDlgItemText(ToolsPanelWindow(), id) : "";
        if (text.find(want) != std::string::npos) return true;
        texts += " \"" + text + "\"";
      }
      return Fail(error, "expected the Tools rollout to say \"" + want + "\", it says" + texts);
    }
    const std::string now = what == "selected" ? (selected_ ? selected_->GetName() : "") : theHold.UndoName();
    if (now != want) return Fail(error, "expected " + what + " \"" + want + "\", found \"" + now + "\"");
    return true;
  }

  static bool PlayableWhileBusy(const ScriptEvent& e) {
    for (const char* v : {"frames", "move", "vmove", "wheel", "press", "release", "expect", "screenshot"})
      if (e.verb == v) return true;
    return e.verb == "key" && e.args[0] == "escape";
  }

  // Called whenever a long action reports progress: reads the window system's events and,
  // about 30 times a second (every report while a session plays), draws a frame.
  void PumpDuringAction() {
    if (inFrame_ || !inAction_) return;
    glfwPollEvents();
    const bool replaying = EventsLeft() && !failed_;
    const auto now = Clock::now();
    if (!replaying && Ms(lastBusyFrame_, now) < 33) return;
    lastBusyFrame_ = now;
    busy_ = true;
    if (replaying) PlayNextEvent();
    if (Frame(mouse_)) Present();
    busy_ = false;
  }

  // Escape as a long action asks for it: held, pressed since the last question, a replayed
  // press, the window being closed or the replayed session failing.
  bool EscapeDown() {
    const bool replayed = scriptEscape_;
    scriptEscape_ = false;
    return replayed || glfwGetKey(window_, GLFW_KEY_ESCAPE) == GLFW_PRESS ||
           (inAction_ && (glfwWindowShouldClose(window_) || failed_));
  }

  void DrawBusyNote() {
    const HWND tools = ToolsPanelWindow();
    const std::string text = tools ? GetDlgItemText(tools, res::IDC_MESSAGE) : "";
    const ImGuiViewport* vp = ImGui::GetMainViewport();
    ImGui::SetNextWindowPos(ImVec2(vp->WorkPos.x + vp->WorkSize.x * 0.5f, vp->WorkPos.y + vp->WorkSize.y * 0.5f),
                            ImGuiCond_Always, ImVec2(0.5f, 0.5f));
    ImGui::SetNextWindowBgAlpha(0.85f);
    if (ImGui::Begin("##busy", nullptr, ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_AlwaysAutoResize |
                                            ImGuiWindowFlags_NoInputs | ImGuiWindowFlags_NoSavedSettings))
      ImGui::TextUnformatted(text.empty() ? "Working... (Esc cancels)" : text.c_str());
    ImGui::End();
  }

  bool Screenshot(const std::string& path, std::string& error) {
    int fw, fh;
    glfwGetFramebufferSize(window_, &fw, &fh);
    return SaveBackBufferPng(fw, fh, path, error);
  }

  void PrintStats() const {
    std::printf("frames %d: mean %.2f ms, worst %.2f ms\n", frameTime_.count, frameTime_.Mean(), frameTime_.worst);
    std::printf("frame to frame (drawn and shown) %d: mean %.2f ms (%.1f per second), worst %.2f ms\n",
                periodTime_.count, periodTime_.Mean(), periodTime_.Mean() > 0 ? 1000.0 / periodTime_.Mean() : 0.0,
                periodTime_.worst);
    std::printf("viewport draws %d: mean %.2f ms, worst %.2f ms\n", drawTime_.count, drawTime_.Mean(), drawTime_.worst);
    std::printf("brush dabs %d: mean %.2f ms, worst %.2f ms (with their redraw: mean %.2f ms, worst %.2f ms)\n",
                dabTime_.count, dabTime_.Mean(), dabTime_.worst, dabRedraw_.Mean(), dabRedraw_.worst);
  }
  void AddFrameTime(double ms) { frameTime_.Add(ms); }
  void AddPeriod(double ms) { periodTime_.Add(ms); }

 private:
  static bool Fail(std::string& error, const std::string& message) {
    error = message;
    return false;
  }
  static bool IsBinaryScene(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char magic[8] = {};
    const bool ok = std::fread(magic, 1, 8, f) == 8 && std::equal(magic, magic + 8, scene::kSceneMagic);
    std::fclose(f);
    return ok;
  }

  void ShowError(const std::string& title, const std::string& text) {
    status_ = text;
    messageTitle_ = title;
    messageText_ = text;
    std::cerr << title << ": " << text << '\n';
  }

  void DrawMessageBox() {
    if (messageTitle_.empty()) return;
    ImGui::OpenPopup(messageTitle_.c_str());
    if (ImGui::BeginPopupModal(messageTitle_.c_str(), nullptr, ImGuiWindowFlags_AlwaysAutoResize)) {
      ImGui::TextUnformatted(messageText_.c_str());
      if (ImGui::Button("OK", ImVec2(90, 0))) {
        messageTitle_.clear();
        ImGui::CloseCurrentPopup();
      }
      ImGui::EndPopup();
    }
  }

  // --- commands shared by the menus, keys and replayed sessions
  void Undo() {
    const std::string name = theHold.UndoName();
    if (theHold.Undo()) status_ = "Undo " + name;
    else status_ = "Nothing to undo";
    dirty_ = true;
  }
  void Redo() {
    if (theHold.Redo()) status_ = "Redo " + theHold.UndoName();
    else status_ = "Nothing to redo";
    dirty_ = true;
  }
  void Save() {
    if (!scenePath_.empty() && savedAsBinary_) SaveAs(scenePath_);
    else OpenSaveDialog();
  }
  void OpenSaveDialog() {
    fs::path p = scenePath_.empty() ? fs::current_path() / "untitled.crnscene" : fs::path(scenePath_);
    if (!savedAsBinary_) p.replace_extension(".crnscene");
    browserSaves_ = true;
    browser_.Open("Save scene as", p.parent_path(), true, p.filename().string());
  }
  void OpenOpenDialog() {
    browserSaves_ = false;
    browser_.Open("Open scene", scenePath_.empty() ? fs::current_path() : fs::path(scenePath_).parent_path(), false);
  }
  bool Key(const std::string& k, std::string& error) {
    if (k == "escape") scriptEscape_ = true;
    else if (k == "ctrl+z") Undo();
    else if (k == "ctrl+y") Redo();
    else if (k == "ctrl+s") Save();
    else if (k == "ctrl+o") OpenOpenDialog();
    else if (k == "space") TogglePlay();
    else return Fail(error, "unknown key " + k);
    return true;
  }
  void Shortcuts() {
    const ImGuiIO& io = ImGui::GetIO();
    if (io.WantTextInput || browser_.IsOpen()) return;
    if (io.KeyCtrl && ImGui::IsKeyPressed(GLFW_KEY_Z, false)) Undo();
    if (io.KeyCtrl && ImGui::IsKeyPressed(GLFW_KEY_Y, false)) Redo();
    if (io.KeyCtrl && ImGui::IsKeyPressed(GLFW_KEY_S, false)) Save();
    if (io.KeyCtrl && ImGui::IsKeyPressed(GLFW_KEY_O, false)) OpenOpenDialog();
  }
  void SelectNode(INode* n) {
    if (rollouts_.pick.Active()) {
      const std::string refused = CompletePick(ip_, rollouts_, n);
      status_ = refused.empty() ? "Picked " + (n ? n->GetName() : std::string("None")) : refused;
      dirty_ = true;
      return;
    }
    if (n != selected_) ip_.OpenInModifyPanel(n);
    selected_ = n;
  }
  void PressBrushButton() {
    const std::string s = ToggleBrushMode(HairObjectOf(selected_));
    if (!s.empty()) status_ = s;
    else if (!Brush().brushModeActive) status_ = "Brush off";
    dirty_ = true;
  }
  // The parameter named param of the node's object or material.
  bool FindNodeParam(const std::string& node, const std::string& param, scene::ParamRef& ref, std::string& error) {
    INode* n = ip_.GetINodeByName(node);
    if (!n) return Fail(error, "no node named \"" + node + "\"");
    for (ReferenceMaker* owner : {static_cast<ReferenceMaker*>(n->GetObjectRef()), static_cast<ReferenceMaker*>(n->GetMtl())})
      if ((ref = scene::FindParam(owner, param)).def) return true;
    return Fail(error, "node \"" + node + "\" has no parameter \"" + param + "\"");
  }
  bool ScriptedParam(const ScriptEvent& e, std::string& error) {
    scene::ParamRef ref;
    if (!FindNodeParam(e.args[0], e.args[1], ref, error)) return false;
    PBValue v;
    const std::string& text = e.args[2];
    switch (ref.def->type) {
      case TYPE_FLOAT: v = float(std::atof(text.c_str())); break;
      case TYPE_INT:
      case TYPE_BOOL: {
        const scene::ControlModel c = scene::ControlFor(*ref.block->GetDesc(), *ref.def);
        const auto item = std::find(c.items.begin(), c.items.end(), text);
        v = item != c.items.end() ? int(item - c.items.begin()) : text == "true" ? 1 : std::atoi(text.c_str());
        break;
      }
      case TYPE_RGBA: {
        float r = 0, g = 0, b = 0;
        if (std::sscanf(text.c_str(), "[%f,%f,%f]", &r, &g, &b) != 3) return Fail(error, "colours are [r,g,b]");
        v = Color(r, g, b);
        break;
      }
      case TYPE_INODE:
      case TYPE_INODE_TAB: v = ip_.GetINodeByName(text); break;
      default: v = text;
    }
    const scene::ControlEdit r = scene::ApplyControlEdit(*ref.block, ref.def->id, ip_.GetTime(), v);
    dirty_ = true;
    if (!r.Stored()) return Fail(error, r.message);
    return true;
  }
  // A click on the rollup page control showing text (a button's caption).
  bool ClickTool(const std::string& text, std::string& error) {
    for (const RollupPage& page : ip_.RollupPages())
      for (const DlgItemInfo& item : GetDlgItems(page.hwnd))
        if (item.id >= 0 && item.text == text) {
          actions_.push_back({DialogAction::Click, page.hwnd, item.id, 0});
          return true;
        }
    return Fail(error, "no control \"" + text + "\" in the open rollouts");
  }

  bool AnswerFileDialog(bool save, host::OPENFILENAME& ofn) {
    if (playing_) {
      if (answers_.empty() || answers_.front() == "cancel") {
        if (!answers_.empty()) answers_.erase(answers_.begin());
        return false;
      }
      ofn.file = answers_.front();
      answers_.erase(answers_.begin());
      return true;
    }
    const fs::path start = ofn.file.empty() ? fs::current_path() : fs::path(ofn.file);
    browserForHost_ = true;
    browser_.Open(ofn.title.empty() ? (save ? "Save" : "Open") : ofn.title,
                  start.has_parent_path() ? start.parent_path() : fs::current_path(), save, start.filename().string());
    hostDialogPath_.clear();
    while (browser_.IsOpen() && !glfwWindowShouldClose(window_)) {
      ScriptedMouse none;
      if (!Frame(none)) break;
      Present();
    }
    browserForHost_ = false;
    actions_.clear();  // nothing else is clicked while the dialog is up
    if (hostDialogPath_.empty()) return false;
    ofn.file = hostDialogPath_;
    return true;
  }

  bool AskYesNo(const std::string& caption, const std::string& text) {
    if (playing_) return true;
    question_ = {caption.empty() ? "Crinel" : caption, text};
    questionAnswer_ = 0;
    while (questionAnswer_ == 0 && !glfwWindowShouldClose(window_)) {
      ScriptedMouse none;
      if (!Frame(none)) break;
      Present();
    }
    actions_.clear();
    question_ = {};
    return questionAnswer_ == 1;
  }

  void DrawQuestion() {
    if (question_.first.empty()) return;
    const std::string id = question_.first + "###question";
    ImGui::OpenPopup(id.c_str());
    if (ImGui::BeginPopupModal(id.c_str(), nullptr, ImGuiWindowFlags_AlwaysAutoResize)) {
      ImGui::TextUnformatted(question_.second.c_str());
      if (ImGui::Button("Yes", ImVec2(90, 0))) questionAnswer_ = 1;
      ImGui::SameLine();
      if (ImGui::Button("No", ImVec2(90, 0))) questionAnswer_ = 2;
      ImGui::EndPopup();
    }
  }

  // The node-picker button of a parameter, as a click on it in the rollout.
  bool PressPicker(const std::string& nodeName, const std::string& param, std::string& error) {
    INode* n = ip_.GetINodeByName(nodeName);
    if (!n) return Fail(error, "no node named \"" + nodeName + "\"");
    const scene::ParamRef ref = scene::FindParam(n->GetObjectRef(), param);
    if (!ref.def || (ref.def->type != TYPE_INODE && ref.def->type != TYPE_INODE_TAB))
      return Fail(error, "\"" + param + "\" is not a node parameter of \"" + nodeName + "\"");
    rollouts_.pick = {ref.block, ref.def->id, scene::ControlFor(*ref.block->GetDesc(), *ref.def).label};
    return true;
  }
  bool SetView(const std::string& name, std::string& error) {
    scene::ViewKind kind;
    if (scene::ParseViewKind(name, kind)) {
      scene::SetActiveView(ip_, kind);
    } else if (INode* n = ip_.GetINodeByName(name)) {
      ip_.GetActiveViewExp().SetCamera(scene::NodeCamera(*n, ip_.GetTime()));
    } else {
      return Fail(error, "no view or camera node \"" + name + "\"");
    }
    dirty_ = true;
    return true;
  }
  int FrameOf(TimeValue t) const { return int(std::lround(TicksToFrames(t))); }
  void SetFrame(double frame) {
    const Interval r = ip_.GetAnimRange();
    ip_.SetTime(std::clamp(FramesToTicks(frame), r.Start(), r.End()));
    dirty_ = true;
  }
  void TogglePlay() {
    if (ip_.IsAnimPlaying()) ip_.EndAnimPlayback();
    else ip_.StartAnimPlayback();
  }
  // Playing advances at the scene's frame rate (a replayed session: one frame a frame, so
  // that it plays the same everywhere), wrapping at the end of the range.
  void Play() {
    if (!ip_.IsAnimPlaying()) {
      playClockStarted_ = false;
      return;
    }
    const auto now = Clock::now();
    int steps = 1;
    if (!playing_) {
      if (!playClockStarted_) {
        playClockStarted_ = true;
        playClock_ = now;
        return;
      }
      steps = int(Ms(playClock_, now) * GetFrameRate() / 1000.0);
      if (steps <= 0) return;
      playClock_ += std::chrono::microseconds(std::int64_t(steps * 1e6 / GetFrameRate()));
    }
    const Interval r = ip_.GetAnimRange();
    const int first = FrameOf(r.Start()), last = FrameOf(r.End());
    int next = FrameOf(ip_.GetTime()) + steps;
    if (next > last) next = first + (next - last - 1) % std::max(last - first + 1, 1);
    SetFrame(next);
  }

  // --- panels
  void DrawMenu() {
    if (!ImGui::BeginMainMenuBar()) return;
    if (ImGui::BeginMenu("File")) {
      if (ImGui::MenuItem("Open...", "Ctrl+O")) OpenOpenDialog();
      if (ImGui::MenuItem("Save", "Ctrl+S")) Save();
      if (ImGui::MenuItem("Save As...")) OpenSaveDialog();
      ImGui::Separator();
      if (ImGui::MenuItem("Quit")) glfwSetWindowShouldClose(window_, 1);
      ImGui::EndMenu();
    }
    if (ImGui::BeginMenu("Edit")) {
      const std::string undo = theHold.UndoCount() ? "Undo " + theHold.UndoName() : "Undo";
      if (ImGui::MenuItem(undo.c_str(), "Ctrl+Z", false, theHold.UndoCount() > 0)) Undo();
      if (ImGui::MenuItem("Redo", "Ctrl+Y", false, theHold.RedoCount() > 0)) Redo();
      ImGui::EndMenu();
    }
    if (ImGui::BeginMenu("Render")) {
      if (ImGui::MenuItem("Live view", nullptr, live_.IsOpen())) live_.Open();
      ImGui::EndMenu();
    }
    if (ImGui::BeginMenu("Views")) {
      std::string error;
      for (const char* v : {"persp", "front", "top", "left"})
        if (ImGui::MenuItem(v)) SetView(v, error);
      ImGui::Separator();
      for (const auto& n : ip_.Nodes())
        if (n->GetObjectRef() && n->GetObjectRef()->SuperClassID() == CAMERA_CLASS_ID &&
            ImGui::MenuItem(n->GetName().c_str()))
          SetView(n->GetName(), error);
      ImGui::EndMenu();
    }
    ImGui::EndMainMenuBar();
  }

  void DrawLayout() {
    const ImGuiViewport* vp = ImGui::GetMainViewport();
    const float left = 230, right = 380, bottom = 64;
    const ImVec2 o = vp->WorkPos, s = vp->WorkSize;
    const ImGuiWindowFlags fixed = ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoCollapse;
    ImGui::SetNextWindowPos(o);
    ImGui::SetNextWindowSize(ImVec2(left, s.y - bottom));
    if (ImGui::Begin("Scene", nullptr, fixed)) DrawNodeList();
    ImGui::End();
    ImGui::SetNextWindowPos(ImVec2(o.x + s.x - right, o.y));
    ImGui::SetNextWindowSize(ImVec2(right, s.y - bottom));
    if (ImGui::Begin("Modify", nullptr, fixed)) DrawModifyPanel();
    ImGui::End();
    ImGui::SetNextWindowPos(ImVec2(o.x + left, o.y));
    ImGui::SetNextWindowSize(ImVec2(s.x - left - right, s.y - bottom));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
    if (ImGui::Begin("Viewport", nullptr,
                     fixed | ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse | ImGuiWindowFlags_NoBackground))
      DrawViewportPane();
    ImGui::End();
    ImGui::PopStyleVar();
    ImGui::SetNextWindowPos(ImVec2(o.x, o.y + s.y - bottom));
    ImGui::SetNextWindowSize(ImVec2(s.x, bottom));
    if (ImGui::Begin("Time", nullptr, fixed | ImGuiWindowFlags_NoTitleBar)) DrawTimeBar();
    ImGui::End();
  }

  void DrawNodeList() {
    if (rollouts_.pick.Active())
      ImGui::TextColored(ImVec4(1, 0.8f, 0.3f, 1), "Pick a node for %s", rollouts_.pick.label.c_str());
    ImGui::TextDisabled("H: hidden   R: renders");
    for (const auto& n : ip_.Nodes()) {
      ImGui::PushID(n.get());
      bool hidden = n->IsHidden(), renders = n->Renderable();
      if (ImGui::Checkbox("##H", &hidden)) ToggleHidden(*n);
      ImGui::SameLine();
      if (ImGui::Checkbox("##R", &renders)) ToggleRenderable(*n);
      ImGui::SameLine();
      if (ImGui::Selectable(n->GetName().c_str(), selected_ == n.get())) SelectNode(n.get());
      ImGui::PopID();
    }
  }

  void DrawModifyPanel() {
    if (!selected_) {
      ImGui::TextDisabled("Select a node in the scene list.");
      DrawRenderSettings();
      return;
    }
    ImGui::Text("%s", selected_->GetName().c_str());
    const bool toolsRollout = !ip_.RollupPages().empty();
    if (HairObjectOf(selected_) && !toolsRollout) DrawBrushControls();
    rollouts_.changed = false;
    for (IParamBlock2* pb : scene::ParamBlocksOf(selected_->GetObjectRef()))
      DrawParamBlockRollouts(ip_, *pb, "object", rollouts_);
    if (Mtl* m = selected_->GetMtl()) {
      const auto blocks = scene::ParamBlocksOf(m);
      if (!blocks.empty()) {
        ImGui::Separator();
        ImGui::TextDisabled("Material");
        for (IParamBlock2* pb : blocks) DrawParamBlockRollouts(ip_, *pb, "material", rollouts_);
      }
    }
    DrawRollupPages(ip_, actions_);
    if (rollouts_.changed) dirty_ = true;
    if (!rollouts_.status.empty()) status_ = rollouts_.status, rollouts_.status.clear();
    DrawRenderSettings();
  }

  void DrawBrushControls() {
    if (!ImGui::CollapsingHeader("Brush", ImGuiTreeNodeFlags_DefaultOpen)) return;
    BrushState& b = Brush();
    const bool on = b.brushModeActive;
    if (on) ImGui::PushStyleColor(ImGuiCol_Button, ImVec4(0.75f, 0.55f, 0.1f, 1));
    if (ImGui::Button(on ? "Brush (on: right-click stops)" : "Brush", ImVec2(-1, 0))) PressBrushButton();
    if (on) ImGui::PopStyleColor();
    ImGui::PushItemWidth(ImGui::GetContentRegionAvail().x * 0.55f);
    if (ImGui::BeginCombo("Brush kind", BrushName(b.brushKind))) {
      for (int k = 0; k < 15; ++k)
        if (ImGui::Selectable(BrushName(k), k == b.brushKind)) SetBrushKind(k);
      ImGui::EndCombo();
    }
    float radius = b.brushRadius, strength = b.brushStrength;
    if (ImGui::DragFloat("Size", &radius, 0.5f, 2.0f, 1000.0f, "%.0f px")) SetBrushRadius(radius);
    if (ImGui::DragFloat("Strength", &strength, 0.005f, 0.0f, 1.0f, "%.3f")) SetBrushStrength(strength);
    ImGui::PopItemWidth();
  }

  void ToggleHidden(INode& n) {
    SetNodeHidden(n, !n.IsHidden());
    status_ = theHold.UndoName();
    dirty_ = true;
  }
  void ToggleRenderable(INode& n) {
    SetNodeRenderable(n, !n.Renderable());
    status_ = theHold.UndoName();
  }

  // The renderer's settings are a module-wide record, not a parameter block. A drag changes
  // it as it goes (the live view follows) and is one undo step when it ends.
  void DrawRenderSettings() {
    if (!ImGui::CollapsingHeader("Renderer")) return;
    RenderSettings& s = GetRenderSettings();
    auto track = [&](const char* setting, bool changed) {
      if (ImGui::IsItemDeactivatedAfterEdit() || (changed && !ImGui::IsItemActive())) {
        RecordRenderSettingsEdit(settingsBefore_, setting);
        settingsBefore_ = s;
      }
    };
    if (!ImGui::IsAnyItemActive()) settingsBefore_ = s;
    ImGui::PushItemWidth(ImGui::GetContentRegionAvail().x * 0.55f);
    track("Passes", ImGui::DragInt("Passes", &s.passes, 1, 1, 100000, "%d", ImGuiSliderFlags_AlwaysClamp));
    bool denoise = s.denoise != 0;
    if (ImGui::Checkbox("Denoise", &denoise)) SetRenderSetting("denoise", denoise ? "1" : "0");
    track("Exposure", ImGui::DragFloat("Exposure", &s.exposure, 0.01f, 0.01f, 100.0f, "%.2f", ImGuiSliderFlags_AlwaysClamp));
    track("Environment",
          ImGui::DragFloat("Environment", &s.environment, 0.01f, 0.0f, 100.0f, "%.2f", ImGuiSliderFlags_AlwaysClamp));
    bool layers = s.saveLayers != 0;
    if (ImGui::Checkbox("Save layers", &layers)) SetRenderSetting("saveLayers", layers ? "1" : "0");
    char path[1024];
    std::snprintf(path, sizeof path, "%s", LayersPath(s).c_str());
    if (ImGui::InputText("Layers file", path, sizeof path, ImGuiInputTextFlags_EnterReturnsTrue))
      SetRenderSetting("layersPath", path);
    ImGui::PopItemWidth();
  }
  // One setting set from text, as one undo step (the controls' and the sessions' way).
  bool SetRenderSetting(const std::string& name, const std::string& text) {
    const RenderSettings before = GetRenderSettings();
    RenderSettings& s = GetRenderSettings();
    const double v = std::atof(text.c_str());
    if (name == "passes") s.passes = int(v);
    else if (name == "denoise") s.denoise = v != 0;
    else if (name == "exposure") s.exposure = float(v);
    else if (name == "environment") s.environment = float(v);
    else if (name == "saveLayers") s.saveLayers = v != 0;
    else if (name == "layersPath") SetLayersPath(s, text);
    else return false;
    ClampRenderSettings(s);
    RecordRenderSettingsEdit(before, name);
    status_ = theHold.UndoName();
    return true;
  }

  void DrawTimeBar() {
    const Interval r = ip_.GetAnimRange();
    int frame = FrameOf(ip_.GetTime());
    if (ImGui::Button(ip_.IsAnimPlaying() ? "Stop" : "Play", ImVec2(60, 0))) TogglePlay();
    ImGui::SameLine();
    ImGui::SetNextItemWidth(ImGui::GetContentRegionAvail().x * 0.6f);
    if (ImGui::SliderInt("##frame", &frame, FrameOf(r.Start()), FrameOf(r.End()), "frame %d")) SetFrame(frame);
    ImGui::SameLine();
    ImGui::Text("Undo: %s (%zu) | Redo: %zu", theHold.UndoCount() ? theHold.UndoName().c_str() : "-",
                theHold.UndoCount(), theHold.RedoCount());
    ImGui::TextUnformatted((prompt_.empty() ? status_ : prompt_).c_str());
    ImGui::SameLine(ImGui::GetWindowWidth() - 260);
    ImGui::Text("view %.1f ms | dab+redraw %.1f ms", lastDrawMs_, lastDabMs_);
  }

  // --- the viewport: the software drawing as a texture, with navigation and brushing
  void DrawViewportPane() {
    const ImVec2 avail = ImGui::GetContentRegionAvail();
    const int w = std::max(int(avail.x), 16), h = std::max(int(avail.y), 16);
    ViewExp& vpt = ip_.GetActiveViewExp();
    if (vpt.getGW()->getWinSizeX() != w || vpt.getGW()->getWinSizeY() != h) {
      if (!sized_) {
        ip_.SetActiveViewport(vpt.Camera(), w, h);
        scene::SetActiveView(ip_, scene::ViewKind::Persp);
        sized_ = true;
      } else {
        vpt.SetSize(w, h);
      }
      dirty_ = true;
    }
    viewOrigin_ = ImGui::GetCursorScreenPos();
    // While a long action runs the last drawing stays: drawing evaluates the scene it works on.
    if (!busy_) {
      HandleViewportMouse(vpt, w, h);
      if (dirty_ || ip_.RedrawCount() != seenRedraws_ || ip_.GetTime() != seenTime_) Redraw(vpt);
    }
    // The picture is copied straight into the window's framebuffer before the panels are drawn
    // (CopyViewportPicture): cheaper on a software OpenGL than a blended textured quad.
    viewSize_ = gl_ ? ImVec2(float(gl_->Width()), float(gl_->Height())) : ImVec2(float(texW_), float(texH_));
    ImDrawList* dl = ImGui::GetWindowDrawList();
    const char* label = Brush().brushModeActive ? "Brush: drag over the hair, right-click stops"
                                                : "LMB orbit | MMB pan | wheel zoom";
    dl->AddText(ImVec2(viewOrigin_.x + 8, viewOrigin_.y + 6), IM_COL32(220, 220, 220, 255), label);
  }

  // The viewport's picture into the window's framebuffer (fbHeight pixels high) at the pane's
  // place, as a plain copy.
  void CopyViewportPicture(int fbHeight) {
    const unsigned source = gl_ ? gl_->Framebuffer() : viewFramebuffer_;
    const int w = int(viewSize_.x), h = int(viewSize_.y);
    if (!source || w <= 0 || h <= 0 || (!gl_ && texW_ == 0)) return;
    const ImVec2 scale = ImGui::GetIO().DisplayFramebufferScale;
    const int x0 = int(std::lround(viewOrigin_.x * scale.x));
    const int y0 = fbHeight - int(std::lround((viewOrigin_.y + float(h)) * scale.y));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBlitFramebuffer(0, 0, w, h, x0, y0, x0 + int(std::lround(float(w) * scale.x)),
                      y0 + int(std::lround(float(h) * scale.y)), GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  }

  void Redraw(ViewExp& vpt) {
    const auto t0 = Clock::now();
    if (gl_) {
      gl_->Draw(ip_, vpt, ip_.GetTime(), viewItems_);
      glFinish();  // so the timing holds the drawing, not just its queueing
      lastDrawMs_ = Ms(t0, Clock::now());
      drawTime_.Add(lastDrawMs_);
      dirty_ = false;
      seenRedraws_ = ip_.RedrawCount();
      seenTime_ = ip_.GetTime();
      return;
    }
    const scene::RgbaImage img = scene::DrawViewport(ip_, vpt, ip_.GetTime(), &viewItems_);
    const auto t1 = Clock::now();
    // Rows bottom-up, as OpenGL has them, so the copy to the window needs no flip.
    const std::size_t stride = std::size_t(img.width) * 4;
    flipped_.resize(img.pixels.size());
    for (int y = 0; y < img.height; ++y)
      std::copy_n(img.pixels.data() + std::size_t(img.height - 1 - y) * stride, stride, flipped_.data() + std::size_t(y) * stride);
    glBindTexture(GL_TEXTURE_2D, viewTexture_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (img.width == texW_ && img.height == texH_) {
      glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, img.width, img.height, GL_RGBA, GL_UNSIGNED_BYTE, flipped_.data());
    } else {
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, img.width, img.height, 0, GL_RGBA, GL_UNSIGNED_BYTE, flipped_.data());
      glBindFramebuffer(GL_READ_FRAMEBUFFER, viewFramebuffer_);
      glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, viewTexture_, 0);
      glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    }
    texW_ = img.width;
    texH_ = img.height;
    lastDrawMs_ = Ms(t0, t1);
    drawTime_.Add(lastDrawMs_);
    dirty_ = false;
    seenRedraws_ = ip_.RedrawCount();
    seenTime_ = ip_.GetTime();
  }

  IPoint2 ToView(ImVec2 p) const { return {int(std::lround(p.x - viewOrigin_.x)), int(std::lround(p.y - viewOrigin_.y))}; }

  void HandleViewportMouse(ViewExp& vpt, int w, int h) {
    ImGui::SetCursorScreenPos(viewOrigin_);
    ImGui::InvisibleButton("view", ImVec2(float(w), float(h)),
                           ImGuiButtonFlags_MouseButtonLeft | ImGuiButtonFlags_MouseButtonRight |
                               ImGuiButtonFlags_MouseButtonMiddle);
    const bool hovered = ImGui::IsItemHovered();
    const ImGuiIO& io = ImGui::GetIO();
    const IPoint2 m = ToView(io.MousePos);
    if (Brush().brushModeActive && ip_.GetCommandMode() == &GetBrushMode()) {
      if (hovered && ImGui::IsMouseClicked(ImGuiMouseButton_Right)) {
        ip_.SendMouse(MOUSE_ABORT, 0, MOUSE_RBUTTON, m);
        status_ = "Brush off";
        dirty_ = true;
        return;
      }
      if (hovered && ImGui::IsMouseClicked(ImGuiMouseButton_Left)) {
        ip_.SendMouse(MOUSE_POINT, 0, MOUSE_LBUTTON, m);
        strokePoint_ = 1;
        stroking_ = true;
        lastDabAt_ = m;
      } else if (stroking_ && ImGui::IsMouseReleased(ImGuiMouseButton_Left)) {
        ip_.SendMouse(MOUSE_POINT, 1, 0, m);
        stroking_ = false;
        status_ = "Stroke: one undo step (" + theHold.UndoName() + ")";
        dirty_ = true;
      } else if (stroking_ && !(m == lastDabAt_)) {
        const auto t0 = Clock::now();
        ip_.SendMouse(MOUSE_MOVE, strokePoint_++, MOUSE_LBUTTON, m);
        const auto t1 = Clock::now();
        Redraw(vpt);
        const auto t2 = Clock::now();
        dabTime_.Add(Ms(t0, t1));
        lastDabMs_ = Ms(t0, t2);
        dabRedraw_.Add(lastDabMs_);
        lastDabAt_ = m;
      } else if (hovered && !stroking_ && (io.MouseDelta.x != 0 || io.MouseDelta.y != 0)) {
        ip_.SendMouse(MOUSE_FREEMOVE, 0, 0, m);
      }
      return;
    }
    if (!hovered && !ImGui::IsItemActive()) return;
    // A click without a drag picks: it selects the node under the mouse, or gives it to the
    // node picker waiting for one.
    if (ImGui::IsMouseReleased(ImGuiMouseButton_Left) && io.MouseDragMaxDistanceSqr[0] < 9.0f && hovered) {
      if (INode* n = PickNode(ip_, vpt, m, ip_.GetTime())) SelectNode(n);
      return;
    }
    const Point3 pivot = scene::SceneBounds(ip_, ip_.GetTime()).IsEmpty() ? Point3() : scene::SceneBounds(ip_, ip_.GetTime()).Center();
    const ImVec2 d = io.MouseDelta;
    ViewCamera cam = vpt.Camera();
    bool moved = false;
    if (ImGui::IsItemActive() && (d.x != 0 || d.y != 0)) {
      if (ImGui::IsMouseDown(ImGuiMouseButton_Middle) && !io.KeyAlt) {
        cam = Pan(cam, pivot, d.x, d.y, w, h);
        moved = true;
      } else if (ImGui::IsMouseDown(ImGuiMouseButton_Left) ||
                 (ImGui::IsMouseDown(ImGuiMouseButton_Middle) && io.KeyAlt)) {
        cam = Orbit(cam, pivot, -d.x * 0.008f, -d.y * 0.008f);
        moved = true;
      }
    }
    if (hovered && io.MouseWheel != 0) {
      cam = Zoom(cam, pivot, io.MouseWheel);
      moved = true;
    }
    if (moved) {
      vpt.SetCamera(cam);
      dirty_ = true;
    }
  }

  GLFWwindow* window_;
  StudioOptions options_;
  Interface& ip_;
  std::string scenePath_;
  bool savedAsBinary_ = false;
  INode* selected_ = nullptr;
  RolloutPanelState rollouts_;
  FileBrowser browser_;
  LiveViewWindow live_;
  std::vector<DialogAction> actions_;
  std::vector<std::string> answers_;  // the session's answers to the next file dialogs
  bool playing_ = false;               // a session is being replayed
  bool playClockStarted_ = false;
  Clock::time_point playClock_;
  bool browserForHost_ = false;
  std::string hostDialogPath_;
  std::pair<std::string, std::string> question_;  // caption, text of an open yes/no box
  int questionAnswer_ = 0;                        // 1 yes, 2 no
  std::string browserPath_;
  bool browserSaves_ = false;
  std::string messageTitle_, messageText_;
  std::string status_, prompt_;
  scene::ViewportItemCache viewItems_;
  std::unique_ptr<GlViewport> gl_;
  unsigned viewTexture_ = 0, viewFramebuffer_ = 0;
  std::vector<std::uint8_t> flipped_;
  ImVec2 viewSize_{0, 0};
  int texW_ = 0, texH_ = 0;
  bool dirty_ = true, sized_ = false;
  int settleFrames_ = 0;  // frames still drawn before the loop may wait (WaitWhileIdle)
  int seenRedraws_ = -1;
  TimeValue seenTime_ = 0;
  ImVec2 viewOrigin_{0, 0};
  std::vector<ScriptEvent> events_;
  std::size_t next_ = 0;
  std::string scriptPath_;
  bool failed_ = false;
  ScriptedMouse mouse_;
  bool inFrame_ = false, inAction_ = false, busy_ = false;
  bool scriptEscape_ = false;
  std::string screenshotAfterFrame_;
  Clock::time_point lastBusyFrame_;
  RenderSettings settingsBefore_;
  bool stroking_ = false;
  int strokePoint_ = 1;
  IPoint2 lastDabAt_;
  double lastDrawMs_ = 0, lastDabMs_ = 0;
  Timing frameTime_, periodTime_, drawTime_, dabTime_, dabRedraw_;
};

}  // namespace

int RunStudio(const StudioOptions& o) {
  std::vector<ScriptEvent> events;
  if (!o.script.empty()) {
    std::string error;
    if (!LoadEventScript(o.script, events, error)) {
      std::cerr << "crinel-studio: " << error << '\n';
      return 1;
    }
  }
  glfwSetErrorCallback([](int code, const char* text) { std::cerr << "GLFW error " << code << ": " << text << '\n'; });
  if (!glfwInit()) {
    std::cerr << "crinel-studio: no display (GLFW could not start)\n";
    return 1;
  }
  glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
  glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
  glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
  GLFWwindow* window = glfwCreateWindow(o.width, o.height, "Crinel Studio", nullptr, nullptr);
  if (!window) {
    std::cerr << "crinel-studio: cannot open an OpenGL 3.3 window\n";
    glfwTerminate();
    return 1;
  }
  glfwMakeContextCurrent(window);
  glfwSwapInterval(events.empty() ? 1 : 0);
  IMGUI_CHECKVERSION();
  ImGui::CreateContext();
  ImGui::GetIO().IniFilename = nullptr;  // the layout is fixed; nothing to remember
  ImGui::StyleColorsDark();
  ImGui::GetStyle().DisabledAlpha = 0.35f;  // panels shown while a long action runs read as off
  ImGui_ImplGlfw_InitForOpenGL(window, true);
  ImGui_ImplOpenGL3_Init("#version 330");

  int rc = 0;
  {
    Studio studio(window, o);
    studio.SetScript(std::move(events), o.script);
    if (!o.scene.empty() && !studio.Open(o.scene) && studio.Replaying()) rc = 1;
    // Two frames first, so the layout (and the viewport's place) is known to the events.
    int warmup = 2;
    bool shot = false;
    Clock::time_point lastStart{};
    while (rc == 0) {
      if (warmup > 0) {
        --warmup;
      } else if (studio.EventsLeft()) {
        if (!studio.PlayNextEvent()) {
          rc = 1;
          break;
        }
      } else if (studio.Replaying() && o.quitAfterScript) {
        break;
      }
      // A frame after a wait is not timed from the one before it.
      if (warmup == 0 && studio.WaitWhileIdle()) lastStart = Clock::time_point();
      const auto t0 = Clock::now();
      if (warmup == 0 && lastStart != Clock::time_point()) studio.AddPeriod(Ms(lastStart, t0));
      lastStart = t0;
      if (!studio.Frame(studio.Mouse())) break;
      studio.AddFrameTime(Ms(t0, Clock::now()));
      // The screenshot is the frame after the last event (before the buffers swap).
      if (!shot && warmup == 0 && !studio.EventsLeft() && !o.screenshot.empty()) {
        shot = true;
        std::string error;
        if (!studio.Screenshot(o.screenshot, error)) {
          std::cerr << "crinel-studio: " << error << '\n';
          rc = 1;
        }
        if (!studio.Replaying() && o.quitAfterScript) break;
      }
      studio.Present();
      studio.RunActions();
      if (studio.Failed()) rc = 1;  // an event played in a long action's frames failed
    }
    if (o.stats) studio.PrintStats();
  }
  ImGui_ImplOpenGL3_Shutdown();
  ImGui_ImplGlfw_Shutdown();
  ImGui::DestroyContext();
  glfwDestroyWindow(window);
  glfwTerminate();
  GetCOREInterface()->ResetScene();
  return rc;
}

}  // namespace crn::studio
