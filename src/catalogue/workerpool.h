#pragma once

// A fixed set of worker threads that run queued tasks by priority. Workers only ever see
// plain inputs; whatever they make goes back to its owner through the task itself.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tamro {

class WorkerPool {
 public:
  // Lower runs first. The picture window's own decode comes before the grid's visible
  // cells, those before pictures read ahead, and those before the rest of the folder.
  enum Priority : int { kNow = 0, kVisible = 1, kAhead = 2, kBackground = 3, kPriorities = 4 };

  // `threads` < 1 takes one per processor.
  explicit WorkerPool(int threads);
  // Drops what is queued and waits for running tasks.
  ~WorkerPool();
  WorkerPool(const WorkerPool &) = delete;
  WorkerPool &operator=(const WorkerPool &) = delete;

  int Threads() const { return static_cast<int>(threads_.size()); }
  // The number of workers a setting asks for: 0 (or less) means one per processor.
  static int ThreadsFor(int setting);

  // `tag` groups tasks so that their owner can take back what has not started.
  void Post(int priority, uint64_t tag, std::function<void()> task);
  // Drops the queued (not running) tasks of `tag`; answers how many.
  int Cancel(uint64_t tag);
  // Waits until nothing is queued or running.
  void WaitIdle();
  std::size_t Queued() const;

 private:
  struct Task {
    uint64_t tag;
    std::function<void()> run;
  };
  void Run();
  std::size_t QueuedLocked() const;

  mutable std::mutex mutex_;
  std::condition_variable work_, idle_;
  std::deque<Task> queues_[kPriorities];
  int running_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace tamro
