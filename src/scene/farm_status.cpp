#include "scene/farm_status.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace crn::scene {

namespace {

// The last lines of a log; a progress bar's carriage returns keep only its final state.
std::string LogTail(const std::string& path, int lines) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return "  (no log at " + path + ")\n";
  std::ifstream in(path, std::ios::binary);
  if (!in) return "  (no log at " + path + ")\n";
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  const std::streamoff from = size > 65536 ? size - 65536 : 0;
  in.seekg(from);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> kept;
  std::istringstream split(text);
  for (std::string line; std::getline(split, line);) {
    while (!line.empty() && line.back() == '\r') line.pop_back();
    if (const std::size_t cr = line.rfind('\r'); cr != std::string::npos) line.erase(0, cr + 1);
    kept.push_back(line);
  }
  if (from > 0 && !kept.empty()) kept.erase(kept.begin());  // a partial first line
  std::string out;
  for (std::size_t i = kept.size() > std::size_t(lines) ? kept.size() - std::size_t(lines) : 0; i < kept.size(); ++i)
    out += "  | " + kept[i] + "\n";
  return out;
}

bool Running(const std::string& state) {
  return state == "RUNNING" || state == "COMPLETING" || state == "CONFIGURING" || state == "STAGE_OUT";
}

std::string JobLine(const char* what, const std::string& id, const std::map<int, QueuedTask>& queued) {
  const auto it = queued.find(-1);
  std::string s = std::string("  ") + what + " job " + id + ": ";
  if (it == queued.end()) return s + "finished\n";
  s += it->second.state;
  if (!it->second.reason.empty() && it->second.reason != "None") s += " (" + it->second.reason + ")";
  return s + "\n";
}

bool QueryQueue(const std::string& jobId, std::map<int, QueuedTask>& queued, std::string& error) {
  const ProcessResult r = RunProcess({"squeue", "-h", "-r", "-j", jobId, "-o", "%i|%T|%r"});
  if (r.status == 0) {
    queued = ParseSqueue(r.out, jobId);
    return true;
  }
  // A job that left the queue long ago is unknown to it: nothing is queued any more.
  if (r.err.find("Invalid job id") != std::string::npos) {
    queued.clear();
    return true;
  }
  error = r.status == -1 && r.err.empty() ? "squeue not found on PATH" : "squeue failed: " + r.err;
  while (!error.empty() && error.back() == '\n') error.pop_back();
  return false;
}

}  // namespace

std::map<int, QueuedTask> ParseSqueue(const std::string& text, const std::string& jobId) {
  std::map<int, QueuedTask> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const std::size_t bar1 = line.find('|'), bar2 = line.find('|', bar1 + 1);
    if (bar1 == std::string::npos || bar2 == std::string::npos) continue;
    const std::string id = line.substr(0, bar1);
    int task = -1;
    if (id == jobId) {
      task = -1;
    } else if (id.rfind(jobId + "_", 0) == 0) {
      const std::string index = id.substr(jobId.size() + 1);
      char* end = nullptr;
      const long n = std::strtol(index.c_str(), &end, 10);
      if (index.empty() || *end || n < 0 || n > 10000000) continue;  // a range like 12_[3-5]
      task = int(n);
    } else {
      continue;
    }
    out[task] = QueuedTask{line.substr(bar1 + 1, bar2 - bar1 - 1), line.substr(bar2 + 1)};
  }
  return out;
}

FarmStatus SummariseFarm(const FarmRecord& record, const std::map<int, QueuedTask>& queued,
                         const std::set<int>& doneFrames, const std::set<int>& failedFrames) {
  FarmStatus s;
  FarmRequest request;
  request.first = record.first;
  request.last = record.last;
  request.chunk = record.chunk;
  const int tasks = (record.last - record.first) / record.chunk + 1;
  for (int i = 0; i < tasks; ++i) {
    FarmTaskState t;
    t.task = i;
    TaskFrames(request, i, t.first, t.last);
    t.log = record.logDir + "/" + record.name + "_" + record.jobs.array + "_" + std::to_string(i) + ".log";
    const auto q = queued.find(i);
    // A task waiting in the queue has not begun: a failure marked by an earlier submission
    // of the range is its to redo.
    for (int f = t.first; f <= t.last; ++f) {
      if (doneFrames.count(f)) ++t.done;
      else if (q == queued.end()) ++t.failed;
      else if (!Running(q->second.state)) ++t.pending;
      else if (failedFrames.count(f)) ++t.failed;
      else ++t.running;
    }
    if (q != queued.end() && !Running(q->second.state) && q->second.reason != "None") t.reason = q->second.reason;
    s.done += t.done;
    s.running += t.running;
    s.pending += t.pending;
    s.failed += t.failed;
    s.tasks.push_back(t);
  }
  return s;
}

