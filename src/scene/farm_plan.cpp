#include "scene/farm_plan.h"

#include <algorithm>
#include <cstdio>

namespace crn::scene {

namespace {

// A printf format that prints the pattern for one int argument: '%' and '\' doubled (the
// shell's printf reads backslash escapes in its format).
std::string PrintfEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '%' || c == '\\') out += c;
    out += c;
  }
  return out;
}

std::string PrintfFormat(const FramePattern& p) {
  return PrintfEscape(p.prefix) + "%0" + std::to_string(p.width) + "d" + PrintfEscape(p.suffix);
}

bool HasControlCharacter(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  return false;
}

// A name for scripts, logs and job names: letters, digits, '.', '-' and '_'.
std::string SafeName(const std::string& text) {
  std::string out;
  for (char c : text) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '-' || c == '_';
    out += ok ? c : '_';
  }
  return out.empty() ? "_" : out;
}

// A file name for sbatch --output, whose '%' starts a replacement symbol.
std::string SlurmFileName(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '%') out += '%';
    out += c;
  }
  return out;
}

std::string StripExtension(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return hasExt ? path.substr(0, dot) : path;
}

std::string Join(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& w : words) out += (out.empty() ? "" : " ") + ShellQuote(w);
  return out;
}

const char* KindWord(FarmKind kind) {
  switch (kind) {
    case FarmKind::Render: return "render";
    case FarmKind::Prt: return "prt";
    case FarmKind::Usd: return "usd";
  }
  return "render";
}

// The header every script starts with: what it does, how it is submitted, the variables
// its body uses.
std::string ScriptHead(const FarmRequest& r, const FarmScript& script, const std::string& what) {
  std::string s = "#!/bin/bash\n# " + what + "\n# Submitted by crinel farm with: sbatch " + Join(script.sbatch) +
                  " " + ShellQuote(script.path) + "\n";
  s += "set -u\n";
  s += "crinel=" + ShellQuote(r.crinel) + "\n";
  s += "scene=" + ShellQuote(r.scene) + "\n";
  return s;
}

// The loop of an array task over its frames. With perChunk, the task's one output is the
// chunk (printf with "$start" "$end"), which marks all its frames done; otherwise each frame
// "$f" has its own output. BODY makes "$out" and sets rc; an existing "$out" is kept.
std::string FrameLoop(const FarmRequest& r, const FarmPlan& plan, const std::string& outFormat,
                      bool perChunk, const std::string& body) {
  std::string s;
  s += "marks=" + ShellQuote(plan.markDir) + "\n";
  s += "first=" + std::to_string(r.first) + "\nlast=" + std::to_string(r.last) +
       "\nchunk=" + std::to_string(r.chunk) + "\n";
  s += "task=${SLURM_ARRAY_TASK_ID:?runs as a task of a Slurm job array}\n";
  s += "start=$((first + task * chunk))\nend=$((start + chunk - 1))\n";
  s += "if [ \"$end\" -gt \"$last\" ]; then end=$last; fi\n";
  s += "mkdir -p \"$marks\" || exit 1\n";
  s += "echo \"task $task: frames $start to $end on $(hostname)\"\n";
  s += "status=0\n";
  s += perChunk ? "for ((f = start; f <= start; f++)); do\n" : "for ((f = start; f <= end; f++)); do\n";
  s += "  out=$(printf " + ShellQuote(outFormat) + (perChunk ? " \"$start\" \"$end\")\n" : " \"$f\")\n");
  s += "  rm -f \"$marks/$f.failed\"\n";
  s += "  if [ -e \"$out\" ]; then\n";
  s += "    echo \"frame $f: $out exists; skipped\"\n";
  s += "  else\n";
  s += body;
  s += "    if [ \"$rc\" -ne 0 ]; then\n";
  s += "      echo \"frame $f: crinel failed with exit status $rc\"\n";
  s += "      echo \"$rc\" >\"$marks/$f.failed\"\n";
  s += "      status=1\n";
  s += "      continue\n";
  s += "    fi\n";
  s += "  fi\n";
  s += perChunk ? "  for ((g = start; g <= end; g++)); do : >\"$marks/$g.done\"; done\n" : "  : >\"$marks/$f.done\"\n";
  s += "done\n";
  s += "exit $status\n";
  return s;
}

std::string SimCacheOption(const FarmRequest& r) {
  return r.simNodes.empty() ? "" : " --sim-caches " + ShellQuote(DirName(r.out));
}

}  // namespace

