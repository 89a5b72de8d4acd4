#include "catalogue/workerpool.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QThread>
#include <algorithm>

namespace tamro {

int WorkerPool::ThreadsFor(int setting) {
  return setting > 0 ? setting : std::max(1, QThread::idealThreadCount());
}

WorkerPool::WorkerPool(int threads) {
  const int n = ThreadsFor(threads);
  threads_.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) threads_.emplace_back([this] { Run(); });
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (auto &q : queues_) q.clear();
  }
  work_.notify_all();
  for (auto &t : threads_) t.join();
}

void WorkerPool::Post(int priority, uint64_t tag, std::function<void()> task) {
  priority = std::clamp(priority, 0, kPriorities - 1);
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    queues_[priority].push_back(Task{tag, std::move(task)});
  }
  work_.notify_one();
}

int WorkerPool::Cancel(uint64_t tag) {
  std::vector<Task> dropped;  // destroyed outside the lock: a task may own heavy captures
  int n = 0;
  {
    std::lock_guard lock(mutex_);
    for (auto &q : queues_) {
      auto keep = std::stable_partition(q.begin(), q.end(), [tag](const Task &t) { return t.tag != tag; });
      n += static_cast<int>(q.end() - keep);
      std::move(keep, q.end(), std::back_inserter(dropped));
      q.erase(keep, q.end());
    }
    if (running_ == 0 && QueuedLocked() == 0) idle_.notify_all();
  }
  return n;
}

std::size_t WorkerPool::Queued() const {
  std::lock_guard lock(mutex_);
  return QueuedLocked();
}

std::size_t WorkerPool::QueuedLocked() const {
  std::size_t n = 0;
  for (const auto &q : queues_) n += q.size();
  return n;
}

void WorkerPool::WaitIdle() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return running_ == 0 && QueuedLocked() == 0; });
}

void WorkerPool::Run() {
  // Below the GUI thread when both want a processor: a key held down is painted at once
  // while thumbnails are being made (on Linux each thread has a niceness of its own).
  const int nice = ::getpriority(PRIO_PROCESS, 0);
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), std::min(nice + 5, 19));
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return stopping_ || QueuedLocked() > 0; });
    if (stopping_) return;
    Task task;
    for (auto &q : queues_)
      if (!q.empty()) {
        task = std::move(q.front());
        q.pop_front();
        break;
      }
    ++running_;
    lock.unlock();
    task.run();
    task.run = nullptr;
    lock.lock();
    --running_;
    if (running_ == 0 && QueuedLocked() == 0) idle_.notify_all();
  }
}

}  // namespace tamro
