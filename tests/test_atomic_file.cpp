// Files written through a temporary file beside the target: the writer itself, and every
// command and script call that writes a file, failing part-way.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <atomic>
#include <functional>
#include <memory>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "cli_runner.h"
#include "plugin/atomic_file.h"
#include "scene_fixtures.h"

namespace fs = std::filesystem;
using fixtures::Slurp;

namespace {

std::set<std::string> Listing(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

void Put(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

// Lowers this process's file-size limit; with SIGXFSZ ignored, a write past it fails with
// EFBIG as it would on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim = old_;
    lim.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lim);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = SIG_DFL;
};

std::string Pattern(char c, std::size_t n) {
  std::string s(n, c);
  for (std::size_t i = 0; i < n; i += 97) s[i] = char('0' + i % 10);
  return s;
}

}  // namespace

TEST(AtomicFile, CommitWritesTheWholeFileWithTheUsualMode) {
  fixtures::TempDir dir("crinel_atomic_commit_");
  const std::string path = (dir.Path() / "new.bin").string();
  // Small writes gathered in the buffer, then one larger than the buffer.
  const std::string small = Pattern('s', 5000), large = Pattern('L', 300000);
  const mode_t oldMask = ::umask(027);
  std::string error;
  {
    crn::AtomicFile file(path);
    for (std::size_t i = 0; i < small.size(); i += 7)
      ASSERT_TRUE(file.Write(small.data() + i, std::min<std::size_t>(7, small.size() - i)));
    ASSERT_TRUE(file.Write(large.data(), large.size()));
    EXPECT_FALSE(fs::exists(path)) << "nothing is visible before the commit";
    ASSERT_TRUE(file.Commit(error)) << error;
  }
  ::umask(oldMask);
  EXPECT_EQ(Slurp(path), small + large);
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u) << "0666 less the umask, as for a newly created file";

  // A replaced file keeps its own mode.
  ASSERT_EQ(::chmod(path.c_str(), 0604), 0);
  ASSERT_TRUE(crn::WriteFileAtomically(path, [](crn::AtomicFile& f) { f.Write("new", 3); }, error))
      << error;
  EXPECT_EQ(Slurp(path), "new");
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0604u);
  EXPECT_EQ(Listing(dir.Path()), std::set<std::string>{"new.bin"});
}

