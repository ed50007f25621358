#pragma once
// The live view in the studio: the host window the module opens, shown as a desktop window of
// its own with the window's surface as its picture and title. Keys pressed in it go to the
// host window, resizing it resizes the host window and closing it closes the live view.
#include <string>

struct GLFWwindow;

namespace crn::studio {

class LiveViewWindow {
 public:
  // main: the studio's window, whose OpenGL context is current between calls. Chooses the
  // live view's device for every way of opening it (CUDA when there is one, else the CPU).
  explicit LiveViewWindow(GLFWwindow* main);
  ~LiveViewWindow();
  LiveViewWindow(const LiveViewWindow&) = delete;
  LiveViewWindow& operator=(const LiveViewWindow&) = delete;

  // Opens the live view (the module shows a message box when it cannot); the desktop window
  // appears at the next Update.
  void Open();
  bool IsOpen() const;
  // Runs the due timers, then makes the desktop window follow the module's live view: opens
  // or closes it, shows a new picture, takes its title and size. Call once a frame.
  void Update();
  // A key pressed in the window: D, F, R, + or - (false for another key or no window).
  bool PressKey(const std::string& key);
  // As the window's close button.
  void Close();
  // Saves the window's next picture as a PNG; false without a window. A failure shows in
  // ScreenshotError after that Update (empty otherwise).
  bool ScreenshotNextFrame(const std::string& path);
  const std::string& ScreenshotError() const { return shotError_; }
  // The title the window shows now (empty without a window).
  const std::string& Title() const { return title_; }

 private:
  void CreateDesktopWindow(int width, int height);
  void DestroyDesktopWindow();
  void Show(void* hostWindow);

  GLFWwindow* main_;
  GLFWwindow* window_ = nullptr;
  unsigned texture_ = 0, framebuffer_ = 0;
  int texW_ = 0, texH_ = 0;
  int askedW_ = 0, askedH_ = 0;
  int seenPaints_ = -1;
  int drawnW_ = 0, drawnH_ = 0;
  bool damaged_ = false;  // the window system asked for a redraw
  std::string title_;
  std::string shotPath_, shotError_;
};

}  // namespace crn::studio
