#include "catalogue/thumbscheduler.h"

#include <unistd.h>

#include <algorithm>

#include "catalogue/notestore.h"
#include "catalogue/picturedecoders.h"
#include "catalogue/rxdoc.h"
#include "catalogue/workerpool.h"

namespace tamro {

namespace {

// Each scheduler's pool tasks carry a tag of their own, so that cancelling one scheduler's
// work leaves the picture window's decodes alone.
std::atomic<uint64_t> g_nextTag{0x7468756d62000000ULL};

std::size_t DefaultBudget(int overMemPercent) {
  const long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGE_SIZE);
  const double physical =
      pages > 0 && size > 0 ? static_cast<double>(pages) * static_cast<double>(size) : 0.0;
  const double share = physical * std::clamp(overMemPercent, 1, 100) / 100.0 / 4.0;
  return static_cast<std::size_t>(std::clamp(share, 64.0 * (1 << 20), 1024.0 * (1 << 20)));
}

}  // namespace

CThumbScheduler::CThumbScheduler(CRXDoc &doc, CThumbBuilder &builder, WorkerPool &pool)
    : doc_(doc),
      builder_(builder),
      pool_(pool),
      tag_(g_nextTag.fetch_add(1)),
      storeTag_(g_nextTag.fetch_add(1)),
      budget_(DefaultBudget(doc.Settings().overMem)) {
  doc_.AddObserver(this);
  // The store file of a folder being listed is read on the pool and taken in by Drain.
  if (CThumbStore *store = builder_.Store()) {
    store->SetReader([this](std::function<void()> task) { pool_.Post(WorkerPool::kNow, storeTag_, std::move(task)); });
    store->SetArrival([this] {
      storeIn_ = true;
      if (wake_) wake_();
    });
  }
}

CThumbScheduler::~CThumbScheduler() {
  if (CThumbStore *store = builder_.Store()) {
    store->SetArrival({});
    store->SetReader({});
  }
  doc_.RemoveObserver(this);
  CancelAll();
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return running_ == 0; });
}

int CThumbScheduler::Ask(int visibleIndex, const CellRect &rect, int priority) {
  CPicEntry *e = doc_.GetEntry(visibleIndex);
  if (!e) return kGone;
  const bool urgent = priority < WorkerPool::kBackground;
  if (HasWork(*e)) {
    if (urgent) {
      std::lock_guard lock(mutex_);
      auto it = std::find_if(background_.begin(), background_.end(),
                             [id = e->pendingJob](const Job &j) { return j.id == id; });
      if (it != background_.end()) {
        visible_.push_back(std::move(*it));
        background_.erase(it);
        pool_.Post(priority, tag_, [this] { RunOne(); });
      }
    }
    return kQueued;
  }
  // As drawing a cell in build mode: the store is asked once, a thumbnail that fits stays.
  if (!(e->useCache && !e->thumbnail)) {
    e->useCache = false;
    if (builder_.KeepsFitting(*e, rect)) {
      Use(doc_.GetEntryIndex(visibleIndex), *e);
      // The thumbnail stays; a caption's "$(CP)" not read yet is read beside it.
      if (builder_.WantsCamera(*e) && builder_.Decoders()) Post(*e, visibleIndex, builder_.CameraJobFor(*e), priority);
      return kReady;
    }
  }
  if (CThumbStore *store = builder_.Store();
      store && e->useCache && store->Reading(e->Folder()) && !store->InFirstPart(*e)) {
    // Its record is probably on the way: the cell waits for the store rather than decoding.
    std::lock_guard lock(mutex_);
    const uint32_t id = ++nextId_ ? nextId_ : ++nextId_;
    e->pendingJob = id;
    outstanding_.insert(id);
    ++inFlight_;
    waiting_.push_back(Waiting{id, doc_.GetEntryIndex(visibleIndex), rect, priority});
    return kQueued;
  }
  ThumbJob job = builder_.JobFor(*e, rect);
  if (storeEverything_ && !job.stored) job.encodeQuality = CThumbStore::kQuality;
  // Past half the budget thumbnails will be let go into the store: encoded here, on a worker.
  job.encodeToLetGo = !job.stored && heldBytes_ >= budget_ / 2;
  if (!job.stored && !builder_.Decoders()) return kReady;  // nothing can be built
  Post(*e, visibleIndex, std::move(job), priority);
  return kQueued;
}

