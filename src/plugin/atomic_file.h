#pragma once
// Every file the system writes goes through AtomicFile: the bytes go to a hidden temporary
// file beside the target, and only a complete, synced file is renamed over the target. A
// failed write leaves the old target exactly as it was and no temporary file behind.
//
// Replacement is for regular files. A symbolic link is written through: the file it points
// to is replaced (beside that file, in its folder) and the link stays a link. A target that
// is not a file at all (a device such as /dev/null or /dev/stdout's terminal, a named pipe)
// cannot be replaced; it is opened and written directly, and its errors are reported like
// any other. A folder is refused.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace crn {

class AtomicFile {
 public:
  // Creates the temporary file in the target's folder (a unique hidden name, so writers of
  // one target in several threads or processes never share it), or opens a device or pipe
  // for writing. On failure Ok() is false and every later call fails with that error.
  explicit AtomicFile(std::string path);
  // Removes the temporary file unless Commit succeeded.
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Appends n bytes (buffered). False once anything has failed; the writer then only
  // waits for Commit to report the error.
  bool Write(const void* data, std::size_t n);
  // Marks the write as failed for a reason of the producer ("cannot encode the image");
  // Commit then reports "PATH: reason" and keeps the old target.
  void Fail(const std::string& reason);
  // Flushes, syncs and closes the temporary file, renames it over the target and syncs
  // the folder (a device or pipe is flushed and closed). False with error
  // ("PATH: what: reason") when anything failed, after removing the temporary file.
  bool Commit(std::string& error);

  bool Ok() const { return error_.empty(); }
  // What failed so far ("PATH: what: reason"), or empty.
  const std::string& Error() const { return error_; }
  const std::string& Path() const { return path_; }
  // True when the target is written in place (a device or pipe) rather than replaced.
  bool Direct() const { return direct_; }

 private:
  bool Flush();
  bool WriteAll(const void* data, std::size_t n);
  void SetErrno(const char* what, int err);
  void Discard();
  void CreateTemporary();
  void OpenDirect();

  std::string path_;    // as given, for messages
  std::string target_;  // the file replaced: path_ with symbolic links followed
  std::string tmp_;
  bool direct_ = false;
  int fd_ = -1;
  std::string error_;
  std::vector<char> buffer_;
};

// Writes path through an AtomicFile: produce writes the contents (it may stop early when
// Write returns false, or call Fail), then the file is committed. False with error on failure.
bool WriteFileAtomically(const std::string& path, const std::function<void(AtomicFile&)>& produce,
                         std::string& error);

}  // namespace crn
