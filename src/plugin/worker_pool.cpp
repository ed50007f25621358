#include "plugin/worker_pool.h"

#include <algorithm>
#include <system_error>

namespace crn {

namespace {

// Set on a thread while it drives a job and for the whole life of a worker thread, so
// a ParallelFor issued from inside any pool's range function runs serially.
thread_local bool inParallel = false;

// Restores the driving thread's state when its job ends, also when fn threw on it:
// the workers still reference fn and its captures until pending reaches 0.
struct JobEnd {
  std::mutex& stateMutex;
  std::condition_variable& workDone;
  const std::int32_t& pending;
  ~JobEnd() {
    std::unique_lock lock(stateMutex);
    workDone.wait(lock, [&] { return pending == 0; });
    inParallel = false;
  }
};

}  // namespace

WorkerPool::WorkerPool(unsigned hardwareConcurrency) : concurrency(hardwareConcurrency) {}

WorkerPool::~WorkerPool() { Stop(); }

void WorkerPool::RunChunks(RangeFn fn, std::uint64_t count, std::int64_t chunkSize) {
  const auto size = static_cast<std::uint64_t>(chunkSize);
  for (;;) {
    // Relaxed is enough: the results are published through stateMutex when the job ends.
    const auto start = static_cast<std::uint64_t>(nextIndex.fetch_add(chunkSize, std::memory_order_relaxed));
    if (start >= count) return;
    fn(start, count - start > size ? start + size : count);
  }
}

void WorkerPool::ParallelFor(std::uint64_t count, RangeFn fn, std::uint64_t grain) {
  if (!fn) throw std::bad_function_call();
  if (count == 0) return;

  // A grain of 0 would divide by zero; it means "no particular granularity".
  const std::uint64_t g = grain == 0 ? 1 : grain;
  const std::uint64_t grainChunks = count / g + (count % g != 0 ? 1 : 0);
  if (grainChunks < 2 || concurrency.load(std::memory_order_relaxed) < 2 || inParallel) {
    fn(0, count);
    return;
  }
  std::unique_lock dispatch(dispatchMutex, std::try_to_lock);
  if (!dispatch.owns_lock()) {
    fn(0, count);  // another thread is driving a job
    return;
  }

  std::unique_lock state(stateMutex);
  // Checked under the lock: a job posted after Stop would never be served.
  if (stopping) {
    state.unlock();
    dispatch.unlock();
    fn(0, count);
    return;
  }
  if (workers.empty()) {
    const unsigned n = std::max(1u, concurrency.load(std::memory_order_relaxed));
    workers.reserve(n);
    for (unsigned i = 0; i < n; ++i) workers.emplace_back(&WorkerPool::WorkerLoop, this, generation);
  }

  inParallel = true;
  JobEnd jobEnd{stateMutex, workDone, pending};
  const auto workerCount = static_cast<std::uint64_t>(workers.size());
  job = fn;
  jobCount = count;
  const std::uint64_t e = count / (8 * workerCount);
  chunk = static_cast<std::int64_t>(std::max(grain / 4, e) + 1);
  nextIndex.store(0, std::memory_order_relaxed);
  pending = static_cast<std::int32_t>(workerCount);
  ++generation;
  const std::int64_t chunkSize = chunk;
  state.unlock();
  workReady.notify_all();

  RunChunks(fn, count, chunkSize);
  // jobEnd waits for the workers, then dispatch releases the dispatchMutex.
}

void WorkerPool::WorkerLoop(std::uint64_t servedGeneration) {
  inParallel = true;
  std::unique_lock lock(stateMutex);
  for (;;) {
    workReady.wait(lock, [&] { return stopping || generation != servedGeneration; });
    // A job posted before Stop is still served: its driver waits for every worker.
    if (generation == servedGeneration) return;
    servedGeneration = generation;
    const RangeFn fn = job;
    const std::uint64_t count = jobCount;
    const std::int64_t chunkSize = chunk;
    lock.unlock();

    RunChunks(fn, count, chunkSize);

    lock.lock();
    if (--pending == 0) workDone.notify_all();
  }
}

void WorkerPool::Stop() {
  {
    std::lock_guard lock(stateMutex);
    stopping = true;
  }
  workReady.notify_all();
  // No worker is added once stopping is set, so the list is stable here.
  std::lock_guard join(joinMutex);
  for (std::thread& t : workers) {
    // A worker cannot wait for itself; say so rather than leave it to pthread_join, which
    // need not notice (and under ThreadSanitizer does not).
    if (t.get_id() == std::this_thread::get_id())
      throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur),
                              "a worker cannot stop its own pool");
    if (t.joinable()) t.join();
  }
}

void WorkerPool::DetachAtExit() {
  {
    std::lock_guard lock(stateMutex);
    stopping = true;
  }
  workReady.notify_all();
  std::lock_guard join(joinMutex);
  for (std::thread& t : workers) {
    if (t.joinable()) t.detach();
  }
}

bool WorkerPool::SetConcurrency(unsigned hardwareConcurrency) {
  std::lock_guard lock(stateMutex);
  if (!workers.empty()) return false;
  concurrency.store(hardwareConcurrency, std::memory_order_relaxed);
  return true;
}

unsigned WorkerPool::WorkerCount() const {
  std::lock_guard lock(stateMutex);
  return static_cast<unsigned>(workers.size());
}

namespace {

std::atomic<WorkerPool*> globalPool{nullptr};

// At process exit the pool only detaches its workers. The pool object itself is never
// freed: detached workers may still be waking up on its mutex and condition variables.
struct GlobalPoolExit {
  ~GlobalPoolExit() {
    if (WorkerPool* pool = globalPool.load(std::memory_order_acquire)) pool->DetachAtExit();
  }
};

WorkerPool& GlobalPool() {
  static WorkerPool* const pool = [] {
    auto* p = new WorkerPool(std::thread::hardware_concurrency());
    globalPool.store(p, std::memory_order_release);
    return p;
  }();
  static GlobalPoolExit exitGuard;
  return *pool;
}

}  // namespace

void ParallelFor(std::uint64_t count, RangeFn fn, std::uint64_t grain) {
  if (!fn) throw std::bad_function_call();
  if (count == 0) return;
  GlobalPool().ParallelFor(count, fn, grain);
}

// Creates the pool if needed so that a call after shut-down stays serial.
void StopPool() { GlobalPool().Stop(); }

bool SetPoolConcurrency(unsigned n) { return GlobalPool().SetConcurrency(n); }

unsigned PoolWorkerCount() {
  WorkerPool* pool = globalPool.load(std::memory_order_acquire);
  return pool != nullptr ? pool->WorkerCount() : 0;
}

}  // namespace crn
