#include "host/chunk_io.h"

#include <bit>
#include <cstdio>
#include <cstring>

namespace host {

static_assert(std::endian::native == std::endian::little, "chunk streams are little-endian");

void ISave::BeginChunk(USHORT id) {
  open_.push_back(bytes_.size());
  const std::uint64_t zero = 0;
  Write(&id, 2);
  Write(&zero, 8);
}

void ISave::EndChunk() {
  if (open_.empty()) return;
  const std::size_t header = open_.back();
  open_.pop_back();
  const std::uint64_t length = bytes_.size() - header - kChunkHeaderBytes;
  std::memcpy(bytes_.data() + header + 2, &length, 8);
}

IOResult ISave::Write(const void* buf, std::uint64_t nbytes, std::uint64_t* written) {
  const auto* p = static_cast<const std::uint8_t*>(buf);
  bytes_.insert(bytes_.end(), p, p + nbytes);
  if (written) *written = nbytes;
  return IO_OK;
}

IOResult ISave::WriteString(const std::string& s) {
  WriteU32(std::uint32_t(s.size()));
  return Write(s.data(), s.size());
}

ILoad::ILoad(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

IOResult ILoad::Fail(std::string what) {
  error_ = std::move(what);
  return IO_ERROR;
}

IOResult ILoad::OpenChunk() {
  const std::size_t end = LevelEnd();
  if (pos_ >= end) return IO_END;
  if (end - pos_ < kChunkHeaderBytes)
    return Fail("chunk header cut off at byte " + std::to_string(pos_));
  USHORT id;
  std::uint64_t length;
  std::memcpy(&id, data_ + pos_, 2);
  std::memcpy(&length, data_ + pos_ + 2, 8);
  const std::size_t begin = pos_ + kChunkHeaderBytes;
  if (length > end - begin)
    return Fail("chunk 0x" + [&] {
      char b[8];
      std::snprintf(b, sizeof b, "%04X", id);
      return std::string(b);
    }() + " at byte " + std::to_string(pos_) + " claims " + std::to_string(length) +
                " bytes but only " + std::to_string(end - begin) + " remain");
  open_.push_back(Open{id, begin, begin + std::size_t(length)});
  pos_ = begin;
  return IO_OK;
}

USHORT ILoad::CurChunkID() const { return open_.empty() ? 0 : open_.back().id; }

std::uint64_t ILoad::CurChunkLength() const {
  return open_.empty() ? 0 : open_.back().end - open_.back().begin;
}

std::uint64_t ILoad::CurChunkRemaining() const { return LevelEnd() - pos_; }

IOResult ILoad::CloseChunk() {
  if (open_.empty()) return Fail("no open chunk to close");
  pos_ = open_.back().end;
  open_.pop_back();
  return IO_OK;
}

IOResult ILoad::Read(void* buf, std::uint64_t nbytes, std::uint64_t* nread) {
  const std::uint64_t avail = LevelEnd() - pos_;
  const std::uint64_t n = nbytes < avail ? nbytes : avail;
  if (n) std::memcpy(buf, data_ + pos_, n);
  pos_ += n;
  if (nread) *nread = n;
  if (n < nbytes)
    return Fail("short read: wanted " + std::to_string(nbytes) + " bytes, " +
                std::to_string(avail) + " left in chunk");
  return IO_OK;
}

IOResult ILoad::ReadString(std::string& s) {
  std::uint32_t n = 0;
  if (ReadU32(n) != IO_OK) return IO_ERROR;
  if (n > CurChunkRemaining()) return Fail("string of " + std::to_string(n) + " bytes runs past its chunk");
  s.resize(n);
  return Read(s.data(), n);
}

}  // namespace host