void CThumbScheduler::Post(CPicEntry &e, int visibleIndex, ThumbJob work, int priority) {
  Job job;
  job.entryIndex = doc_.GetEntryIndex(visibleIndex);
  job.job = std::move(work);
  job.job.progress = &QuietProgress;
  {
    std::lock_guard lock(mutex_);
    job.id = ++nextId_ ? nextId_ : ++nextId_;
    job.generation = generation_;
    e.pendingJob = job.id;
    outstanding_.insert(job.id);
    (priority < WorkerPool::kBackground ? visible_ : background_).push_back(std::move(job));
    ++inFlight_;
  }
  pool_.Post(priority, tag_, [this] { RunOne(); });
}

void CThumbScheduler::Demote() {
  std::lock_guard lock(mutex_);
  while (!visible_.empty()) {
    background_.push_front(std::move(visible_.back()));
    visible_.pop_back();
  }
}

void CThumbScheduler::CancelAll() {
  pool_.Cancel(tag_);
  std::lock_guard lock(mutex_);
  ++generation_;
  // Marks of the entries in place are released here; an entry a refresh had set aside when
  // its work was dropped keeps a mark that names no job, which HasWork lets go.
  auto release = [this](int entryIndex, uint32_t id) {
    if (CPicEntry *e = doc_.GetEntryAt(entryIndex); e && e->pendingJob == id) e->pendingJob = 0;
  };
  for (auto *q : {&visible_, &background_})
    for (const Job &j : *q) release(j.entryIndex, j.id);
  for (const auto &[entryIndex, id] : runningJobs_) release(entryIndex, id);
  for (const Done &d : done_) release(d.entryIndex, d.id);
  for (const Waiting &w : waiting_) release(w.entryIndex, w.id);
  waiting_.clear();
  visible_.clear();
  background_.clear();
  done_.clear();
  outstanding_.clear();
  puts_.clear();
  // Only jobs still decoding will report back (and drop their stale result); a job whose
  // result was just taken back above may still be counted as running.
  inFlight_ = static_cast<int>(runningJobs_.size());
  changed_.notify_all();
}

bool CThumbScheduler::HasWork(CPicEntry &e) {
  if (!e.pendingJob) return false;
  std::lock_guard lock(mutex_);
  if (outstanding_.count(e.pendingJob)) return true;
  e.pendingJob = 0;  // its work was dropped and its result will never come: ask again
  return false;
}

void CThumbScheduler::OnUpdate(UpdateObserver *, int hint, const UpdateArgument &) {
  if (hint != kHintCleared && hint != kHintListed) return;
  CancelAll();
  // The entries are new; a refresh keeps the thumbnails of unchanged files under new indices.
  RecountHeld();
}

void CThumbScheduler::Use(int entryIndex, const CPicEntry &e) {
  if (entryIndex < 0 || !e.thumbnail) return;
  const std::size_t bytes = e.thumbnail.size() + e.displayThumbnail.size();
  auto it = usedAt_.find(entryIndex);
  if (it != usedAt_.end()) {
    used_.splice(used_.end(), used_, it->second.first);
    heldBytes_ = heldBytes_ - it->second.second + bytes;
    it->second.second = bytes;
  } else {
    used_.push_back(entryIndex);
    usedAt_.emplace(entryIndex, std::make_pair(std::prev(used_.end()), bytes));
    heldBytes_ += bytes;
  }
}

void CThumbScheduler::LetGoOverBudget() {
  CThumbStore *store = builder_.Store();
  while (heldBytes_ > budget_ && !used_.empty()) {
    const int index = used_.front();
    used_.pop_front();
    auto it = usedAt_.find(index);
    heldBytes_ -= it->second.second;
    usedAt_.erase(it);
    CPicEntry *e = doc_.GetEntryAt(index);
    if (!e || !e->thumbnail || HasWork(*e) || e->IsBusy()) continue;
    if (!e->stored && store && store->Add(*e, CThumbStore::kQuality) == 1) e->stored = true;
    e->FreePictures();
    // Taken from the store again when the cell is drawn next (built afresh without one).
    e->useCache = e->stored;
  }
}

void CThumbScheduler::RecountHeld() {
  used_.clear();
  usedAt_.clear();
  heldBytes_ = 0;
  const int n = doc_.GetAllEntryCount();
  for (int i = 0; i < n; ++i)
    if (CPicEntry *e = doc_.GetEntryAt(i)) Use(i, *e);
  LetGoOverBudget();
}

int CThumbScheduler::InFlight() const {
  std::lock_guard lock(mutex_);
  return inFlight_;
}

