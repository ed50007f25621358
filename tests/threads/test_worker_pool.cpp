#include "plugin/worker_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <latch>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

struct Call {
  std::uint64_t begin;
  std::uint64_t end;
  std::thread::id thread;
};

// Thread-safe record of every range function call.
class CallLog {
 public:
  void Add(std::uint64_t b, std::uint64_t e) {
    std::lock_guard lock(mutex_);
    calls_.push_back({b, e, std::this_thread::get_id()});
  }
  std::vector<Call> Sorted() const {
    std::lock_guard lock(mutex_);
    std::vector<Call> sorted = calls_;
    std::sort(sorted.begin(), sorted.end(), [](const Call& a, const Call& b) { return a.begin < b.begin; });
    return sorted;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
};

// Counts how often each index was visited.
class Coverage {
 public:
  explicit Coverage(std::uint64_t count) : hits_(count) {}
  void Visit(std::uint64_t b, std::uint64_t e) {
    ASSERT_LT(b, e);
    ASSERT_LE(e, hits_.size());
    for (std::uint64_t i = b; i < e; ++i) hits_[i].fetch_add(1, std::memory_order_relaxed);
  }
  // Number of indices not visited exactly once.
  std::uint64_t Wrong() const {
    std::uint64_t wrong = 0;
    for (const auto& h : hits_) wrong += h.load() != 1 ? 1 : 0;
    return wrong;
  }

 private:
  std::vector<std::atomic<std::uint32_t>> hits_;
};

// Spins until flag is set or the timeout passes, so a broken pool fails instead of hanging.
bool WaitFor(const std::atomic<bool>& flag, std::chrono::milliseconds timeout = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!flag.load()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

void ExpectSingleCallOnCaller(const CallLog& log, std::uint64_t count) {
  const auto calls = log.Sorted();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].begin, 0u);
  EXPECT_EQ(calls[0].end, count);
  EXPECT_EQ(calls[0].thread, std::this_thread::get_id());
}

TEST(WorkerPool, NullRangeFunctionThrows) {
  crn::WorkerPool pool(4);
  void (*nullFn)(std::uint64_t, std::uint64_t) = nullptr;
  std::function<void(std::uint64_t, std::uint64_t)> empty;
  for (std::uint64_t count : {0u, 1u, 100000u}) {
    SCOPED_TRACE(count);
    EXPECT_THROW(pool.ParallelFor(count, crn::RangeFn(), 64), std::bad_function_call);
    EXPECT_THROW(pool.ParallelFor(count, nullFn, 64), std::bad_function_call);
    EXPECT_THROW(pool.ParallelFor(count, empty, 64), std::bad_function_call);
    EXPECT_THROW(crn::ParallelFor(count, nullptr, 64), std::bad_function_call);
  }
  EXPECT_EQ(pool.WorkerCount(), 0u);
}

TEST(WorkerPool, CountZeroNeverCallsRangeFunction) {
  for (unsigned hw : {1u, 8u}) {
    crn::WorkerPool pool(hw);
    std::atomic<int> calls{0};
    pool.ParallelFor(0, [&](std::uint64_t, std::uint64_t) { ++calls; }, 1);
    EXPECT_EQ(calls.load(), 0) << "hw " << hw;
    EXPECT_EQ(pool.WorkerCount(), 0u);
  }
}

// Fewer than two grain-sized chunks, or a concurrency below 2: one fn(0, count) on the
// caller, and no worker is ever started.
TEST(WorkerPool, SerialCasesMakeOneCallOnCaller) {
  struct Case {
    std::uint64_t count, grain;
    unsigned hw;
  };
  const Case cases[] = {
      {1, 64, 8}, {64, 64, 8}, {4096, 4096, 2}, {1, 0, 8}, {100000, 64, 1}, {100000, 64, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "count " << c.count << " grain " << c.grain << " hw " << c.hw);
    crn::WorkerPool pool(c.hw);
    CallLog log;
    pool.ParallelFor(c.count, [&](std::uint64_t b, std::uint64_t e) { log.Add(b, e); }, c.grain);
    ExpectSingleCallOnCaller(log, c.count);
    EXPECT_EQ(pool.WorkerCount(), 0u);
  }
}

