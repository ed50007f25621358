#pragma once
// The live view in the studio: the host window the module opens, shown as a window of its own
// with the window's surface as its picture and title; keys pressed over it go to the window
// and resizing it resizes the host window.
namespace crn::studio {

class LiveViewPanel {
 public:
  ~LiveViewPanel();
  // Opens the live view (the module shows a message box when it cannot).
  void Open();
  bool IsOpen() const;
  // Runs the due timers and draws the window; call once a frame.
  void Draw();

 private:
  unsigned texture_ = 0;
  int texW_ = 0, texH_ = 0;
  int askedW_ = 0, askedH_ = 0;
};

}  // namespace crn::studio
