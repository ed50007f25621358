#pragma once
// Reading whole input files: scenes, meshes, scripts, images and caches. One rule for all of
// them: only regular files are read (a folder, a device or a pipe is refused, never read until
// memory runs out or waited on), and a file larger than its kind allows is refused before a
// byte of it is read.
#include <cstdint>
#include <string>
#include <vector>

namespace host {

// Largest files of each kind that are read.
constexpr std::uint64_t kMaxSceneFileBytes = std::uint64_t(4) << 30;  // saved scenes embed meshes
constexpr std::uint64_t kMaxJsonSceneBytes = std::uint64_t(256) << 20;
constexpr std::uint64_t kMaxMeshFileBytes = std::uint64_t(2) << 30;
constexpr std::uint64_t kMaxScriptFileBytes = std::uint64_t(64) << 20;
constexpr std::uint64_t kMaxImageFileBytes = std::uint64_t(512) << 20;
constexpr std::uint64_t kMaxParticleFileBytes = std::uint64_t(2) << 30;
constexpr std::uint64_t kMaxSimCacheBytes = std::uint64_t(16) << 30;  // long shots of dense guides

// Reads the regular file at path whole into out when it holds at most maxBytes. On failure
// out is left empty and error says what is wrong, without the path (callers name the file):
// "cannot open the file: No such file or directory", "is a directory, not a file",
// "is 3.0 GiB, larger than the 2.0 GiB allowed", "cannot read the file: Input/output error".
bool ReadRegularFile(const std::string& path, std::uint64_t maxBytes, std::string& out,
                     std::string& error);
bool ReadRegularFile(const std::string& path, std::uint64_t maxBytes,
                     std::vector<std::uint8_t>& out, std::string& error);

// A byte count for messages: "512 bytes", "3.5 KiB", "2.0 GiB".
std::string FormatByteCount(std::uint64_t bytes);

}  // namespace host
