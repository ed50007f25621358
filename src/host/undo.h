#pragma once
// The host undo system: restore objects collected in a hold become one undo step.
#include <memory>
#include <string>
#include <vector>

namespace host {

class RestoreObj {
 public:
  virtual ~RestoreObj() = default;
  // Puts the state back as it was before the change (isUndo true for a user undo).
  virtual void Restore(int isUndo) = 0;
  // Puts the changed state back after an undo.
  virtual void Redo() = 0;
  virtual int Size() { return 1; }
  virtual void EndHold() {}
  virtual std::string Description() { return "restore"; }
};

class Hold {
 public:
  // Opens a hold (nested Begin calls count and close with the outermost Accept/Cancel).
  void Begin();
  // Takes ownership of rec when holding; otherwise discards it.
  void Put(RestoreObj* rec);
  // Closes the hold as one undo step named name (no step when nothing was put).
  void Accept(const std::string& name);
  // Closes the hold, restoring and discarding everything put since Begin.
  void Cancel();
  bool Holding() const { return depth_ > 0 && !restoring_; }
  // True while an undo or redo runs (restore objects must not put new records).
  bool Restoring() const { return restoring_; }

  bool Undo();
  bool Redo();
  std::size_t UndoCount() const { return undo_.size(); }
  std::size_t RedoCount() const { return redo_.size(); }
  std::string UndoName() const { return undo_.empty() ? "" : undo_.back().name; }
  void ClearStacks();

 private:
  struct Step {
    std::string name;
    std::vector<std::unique_ptr<RestoreObj>> records;
  };
  int depth_ = 0;
  bool restoring_ = false;
  std::vector<std::unique_ptr<RestoreObj>> open_;
  std::vector<Step> undo_, redo_;
};

extern Hold theHold;

}  // namespace host
