#include "plugin/atomic_file.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>

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

std::string BaseOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Names of open descriptors (/dev/stdout, /dev/fd/N, /proc/self/fd/N): written through
// whatever they are open on, even a regular file, which the caller's shell has opened already.
bool IsDescriptorName(const std::string& path) {
  return path == "/dev/stdout" || path == "/dev/stderr" || path.rfind("/dev/fd/", 0) == 0 ||
         (path.rfind("/proc/", 0) == 0 && path.find("/fd/") != std::string::npos);
}

// What the path names once symbolic links are followed.
enum class TargetKind { Absent, Regular, Folder, Special, Error };

// Follows a chain of links whose end does not exist yet (a link to a file still to be
// written) to the path that will be created.
bool FollowDanglingLinks(std::string& path, int& err) {
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    if (n <= 0) {
      err = n < 0 ? errno : ENOENT;
      return false;
    }
    const std::string link(buf, std::size_t(n));
    path = link[0] == '/' ? link : FolderOf(path) + "/" + link;
  }
  err = ELOOP;
  return false;
}

TargetKind Resolve(const std::string& path, std::string& target, int& err) {
  target = path;
  struct stat st;
  // A missing path, or one whose folder is missing or not a folder, is created (or fails to
  // be) as a new file.
  if (::lstat(path.c_str(), &st) != 0) return TargetKind::Absent;
  if (S_ISLNK(st.st_mode)) {
    if (::stat(path.c_str(), &st) != 0) {
      err = errno;
      if (err != ENOENT) return TargetKind::Error;
      return FollowDanglingLinks(target, err) ? TargetKind::Absent : TargetKind::Error;
    }
    if (S_ISREG(st.st_mode) && !IsDescriptorName(path)) {
      char real[PATH_MAX];
      if (!::realpath(path.c_str(), real)) {
        err = errno;
        return TargetKind::Error;
      }
      target = real;
    }
  }
  if (S_ISDIR(st.st_mode)) return TargetKind::Folder;
  if (S_ISREG(st.st_mode) && !IsDescriptorName(path)) return TargetKind::Regular;
  return TargetKind::Special;
}

// Keeps a write to a pipe whose reader has gone from killing the process: the write fails
// with EPIPE instead, and the signal it raised is taken back.
class PipeSignalGuard {
 public:
  PipeSignalGuard() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
  }
  ~PipeSignalGuard() {
    if (raised_ && !wasPending_) {
      const timespec zero{0, 0};
      while (sigtimedwait(&pipe_, nullptr, &zero) < 0 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  void Raised() { raised_ = true; }

 private:
  sigset_t pipe_, old_;
  bool wasPending_ = false, raised_ = false;
};

}  // namespace

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {
  const std::string base = BaseOf(path_);
  if (base.empty() || base == "." || base == "..") {
    error_ = path_ + ": not a file name";
    return;
  }
  int err = 0;
  switch (Resolve(path_, target_, err)) {
    case TargetKind::Error: SetErrno("cannot create the file", err); return;
    case TargetKind::Folder: SetErrno("cannot replace the file", EISDIR); return;
    case TargetKind::Special: OpenDirect(); return;
    case TargetKind::Absent:
    case TargetKind::Regular: CreateTemporary(); return;
  }
}

void AtomicFile::CreateTemporary() {
  const std::string base = BaseOf(target_);
  const std::size_t slash = target_.rfind('/');
  const std::string prefix = target_.substr(0, slash == std::string::npos ? 0 : slash + 1) + "." +
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
  if (::stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(fd_, st.st_mode & 0777);
}

void AtomicFile::OpenDirect() {
  direct_ = true;
  do fd_ = ::open(path_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
  while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) SetErrno("cannot open the file", errno);
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
  std::optional<PipeSignalGuard> guard;
  if (direct_) guard.emplace();
  while (n > 0) {
    const ssize_t w = ::write(fd_, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      const int err = w < 0 ? errno : ENOSPC;
      if (err == EPIPE && guard) guard->Raised();
      SetErrno("cannot write", err);
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
  // A device or pipe has nothing to sync; its data is written once it is flushed.
  if (Ok() && Flush() && !direct_) {
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
  if (Ok() && !direct_ && ::rename(tmp_.c_str(), target_.c_str()) != 0)
    SetErrno("cannot replace the file", errno);
  if (!Ok()) {
    Discard();
    error = error_;
    return false;
  }
  tmp_.clear();
  if (!direct_) SyncFolder(FolderOf(target_));
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
