#pragma once
// Progress of long command-line work (simulations, renders, exports): a one-line bar on a
// terminal stream with the units done, the rate and the time left, and Ctrl-C as the user's
// cancel, the way Escape cancels long actions in the host.
#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>

namespace crn::scene {

class ProgressBar {
 public:
  // unit names what is counted ("frames", "passes").
  ProgressBar(std::ostream& out, std::string unit, std::uint64_t total);
  // Redraws the line (at most ten times a second) after `done` of the total units. A second
  // rate is shown when extraUnit is given: extra counts those so far (rays, for passes).
  void Update(std::uint64_t done, double extra = 0, const char* extraUnit = nullptr);
  // Ends the line.
  void Finish();

 private:
  std::ostream& out_;
  std::string unit_;
  std::uint64_t total_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDraw_{};
  bool drawn_ = false;
};

// Installs the Ctrl-C handler: the first Ctrl-C sets the cancel flag (the work stops at its
// next step and keeps what it has), a second one ends the process at once.
void InstallCancelHandler();
// True once Ctrl-C was pressed since the handler was installed or the flag cleared.
bool CancelRequested();
void ClearCancel();
// Raises the flag as Ctrl-C does (tests, and hosts with their own key handling).
void RequestCancel();

}  // namespace crn::scene
