#pragma once
// Krakatoa PRT (version 1) files of a hair object's render strands: one particle per strand
// point with eleven channels, the particles in a zlib stream of stored deflate blocks written
// here, without a compression library.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hair/gen_types.h"
#include "kernels/half.h"

namespace crn {

class AtomicFile;

// One frame to write.
struct PrtFrame {
  const StrandSet* strands = nullptr;
  // The same object's strand points one frame earlier, for velocities; null on the first
  // frame. Ignored when its point count differs.
  const std::vector<V3>* previousPoints = nullptr;
  double frameSeconds = 0;  // ticks per frame / 4800; velocities are zero when not positive
  std::int32_t objectId = 1;
};

constexpr std::size_t kPrtParticleBytes = 54;
constexpr std::size_t kPrtHeaderBytes = 552;

// Writes the frame to path through a temporary file, so a failed write keeps the file that
// was there. False with error "no strands", "cannot write the PRT file" or "PRT write error";
// reason, when given, receives the system's reason (path and strerror).
bool WritePrt(const PrtFrame& frame, const std::string& path, std::string& error,
              std::string* reason = nullptr);

// The file of one frame of a sequence: the chosen path without its extension (from the last
// "." of the file name on) plus "_%04d.prt".
std::string PrtSequenceFileName(const std::string& chosen, int frame);

// A zlib stream (RFC 1950) of stored deflate blocks (RFC 1951): 0x78 0x01, full non-final
// blocks of 65,535 bytes, a final block with the rest (possibly empty), the Adler-32.
class StoredZlibStream {
 public:
  explicit StoredZlibStream(AtomicFile& out) : out_(out) {}
  void Begin();
  void Write(const void* data, std::size_t n);
  void Finish();

 private:
  void Block(bool final);
  AtomicFile& out_;
  std::vector<std::uint8_t> buffer_;
  std::uint32_t a_ = 1, b_ = 0;  // Adler-32 halves
};

}  // namespace crn
