#include "fileops/foldermonitor.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "catalogue/notestore.h"
#include "catalogue/pathutil.h"
#include "catalogue/rxdoc.h"
#include "platform/profile.h"
#include "platform/ui.h"

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
  // A folder that is not there is left alone without a word; the user hears once when
  // folders cannot be watched at all (no rights, the system's watches used up).
  if (!path.empty() && !notifier_.Watch(path)) TellCannotWatch(notifier_.error());
}

void CFolderMonitor::TellCannotWatch(int error) {
  if (told_ || error == 0 || error == ENOENT || error == ENOTDIR) return;
  told_ = true;
  std::string reason;
  if (error == ENOSPC)
    reason = "監視できるフォルダ数の上限に達しています (fs.inotify.max_user_watches)。";
  else if (error == EMFILE)
    reason = "監視の数の上限に達しています (fs.inotify.max_user_instances)。";
  else if (error == EACCES || error == EPERM)
    reason = "フォルダへのアクセス権がありません。";
  else
    reason = std::strerror(error);
  // The folder is told during a paint: the box waits until the events have settled.
  QMetaObject::invokeMethod(
      &tick_,
      [text = "フォルダの変更を監視できません。\n" + reason] {
        Ui().MessageBox(text, "Tamro", MB_OK | MB_ICONEXCLAMATION);
      },
      Qt::QueuedConnection);
}

void CFolderMonitor::StopFolderMonitor() {
  tick_.stop();
  ahead_.reset();
  gone_ = false;
  notifier_.Unwatch();
  notifier_.Discard();
}

int CFolderMonitor::SetMonitorMode(int mode) {
  const int old = mode_;
  mode_ = mode;
  if (mode == kMonitorIgnore) ++generation_;
  // Tamro's own operation finds the listing whole: changes being taken in are finished first.
  if (mode == kMonitorIgnore && applying_)
    while (doc_.ApplyingChanges() && !doc_.ApplyChanges(1000)) {
    }
  // What Tamro's own operation did is queued still: it is not another program's change.
  // The folder itself going away meanwhile is.
  if (old == kMonitorIgnore && mode != kMonitorIgnore && notifier_.Discard()) {
    gone_ = true;
    Noticed();
  }
  return old;
}

void CFolderMonitor::OnNotices() {
  const FolderChangeNotifier::Notices n =
      notifier_.Read([](std::string_view name) { return CRXDoc::IsOwnFileName(name); });
  if (n.folderGone) {
    gone_ = true;
    Noticed();
    return;
  }
  if (n.changes == 0 || (mode_ != kMonitorNormal && mode_ != kMonitorRemoveVanished)) return;
  Noticed();
}

void CFolderMonitor::Noticed() {
  ahead_.reset();
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
    gone_ = false;
    return;
  }
  // A listing under way (a nested event loop), a reading of the folder and Tamro's own
  // operation are left to finish: changes meanwhile are answered after them.
  if (doc_.IsBusy() || scanning_ || applying_ || mode_ == kMonitorIgnore) return;
  if (gone_) {
    tick_.stop();
    FollowGone();
    return;
  }
  const Clock::time_point now = Clock::now();
  const auto since = [now](Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now - t).count();
  };
  if (since(last_) <= kQuietMs && since(first_) < longestWaitMs_) {
    // Half-way through the quiet period the folder is read already, so that the reaction at
    // its end finds the reading made; a change meanwhile makes it worthless.
    if (mode_ == kMonitorNormal && !ahead_ && since(last_) > kQuietMs / 2) StartReading(true);
    return;
  }
  tick_.stop();
  React();
}

