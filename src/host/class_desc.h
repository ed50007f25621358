#pragma once
// Class descriptors and the host's class directory.
#include <string>
#include <vector>

#include "host/class_id.h"

namespace host {

class ParamBlockDesc2;
class ReferenceMaker;

class ClassDesc2 {
 public:
  virtual ~ClassDesc2() = default;
  virtual int IsPublic() { return 1; }
  // Makes a new instance on the host heap (loading: created to be filled by a load).
  virtual void* Create(bool loading = false) = 0;
  virtual const char* ClassName() = 0;
  virtual const char* NonLocalizedClassName() = 0;
  virtual SClass_ID SuperClassID() = 0;
  virtual Class_ID ClassID() = 0;
  virtual const char* Category() = 0;
  virtual const char* InternalName() = 0;
  // Text of a string-table id owned by the module that made this descriptor.
  virtual const char* GetRsrcString(int id) { (void)id; return ""; }
  // Creation checks (whether the class may be created now).
  virtual bool OkToCreate() { return true; }

  // Parameter block descriptors owned by this class.
  void AddParamBlockDesc(ParamBlockDesc2* pbd) { blocks_.push_back(pbd); }
  int NumParamBlockDescs() const { return int(blocks_.size()); }
  ParamBlockDesc2* GetParamBlockDesc(int i) const { return blocks_[i]; }
  ParamBlockDesc2* GetParamBlockDescByID(short id) const;
  // Builds the auto-constructed blocks of owner as its references.
  void MakeAutoParamBlocks(ReferenceMaker* owner);

 private:
  std::vector<ParamBlockDesc2*> blocks_;
};

// The classes the host knows, registered from each module's class table.
class ClassDirectory {
 public:
  static ClassDirectory& Get();
  void AddClass(ClassDesc2* cd);
  void RemoveClass(ClassDesc2* cd);
  ClassDesc2* FindClass(SClass_ID sid, const Class_ID& cid) const;
  ClassDesc2* FindClass(const Class_ID& cid) const;
  // By class name, non-localised name or internal name.
  ClassDesc2* FindClassByName(const std::string& name) const;
  const std::vector<ClassDesc2*>& Classes() const { return classes_; }

 private:
  std::vector<ClassDesc2*> classes_;
};

}  // namespace host
