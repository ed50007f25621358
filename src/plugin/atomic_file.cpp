#include "plugin/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace crn {

namespace {

constexpr std::size_t kBufferBytes = 64 * 1024;
// Keeps the temporary name within the file-name limit for long target names.
constexpr std::size_t kMaxBaseInTempName = 200;

std::uint64_t SplitMix64(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Eight name characters that differ for every call in this process (the counter) and,
// very likely, from those of other processes (the pid and the clock); O_EXCL settles the rest.
std::string UniqueSuffix() {
  static std::atomic<std::uint64_t> counter{0};
  const auto now = std::uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
  std::uint64_t x = SplitMix64(counter.fetch_add(1) ^ (std::uint64_t(::getpid()) << 40) ^ now);
  static const char kChars[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string s(8, '0');
  for (char& c : s) {
    c = kChars[x % 62];
    x /= 62;
  }
  return s;
}

int OpenExclusive(const std::string& name) {
  int fd;
  do fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  while (fd < 0 && errno == EINTR);
  return fd;
}

// Makes the rename itself durable. Some file systems cannot sync a folder; the new file is
// in place by then, so that is not a failure of the write.
void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {
  const std::size_t slash = path_.rfind('/');
  const std::string base = slash == std::string::npos ? path_ : path_.substr(slash + 1);
  if (base.empty() || base == "." || base == "..") {
    error_ = path_ + ": not a file name";
    return;
  }
  const std::string prefix = path_.substr(0, slash == std::string::npos ? 0 : slash + 1) + "." +
                             base.substr(0, kMaxBaseInTempName) + ".";
  // The kernel applies the umask to 0666, so a new file gets the mode any created file gets.
  int err = 0;
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    tmp_ = prefix + UniqueSuffix();
    fd_ = OpenExclusive(tmp_);
    err = errno;
    if (fd_ < 0 && err != EEXIST) break;
  }
  if (fd_ < 0) {
    tmp_.clear();
    SetErrno("cannot create the file", err);
    return;
  }
  // A replaced file keeps its permissions. Failing to copy them is not worth failing the write.
  struct stat st;
  if (::stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(fd_, st.st_mode & 0777);
}

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::SetErrno(const char* what, int err) {
  if (error_.empty()) error_ = path_ + ": " + what + ": " + std::strerror(err);
}

void AtomicFile::Fail(const std::string& reason) {
  if (error_.empty()) error_ = path_ + ": " + reason;
}

bool AtomicFile::WriteAll(const void* data, std::size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t w = ::write(fd_, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      SetErrno("cannot write", w < 0 ? errno : ENOSPC);
      return false;
    }
    p += w;
    n -= std::size_t(w);
  }
  return true;
}

bool AtomicFile::Flush() {
  if (buffer_.empty()) return Ok();
  const bool ok = Ok() && WriteAll(buffer_.data(), buffer_.size());
  buffer_.clear();
  return ok;
}

bool AtomicFile::Write(const void* data, std::size_t n) {
  if (!Ok() || fd_ < 0) return false;
  if (buffer_.size() + n > kBufferBytes && !Flush()) return false;
  if (n >= kBufferBytes) return WriteAll(data, n);
  if (buffer_.capacity() < kBufferBytes) buffer_.reserve(kBufferBytes);
  const char* p = static_cast<const char*>(data);
  buffer_.insert(buffer_.end(), p, p + n);
  return true;
}

bool AtomicFile::Commit(std::string& error) {
  if (Ok() && fd_ < 0) error_ = path_ + ": already written";
  if (Ok() && Flush()) {
    int rc;
    do rc = ::fsync(fd_);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) SetErrno("cannot write", errno);
  }
  if (Ok()) {
    // close reports write errors that some file systems only find out at the end.
    const int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0 && errno != EINTR) SetErrno("cannot write", errno);
  }
  if (Ok() && ::rename(tmp_.c_str(), path_.c_str()) != 0) SetErrno("cannot replace the file", errno);
  if (!Ok()) {
    Discard();
    error = error_;
    return false;
  }
  tmp_.clear();
  SyncFolder(FolderOf(path_));
  return true;
}

void AtomicFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!tmp_.empty()) ::unlink(tmp_.c_str());
  tmp_.clear();
  buffer_.clear();
}

bool WriteFileAtomically(const std::string& path, const std::function<void(AtomicFile&)>& produce,
                         std::string& error) {
  AtomicFile file(path);
  if (file.Ok()) produce(file);
  return file.Commit(error);
}

}  // namespace crn
