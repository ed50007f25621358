#pragma once
// Script calls for the live view, so that it can be driven without a screen: open, ticks of
// its timer, keys, the title, resizing, saving what it shows, closing, and the device it
// renders on.
#include <string>

#include "render/render_context.h"
#include "scene/script.h"

namespace crn::scene {

// liveDevice auto|cuda|cpu, liveOpen, liveTick N, liveKey D|F|R|+|-, liveTitle,
// liveResize W H, liveSave "PATH", liveClose.
void AddLiveVerbs(ScriptRunner& runner);

// auto (CUDA when a device exists, else the CPU), cuda or cpu; false for anything else.
bool ParseLiveDevice(const std::string& text, RenderDevice& device);

// Writes the live view's display image as a PNG (through a temporary file); false with the
// reason when there is no image yet or the file cannot be written.
bool SaveLiveImage(const std::string& path, std::string& error);

}  // namespace crn::scene
