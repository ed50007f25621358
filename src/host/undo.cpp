#include "host/undo.h"

namespace host {

Hold theHold;

void Hold::Begin() { ++depth_; }

void Hold::Put(RestoreObj* rec) {
  std::unique_ptr<RestoreObj> owned(rec);
  if (!Holding()) return;
  open_.push_back(std::move(owned));
}

void Hold::Accept(const std::string& name) {
  if (depth_ == 0) return;
  if (--depth_ > 0) return;
  if (open_.empty()) return;
  for (auto& r : open_) r->EndHold();
  undo_.push_back(Step{name, std::move(open_)});
  open_.clear();
  redo_.clear();
}

void Hold::Cancel() {
  if (depth_ == 0) return;
  depth_ = 0;
  restoring_ = true;
  for (auto it = open_.rbegin(); it != open_.rend(); ++it) (*it)->Restore(0);
  restoring_ = false;
  open_.clear();
}

bool Hold::Undo() {
  if (undo_.empty() || depth_ > 0) return false;
  Step step = std::move(undo_.back());
  undo_.pop_back();
  restoring_ = true;
  for (auto it = step.records.rbegin(); it != step.records.rend(); ++it) (*it)->Restore(1);
  restoring_ = false;
  redo_.push_back(std::move(step));
  return true;
}

bool Hold::Redo() {
  if (redo_.empty() || depth_ > 0) return false;
  Step step = std::move(redo_.back());
  redo_.pop_back();
  restoring_ = true;
  for (auto& r : step.records) r->Redo();
  restoring_ = false;
  undo_.push_back(std::move(step));
  return true;
}

void Hold::ClearStacks() {
  undo_.clear();
  redo_.clear();
  open_.clear();
  depth_ = 0;
}

}  // namespace host
