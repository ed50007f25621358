#pragma once
// Render strands as USD: one BasisCurves prim (linear curves) in the ASCII usda format, with
// every attribute time-sampled over the exported frames, so any USD reader opens it without
// this system.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "hair/gen_types.h"

namespace crn::scene {

class UsdCurvesWriter {
 public:
  // primName: the curves prim under the root Xform (a valid USD identifier is made of it);
  // fps: frames per second, the time codes being frame numbers.
  UsdCurvesWriter(std::string primName, double fps, double metersPerUnit);
  ~UsdCurvesWriter();
  UsdCurvesWriter(const UsdCurvesWriter&) = delete;
  UsdCurvesWriter& operator=(const UsdCurvesWriter&) = delete;

  // Adds the strands of one frame (frames in rising order). Spools the text to temporary
  // files, so a long range does not hold every frame in memory. False with error when the
  // spool cannot be written.
  bool AddFrame(int frame, const StrandSet& strands, std::string& error);
  // Writes the file through a temporary file beside path.
  bool Write(const std::string& path, std::string& error);

 private:
  struct Spool;
  std::string prim_;
  double fps_, metersPerUnit_;
  int first_ = 0, last_ = 0, frames_ = 0;
  std::vector<std::unique_ptr<Spool>> spools_;
};

// One chunk of a long export: a layer written by UsdCurvesWriter holding frames first to
// last, and its asset path relative to the joining layer's folder.
struct UsdClip {
  std::string asset;
  int first = 0, last = 0;
};

// Joins chunks (in rising frame order) into one layer: the same prim, whose attribute values
// come from the chunks as USD value clips, each chunk active from its first frame on, and a
// clip manifest written at manifest (relative to path's folder, like the chunks). Any USD
// reader then sees one time-sampled prim over the whole range.
bool WriteUsdClipsLayer(const std::string& path, const std::string& primName, double fps, double metersPerUnit,
                        const std::vector<UsdClip>& clips, const std::string& manifest, std::string& error);

// A name usable as a USD prim name: letters, digits and '_', not starting with a digit.
std::string UsdIdentifier(const std::string& name);

}  // namespace crn::scene