TEST(AtomicFile, AFailedWriteKeepsTheOldFileAndLeavesNoTemporaryFile) {
  const std::string big = Pattern('x', 200000);
  const auto writeBig = [&big](crn::AtomicFile& f) {
    for (std::size_t i = 0; i < big.size(); i += 1000) f.Write(big.data() + i, 1000);
  };
  struct Case {
    const char* what;
    const char* target;  // in the folder that holds old.bin, blocker (a file) and sub/
    std::string error;   // after "PATH: "
    std::function<void(crn::AtomicFile&)> produce;
    rlim_t sizeLimit;  // 0: none
  };
  const Case cases[] = {
      {"the producer gives up", "old.bin", "cannot encode the image",
       [&](crn::AtomicFile& f) {
         writeBig(f);
         f.Fail("cannot encode the image");
       },
       0},
      {"the disk fills up", "old.bin", std::string("cannot write: ") + std::strerror(EFBIG),
       writeBig, 10000},
      {"the folder is a file", "blocker/x.bin",
       std::string("cannot create the file: ") + std::strerror(ENOTDIR), writeBig, 0},
      {"the target is a folder", "sub", std::string("cannot replace the file: ") + std::strerror(EISDIR),
       writeBig, 0},
      {"not committed", "old.bin", "", writeBig, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fixtures::TempDir dir("crinel_atomic_fail_");
    Put(dir.Path() / "old.bin", "old contents");
    Put(dir.Path() / "blocker", "a file");
    fs::create_directory(dir.Path() / "sub");
    const std::set<std::string> before = Listing(dir.Path());
    const std::string path = (dir.Path() / c.target).string();
    {
      std::unique_ptr<FileSizeLimit> limit;
      if (c.sizeLimit) limit = std::make_unique<FileSizeLimit>(c.sizeLimit);
      crn::AtomicFile file(path);
      c.produce(file);
      if (!c.error.empty()) {
        std::string error;
        EXPECT_FALSE(file.Commit(error));
        EXPECT_EQ(error, path + ": " + c.error);
        EXPECT_FALSE(file.Write("x", 1)) << "a failed file takes no more writes";
      }
    }
    EXPECT_EQ(Slurp(dir.Path() / "old.bin"), "old contents");
    EXPECT_EQ(Slurp(dir.Path() / "blocker"), "a file");
    EXPECT_TRUE(fs::is_directory(dir.Path() / "sub"));
    EXPECT_TRUE(fs::is_empty(dir.Path() / "sub"));
    EXPECT_EQ(Listing(dir.Path()), before);
  }
}

// Replacement is for regular files: a link is written through and stays a link, a device
// or a pipe is written in place and keeps being what it is.
TEST(AtomicFile, LinksAreWrittenThroughAndDevicesAndPipesInPlace) {
  fixtures::TempDir dir("crinel_atomic_special_");
  const fs::path other = dir.Path() / "other";
  fs::create_directory(other);
  Put(other / "real.bin", "old contents");
  fs::create_symlink("other/real.bin", dir.Path() / "relative.bin");
  fs::create_symlink(dir.Path() / "relative.bin", dir.Path() / "chain.bin");
  fs::create_symlink("not_yet.bin", other / "dangling.bin");
  const auto write = [](const fs::path& p, const std::string& text, std::string& error) {
    return crn::WriteFileAtomically(
        p.string(), [&text](crn::AtomicFile& f) { f.Write(text.data(), text.size()); }, error);
  };
  std::string error;
  for (const char* link : {"relative.bin", "chain.bin"}) {
    SCOPED_TRACE(link);
    ASSERT_TRUE(write(dir.Path() / link, link, error)) << error;
    EXPECT_TRUE(fs::is_symlink(dir.Path() / link));
    EXPECT_EQ(Slurp(other / "real.bin"), link);
  }
  // A link to a file not yet written makes the file, in the link target's folder.
  ASSERT_TRUE(write(other / "dangling.bin", "new", error)) << error;
  EXPECT_TRUE(fs::is_symlink(other / "dangling.bin"));
  EXPECT_EQ(Slurp(other / "not_yet.bin"), "new");
  EXPECT_EQ(Listing(dir.Path()), (std::set<std::string>{"chain.bin", "other", "relative.bin"}));
  EXPECT_EQ(Listing(other), (std::set<std::string>{"dangling.bin", "not_yet.bin", "real.bin"}));

  // A named pipe: its reader gets the bytes; a reader that leaves early makes the write fail
  // with its reason rather than end the process.
  const fs::path fifo = dir.Path() / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = Slurp(fifo); });
  ASSERT_TRUE(write(fifo, "through the pipe", error)) << error;
  reader.join();
  EXPECT_EQ(received, "through the pipe");
  std::thread leaver([&] { std::ifstream(fifo.string()).close(); });
  const std::string big = Pattern('p', 1 << 20);
  EXPECT_FALSE(write(fifo, big, error));
  leaver.join();
  EXPECT_EQ(error, fifo.string() + ": cannot write: " + std::strerror(EPIPE));
  EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);

  // A device that is always full (a node of its own, where this process may make one).
  const fs::path full = dir.Path() / "full";
  if (::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0 || !std::ifstream(full.string()))
    GTEST_SKIP() << "cannot make a device node here";
  EXPECT_FALSE(write(full, "data", error));
  EXPECT_EQ(error, full.string() + ": cannot write: " + std::strerror(ENOSPC));
  EXPECT_EQ(fs::status(full).type(), fs::file_type::character);
  EXPECT_EQ(Listing(dir.Path()), (std::set<std::string>{"chain.bin", "full", "other", "pipe", "relative.bin"}));
}

