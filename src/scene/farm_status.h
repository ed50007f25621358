#pragma once
// The state of a farm job's frames: from the queue (squeue, for tasks still pending or
// running) and from the frame markers the tasks leave (done, failed).
#include <map>
#include <set>
#include <string>
#include <vector>

#include "scene/farm_slurm.h"

namespace crn::scene {

// A queued job or array task as squeue reports it.
struct QueuedTask {
  std::string state;   // RUNNING, PENDING, ...
  std::string reason;  // why it is pending
};

// Parses `squeue -h -r -o %i|%T|%r` lines: array tasks by their index ("12_3"), a plain job
// under index -1.
std::map<int, QueuedTask> ParseSqueue(const std::string& text, const std::string& jobId);

struct FarmTaskState {
  int task = 0, first = 0, last = 0;
  int done = 0, running = 0, pending = 0, failed = 0;
  std::string reason;  // the queue's reason when pending
  std::string log;     // the task's log file
};

struct FarmStatus {
  int done = 0, running = 0, pending = 0, failed = 0;
  std::vector<FarmTaskState> tasks;
};

// Frames per task: done when marked done; pending while the task waits in the queue; failed
// when the task runs and marked them failed, or left the queue without finishing them;
// otherwise running.
FarmStatus SummariseFarm(const FarmRecord& record, const std::map<int, QueuedTask>& queued,
                         const std::set<int>& doneFrames, const std::set<int>& failedFrames);

// The frame markers in a marker folder.
void ReadFrameMarkers(const std::string& markDir, std::set<int>& done, std::set<int>& failed);

// The whole report of `crinel farm status`, with the last lines of each failed task's log.
// False with error when the queue cannot be asked.
bool FarmStatusReport(const FarmRecord& record, std::string& report, std::string& error);

}  // namespace crn::scene
