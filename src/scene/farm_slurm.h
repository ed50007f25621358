#pragma once
// Talking to Slurm: running its commands, submitting a farm plan, and the job records that
// let `crinel farm status` find a job's frames again.
#include <string>
#include <vector>

#include "scene/farm_plan.h"

namespace crn::scene {

// The full path of a program found on PATH, or empty.
std::string FindOnPath(const std::string& name);

struct ProcessResult {
  int status = -1;       // exit status; -1 when it could not run or died by a signal
  std::string out, err;  // what it printed
};
// Runs argv (argv[0] looked up on PATH) without a shell and collects its output.
ProcessResult RunProcess(const std::vector<std::string>& argv);

// The job ids of a submission; empty for jobs the plan has not.
struct FarmJobs {
  std::string sim, array, join;
};

// Writes the plan's scripts (atomically) and submits them with sbatch in order: the
// simulation, the array after it (afterok), the join after the array. False with error
// (nothing more is submitted after a failed sbatch; the jobs already queued are named).
bool SubmitFarmPlan(const FarmPlan& plan, FarmJobs& jobs, std::string& error);

// The sbatch command lines of a plan, for --dry-run ("<sim job>" for ids not known yet).
std::vector<std::string> FarmSubmitCommands(const FarmPlan& plan);

// What `crinel farm status` needs to know about a submitted job.
struct FarmRecord {
  FarmKind kind = FarmKind::Render;
  int first = 0, last = 0, chunk = 1;
  std::string out, markDir, logDir, name;
  FarmJobs jobs;
};
FarmRecord MakeFarmRecord(const FarmRequest& request, const FarmPlan& plan, const FarmJobs& jobs);
std::string FormatFarmRecord(const FarmRecord& record);
bool ParseFarmRecord(const std::string& text, FarmRecord& record, std::string& error);

// The folder of job records: $CRINEL_FARM_JOBS, else $XDG_STATE_HOME/crinel/farm, else
// ~/.local/state/crinel/farm.
std::string FarmRecordDir();
// Writes the record under the array job's id in the record folder and in the plan's farm
// folder. False with error when neither could be written.
bool SaveFarmRecord(const FarmRecord& record, const std::string& farmDir, std::string& error);
// Finds the record of a job: the record folder, else the farm folder beside the script that
// `scontrol show job` names.
bool FindFarmRecord(const std::string& jobId, FarmRecord& record, std::string& error);

}  // namespace crn::scene
