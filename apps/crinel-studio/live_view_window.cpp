#include "crinel-studio/live_view_window.h"

#define GL_GLEXT_PROTOTYPES 1
#define GLFW_INCLUDE_NONE
#include <GL/gl.h>
#include <GL/glext.h>
#include <GLFW/glfw3.h>

#include <cstdint>
#include <vector>

#include "crinel-studio/frame_capture.h"
#include "host/timers.h"
#include "host/window.h"
#include "render/live_view.h"
#include "render/live_view_window.h"
#include "scene/live_verbs.h"

namespace crn::studio {

using namespace host;

namespace {

// The host key code of a key the live view takes, 0 for any other.
unsigned HostKey(int glfwKey) {
  switch (glfwKey) {
    case GLFW_KEY_D: return 'D';
    case GLFW_KEY_F: return 'F';
    case GLFW_KEY_R: return 'R';
    case GLFW_KEY_KP_ADD: return VK_ADD;
    case GLFW_KEY_KP_SUBTRACT: return VK_SUBTRACT;
    case GLFW_KEY_EQUAL: return VK_OEM_PLUS;  // the + key of the main keyboard
    case GLFW_KEY_MINUS: return VK_OEM_MINUS;
    default: return 0;
  }
}

void SendKey(unsigned vk) {
  void* w = GetLiveViewState().window;
  if (vk && w && IsWindow(w)) SendMessage(w, WM_KEYDOWN, vk, 0);
}

}  // namespace

LiveViewWindow::~LiveViewWindow() { DestroyDesktopWindow(); }

LiveViewWindow::LiveViewWindow(GLFWwindow* main) : main_(main) {
  RenderDevice device;
  if (scene::ParseLiveDevice("auto", device)) SetLiveViewDevice(device);
}

void LiveViewWindow::Open() {
  OpenLiveView();
  if (window_) glfwFocusWindow(window_);  // open already: brought to the front
}

bool LiveViewWindow::IsOpen() const { return LiveViewWindowExists(); }

bool LiveViewWindow::PressKey(const std::string& key) {
  if (!window_ || key.size() != 1) return false;
  const char k = key[0];
  const int glfwKey = k == '+' ? GLFW_KEY_KP_ADD : k == '-' ? GLFW_KEY_KP_SUBTRACT : k;
  const unsigned vk = HostKey(glfwKey);
  if (!vk) return false;
  SendKey(vk);
  return true;
}

void LiveViewWindow::Close() {
  if (window_) glfwSetWindowShouldClose(window_, GLFW_TRUE);
}

bool LiveViewWindow::ScreenshotNextFrame(const std::string& path) {
  if (!window_) return false;
  shotPath_ = path;
  return true;
}

void LiveViewWindow::Update() {
  shotError_.clear();
  DispatchTimerMessages();
  void* w = GetLiveViewState().window;
  const bool hostOpen = w && IsWindow(w);
  if (window_ && glfwWindowShouldClose(window_)) {
    if (hostOpen) DestroyLiveViewWindow();
    DestroyDesktopWindow();
    return;
  }
  if (!hostOpen) {
    DestroyDesktopWindow();
    return;
  }
  if (!window_) {
    Rect rc;
    GetClientRect(w, &rc);
    CreateDesktopWindow(rc.right > 0 ? rc.right : 800, rc.bottom > 0 ? rc.bottom : 520);
    if (!window_) return;
  }
  Show(w);
}

void LiveViewWindow::CreateDesktopWindow(int width, int height) {
  glfwDefaultWindowHints();
  glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
  glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
  glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
  window_ = glfwCreateWindow(width, height, "Crinel Live", nullptr, nullptr);
  if (!window_) return;
  askedW_ = width;
  askedH_ = height;
  seenPaints_ = -1;
  title_ = "Crinel Live";
  glfwSetKeyCallback(window_, [](GLFWwindow*, int key, int, int action, int) {
    if (action == GLFW_PRESS || action == GLFW_REPEAT) SendKey(HostKey(key));
  });
  // Uncovered or resized: drawn again at the next update.
  glfwSetWindowUserPointer(window_, this);
  glfwSetWindowRefreshCallback(window_, [](GLFWwindow* win) {
    static_cast<LiveViewWindow*>(glfwGetWindowUserPointer(win))->damaged_ = true;
  });
  damaged_ = true;
  glfwMakeContextCurrent(window_);
  glfwSwapInterval(0);  // the studio's window keeps the pace
  glGenTextures(1, &texture_);
  glBindTexture(GL_TEXTURE_2D, texture_);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glGenFramebuffers(1, &framebuffer_);
  glfwMakeContextCurrent(main_);
}

void LiveViewWindow::DestroyDesktopWindow() {
  if (!window_) return;
  glfwMakeContextCurrent(window_);
  glDeleteTextures(1, &texture_);
  glDeleteFramebuffers(1, &framebuffer_);
  glfwMakeContextCurrent(main_);
  glfwDestroyWindow(window_);
  window_ = nullptr;
  texture_ = framebuffer_ = 0;
  texW_ = texH_ = 0;
  title_.clear();
}

void LiveViewWindow::Show(void* w) {
  // The title changes with the passes.
  const std::string title = GetWindowText(w);
  if (title != title_) {
    title_ = title;
    glfwSetWindowTitle(window_, title_.c_str());
  }
  int fw = 0, fh = 0;
  glfwGetFramebufferSize(window_, &fw, &fh);
  if (fw > 0 && fh > 0 && (fw != askedW_ || fh != askedH_)) {
    askedW_ = fw;
    askedH_ = fh;
    MoveWindow(w, 0, 0, fw, fh, true);
  }
  Rect rc;
  GetClientRect(w, &rc);
  const int paints = WindowPaintCount(w);
  const bool newPicture = paints != seenPaints_ || rc.right != texW_ || rc.bottom != texH_;
  // Drawn and shown only when something changed: each showing is a full window's copy.
  if (!newPicture && !damaged_ && shotPath_.empty() && fw == drawnW_ && fh == drawnH_) return;
  damaged_ = false;
  drawnW_ = fw;
  drawnH_ = fh;
  glfwMakeContextCurrent(window_);
  if (newPicture) {
    const std::vector<std::uint32_t> surface = WindowSurface(w);
    if (rc.right > 0 && rc.bottom > 0 && surface.size() == std::size_t(rc.right) * std::size_t(rc.bottom)) {
      // Words 0x00RRGGBB: opaque, then B, G, R, A in memory.
      std::vector<std::uint32_t> opaque(surface);
      for (std::uint32_t& p : opaque) p |= 0xFF000000u;
      glBindTexture(GL_TEXTURE_2D, texture_);
      glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, rc.right, rc.bottom, 0, GL_BGRA, GL_UNSIGNED_BYTE, opaque.data());
      texW_ = rc.right;
      texH_ = rc.bottom;
      seenPaints_ = paints;
    }
  }
  glViewport(0, 0, fw, fh);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  if (texW_ > 0) {
    // The surface's rows run top-down: copied upside down onto the window.
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_, 0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBlitFramebuffer(0, 0, texW_, texH_, 0, fh, fw, 0, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  }
  if (!shotPath_.empty()) {
    SaveBackBufferPng(fw, fh, shotPath_, shotError_);
    shotPath_.clear();
  }
  glfwSwapBuffers(window_);
  glfwMakeContextCurrent(main_);
}

}  // namespace crn::studio
