#include "fileops/foldermonitor.h"

#include <algorithm>
#include <atomic>

#include "catalogue/notestore.h"
#include "catalogue/pathutil.h"
#include "catalogue/rxdoc.h"
#include "platform/profile.h"

namespace tamro {

namespace {
std::atomic<FolderMonitorControl *> installed{nullptr};
}

FolderMonitorControl *FolderMonitor() { return installed.load(); }

FolderMonitorControl *SetFolderMonitor(FolderMonitorControl *monitor) { return installed.exchange(monitor); }

int SetMonitorMode(int mode) {
  FolderMonitorControl *m = installed.load();
  return m ? m->SetMonitorMode(mode) : 0;
}

// --- the monitor of the folder shown

CFolderMonitor::CFolderMonitor(CRXDoc &doc, Profile &profile) : doc_(doc), profile_(profile) {
  if (notifier_.fd() >= 0) {
    socket_ = std::make_unique<QSocketNotifier>(notifier_.fd(), QSocketNotifier::Read);
    QObject::connect(socket_.get(), &QSocketNotifier::activated, [this] { OnNotices(); });
  }
  tick_.setInterval(kTickMs);
  QObject::connect(&tick_, &QTimer::timeout, [this] { OnTick(); });
}

CFolderMonitor::~CFolderMonitor() {
  StopFolderMonitor();
  // A reading under way finishes first; what it posts goes with the timer it was posted to.
  if (scan_.joinable()) scan_.join();
}

void CFolderMonitor::SetMonitoredFolder(const std::string &path) {
  if (path == asked_) return;
  asked_ = path;
  if (path == monitored_ && Running()) return;
  if (profile_.GetInt("MainFrame", "FolderMonitor", 0) == 0) return;
  Start(path);
}

void CFolderMonitor::Reconsider() {
  if (profile_.GetInt("MainFrame", "FolderMonitor", 0) == 0)
    StopFolderMonitor();
  else if (!Running() || monitored_ != asked_)
    Start(asked_);
}

void CFolderMonitor::Start(const std::string &path) {
  StopFolderMonitor();
  monitored_ = path;
  // A folder that cannot be watched (gone, no rights) is left alone without a word.
  if (!path.empty()) notifier_.Watch(path);
}

void CFolderMonitor::StopFolderMonitor() {
  tick_.stop();
  notifier_.Unwatch();
  notifier_.Discard();
}

int CFolderMonitor::SetMonitorMode(int mode) {
  const int old = mode_;
  mode_ = mode;
  // What Tamro's own operation did is queued still: it is not another program's change.
  if (old == kMonitorIgnore && mode != kMonitorIgnore) notifier_.Discard();
  return old;
}

void CFolderMonitor::OnNotices() {
  const FolderChangeNotifier::Notices n =
      notifier_.Read([](std::string_view name) { return CRXDoc::IsOwnFileName(name); });
  if (n.changes == 0 || (mode_ != kMonitorNormal && mode_ != kMonitorRemoveVanished)) return;
  const Clock::time_point now = Clock::now();
  if (!tick_.isActive()) {
    first_ = now;
    tick_.start();
  }
  last_ = now;
}

void CFolderMonitor::OnTick() {
  if (doc_.Folder().empty()) {
    tick_.stop();
    return;
  }
  // A listing under way (a nested event loop) is left to finish, and so is a reading of the
  // folder: changes meanwhile are answered by a reading after it.
  if (doc_.IsBusy() || scanning_) return;
  const Clock::time_point now = Clock::now();
  const auto since = [now](Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now - t).count();
  };
  if (since(last_) <= kQuietMs && since(first_) < longestWaitMs_) return;
  tick_.stop();
  React();
}

void CFolderMonitor::React() {
  const int mode = mode_;
  const Clock::time_point start = Clock::now();
  if (mode == kMonitorNormal) {
    // Reading the folder (a directory entry and its facts per file) is most of the work for
    // a large folder; it runs on a thread of its own and the listing takes its result.
    if (scan_.joinable()) scan_.join();  // finished: its result has come in
    scanning_ = true;
    scanStart_ = start;
    scan_ = std::thread([this, folder = doc_.Folder()] {
      auto snapshot = std::make_shared<const FolderSnapshot>(SnapshotFolder(folder));
      QMetaObject::invokeMethod(
          &tick_, [this, snapshot] { Apply(snapshot); }, Qt::QueuedConnection);
    });
    return;
  }
  if (mode != kMonitorRemoveVanished) return;
  RemoveVanished();
  const long long took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  longestWaitMs_ = std::max<long long>(kLongestWaitMs, took * kReactionShare);
  if (reacted_) reacted_(mode);
}

void CFolderMonitor::Apply(std::shared_ptr<const FolderSnapshot> snapshot) {
  scanning_ = false;
  // Another folder shown meanwhile has been listed as a whole; a listing under way or
  // Tamro's own operation gets the changes looked at again once the folder is quiet.
  if (doc_.Folder() != snapshot->folder) return;
  if (doc_.IsBusy() || mode_ != kMonitorNormal) {
    if (mode_ == kMonitorNormal && !tick_.isActive()) {
      first_ = last_ = Clock::now();
      tick_.start();
    }
    return;
  }
  doc_.RefreshFolder(std::move(snapshot));
  const long long took =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - scanStart_).count();
  longestWaitMs_ = std::max<long long>(kLongestWaitMs, took * kReactionShare);
  if (reacted_) reacted_(kMonitorNormal);
}

void CFolderMonitor::RemoveVanished() {
  int removed = 0;
  for (int i = doc_.GetEntryCount() - 1; i >= 0; --i) {
    const CPicEntry *e = doc_.GetEntry(i);
    if (!e || e->IsArchiveMember() || IsRegularFile(e->FullPath())) continue;
    DeleteNote(e->Folder(), "", e->name);
    doc_.RemoveEntryAt(i);
    doc_.UpdateAllViews(nullptr, kHintEntryRemoved, UpdateArgument{i, 0, {}});
    ++removed;
  }
  if (removed) doc_.UpdateAllViews(nullptr, kHintRedrawAll);
}

}  // namespace tamro