TEST(WorkerPool, EveryIndexExactlyOnce) {
  struct Case {
    std::uint64_t count, grain;
    unsigned hw;
  };
  const Case cases[] = {
      {1000, 64, 2},          // chunk 64/4+1 = 17 does not divide 1000
      {1001, 7, 3},           //
      {257, 1, 8},            // chunk 4: many tiny chunks, more workers than cores
      {2, 0, 2},              // grain 0 behaves as grain 1
      {65, 64, 2},            // just over one grain: parallel
      {100003, 256, 8},       //
      {(1u << 20) + 17, 4096, 2},
      {(1u << 20) + 17, 64, 3},
      {3, 1, 1},              // serial pool
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "count " << c.count << " grain " << c.grain << " hw " << c.hw);
    crn::WorkerPool pool(c.hw);
    // Several jobs on the same workers: each generation must be served exactly once.
    for (int job = 0; job < 4; ++job) {
      Coverage cover(c.count);
      pool.ParallelFor(c.count, [&](std::uint64_t b, std::uint64_t e) { cover.Visit(b, e); }, c.grain);
      ASSERT_EQ(cover.Wrong(), 0u) << "job " << job;
    }
    EXPECT_EQ(pool.WorkerCount(), c.hw < 2 ? 0u : c.hw);
  }
}

// chunk = max(grain / 4, count / (8 * workers)) + 1, and the range is cut at multiples of it.
TEST(WorkerPool, ChunkSizeFollowsFormula) {
  struct Case {
    std::uint64_t count, grain;
    unsigned hw;
    std::uint64_t chunk;
  };
  const Case cases[] = {
      {100000, 64, 2, 6251},   // count / 16 = 6250 wins over 16
      {10000, 4096, 8, 1025},  // grain / 4 = 1024 wins over 156
      {65, 64, 2, 17},         //
      {1000, 8, 3, 42},        // 1000 / 24 = 41
      {256, 64, 2, 17},        // equal: grain / 4 = count / 16 = 16
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "count " << c.count << " grain " << c.grain << " hw " << c.hw);
    crn::WorkerPool pool(c.hw);
    CallLog log;
    pool.ParallelFor(c.count, [&](std::uint64_t b, std::uint64_t e) { log.Add(b, e); }, c.grain);
    const auto calls = log.Sorted();
    ASSERT_EQ(calls.size(), (c.count + c.chunk - 1) / c.chunk);
    for (std::size_t i = 0; i < calls.size(); ++i) {
      EXPECT_EQ(calls[i].begin, i * c.chunk);
      EXPECT_EQ(calls[i].end, std::min<std::uint64_t>((i + 1) * c.chunk, c.count));
    }
  }
}

// A ParallelFor issued from a range function (on this pool or any other) is one serial
// call on the thread running that range function, and gives the serial result.
TEST(WorkerPool, NestedCallRunsSeriallyOnSameThread) {
  constexpr std::uint64_t rows = 64, cols = 300;
  crn::WorkerPool pool(3);
  crn::WorkerPool other(8);
  std::vector<std::uint64_t> grid(rows * cols, 0);
  std::atomic<int> badInner{0};
  pool.ParallelFor(rows, [&](std::uint64_t b, std::uint64_t e) {
    for (std::uint64_t r = b; r < e; ++r) {
      crn::WorkerPool& inner = r % 2 ? pool : other;
      const auto outerThread = std::this_thread::get_id();
      int innerCalls = 0;
      inner.ParallelFor(cols, [&](std::uint64_t cb, std::uint64_t ce) {
        ++innerCalls;
        if (cb != 0 || ce != cols || std::this_thread::get_id() != outerThread) ++badInner;
        for (std::uint64_t c = cb; c < ce; ++c) grid[r * cols + c] += r * 1000 + c;
      }, 1);
      if (innerCalls != 1) ++badInner;
    }
  }, 1);
  EXPECT_EQ(badInner.load(), 0);
  for (std::uint64_t r = 0; r < rows; ++r)
    for (std::uint64_t c = 0; c < cols; ++c) ASSERT_EQ(grid[r * cols + c], r * 1000 + c);
  EXPECT_EQ(other.WorkerCount(), 0u);
}

