#pragma once
// Deforming meshes for scene files: numbered sequences of OBJ files, one file per frame.
#include <string>

#include "host/mesh_sequence.h"

namespace crn::scene {

// Most frames one sequence may hold.
constexpr int kMaxSequenceFrames = 100000;

// The file of one frame: the pattern's run of '#' replaced by the frame number, zero-padded to
// the run's length ("body_####.obj", 7 -> "body_0007.obj"; wider numbers are written whole).
// The file name (after the last '/') must hold exactly one run of '#'; false with error if not.
bool SequenceFrameFile(const std::string& pattern, int frame, std::string& file, std::string& error);

// Reads frames first..last (0 <= first <= last, at most kMaxSequenceFrames) from the files of
// pattern into obj. Every file must exist and have the first frame's topology (vertex count,
// face count and face vertex indices); faces, UVs and material ids come from the first frame.
// On failure obj is unchanged and error names the file and what is wrong.
bool LoadObjSequence(const std::string& pattern, int first, int last, host::MeshSequenceObject& obj,
                     std::string& error);

}  // namespace crn::scene
