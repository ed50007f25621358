#pragma once
// Sending a frame range to a Slurm cluster: the job scripts of a render or export, written
// here as plain text so they can be checked without a cluster. A range splits into chunks of
// frames, one array task per chunk; each task runs crinel once per frame it still lacks and
// leaves a marker per frame, so a resubmitted range only redoes what is missing.
#include <string>
#include <vector>

namespace crn::scene {

enum class FarmKind { Render, Prt, Usd };

// Where a frame's file goes: prefix, the frame number padded to width digits, suffix.
struct FramePattern {
  std::string prefix, suffix;
  int width = 4;
};

// Parses an output name with one run of '#' where the frame number goes ("out/f_####.png").
// False with error when there is no run or more than one.
bool ParseFramePattern(const std::string& text, FramePattern& out, std::string& error);
// The file of one frame: the number zero-padded like printf("%0*d") ("-005" for -5).
std::string FrameFileName(const FramePattern& p, int frame);
// The PRT files of the prt command for the chosen name (hair.prt -> hair_####.prt).
FramePattern PrtFramePattern(const std::string& chosen);

// A word for a POSIX shell: single-quoted, with embedded quotes escaped.
std::string ShellQuote(const std::string& word);

struct FarmRequest {
  FarmKind kind = FarmKind::Render;
  std::string crinel;  // absolute path of the crinel the tasks run
  std::string scene;   // absolute path of the scene file
  int first = 0, last = 0, chunk = 1;
  std::string out;     // absolute: render pattern with ####, or the .prt / .usda file
  std::string node;    // the hair object exported (Prt, Usd)
  std::vector<std::string> renderOptions;  // passed to each crinel render (--camera C ...)
  std::string partition;
  std::vector<std::string> simNodes;  // hair objects that simulate: a cache job runs first
};

struct FarmScript {
  std::string path;  // where the script is written
  std::string text;
  std::vector<std::string> sbatch;  // sbatch options, the dependency excepted
};

struct FarmPlan {
  std::string farmDir;  // beside the outputs: scripts, logs, frame markers, job records
  std::string markDir;  // frame markers of this output: F.done, F.failed
  std::string logDir;
  std::string name;     // names the scripts, logs and jobs of this output
  int tasks = 0;
  bool hasSim = false, hasJoin = false;
  FarmScript sim, array, join;
};

// Checks the request (frame range, chunk, output name) and writes the plan's scripts.
// False with error naming what is wrong.
bool PlanFarmJob(const FarmRequest& request, FarmPlan& plan, std::string& error);

// The frames of array task i.
void TaskFrames(const FarmRequest& request, int task, int& first, int& last);

// The simulation cache of a hair object in a folder: DIR/NODE.crnc, with characters other
// than letters, digits, '.', '-' and '_' in the node name replaced by '_'.
std::string SimCacheFileName(const std::string& dir, const std::string& node);

// The chunk files a USD export writes and the join layer refers to (DIR/STEM_clips/...),
// as an absolute path and relative to the folder of the joined file.
std::string UsdChunkFileName(const std::string& out, int first, int last);
std::string UsdChunkRelativeName(const std::string& out, int first, int last);
// The clip manifest beside the chunks, relative to the folder of the joined file.
std::string UsdManifestRelativeName(const std::string& out);

// The folder of a path ("." when it has none), and its last component.
std::string DirName(const std::string& path);
std::string BaseName(const std::string& path);

}  // namespace crn::scene
