#pragma once
// What saved scenes keep for rendering: the background and renderer settings (one scene
// chunk), and each node's wire colour and material tree (node chunks).
#include <string>

#include "host/chunk_io.h"
#include "host/interface.h"
#include "host/param_block.h"

namespace crn::scene {

// Writes the scene render chunk (background, renderer settings).
void SaveSceneRender(host::ISave& s, const host::Interface& ip);
// Reads the scene render chunk just opened; false with error when it is corrupt.
bool LoadSceneRender(host::ILoad& l, host::Interface& ip, std::string& error);
// Before a saved scene loads: no background, default settings (for files without the chunk).
void ResetSceneRender(host::Interface& ip);

void SaveNodeRender(host::ISave& s, const host::INode& node, const host::RefTable& refs);
// Reads a node chunk of ours just opened (wire colour or material); false with error when it
// is corrupt. Other chunk ids are left alone (true).
bool LoadNodeRender(host::ILoad& l, host::INode& node, host::Interface& ip, const host::RefTable& refs,
                    std::string& error);

}  // namespace crn::scene