void ReadFrameMarkers(const std::string& markDir, std::set<int>& done, std::set<int>& failed) {
  DIR* dir = ::opendir(markDir.c_str());
  if (!dir) return;
  while (dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    char* end = nullptr;
    const long frame = std::strtol(name.c_str(), &end, 10);
    if (end == name.c_str()) continue;
    if (std::string(end) == ".done") done.insert(int(frame));
    else if (std::string(end) == ".failed") failed.insert(int(frame));
  }
  ::closedir(dir);
}

bool FarmStatusReport(const FarmRecord& record, std::string& report, std::string& error) {
  std::map<int, QueuedTask> queued;
  if (!QueryQueue(record.jobs.array, queued, error)) return false;
  std::set<int> done, failed;
  ReadFrameMarkers(record.markDir, done, failed);
  // A frame marked done again after a failure (a resubmission) is done.
  for (int f : done) failed.erase(f);
  const FarmStatus s = SummariseFarm(record, queued, done, failed);
  const char* kind = record.kind == FarmKind::Render ? "render" : record.kind == FarmKind::Prt ? "PRT export" : "USD export";
  std::ostringstream out;
  out << "job " << record.jobs.array << ": " << kind << " of frames " << record.first << " to " << record.last << " into "
      << record.out << ", " << s.tasks.size() << " task" << (s.tasks.size() == 1 ? "" : "s") << "\n";
  out << "  frames: " << s.done << " done, " << s.running << " running, " << s.pending << " pending, " << s.failed
      << " failed\n";
  // The jobs before and after the array; the log of one that finished without its result.
  const bool neverRuns = std::any_of(s.tasks.begin(), s.tasks.end(), [](const FarmTaskState& t) {
    return t.reason.find("DependencyNeverSatisfied") != std::string::npos;
  });
  if (!record.jobs.sim.empty()) {
    std::map<int, QueuedTask> simQueued;
    if (QueryQueue(record.jobs.sim, simQueued, error)) {
      out << JobLine("simulation", record.jobs.sim, simQueued);
      if (simQueued.empty() && neverRuns)
        out << "  the simulation failed, so the tasks never run; log:\n"
            << LogTail(record.logDir + "/" + record.name + "_sim_" + record.jobs.sim + ".log", 20);
    }
  }
  if (!record.jobs.join.empty()) {
    std::map<int, QueuedTask> joinQueued;
    if (QueryQueue(record.jobs.join, joinQueued, error)) {
      out << JobLine("join", record.jobs.join, joinQueued);
      if (joinQueued.empty() && ::access(record.out.c_str(), F_OK) != 0)
        out << "  " << record.out << " was not written; log:\n"
            << LogTail(record.logDir + "/" + record.name + "_join_" + record.jobs.join + ".log", 20);
    }
  }
  error.clear();
  for (const FarmTaskState& t : s.tasks) {
    if (t.pending > 0 && !t.reason.empty() && t.reason.find("Dependency") != std::string::npos &&
        t.reason != "Dependency")
      out << "  task " << t.task << " waits: " << t.reason << "\n";
    if (t.failed == 0) continue;
    out << "  task " << t.task << " (frames " << t.first << " to " << t.last << ") failed " << t.failed << " frame"
        << (t.failed == 1 ? "" : "s") << "; log " << t.log << ":\n"
        << LogTail(t.log, 20);
  }
  report = out.str();
  return true;
}

}  // namespace crn::scene
