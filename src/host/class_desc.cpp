#include "host/class_desc.h"

#include <algorithm>

#include "host/param_block.h"

namespace host {

ParamBlockDesc2* ClassDesc2::GetParamBlockDescByID(short id) const {
  for (ParamBlockDesc2* b : blocks_)
    if (b->ID() == id) return b;
  return nullptr;
}

void ClassDesc2::MakeAutoParamBlocks(ReferenceMaker* owner) {
  for (ParamBlockDesc2* b : blocks_)
    if (b->AutoConstruct()) owner->ReplaceReference(b->RefNo(), CreateParameterBlock2(b, owner));
}

ClassDirectory& ClassDirectory::Get() {
  static ClassDirectory dir;
  return dir;
}

void ClassDirectory::AddClass(ClassDesc2* cd) {
  if (cd && std::find(classes_.begin(), classes_.end(), cd) == classes_.end())
    classes_.push_back(cd);
}

void ClassDirectory::RemoveClass(ClassDesc2* cd) {
  classes_.erase(std::remove(classes_.begin(), classes_.end(), cd), classes_.end());
}

ClassDesc2* ClassDirectory::FindClass(SClass_ID sid, const Class_ID& cid) const {
  for (ClassDesc2* cd : classes_)
    if (cd->SuperClassID() == sid && cd->ClassID() == cid) return cd;
  return nullptr;
}

ClassDesc2* ClassDirectory::FindClass(const Class_ID& cid) const {
  for (ClassDesc2* cd : classes_)
    if (cd->ClassID() == cid) return cd;
  return nullptr;
}

ClassDesc2* ClassDirectory::FindClassByName(const std::string& name) const {
  for (ClassDesc2* cd : classes_)
    if (name == cd->ClassName() || name == cd->NonLocalizedClassName() ||
        name == cd->InternalName())
      return cd;
  return nullptr;
}

}  // namespace host
