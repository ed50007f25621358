#include "crinel-studio/live_view_panel.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <imgui.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/timers.h"
#include "host/window.h"
#include "render/live_view.h"
#include "render/live_view_window.h"
#include "scene/live_verbs.h"

namespace crn::studio {

using namespace host;

LiveViewPanel::~LiveViewPanel() {
  if (texture_) glDeleteTextures(1, &texture_);
}

void LiveViewPanel::Open() {
  RenderDevice device;
  if (scene::ParseLiveDevice("auto", device)) SetLiveViewDevice(device);
  OpenLiveView();
}

bool LiveViewPanel::IsOpen() const { return LiveViewWindowExists(); }

void LiveViewPanel::Draw() {
  DispatchTimerMessages();
  void* w = GetLiveViewState().window;
  if (!w || !IsWindow(w)) return;
  Rect rc;
  GetClientRect(w, &rc);
  const std::vector<std::uint32_t> surface = WindowSurface(w);
  if (!texture_) {
    glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  }
  if (rc.right > 0 && rc.bottom > 0 && surface.size() == std::size_t(rc.right) * std::size_t(rc.bottom)) {
    // Words 0x00RRGGBB: opaque, then B, G, R, A in memory.
    std::vector<std::uint32_t> opaque(surface);
    for (std::uint32_t& p : opaque) p |= 0xFF000000u;
    glBindTexture(GL_TEXTURE_2D, texture_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, rc.right, rc.bottom, 0, GL_BGRA, GL_UNSIGNED_BYTE, opaque.data());
    texW_ = rc.right;
    texH_ = rc.bottom;
  }
  // The title changes with the passes; the ### part keeps the window's identity.
  const std::string title = GetWindowText(w) + "###crinel-live";
  bool open = true;
  ImGui::SetNextWindowSize(ImVec2(660, 420), ImGuiCond_FirstUseEver);
  if (ImGui::Begin(title.c_str(), &open, ImGuiWindowFlags_NoScrollbar)) {
    const ImVec2 avail = ImGui::GetContentRegionAvail();
    const int cw = std::max(int(avail.x), 16), ch = std::max(int(avail.y), 16);
    if (cw != askedW_ || ch != askedH_) {
      askedW_ = cw;
      askedH_ = ch;
      MoveWindow(w, 0, 0, cw, ch, true);
    }
    if (texW_ > 0) ImGui::Image(reinterpret_cast<ImTextureID>(std::uintptr_t(texture_)), ImVec2(float(texW_), float(texH_)));
    if (ImGui::IsWindowFocused()) {
      struct KeyMap {
        int glfw;
        unsigned vk;
      };
      // D denoise, F density, R regather, + and - exposure: the keys the window takes.
      for (const KeyMap k : {KeyMap{'D', 'D'}, KeyMap{'F', 'F'}, KeyMap{'R', 'R'}, KeyMap{334, VK_ADD},
                             KeyMap{333, VK_SUBTRACT}, KeyMap{'=', VK_OEM_PLUS}, KeyMap{'-', VK_OEM_MINUS}})
        if (ImGui::IsKeyPressed(k.glfw, false)) SendMessage(w, WM_KEYDOWN, k.vk, 0);
    }
  }
  ImGui::End();
  if (!open) DestroyLiveViewWindow();
}

}  // namespace crn::studio