TEST(AtomicFile, ConcurrentWritersOfOneTargetEachReplaceItWhole) {
  fixtures::TempDir dir("crinel_atomic_race_");
  const fs::path path = dir.Path() / "shared.bin";
  const std::string a = Pattern('a', 200000), b = Pattern('b', 230000);
  Put(path, a);
  std::atomic<bool> done{false};
  std::atomic<int> failed{0}, torn{0};
  const auto writer = [&](const std::string& content) {
    for (int round = 0; round < 25; ++round) {
      std::string error;
      const auto produce = [&content](crn::AtomicFile& f) {
        for (std::size_t i = 0; i < content.size(); i += 4096)
          f.Write(content.data() + i, std::min<std::size_t>(4096, content.size() - i));
      };
      if (!crn::WriteFileAtomically(path.string(), produce, error)) {
        ADD_FAILURE() << error;
        ++failed;
      }
    }
  };
  // A reader sees one complete content or the other, never a mixture or a truncated file.
  std::thread reader([&] {
    while (!done) {
      const std::string s = Slurp(path);
      if (s != a && s != b) ++torn;
    }
  });
  std::thread first(writer, std::cref(a)), second(writer, std::cref(b));
  first.join();
  second.join();
  done = true;
  reader.join();
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(torn, 0);
  const std::string result = Slurp(path);
  EXPECT_TRUE(result == a || result == b);
  EXPECT_EQ(Listing(dir.Path()), std::set<std::string>{"shared.bin"});
}

// Every command and script call that writes a file, failing on a full disk (a file-size
// limit) or on a folder that is a file: the error names the file and the reason, the old
// file stays as it was and no temporary file is left.
TEST(FailedWrites, CommandsAndScriptsReportTheReasonAndKeepTheOldFile) {
  struct Case {
    const char* args;    // @ stands for the target, BALL for the ball scene
    const char* script;  // standard input
    int rc;
    const char* out;
  };
  const Case cases[] = {
      {"snapshot BALL --out @", "", 1, ""},
      {"mesh BALL --node fur --out @", "", 1, ""},
      {"script BALL -", "save \"@\"\n", 1, ""},
      {"script BALL -", "snapshot \"@\"\n", 1, ""},
      {"script BALL -", "dumpStrands fur \"@\"\n", 0, "-1\n"},
  };
  struct Failure {
    const char* target;
    int fileBlocks;  // ulimit -f, in 512-byte blocks
    std::string reason;
  };
  const Failure failures[] = {
      {"out.file", 2, std::string("cannot write: ") + std::strerror(EFBIG)},
      {"blocker/out.file", 0, std::string("cannot create the file: ") + std::strerror(ENOTDIR)},
  };
  const auto expand = [](std::string s, const std::string& target) {
    for (std::size_t at; (at = s.find('@')) != std::string::npos;) s.replace(at, 1, target);
    if (const std::size_t at = s.find("BALL"); at != std::string::npos)
      s.replace(at, 4, std::string(CRINEL_TEST_DATA) + "/scenes/ball.json");
    return s;
  };
  fixtures::TempDir dir("crinel_failed_writes_");
  int n = 0;
  for (const Failure& f : failures)
    for (const Case& c : cases) {
      const fs::path folder = dir.Path() / ("case" + std::to_string(n++));
      fs::create_directory(folder);
      Put(folder / "out.file", "old contents");
      Put(folder / "blocker", "a file");
      const std::string target = (folder / f.target).string();
      SCOPED_TRACE(expand(c.args, target) + " < " + expand(c.script, target));
      const fixtures::CliResult r =
          fixtures::RunCli(dir.Path(), expand(c.args, target), expand(c.script, target), f.fileBlocks);
      EXPECT_EQ(r.rc, c.rc) << r.err;
      EXPECT_EQ(r.out, c.out);
      EXPECT_NE(r.err.find(target + ": " + f.reason), std::string::npos) << r.err;
      EXPECT_EQ(r.err.find("wrote"), std::string::npos) << r.err;
      EXPECT_TRUE(Slurp(folder / "out.file") == "old contents") << "the old file was replaced";
      EXPECT_EQ(Slurp(folder / "blocker"), "a file");
      EXPECT_EQ(Listing(folder), (std::set<std::string>{"blocker", "out.file"}));
    }
}

// Output to /dev/stdout goes to whatever standard output is (here a file the shell opened),
// not to a file renamed over it.
TEST(SpecialTargets, CommandsWriteToStandardOutput) {
  fixtures::TempDir dir("crinel_stdout_");
  const fixtures::CliResult r = fixtures::RunCli(
      dir.Path(), std::string("snapshot ") + CRINEL_TEST_DATA + "/scenes/ball.json --size 32x24 --out /dev/stdout");
  EXPECT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  EXPECT_NE(r.err.find("wrote /dev/stdout: 32x24"), std::string::npos) << r.err;
  EXPECT_EQ(Listing(dir.Path()), (std::set<std::string>{"cli_err.txt", "cli_in.txt", "cli_out.txt"}));
}