void CFolderMonitor::StartReading(bool ahead) {
  if (scan_.joinable()) scan_.join();  // finished: its result has come in
  scanning_ = true;
  const Clock::time_point start = Clock::now();
  if (!ahead) scanStart_ = start;
  // The new reading is compared there too with what the listing read, so that only the
  // differences are left for this thread to take in.
  scan_ = std::thread([this, folder = doc_.Folder(), listed = doc_.ListedFiles(), reader = reader_,
                       generation = generation_, ahead, start] {
    auto snapshot = std::make_shared<const FolderSnapshot>(reader ? reader(folder) : SnapshotFolder(folder));
    auto changes = std::make_shared<FolderChanges>(CompareFolder(listed, snapshot));
    QMetaObject::invokeMethod(
        &tick_,
        [this, changes, generation, ahead, start] {
          if (!ahead) {
            Apply(std::move(*changes), generation);
            return;
          }
          scanning_ = false;
          // Kept for the reaction when nothing has changed since it began.
          if (last_ < start && generation == generation_ && tick_.isActive()) {
            ahead_ = std::make_unique<FolderChanges>(std::move(*changes));
            aheadGeneration_ = generation;
            aheadStart_ = start;
          }
        },
        Qt::QueuedConnection);
  });
}

void CFolderMonitor::React() {
  const int mode = mode_;
  const Clock::time_point start = Clock::now();
  if (mode == kMonitorNormal) {
    // Reading the folder (a directory entry and its facts per file) is most of the work for
    // a large folder; it runs on a thread of its own and the listing takes its result.
    std::unique_ptr<FolderChanges> ahead = std::move(ahead_);
    if (ahead && aheadGeneration_ == generation_ && last_ < aheadStart_) {
      scanStart_ = aheadStart_;
      Apply(std::move(*ahead), aheadGeneration_);
      return;
    }
    StartReading(false);
    return;
  }
  if (mode != kMonitorRemoveVanished) return;
  RemoveVanished();
  const long long took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  longestWaitMs_ = std::max<long long>(kLongestWaitMs, took * kReactionShare);
  if (reacted_) reacted_(mode);
}

void CFolderMonitor::Apply(FolderChanges changes, unsigned generation) {
  scanning_ = false;
  std::shared_ptr<const FolderSnapshot> snapshot = changes.now;
  // Another folder shown meanwhile has been listed as a whole. A listing under way, or
  // Tamro's own operation under way or begun since the reading started (whose files the
  // reading may still hold), gets the folder read again once it is done and quiet.
  if (doc_.Folder() != snapshot->folder) return;
  if (doc_.IsBusy() || mode_ != kMonitorNormal || generation != generation_) {
    Noticed();
    return;
  }
  if (!changes.listed || changes.Count() > 0) {
    if (changes.listed && doc_.BeginChanges(std::move(changes))) {
      applying_ = true;
      TakeSlice();
      return;
    }
    doc_.RefreshFolder(std::move(snapshot));
  }
  Reacted();
}

void CFolderMonitor::TakeSlice() {
  // A listing meanwhile (another folder, a refresh) has dropped what was left.
  if (!doc_.ApplyingChanges() || doc_.ApplyChanges(kSliceMs)) {
    applying_ = false;
    Reacted();
    return;
  }
  QMetaObject::invokeMethod(&tick_, [this] { TakeSlice(); }, Qt::QueuedConnection);
}

void CFolderMonitor::Reacted() {
  const long long took =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - scanStart_).count();
  longestWaitMs_ = std::max<long long>(kLongestWaitMs, took * kReactionShare);
  if (reacted_) reacted_(kMonitorNormal);
}

void CFolderMonitor::FollowGone() {
  gone_ = false;
  const std::string folder = monitored_;
  // The document shows another folder already: its next paint has that one watched.
  if (folder.empty() || doc_.Folder() != folder) return;
  if (IsDirectory(folder)) {
    // There again (made anew, moved back, mounted again): watched and read once more.
    Start(folder);
    Noticed();
    return;
  }
  // Gone for good: the nearest folder above it that is there is shown, and the tree follows.
  if (doc_.OpenFolder(folder))
    doc_.UpdateAllViews(nullptr, kHintShowFolder, UpdateArgument{0, 0, doc_.Folder()});
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
