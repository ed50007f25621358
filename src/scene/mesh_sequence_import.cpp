#include "scene/mesh_sequence_import.h"

#include <memory>
#include <vector>

#include "scene/mesh_import.h"

namespace crn::scene {

bool SequenceFrameFile(const std::string& pattern, int frame, std::string& file, std::string& error) {
  const std::size_t slash = pattern.find_last_of('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t runStart = pattern.find('#', nameStart);
  if (runStart == std::string::npos) {
    error = "the sequence file name \"" + pattern + "\" has no run of '#' for the frame number";
    return false;
  }
  std::size_t runEnd = runStart;
  while (runEnd < pattern.size() && pattern[runEnd] == '#') ++runEnd;
  if (pattern.find('#', runEnd) != std::string::npos) {
    error = "the sequence file name \"" + pattern + "\" has more than one run of '#'";
    return false;
  }
  std::string number = std::to_string(frame);
  const std::size_t width = runEnd - runStart;
  if (frame >= 0 && number.size() < width) number.insert(0, width - number.size(), '0');
  file = pattern.substr(0, runStart) + number + pattern.substr(runEnd);
  return true;
}

bool LoadObjSequence(const std::string& pattern, int first, int last, host::MeshSequenceObject& obj,
                     std::string& error) {
  if (first < 0 || last < first) {
    error = "sequence frames must be [first, last] with 0 <= first <= last";
    return false;
  }
  if (std::int64_t(last) - first + 1 > kMaxSequenceFrames) {
    error = "a sequence holds at most " + std::to_string(kMaxSequenceFrames) + " frames";
    return false;
  }
  std::vector<std::unique_ptr<host::Mesh>> frames;
  for (int f = first; f <= last; ++f) {
    std::string file;
    if (!SequenceFrameFile(pattern, f, file, error)) return false;
    auto mesh = std::make_unique<host::Mesh>();
    std::string err;
    if (!LoadObjMesh(file, *mesh, err)) {
      error = "frame " + std::to_string(f) + ": " + err;
      return false;
    }
    if (!frames.empty()) {
      const std::string diff = host::CompareTopology(*frames.front(), *mesh);
      if (!diff.empty()) {
        error = file + ": frame " + std::to_string(f) + " " + diff;
        return false;
      }
    }
    frames.push_back(std::move(mesh));
  }
  if (!obj.SetFrames(first, std::move(frames), error)) return false;
  obj.sourcePattern = pattern;
  return true;
}

}  // namespace crn::scene
