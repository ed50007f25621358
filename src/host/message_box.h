#pragma once
// Message boxes. This host has no windows: a box goes to the sink the application installs
// (the command line prints it) and is remembered for whoever asks.
#include <functional>
#include <string>

namespace host {

constexpr int MB_OK = 0x0;
constexpr int MB_ICONWARNING = 0x30;
constexpr int IDOK = 1;

using MessageBoxSink = std::function<void(const std::string& text, const std::string& caption, int type)>;
void SetMessageBoxSink(MessageBoxSink sink);

// Shows text with caption; returns IDOK.
int MessageBox(void* hwnd, const std::string& text, const std::string& caption, int type);

// The text of the last box shown and the number shown so far.
std::string LastMessageBoxText();
int MessageBoxCount();

}  // namespace host
