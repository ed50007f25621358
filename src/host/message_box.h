#pragma once
// Message boxes. This host has no windows: a box goes to the sink the application installs
// (the command line prints it) and is remembered for whoever asks.
#include <functional>
#include <string>

namespace host {

constexpr int MB_OK = 0x0;
constexpr int MB_YESNO = 0x4;
constexpr int MB_ICONWARNING = 0x30;
constexpr int IDOK = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

using MessageBoxSink = std::function<void(const std::string& text, const std::string& caption, int type)>;
void SetMessageBoxSink(MessageBoxSink sink);

// Answers boxes that ask (MB_YESNO): returns IDYES or IDNO. The application sets it (a window
// system from the user's click); without one every box is answered IDOK, or IDYES when it
// asks.
using MessageBoxAnswerer = std::function<int(const std::string& text, const std::string& caption, int type)>;
void SetMessageBoxAnswerer(MessageBoxAnswerer answerer);

// Shows text with caption; returns the answer (IDOK for a box that only tells).
int MessageBox(void* hwnd, const std::string& text, const std::string& caption, int type);

// The text of the last box shown and the number shown so far.
std::string LastMessageBoxText();
int MessageBoxCount();

}  // namespace host
