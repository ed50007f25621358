#include "groom/crinel_ops.h"

#include "groom/presets.h"
#include "groom/script_ops.h"

namespace crn {

using namespace host;

CrinelOps::CrinelOps() : FPInterfaceDesc(kCrinelOpsID, "crinelOps", 0, FP_CORE) {
  AddFunction({kFnGuideCount, "guideCount", FP_INT, {{"node", FP_INODE}}});
  AddFunction({kFnGuidePoint, "guidePoint", FP_POINT3_BV,
               {{"node", FP_INODE}, {"guide", FP_INT}, {"k", FP_INT}, {"time", FP_TIMEVALUE}}});
  AddFunction({kFnInsideCount, "insideCount", FP_INT, {{"node", FP_INODE}, {"time", FP_TIMEVALUE}}});
  AddFunction({kFnBrushStroke, "brushStroke", FP_BOOL, {{"node", FP_INODE}, {"down", FP_BOOL}}});
  AddFunction({kFnBrushMouse, "brushMouse", FP_BOOL,
               {{"node", FP_INODE}, {"msg", FP_INT}, {"x", FP_INT}, {"y", FP_INT}}});
  AddFunction({kFnKinkCount, "kinkCount", FP_INT, {{"node", FP_INODE}, {"time", FP_TIMEVALUE}}});
  AddFunction({kFnRenderCount, "renderCount", FP_INT, {{"node", FP_INODE}}});
  AddFunction({kFnDumpStrands, "dumpStrands", FP_INT, {{"node", FP_INODE}, {"path", FP_STRING}}});
  AddFunction({kFnApplyPreset, "applyPreset", FP_BOOL, {{"node", FP_INODE}, {"index", FP_INT}}});
  AddFunction({kFnPresetCount, "presetCount", FP_INT, {}});
  AddFunction({kFnBrushDab, "brushDab", FP_BOOL,
               {{"node", FP_INODE}, {"mode", FP_INT}, {"strength", FP_FLOAT}, {"delta", FP_POINT3_BV}}});
}

FPStatus CrinelOps::Invoke(int fid, const std::vector<FPValue>& args, FPValue& result,
                           std::string* error) {
  if (fid < 0 || fid > kFnPresetCount) return FPS_NO_SUCH_FUNCTION;
  std::size_t declared = 0;
  for (const FPFunctionDef& f : Functions())
    if (f.id == fid) declared = f.params.size();
  if (args.size() < declared) {
    if (error) *error = "Argument index out of bounds, passed into a MaxSDK::Array::operator[]";
    return FPS_ARGUMENT_ERROR;
  }
  auto node = [&](std::size_t i) { return args[i].n; };
  auto V = [](const V3& v) { return Point3(v.x, v.y, v.z); };
  switch (fid) {
    case kFnGuideCount: result = FPValue::Int(ops::guideCount(node(0))); break;
    case kFnGuidePoint:
      result = FPValue::Point(V(ops::guidePoint(node(0), args[1].i, args[2].i, args[3].i)));
      break;
    case kFnInsideCount: result = FPValue::Int(ops::insideCount(node(0), args[1].i)); break;
    case kFnBrushDab: {
      const Point3& d = args[3].p;
      result = FPValue::Bool(ops::brushDab(node(0), args[1].i, args[2].f, V3(d.x, d.y, d.z)));
      break;
    }
    case kFnBrushStroke: result = FPValue::Bool(ops::brushStroke(node(0), args[1].b)); break;
    case kFnBrushMouse:
      result = FPValue::Bool(ops::brushMouse(node(0), args[1].i, args[2].i, args[3].i));
      break;
    case kFnKinkCount: result = FPValue::Int(ops::kinkCount(node(0), args[1].i)); break;
    case kFnRenderCount: result = FPValue::Int(ops::renderCount(node(0))); break;
    case kFnDumpStrands: result = FPValue::Int(ops::dumpStrands(node(0), args[1].s)); break;
    case kFnApplyPreset:
      result = FPValue::Bool(ApplyPreset(HairObjectOf(node(0)), args[1].i));
      break;
    case kFnPresetCount: result = FPValue::Int(kPresetCount); break;
  }
  return FPS_OK;
}

}  // namespace crn