// While one thread drives a job, a second caller runs serially on its own thread
// instead of waiting; both ranges are complete.
TEST(WorkerPool, ConcurrentCallerRunsSeriallyWhileAnotherDrives) {
  constexpr std::uint64_t count = 5000;
  crn::WorkerPool pool(2);
  std::latch driving(1);
  std::atomic<bool> secondDone{false};
  std::atomic<bool> firstCall{true};
  std::atomic<bool> secondFinishedInTime{true};
  Coverage first(count);
  CallLog secondLog;
  Coverage second(count);

  std::thread driver([&] {
    pool.ParallelFor(count, [&](std::uint64_t b, std::uint64_t e) {
      if (firstCall.exchange(false)) {
        driving.count_down();  // the job is in flight: the dispatch lock is held
        if (!WaitFor(secondDone)) secondFinishedInTime = false;
      }
      first.Visit(b, e);
    }, 1);
  });
  std::thread other([&] {
    driving.wait();
    pool.ParallelFor(count, [&](std::uint64_t b, std::uint64_t e) {
      secondLog.Add(b, e);
      second.Visit(b, e);
    }, 1);
    ExpectSingleCallOnCaller(secondLog, count);
    secondDone = true;
  });
  driver.join();
  other.join();
  EXPECT_TRUE(secondFinishedInTime.load()) << "second caller waited for the running job";
  EXPECT_EQ(first.Wrong(), 0u);
  EXPECT_EQ(second.Wrong(), 0u);
}

// Several threads issuing jobs at once on one pool: whichever path each call takes,
// every result is complete.
TEST(WorkerPool, ManyConcurrentCallersAllComplete) {
  constexpr int threads = 3, jobs = 150;
  constexpr std::uint64_t count = 3001;
  crn::WorkerPool pool(3);
  std::atomic<int> failures{0};
  std::latch start(threads);
  std::vector<std::thread> callers;
  for (int t = 0; t < threads; ++t) {
    callers.emplace_back([&, t] {
      start.arrive_and_wait();
      std::vector<std::uint64_t> out(count);
      for (int j = 0; j < jobs; ++j) {
        const std::uint64_t salt = static_cast<std::uint64_t>(t * jobs + j);
        pool.ParallelFor(count, [&](std::uint64_t b, std::uint64_t e) {
          for (std::uint64_t i = b; i < e; ++i) out[i] = i * 7 + salt;
        }, 16);
        for (std::uint64_t i = 0; i < count; ++i)
          if (out[i] != i * 7 + salt) {
            ++failures;
            break;
          }
      }
    });
  }
  for (auto& c : callers) c.join();
  EXPECT_EQ(failures.load(), 0);
}

TEST(WorkerPool, AfterStopCallsRunSeriallyOnCaller) {
  for (bool startedBeforeStop : {false, true}) {
    SCOPED_TRACE(startedBeforeStop);
    crn::WorkerPool pool(4);
    if (startedBeforeStop) {
      Coverage cover(100000);
      pool.ParallelFor(100000, [&](std::uint64_t b, std::uint64_t e) { cover.Visit(b, e); }, 64);
      EXPECT_EQ(cover.Wrong(), 0u);
    }
    pool.Stop();
    pool.Stop();  // a second stop is harmless
    EXPECT_EQ(pool.WorkerCount(), startedBeforeStop ? 4u : 0u);
    CallLog log;
    pool.ParallelFor(100000, [&](std::uint64_t b, std::uint64_t e) { log.Add(b, e); }, 64);
    ExpectSingleCallOnCaller(log, 100000);
  }
}

// Stop from inside a job on the driving thread: the workers finish the job, then exit.
TEST(WorkerPool, StopDuringJobStillCompletesIt) {
  constexpr std::uint64_t count = 20000;
  crn::WorkerPool pool(2);
  Coverage cover(count);
  std::atomic<bool> stopIssued{false};
  const auto caller = std::this_thread::get_id();
  pool.ParallelFor(count, [&](std::uint64_t b, std::uint64_t e) {
    if (std::this_thread::get_id() == caller) {
      if (!stopIssued.exchange(true)) pool.Stop();
    } else {
      WaitFor(stopIssued);  // hold the workers so the caller is sure to claim a chunk
    }
    cover.Visit(b, e);
  }, 64);
  EXPECT_TRUE(stopIssued.load());
  EXPECT_EQ(cover.Wrong(), 0u);
}