void CThumbScheduler::RunOne() {
  Job job;
  {
    std::lock_guard lock(mutex_);
    auto *q = !visible_.empty() ? &visible_ : &background_;
    if (q->empty()) return;  // taken back by a cancel
    job = std::move(q->front());
    q->pop_front();
    ++running_;
    runningJobs_.emplace_back(job.entryIndex, job.id);
  }
  ThumbResult result;
  if (PictureDecoders *d = builder_.Decoders()) result = MakeThumbnail(*d, job.job, builder_.Describe());
  bool first = false;
  {
    std::lock_guard lock(mutex_);
    std::erase(runningJobs_, std::make_pair(job.entryIndex, job.id));
    if (job.generation == generation_) {
      first = done_.empty();
      done_.push_back(Done{job.id, job.generation, job.entryIndex, std::move(job.job), std::move(result)});
    } else {
      --inFlight_;
    }
    changed_.notify_all();
  }
  // Still counted as running: the scheduler (and what the wake reaches) outlives this call.
  if (first && wake_) wake_();
  std::lock_guard lock(mutex_);
  --running_;
  changed_.notify_all();
}

int CThumbScheduler::Drain() {
  if (storeIn_.exchange(false) && builder_.Store() && builder_.Store()->TakeArrived()) StoreArrived();
  std::vector<Done> done;
  {
    std::lock_guard lock(mutex_);
    done.swap(done_);
  }
  int n = 0;
  for (Done &d : done) {
    bool stale;
    {
      std::lock_guard lock(mutex_);
      stale = d.generation != generation_;
      if (!stale) {
        --inFlight_;
        outstanding_.erase(d.id);
      }
    }
    CPicEntry *e = doc_.GetEntryAt(d.entryIndex);
    if (!e || e->pendingJob != d.id) continue;  // the entry was reset or replaced meanwhile
    if (stale) {
      e->pendingJob = 0;
      continue;
    }
    e->pendingJob = 0;
    const int result = builder_.Apply(*e, d.job, d.result);
    if (e->justBuilt && !e->stored && d.result.encoded)
      puts_[d.id] = PendingPut{d.entryIndex, std::move(d.result.encoded)};
    ReadEntryNote(*e);
    ++n;
    Use(d.entryIndex, *e);
    if (finished_) finished_(doc_.VisibleIndexOf(d.entryIndex), *e, result);
  }
  PutInRequestOrder();
  LetGoOverBudget();
  return n;
}

void CThumbScheduler::PutInRequestOrder() {
  CThumbStore *store = builder_.Store();
  while (!puts_.empty()) {
    {
      std::lock_guard lock(mutex_);
      if (!outstanding_.empty() && *outstanding_.begin() < puts_.begin()->first) return;
    }
    auto node = puts_.extract(puts_.begin());
    CPicEntry *e = doc_.GetEntryAt(node.mapped().entryIndex);
    // An entry reset since (reloaded, rebuilt) has no thumbnail to store any more; one whose
    // picture was let go meanwhile (tamro-batch keeps none) still has its record made.
    if (store && e && e->thumbWidth > 0 && !e->stored && store->Put(*e, std::move(node.mapped().block)) == 1)
      e->stored = true;
  }
}

int CThumbScheduler::WaitAndDrain() {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !done_.empty() || inFlight_ == 0; });
  }
  return Drain();
}

void CThumbScheduler::Finish() {
  // Without an event loop nobody else takes the store in: it is waited for here.
  if (!waiting_.empty() && builder_.Store()) {
    for (const Waiting &w : waiting_)
      if (CPicEntry *e = doc_.GetEntryAt(w.entryIndex)) builder_.Store()->GetFolder(e->Folder());
    StoreArrived();
  }
  while (InFlight() > 0) WaitAndDrain();
  Drain();
}

void CThumbScheduler::StoreArrived() {
  std::vector<Waiting> waiting;
  waiting.swap(waiting_);
  std::vector<Waiting> again;
  for (const Waiting &w : waiting) {
    {
      std::lock_guard lock(mutex_);
      outstanding_.erase(w.id);
      --inFlight_;
    }
    CPicEntry *e = doc_.GetEntryAt(w.entryIndex);
    if (!e || e->pendingJob != w.id) continue;
    e->pendingJob = 0;
    again.push_back(w);
  }
  // Visible cells first, as they were asked.
  std::stable_sort(again.begin(), again.end(),
                   [](const Waiting &a, const Waiting &b) { return a.priority < b.priority; });
  for (const Waiting &w : again)
    if (const int v = doc_.VisibleIndexOf(w.entryIndex); v >= 0) Ask(v, w.rect, w.priority);
  changed_.notify_all();
}

}  // namespace tamro