bool ParseFramePattern(const std::string& text, FramePattern& out, std::string& error) {
  const std::size_t base = text.rfind('/') == std::string::npos ? 0 : text.rfind('/') + 1;
  const std::size_t hash = text.find('#', base);
  if (hash == std::string::npos || text.find('#') < base) {
    error = text + ": the file name needs #### where the frame number goes";
    return false;
  }
  std::size_t end = hash;
  while (end < text.size() && text[end] == '#') ++end;
  if (text.find('#', end) != std::string::npos) {
    error = text + ": the file name has more than one run of #";
    return false;
  }
  out.prefix = text.substr(0, hash);
  out.suffix = text.substr(end);
  out.width = int(end - hash);
  if (out.width > 10) {
    error = text + ": at most 10 # for the frame number";
    return false;
  }
  return true;
}

std::string FrameFileName(const FramePattern& p, int frame) {
  char number[32];
  std::snprintf(number, sizeof number, "%0*d", p.width, frame);
  return p.prefix + number + p.suffix;
}

FramePattern PrtFramePattern(const std::string& chosen) {
  FramePattern p;
  p.prefix = StripExtension(chosen) + "_";
  p.suffix = ".prt";
  p.width = 4;
  return p;
}

std::string ShellQuote(const std::string& word) {
  std::string out = "'";
  for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string DirName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string SimCacheFileName(const std::string& dir, const std::string& node) {
  return dir + "/" + SafeName(node) + ".crnc";
}

std::string UsdChunkRelativeName(const std::string& out, int first, int last) {
  const std::string stem = BaseName(StripExtension(out));
  char range[64];
  std::snprintf(range, sizeof range, "_%04d_%04d.usda", first, last);
  return stem + "_clips/" + stem + range;
}

std::string UsdManifestRelativeName(const std::string& out) {
  const std::string stem = BaseName(StripExtension(out));
  return stem + "_clips/" + stem + "_manifest.usda";
}

std::string UsdChunkFileName(const std::string& out, int first, int last) {
  return DirName(out) + "/" + UsdChunkRelativeName(out, first, last);
}

void TaskFrames(const FarmRequest& r, int task, int& first, int& last) {
  first = r.first + task * r.chunk;
  last = std::min(r.last, first + r.chunk - 1);
}

bool PlanFarmJob(const FarmRequest& r, FarmPlan& plan, std::string& error) {
  if (r.first > r.last) {
    error = "the frame range " + std::to_string(r.first) + "-" + std::to_string(r.last) + " is empty";
    return false;
  }
  if (r.chunk < 1) {
    error = "--chunk must be at least 1";
    return false;
  }
  for (const std::string* path : {&r.crinel, &r.scene, &r.out})
    if (path->empty() || (*path)[0] != '/' || HasControlCharacter(*path)) {
      error = ShellQuote(*path) + ": job scripts need absolute paths without control characters";
      return false;
    }
  if (HasControlCharacter(r.partition)) {
    error = "--partition: a partition name has no control characters";
    return false;
  }
  FramePattern pattern;
  std::string base;
  switch (r.kind) {
    case FarmKind::Render:
      if (!ParseFramePattern(r.out, pattern, error)) return false;
      base = BaseName(r.out);
      base.erase(std::remove(base.begin(), base.end(), '#'), base.end());
      break;
    case FarmKind::Prt:
      pattern = PrtFramePattern(r.out);
      base = BaseName(StripExtension(r.out)) + ".prt";
      break;
    case FarmKind::Usd:
      base = BaseName(StripExtension(r.out)) + ".usda";
      break;
  }
  const long long tasks = (static_cast<long long>(r.last) - r.first) / r.chunk + 1;
  if (tasks > 100000) {
    error = "the range needs " + std::to_string(tasks) + " array tasks; use a larger --chunk";
    return false;
  }
  plan = FarmPlan();
  plan.tasks = int(tasks);
  plan.name = SafeName(base);
  plan.farmDir = DirName(r.out) + "/crinel_farm";
  plan.markDir = plan.farmDir + "/" + plan.name + ".frames";
  plan.logDir = plan.farmDir + "/logs";
  const std::string jobName = "crinel-" + std::string(KindWord(r.kind)) + "-" + plan.name;
  const std::string range = std::to_string(r.first) + " to " + std::to_string(r.last);

  plan.array.path = plan.farmDir + "/" + plan.name + ".tasks.sh";
  plan.array.sbatch = {"--array=0-" + std::to_string(plan.tasks - 1), "--job-name=" + jobName,
                       "--output=" + SlurmFileName(plan.logDir + "/" + plan.name) + "_%A_%a.log", "--exclusive"};
  if (!r.partition.empty()) plan.array.sbatch.push_back("--partition=" + r.partition);

  std::string body, what, outFormat;
  switch (r.kind) {
    case FarmKind::Render:
      what = "Renders frames " + range + " of the scene, " + std::to_string(r.chunk) + " per array task.";
      outFormat = PrintfFormat(pattern);
      body = "    \"$crinel\" render \"$scene\" --frame \"$f\"";
      for (const std::string& o : r.renderOptions) body += " " + ShellQuote(o);
      body += SimCacheOption(r) + " --out \"$out\"\n    rc=$?\n";
      break;
    case FarmKind::Prt:
      what = "Writes the PRT files of frames " + range + ", " + std::to_string(r.chunk) + " per array task.";
      outFormat = PrintfFormat(pattern);
      // --sequence-start: a frame after the first takes its velocities from the frame before,
      // as in one export of the whole range.
      body = "    \"$crinel\" prt \"$scene\" --node " + ShellQuote(r.node) +
             " --range \"$f-$f\" --sequence-start \"$first\"" + SimCacheOption(r) + " --out " +
             ShellQuote(r.out) + "\n    rc=$?\n";
      break;
    case FarmKind::Usd:
      what = "Writes USD chunks of frames " + range + ", " + std::to_string(r.chunk) + " frames per array task.";
      outFormat = PrintfEscape(DirName(r.out) + "/" + BaseName(StripExtension(r.out)) + "_clips/" +
                               BaseName(StripExtension(r.out))) +
                  "_%04d_%04d.usda";
      body = "    mkdir -p \"$(dirname \"$out\")\"\n";
      body += "    \"$crinel\" export \"$scene\" --node " + ShellQuote(r.node) + " --frames \"$start-$end\"" +
              SimCacheOption(r) + " --out \"$out\"\n    rc=$?\n";
      break;
  }
  plan.array.text = ScriptHead(r, plan.array, what) + FrameLoop(r, plan, outFormat, r.kind == FarmKind::Usd, body);

  if (!r.simNodes.empty()) {
    plan.hasSim = true;
    plan.sim.path = plan.farmDir + "/" + plan.name + ".sim.sh";
    plan.sim.sbatch = {"--job-name=" + jobName + "-sim", "--output=" + SlurmFileName(plan.logDir + "/" + plan.name) + "_sim_%j.log",
                       "--exclusive"};
    if (!r.partition.empty()) plan.sim.sbatch.push_back("--partition=" + r.partition);
    std::string s = ScriptHead(r, plan.sim, "Simulates the hair objects that simulate over frames " + range +
                                            " and writes their caches beside the outputs.");
    s += "status=0\n";
    for (const std::string& node : r.simNodes) {
      const std::string cache = SimCacheFileName(DirName(r.out), node);
      s += "if [ -e " + ShellQuote(cache) + " ]; then\n  echo " + ShellQuote(cache + " exists; kept") + "\n";
      s += "else\n  \"$crinel\" sim \"$scene\" --node " + ShellQuote(node) + " --range " +
           ShellQuote(std::to_string(r.first) + "-" + std::to_string(r.last)) + " --cache " + ShellQuote(cache) +
           " || status=1\nfi\n";
    }
    s += "exit $status\n";
    plan.sim.text = s;
  }

  if (r.kind == FarmKind::Usd) {
    plan.hasJoin = true;
    plan.join.path = plan.farmDir + "/" + plan.name + ".join.sh";
    plan.join.sbatch = {"--job-name=" + jobName + "-join", "--output=" + SlurmFileName(plan.logDir + "/" + plan.name) + "_join_%j.log"};
    if (!r.partition.empty()) plan.join.sbatch.push_back("--partition=" + r.partition);
    std::string s = ScriptHead(r, plan.join, "Joins the USD chunks of frames " + range + " into one layer.");
    s += "exec \"$crinel\" farm join \"$scene\" --node " + ShellQuote(r.node) + " --frames " +
         ShellQuote(std::to_string(r.first) + "-" + std::to_string(r.last)) + " --chunk " +
         std::to_string(r.chunk) + " --out " + ShellQuote(r.out) + "\n";
    plan.join.text = s;
  }
  return true;
}

}  // namespace crn::scene
