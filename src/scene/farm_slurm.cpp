#include "scene/farm_slurm.h"

#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>

#include "host/file_read.h"
#include "plugin/atomic_file.h"

namespace crn::scene {

namespace {

bool MakeDirs(const std::string& dir, std::string& error) {
  std::string partial;
  std::size_t from = 0;
  while (from <= dir.size()) {
    const std::size_t slash = dir.find('/', from);
    partial = dir.substr(0, slash == std::string::npos ? dir.size() : slash);
    from = slash == std::string::npos ? dir.size() + 1 : slash + 1;
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) {
      error = partial + ": cannot create the folder: " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

bool WriteText(const std::string& path, const std::string& text, std::string& error) {
  return MakeDirs(DirName(path), error) &&
         WriteFileAtomically(path, [&](AtomicFile& f) { f.Write(text.data(), text.size()); }, error);
}

// The id sbatch --parsable prints: "123" or "123;cluster".
std::string ParsableJobId(const std::string& out) {
  std::string id;
  for (char c : out) {
    if (c < '0' || c > '9') break;
    id += c;
  }
  return id;
}

std::string Trim(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

std::vector<std::string> SbatchArgs(const FarmScript& script, const std::string& dependency) {
  std::vector<std::string> argv = {"sbatch", "--parsable"};
  argv.insert(argv.end(), script.sbatch.begin(), script.sbatch.end());
  if (!dependency.empty()) argv.push_back("--dependency=afterok:" + dependency);
  argv.push_back(script.path);
  return argv;
}

}  // namespace

std::string FindOnPath(const std::string& name) {
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : "";
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    struct stat st {};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return "";
}

ProcessResult RunProcess(const std::vector<std::string>& argv) {
  ProcessResult r;
  if (argv.empty()) return r;
  int out[2], err[2];
  if (::pipe(out) != 0) return r;
  if (::pipe(err) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    return r;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    ::close(out[0]);
    ::close(err[0]);
    ::close(out[1]);
    ::close(err[1]);
    ::execvp(args[0], args.data());
    const std::string msg = argv[0] + ": " + std::strerror(errno) + "\n";
    (void)!::write(2, msg.data(), msg.size());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  if (pid < 0) {
    ::close(out[0]);
    ::close(err[0]);
    r.err = std::string("cannot start ") + argv[0] + ": " + std::strerror(errno);
    return r;
  }
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&r.out, &r.err};
  int open = 2;
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buf[4096];
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, std::size_t(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (const pollfd& f : fds)
    if (f.fd >= 0) ::close(f.fd);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::vector<std::string> FarmSubmitCommands(const FarmPlan& plan) {
  auto line = [](const std::vector<std::string>& argv) {
    std::string s;
    for (const std::string& a : argv) s += (s.empty() ? "" : " ") + ShellQuote(a);
    return s;
  };
  std::vector<std::string> lines;
  if (plan.hasSim) lines.push_back(line(SbatchArgs(plan.sim, "")));
  lines.push_back(line(SbatchArgs(plan.array, plan.hasSim ? "<sim job>" : "")));
  if (plan.hasJoin) lines.push_back(line(SbatchArgs(plan.join, "<array job>")));
  return lines;
}

bool SubmitFarmPlan(const FarmPlan& plan, FarmJobs& jobs, std::string& error) {
  if (FindOnPath("sbatch").empty()) {
    error = "sbatch not found on PATH: is this a Slurm submit host? (scripts/slurm-local.sh up starts a "
            "one-node cluster)";
    return false;
  }
  if (!MakeDirs(plan.logDir, error) || !MakeDirs(plan.markDir, error)) return false;
  for (const FarmScript* s : {&plan.sim, &plan.array, &plan.join})
    if (!s->path.empty()) {
      if (!WriteText(s->path, s->text, error)) return false;
      ::chmod(s->path.c_str(), 0755);
    }
  auto submit = [&](const FarmScript& script, const std::string& after, std::string& id) {
    const ProcessResult r = RunProcess(SbatchArgs(script, after));
    id = r.status == 0 ? ParsableJobId(r.out) : "";
    if (!id.empty()) return true;
    error = "sbatch " + script.path + " failed: " + Trim(r.err.empty() ? r.out : r.err);
    if (!jobs.sim.empty()) error += " (job " + jobs.sim + " was submitted)";
    if (!jobs.array.empty()) error += " (job " + jobs.array + " was submitted)";
    return false;
  };
  if (plan.hasSim && !submit(plan.sim, "", jobs.sim)) return false;
  if (!submit(plan.array, jobs.sim, jobs.array)) return false;
  if (plan.hasJoin && !submit(plan.join, jobs.array, jobs.join)) return false;
  return true;
}

FarmRecord MakeFarmRecord(const FarmRequest& request, const FarmPlan& plan, const FarmJobs& jobs) {
  FarmRecord r;
  r.kind = request.kind;
  r.first = request.first;
  r.last = request.last;
  r.chunk = request.chunk;
  r.out = request.out;
  r.markDir = plan.markDir;
  r.logDir = plan.logDir;
  r.name = plan.name;
  r.jobs = jobs;
  return r;
}

std::string FormatFarmRecord(const FarmRecord& r) {
  const char* kind = r.kind == FarmKind::Render ? "render" : r.kind == FarmKind::Prt ? "prt" : "usd";
  std::string s = "crinel farm job\n";
  s += std::string("kind=") + kind + "\n";
  s += "first=" + std::to_string(r.first) + "\nlast=" + std::to_string(r.last) + "\nchunk=" + std::to_string(r.chunk) + "\n";
  s += "out=" + r.out + "\nmarks=" + r.markDir + "\nlogs=" + r.logDir + "\nname=" + r.name + "\n";
  s += "sim=" + r.jobs.sim + "\narray=" + r.jobs.array + "\njoin=" + r.jobs.join + "\n";
  return s;
}

bool ParseFarmRecord(const std::string& text, FarmRecord& r, std::string& error) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != "crinel farm job") {
    error = "not a crinel farm job record";
    return false;
  }
  std::map<std::string, std::string> v;
  while (std::getline(in, line)) {
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) v[line.substr(0, eq)] = line.substr(eq + 1);
  }
  auto whole = [&](const char* key, int& out) {
    char* end = nullptr;
    const std::string& t = v[key];
    const long n = std::strtol(t.c_str(), &end, 10);
    if (t.empty() || *end || n < -10000000 || n > 10000000) return false;
    out = int(n);
    return true;
  };
  const std::string& kind = v["kind"];
  r.kind = kind == "prt" ? FarmKind::Prt : kind == "usd" ? FarmKind::Usd : FarmKind::Render;
  if ((kind != "render" && kind != "prt" && kind != "usd") || !whole("first", r.first) || !whole("last", r.last) ||
      !whole("chunk", r.chunk) || r.chunk < 1 || r.first > r.last || v["marks"].empty() || v["array"].empty()) {
    error = "the job record is incomplete";
    return false;
  }
  r.out = v["out"];
  r.markDir = v["marks"];
  r.logDir = v["logs"];
  r.name = v["name"];
  r.jobs = {v["sim"], v["array"], v["join"]};
  return true;
}

std::string FarmRecordDir() {
  if (const char* dir = std::getenv("CRINEL_FARM_JOBS"); dir && *dir) return dir;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) return std::string(state) + "/crinel/farm";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/.local/state/crinel/farm";
}

bool SaveFarmRecord(const FarmRecord& record, const std::string& farmDir, std::string& error) {
  const std::string text = FormatFarmRecord(record);
  const std::string file = "/job_" + record.jobs.array + ".txt";
  std::string first, second;
  const bool beside = WriteText(farmDir + "/jobs" + file, text, first);
  const bool indexed = WriteText(FarmRecordDir() + file, text, second);
  if (beside || indexed) return true;
  error = first + "; " + second;
  return false;
}

// Job records are a few lines; anything larger is not one.
constexpr std::uint64_t kMaxFarmRecordBytes = 1 << 20;

bool FindFarmRecord(const std::string& jobId, FarmRecord& record, std::string& error) {
  if (jobId.empty() || jobId.find_first_not_of("0123456789") != std::string::npos) {
    error = "\"" + jobId + "\" is not a job id";
    return false;
  }
  const std::string file = "/job_" + jobId + ".txt";
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::string path = FarmRecordDir() + file;
    if (attempt == 1) {
      // Submitted with another record folder (another user's state, another machine): the
      // queue still knows the script, and the record lies beside it.
      const ProcessResult r = RunProcess({"scontrol", "show", "job", jobId});
      const std::size_t at = r.out.find("Command=");
      if (r.status != 0 || at == std::string::npos) break;
      const std::size_t end = r.out.find('\n', at);
      path = DirName(r.out.substr(at + 8, end == std::string::npos ? std::string::npos : end - at - 8)) + "/jobs" + file;
    }
    std::string text, readError;
    if (access(path.c_str(), F_OK) != 0) continue;
    if (!host::ReadRegularFile(path, kMaxFarmRecordBytes, text, readError)) {
      error = path + ": " + readError;
      return false;
    }
    if (!ParseFarmRecord(text, record, error)) {
      error = path + ": " + error;
      return false;
    }
    return true;
  }
  error = "no record of farm job " + jobId + " in " + FarmRecordDir() + " (is it the job id crinel farm printed?)";
  return false;
}

}  // namespace crn::scene
