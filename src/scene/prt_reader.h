#pragma once
// Reading particle files in the PRT format that fluid simulators export: a header with the
// particle count and the channel layout, then the particles zlib-compressed. The reader keeps
// the Position and Velocity channels.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/particles.h"

namespace crn::scene {

// Parses a whole PRT file held in memory into positions and velocities (velocities empty when
// the file has no Velocity channel). Every size the file announces is checked against the
// bytes present before anything is allocated; error says what is wrong.
bool ReadPrtBytes(const std::uint8_t* data, std::size_t size, host::ParticleFrame& out,
                  std::string& error);
// The same from a file; errors start with the file name.
bool ReadPrtFile(const std::string& path, host::ParticleFrame& out, std::string& error);

// Reads frames first..last from the numbered files of pattern (a run of '#' for the frame
// number, as mesh sequences) into obj; every file must exist. On failure obj is unchanged.
bool LoadPrtSequence(const std::string& pattern, int first, int last,
                     host::ParticleSystemObject& obj, std::string& error);

}  // namespace crn::scene
