#pragma once
// The script interface crinelOps: its descriptor and the dispatcher by function id.
#include "host/function_publishing.h"

namespace crn {

constexpr host::Interface_ID kCrinelOpsID{0x4F1A2B3C, 0x5D6E7F80};

// Function ids; the descriptor lists them in the order 0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 3.
enum CrinelOpsFunction {
  kFnGuideCount = 0,
  kFnGuidePoint = 1,
  kFnInsideCount = 2,
  kFnBrushDab = 3,
  kFnBrushStroke = 4,
  kFnBrushMouse = 5,
  kFnKinkCount = 6,
  kFnRenderCount = 7,
  kFnDumpStrands = 8,
  kFnApplyPreset = 9,
  kFnPresetCount = 10,
};

class CrinelOps : public host::FPInterfaceDesc {
 public:
  CrinelOps();
  host::FPStatus Invoke(int fid, const std::vector<host::FPValue>& args, host::FPValue& result,
                        std::string* error) override;
};

CrinelOps* GetCrinelOps();

}  // namespace crn
