#include "host/function_publishing.h"

#include <algorithm>

namespace host {

namespace {
std::vector<FPInterfaceDesc*>& CoreInterfaces() {
  static std::vector<FPInterfaceDesc*> v;
  return v;
}
}  // namespace

const char* FPParamTypeName(FPParamType t) {
  switch (t) {
    case FP_VOID: return "void";
    case FP_INT: return "int";
    case FP_FLOAT: return "float";
    case FP_BOOL: return "bool";
    case FP_POINT3_BV: return "point3";
    case FP_INODE: return "node";
    case FP_TIMEVALUE: return "time";
    case FP_STRING: return "string";
  }
  return "?";
}

FPInterfaceDesc::FPInterfaceDesc(Interface_ID id, std::string internalName,
                                 int descriptionResource, int flags)
    : id_(id), name_(std::move(internalName)), descResource_(descriptionResource), flags_(flags) {
  if (flags_ & FP_CORE) CoreInterfaces().push_back(this);
}

FPInterfaceDesc::~FPInterfaceDesc() {
  auto& v = CoreInterfaces();
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

const FPFunctionDef* FPInterfaceDesc::FindFunction(const std::string& name) const {
  for (const FPFunctionDef& f : functions_)
    if (f.internalName == name) return &f;
  return nullptr;
}

FPInterfaceDesc* GetFPInterface(const std::string& internalName) {
  for (FPInterfaceDesc* d : CoreInterfaces())
    if (d->InternalName() == internalName) return d;
  return nullptr;
}

FPInterfaceDesc* GetFPInterface(const Interface_ID& id) {
  for (FPInterfaceDesc* d : CoreInterfaces())
    if (d->ID() == id) return d;
  return nullptr;
}

}  // namespace host
