#pragma once

// Thumbnails on the worker pool: the main thread copies what a thumbnail needs out of an
// entry, a worker decodes, scales and sharpens it, and the main thread stores the result
// into the entry again. Requests for visible cells go before the rest of the folder; a new
// listing drops what is queued and every late result.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <unordered_map>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "catalogue/picentry.h"
#include "catalogue/thumbbuilder.h"
#include "catalogue/updatehint.h"

namespace tamro {

class CRXDoc;
class WorkerPool;

class CThumbScheduler : public UpdateObserver {
 public:
  enum Request : int { kReady = 0, kQueued = 1, kGone = 2 };
  // Told on the main thread after a result went into its entry: the visible index (or -1
  // when the entry is not displayed), the entry, and 0 (a thumbnail) or -1 (none could be made).
  using Finished = std::function<void(int visibleIndex, CPicEntry &entry, int result)>;

  // None owned; all outlive the scheduler.
  CThumbScheduler(CRXDoc &doc, CThumbBuilder &builder, WorkerPool &pool);
  // Drops what is queued and waits for its running jobs.
  ~CThumbScheduler() override;
  CThumbScheduler(const CThumbScheduler &) = delete;
  CThumbScheduler &operator=(const CThumbScheduler &) = delete;

  void SetFinished(Finished finished) { finished_ = std::move(finished); }
  // Called on a worker when the first result of a batch waits; it must have Drain() run on
  // the main thread soon (the engine posts it to the event loop).
  void SetWake(std::function<void()> wake) { wake_ = std::move(wake); }

  // The thumbnail of the displayed entry at `visibleIndex` for a cell picture area `rect`:
  // kReady when it has one that fits, kQueued when one is being made (a queued request is
  // moved up to `priority`), kGone when there is no such entry.
  int Ask(int visibleIndex, const CellRect &rect, int priority);
  // Requests for visible cells not yet started go behind the others (the view moved on).
  void Demote();
  // Forgets every queued request and every result still to come (a new listing).
  void CancelAll();
  // Requests queued or running.
  int InFlight() const;
  // Stores the results that are in into their entries; answers how many. Main thread only.
  int Drain();
  // Waits for every request, storing results as they come (tools without an event loop).
  void Finish();
  // The thumbnail store has taken in a folder's file: the cells that waited for it are
  // asked again, from its records where it has them. Main thread only.
  void StoreArrived();
  // Waits until at least one result is in (or nothing is in flight) and stores it back.
  int WaitAndDrain();
  // Every thumbnail made goes into the thumbnail store, whatever CacheFolder says (tamro-batch).
  void SetStoreEverything(bool on) { storeEverything_ = on; }

  // Thumbnails held in entries are bounded: over `bytes`, the least recently used ones go
  // into the thumbnail store (in memory) and are taken from there again when next asked for.
  // By default a quarter of the share of memory a full backing canvas may have (OverMem),
  // at most 1 GiB.
  void SetMemoryBudget(std::size_t bytes) { budget_ = bytes; }
  std::size_t HeldBytes() const { return heldBytes_; }

  // A listing that starts or ends replaces the entries: their work is dropped.
  void OnUpdate(UpdateObserver *sender, int hint, const UpdateArgument &arg) override;

 private:
  struct Job {
    uint32_t id = 0;
    uint64_t generation = 0;
    int entryIndex = -1;
    ThumbJob job;
  };
  struct Done {
    uint32_t id = 0;
    uint64_t generation = 0;
    int entryIndex = -1;
    ThumbJob job;
    ThumbResult result;
  };
  void RunOne();
  // Whether a job of this generation is still to come back for the entry; a mark left by
  // work cancelled since is cleared. Main thread only, without the mutex held.
  bool HasWork(CPicEntry &e);
  // Puts records into the thumbnail store in the order their requests were made, whatever
  // order the workers finish in, so that the store file does not depend on their number.
  void PutInRequestOrder();
  // Marks an entry's thumbnail as just used; lets the oldest ones go when over the budget.
  void Use(int entryIndex, const CPicEntry &entry);
  void LetGoOverBudget();
  // Queues a job for the entry shown at visibleIndex and marks the entry as waiting for it.
  void Post(CPicEntry &entry, int visibleIndex, ThumbJob job, int priority);
  void RecountHeld();

  CRXDoc &doc_;
  CThumbBuilder &builder_;
  WorkerPool &pool_;
  const uint64_t tag_;
  Finished finished_;
  bool storeEverything_ = false;
  std::function<void()> wake_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> visible_, background_;
  std::vector<Done> done_;
  int running_ = 0;
  std::vector<std::pair<int, uint32_t>> runningJobs_;  // entry index and job id
  int inFlight_ = 0;  // queued + running + done but not drained, this generation
  uint64_t generation_ = 1;
  uint32_t nextId_ = 0;
  std::set<uint32_t> outstanding_;  // requests of this generation not yet stored back
  struct PendingPut {
    int entryIndex = -1;
    std::shared_ptr<ThumbBytes> block;
  };
  std::map<uint32_t, PendingPut> puts_;  // main thread only
  // Requests waiting for their folder's store file to be read (main thread only); each is
  // counted in flight and outstanding, so the views wait for it as for a decode.
  struct Waiting {
    uint32_t id = 0;
    int entryIndex = -1;
    CellRect rect;
    int priority = 0;
  };
  std::vector<Waiting> waiting_;
  // Store files read ahead on the pool, under a tag of their own so that cancelling
  // thumbnail work leaves them alone; `storeIn_` is set there when one is in.
  const uint64_t storeTag_;
  std::atomic<bool> storeIn_{false};
  // Main thread only: entries holding thumbnails, least recently used first, with the bytes
  // counted for each.
  std::list<int> used_;
  std::unordered_map<int, std::pair<std::list<int>::iterator, std::size_t>> usedAt_;
  std::size_t heldBytes_ = 0;
  std::size_t budget_;
};

}  // namespace tamro