// Stop called on one of the pool's own workers cannot join that thread: it raises
// resource_deadlock_would_occur instead of hanging.
TEST(WorkerPool, StopFromWorkerRaisesDeadlockError) {
  constexpr std::uint64_t count = 4000;
  crn::WorkerPool pool(2);
  const auto caller = std::this_thread::get_id();
  std::atomic<bool> attempted{false};
  std::atomic<bool> done{false};
  std::atomic<int> errorCode{0};
  Coverage cover(count);
  pool.ParallelFor(count, [&](std::uint64_t b, std::uint64_t e) {
    if (std::this_thread::get_id() == caller) {
      WaitFor(done);  // leave the chunks to the workers until one has tried
    } else if (!attempted.exchange(true)) {
      try {
        pool.Stop();
      } catch (const std::system_error& err) {
        errorCode = err.code().value();
      }
      done = true;
    }
    cover.Visit(b, e);
  }, 1);
  EXPECT_EQ(errorCode.load(), static_cast<int>(std::errc::resource_deadlock_would_occur));
  EXPECT_EQ(cover.Wrong(), 0u);
}

// An exception from the range function on the calling thread leaves only after the
// workers are done with the job (they still use fn's captures), and the pool stays usable.
TEST(WorkerPool, ExceptionOnCallerWaitsForWorkers) {
  constexpr std::uint64_t count = 2000;
  crn::WorkerPool pool(2);
  const auto caller = std::this_thread::get_id();
  std::atomic<int> active{0};
  std::atomic<bool> thrown{false};
  try {
    pool.ParallelFor(count, [&](std::uint64_t, std::uint64_t) {
      ++active;
      if (std::this_thread::get_id() == caller) {
        --active;
        thrown = true;
        throw std::runtime_error("range failed");
      }
      WaitFor(thrown);  // hold the workers' chunks so the caller surely gets one
      std::this_thread::sleep_for(200us);
      --active;
    }, 4);
    FAIL() << "exception was swallowed";
  } catch (const std::runtime_error&) {
    EXPECT_EQ(active.load(), 0) << "ParallelFor returned while workers were still running";
  }
  // The dispatch lock and the caller's in-job flag were released: the next job is parallel
  // again, so it is cut into chunks (a serial run would be one call).
  CallLog log;
  pool.ParallelFor(count, [&](std::uint64_t b, std::uint64_t e) { log.Add(b, e); }, 4);
  EXPECT_GT(log.Sorted().size(), 1u);
}

TEST(WorkerPool, ConcurrencyCanChangeOnlyBeforeWorkersStart) {
  crn::WorkerPool pool(1);
  CallLog serial;
  pool.ParallelFor(1000, [&](std::uint64_t b, std::uint64_t e) { serial.Add(b, e); }, 1);
  ExpectSingleCallOnCaller(serial, 1000);  // a serial call starts nothing
  EXPECT_TRUE(pool.SetConcurrency(3));
  Coverage cover(1000);
  pool.ParallelFor(1000, [&](std::uint64_t b, std::uint64_t e) { cover.Visit(b, e); }, 1);
  EXPECT_EQ(cover.Wrong(), 0u);
  EXPECT_EQ(pool.WorkerCount(), 3u);
  EXPECT_FALSE(pool.SetConcurrency(5));
  EXPECT_EQ(pool.WorkerCount(), 3u);
}

// RangeFn refers to any callable without copying it.
TEST(WorkerPool, RangeFnAcceptsCallables) {
  static std::atomic<std::uint64_t> functionSum;
  functionSum = 0;
  struct Functor {
    std::uint64_t* sum;
    void operator()(std::uint64_t b, std::uint64_t e) const {
      for (auto i = b; i < e; ++i) *sum += i;
    }
  };
  std::uint64_t functorSum = 0;
  const Functor functor{&functorSum};
  std::function<void(std::uint64_t, std::uint64_t)> stdFn = functor;
  crn::WorkerPool pool(1);
  pool.ParallelFor(100, functor, 1);
  pool.ParallelFor(100, stdFn, 1);
  pool.ParallelFor(100, +[](std::uint64_t b, std::uint64_t e) { functionSum += e - b; }, 1);
  EXPECT_EQ(functorSum, 2 * 4950u);
  EXPECT_EQ(functionSum.load(), 100u);
}

// The process-wide pool behind the free functions. It is left running: other tests use it.
TEST(WorkerPool, GlobalPoolCoversRange) {
  constexpr std::uint64_t count = 200003;
  for (int job = 0; job < 3; ++job) {
    Coverage cover(count);
    crn::ParallelFor(count, [&](std::uint64_t b, std::uint64_t e) { cover.Visit(b, e); }, 256);
    ASSERT_EQ(cover.Wrong(), 0u);
  }
  if (crn::PoolWorkerCount() > 0) {
    EXPECT_FALSE(crn::SetPoolConcurrency(crn::PoolWorkerCount() + 1));
  }
}

}  // namespace
