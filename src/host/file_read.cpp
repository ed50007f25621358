#include "host/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace host {

namespace {

std::string Reason(const char* what, int err) { return std::string(what) + ": " + std::strerror(err); }

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISFIFO(mode)) return "a pipe";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

template <class Buffer>
bool ReadInto(const std::string& path, std::uint64_t maxBytes, Buffer& out, std::string& error) {
  out.clear();
  // O_NONBLOCK: opening a pipe that has no writer must not wait for one; the file type is
  // checked on the open descriptor, so what is read is what was checked.
  int raw;
  do raw = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  while (raw < 0 && errno == EINTR);
  if (raw < 0) {
    error = Reason("cannot open the file", errno);
    return false;
  }
  const Fd fd(raw);
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) {
    error = Reason("cannot read the file", errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    const char* kind = KindOf(st.st_mode);
    error = std::strcmp(kind, "not a regular file") == 0 ? std::string("is not a regular file")
                                                        : std::string("is ") + kind + ", not a file";
    return false;
  }
  const std::uint64_t size = std::uint64_t(st.st_size);
  if (size > maxBytes) {
    error = "is " + FormatByteCount(size) + ", larger than the " + FormatByteCount(maxBytes) +
            " allowed";
    return false;
  }
  // Reads what the file holds now: it may have shrunk or grown since fstat, but never past
  // the limit.
  out.resize(std::size_t(size));
  std::size_t got = 0;
  char more[65536];
  while (true) {
    const bool inPlace = got < out.size();
    const ssize_t n = inPlace ? ::read(fd.get(), out.data() + got, out.size() - got)
                              : ::read(fd.get(), more, sizeof more);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = Reason("cannot read the file", errno);
      out.clear();
      return false;
    }
    if (n == 0) break;
    if (!inPlace) {
      if (got + std::size_t(n) > maxBytes) {
        error = "grew past the " + FormatByteCount(maxBytes) + " allowed while it was read";
        out.clear();
        return false;
      }
      out.insert(out.end(), more, more + n);
    }
    got += std::size_t(n);
  }
  out.resize(got);
  return true;
}

}  // namespace

bool ReadRegularFile(const std::string& path, std::uint64_t maxBytes, std::string& out,
                     std::string& error) {
  return ReadInto(path, maxBytes, out, error);
}

bool ReadRegularFile(const std::string& path, std::uint64_t maxBytes,
                     std::vector<std::uint8_t>& out, std::string& error) {
  return ReadInto(path, maxBytes, out, error);
}

std::string FormatByteCount(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  double v = double(bytes) / 1024;
  int unit = 0;
  while (v >= 1024 && unit < 5) {
    v /= 1024;
    ++unit;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f %s", v, kUnits[unit]);
  return buf;
}

}  // namespace host
