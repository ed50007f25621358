// Process-wide worker pool and ParallelFor.
//
// All CPU-parallel work of the module goes through ParallelFor: the caller hands over
// [0, count), a range function fn(begin, end) and a grain; workers and the calling
// thread claim chunks of the range from one atomic counter. The calling thread always
// takes part and the call returns only once the whole range has been processed. Chunks
// are claimed dynamically, so range functions must be safe to run on disjoint
// sub-ranges concurrently and must not throw on a worker thread (that terminates).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace crn {

namespace detail {
template <class T>
struct IsStdFunction : std::false_type {};
template <class R, class... A>
struct IsStdFunction<std::function<R(A...)>> : std::true_type {};
}  // namespace detail

// Non-owning reference to a callable void(uint64_t begin, uint64_t end): an object
// pointer plus a trampoline, so handing a job to the pool never allocates. The callable
// must outlive every use of the RangeFn; one made from a temporary (a lambda written in
// the argument list) is valid until the end of that full expression, which covers a
// ParallelFor call. Like std::function, a null function pointer or an empty
// std::function gives a null RangeFn.
class RangeFn {
 public:
  RangeFn() noexcept = default;
  RangeFn(std::nullptr_t) noexcept {}

  template <class F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, RangeFn> &&
             std::is_invocable_v<F&, std::uint64_t, std::uint64_t>)
  RangeFn(F&& f) noexcept {
    using T = std::remove_reference_t<F>;
    if constexpr (std::is_function_v<T> ||
                  (std::is_pointer_v<std::remove_cv_t<T>> &&
                   std::is_function_v<std::remove_pointer_t<std::remove_cv_t<T>>>)) {
      // Plain functions are kept by value: the pointer itself may be a temporary.
      using Ptr = std::decay_t<T>;
      Ptr fp = f;
      if (fp == nullptr) return;
      target_.fn = reinterpret_cast<void (*)()>(fp);
      call_ = [](Target t, std::uint64_t b, std::uint64_t e) {
        (void)std::invoke(reinterpret_cast<Ptr>(t.fn), b, e);
      };
    } else {
      if constexpr (detail::IsStdFunction<std::remove_cv_t<T>>::value) {
        if (!f) return;
      }
      target_.obj = const_cast<void*>(static_cast<const void*>(std::addressof(f)));
      call_ = [](Target t, std::uint64_t b, std::uint64_t e) {
        (void)std::invoke(*static_cast<T*>(t.obj), b, e);
      };
    }
  }

  explicit operator bool() const noexcept { return call_ != nullptr; }

  // Calling a null RangeFn throws std::bad_function_call.
  void operator()(std::uint64_t begin, std::uint64_t end) const {
    if (call_ == nullptr) throw std::bad_function_call();
    call_(target_, begin, end);
  }

 private:
  union Target {
    void* obj;
    void (*fn)();
  };
  Target target_{nullptr};
  void (*call_)(Target, std::uint64_t, std::uint64_t) = nullptr;
};

// A pool of worker threads serving one ParallelFor job at a time. The module uses the
// single process-wide pool behind the free functions below; separate instances exist so
// that the behaviour for a given hardware concurrency can be exercised directly.
class WorkerPool {
 public:
  // hardwareConcurrency stands in for std::thread::hardware_concurrency(): below 2 every
  // call runs serially, otherwise the first parallel call starts that many workers.
  explicit WorkerPool(unsigned hardwareConcurrency = std::thread::hardware_concurrency());
  // Stops the pool and joins its workers.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Processes [0, count) with fn and returns when all of it is done. Runs as a single
  // fn(0, count) on the calling thread when the range holds fewer than two grain-sized
  // chunks (a grain of 0 counts as 1), the concurrency is below 2, the caller is already
  // inside a parallel job of any pool, the pool is stopped, or another thread is driving
  // a job. Throws std::bad_function_call for a null fn and std::system_error when a
  // worker cannot be started. If fn throws on the calling thread, the call still waits
  // for the workers to finish their chunks before the exception leaves.
  void ParallelFor(std::uint64_t count, RangeFn fn, std::uint64_t grain);

  // Marks the pool stopping, wakes the workers and joins them; later calls run serially.
  // Called from one of this pool's own workers it throws std::system_error
  // (resource_deadlock_would_occur), as joining the current thread does.
  void Stop();

  // Marks the pool stopping, wakes the workers and detaches them instead of joining.
  // Used at process exit, where joining could wait on threads that are already gone.
  void DetachAtExit();

  // Replaces the hardware concurrency; returns false (and changes nothing) once the
  // workers have been started.
  bool SetConcurrency(unsigned hardwareConcurrency);

  // Number of worker threads started so far (0 before the first parallel call; joined
  // workers still count after Stop).
  unsigned WorkerCount() const;

 private:
  void WorkerLoop(std::uint64_t servedGeneration);
  void RunChunks(RangeFn fn, std::uint64_t count, std::int64_t chunkSize);

  std::vector<std::thread> workers;
  std::mutex dispatchMutex;     // held by the driving thread for a whole job; try-lock only
  mutable std::mutex stateMutex;  // guards everything below except nextIndex
  std::mutex joinMutex;         // serialises Stop/DetachAtExit over the worker handles
  std::condition_variable workReady;
  std::condition_variable workDone;
  std::uint64_t generation = 0;
  RangeFn job;
  std::uint64_t jobCount = 0;
  std::int64_t chunk = 1;
  std::atomic<std::int64_t> nextIndex{0};
  std::int32_t pending = 0;
  bool stopping = false;
  std::atomic<unsigned> concurrency;  // written under stateMutex
};

// ParallelFor on the process-wide pool, created on first use. Its concurrency is
// std::thread::hardware_concurrency() unless SetPoolConcurrency changed it first.
void ParallelFor(std::uint64_t count, RangeFn fn, std::uint64_t grain);

// Module shut-down: stops the process-wide pool and joins its workers. Every later
// ParallelFor runs serially on its caller.
void StopPool();

// Sets the concurrency of the process-wide pool (0 or 1: every call runs serially).
// Returns false once its workers have been started.
bool SetPoolConcurrency(unsigned n);

// Number of workers the process-wide pool has started (0 before the first parallel call).
unsigned PoolWorkerCount();

}  // namespace crn
