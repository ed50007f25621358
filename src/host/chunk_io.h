#pragma once
// Chunked save and load streams. A chunk is a 16-bit id, a 64-bit content length (both
// little-endian) and the content, which is raw data or further chunks.
#include <cstdint>
#include <string>
#include <vector>

namespace host {

using USHORT = std::uint16_t;

enum IOResult { IO_OK = 0, IO_END = 1, IO_ERROR = 2 };

constexpr std::size_t kChunkHeaderBytes = 10;

class ISave {
 public:
  void BeginChunk(USHORT id);
  void EndChunk();
  IOResult Write(const void* buf, std::uint64_t nbytes, std::uint64_t* written = nullptr);
  // Little-endian helpers for the common record types.
  IOResult WriteU16(std::uint16_t v) { return Write(&v, 2); }
  IOResult WriteU32(std::uint32_t v) { return Write(&v, 4); }
  IOResult WriteI32(std::int32_t v) { return Write(&v, 4); }
  IOResult WriteU64(std::uint64_t v) { return Write(&v, 8); }
  IOResult WriteFloat(float v) { return Write(&v, 4); }
  // A 32-bit byte count followed by the UTF-8 bytes.
  IOResult WriteString(const std::string& s);
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::vector<std::size_t> open_;  // offsets of the open chunks' headers
};

class ILoad {
 public:
  ILoad(const std::uint8_t* data, std::size_t size);
  explicit ILoad(const std::vector<std::uint8_t>& bytes) : ILoad(bytes.data(), bytes.size()) {}

  // Enters the next chunk of the current level: IO_OK, IO_END when the level has no more
  // chunks, IO_ERROR when the header is cut off or claims more bytes than its parent holds.
  IOResult OpenChunk();
  USHORT CurChunkID() const;
  std::uint64_t CurChunkLength() const;
  // Bytes of the current chunk not yet read.
  std::uint64_t CurChunkRemaining() const;
  // Leaves the current chunk, skipping whatever was not read.
  IOResult CloseChunk();
  // Reads nbytes from the current chunk; a short read fills what it can and reports IO_ERROR.
  IOResult Read(void* buf, std::uint64_t nbytes, std::uint64_t* nread = nullptr);
  IOResult ReadU16(std::uint16_t& v) { return Read(&v, 2); }
  IOResult ReadU32(std::uint32_t& v) { return Read(&v, 4); }
  IOResult ReadI32(std::int32_t& v) { return Read(&v, 4); }
  IOResult ReadU64(std::uint64_t& v) { return Read(&v, 8); }
  IOResult ReadFloat(float& v) { return Read(&v, 4); }
  IOResult ReadString(std::string& s);
  // What went wrong with the last IO_ERROR, for messages.
  const std::string& LastError() const { return error_; }
  std::size_t Position() const { return pos_; }

 private:
  struct Open {
    USHORT id;
    std::size_t begin, end;  // content range
  };
  IOResult Fail(std::string what);
  std::size_t LevelEnd() const { return open_.empty() ? size_ : open_.back().end; }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  std::vector<Open> open_;
  std::string error_;
};

}  // namespace host
