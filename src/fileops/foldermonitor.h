#pragma once

#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/changenotify.h"

namespace tamro {

class CRXDoc;
struct FolderChanges;
struct FolderSnapshot;
class Profile;

// Modes of the folder change monitor. File operations switch it to kMonitorIgnore while they
// change files, so that their own changes do not trigger refreshes, and back to kMonitorNormal
// when they have updated the listing themselves.
enum MonitorMode : int {
  kMonitorNormal = 0,          // refresh the listing on a change
  kMonitorRemoveVanished = 1,  // drop the entries whose files vanished
  kMonitorIgnore = 2,          // drop change notices
};

// The monitor as the engines see it; the main window (or the document) implements it.
class FolderMonitorControl {
 public:
  virtual ~FolderMonitorControl() = default;
  // Sets the mode and answers the previous one.
  virtual int SetMonitorMode(int mode) = 0;
};

// The installed monitor, or null when none is installed (tests, command line).
FolderMonitorControl *FolderMonitor();
// Installs `monitor` (not owned; null removes it) and answers the previous one.
FolderMonitorControl *SetFolderMonitor(FolderMonitorControl *monitor);
// Sets the mode on the installed monitor; without one nothing happens and 0 is answered.
int SetMonitorMode(int mode);

// Ignoring mode for a scope; the normal mode comes back at its end, as the file commands want.
class MonitorIgnoreScope {
 public:
  MonitorIgnoreScope() { SetMonitorMode(kMonitorIgnore); }
  ~MonitorIgnoreScope() { SetMonitorMode(kMonitorNormal); }
  MonitorIgnoreScope(const MonitorIgnoreScope &) = delete;
  MonitorIgnoreScope &operator=(const MonitorIgnoreScope &) = delete;
};

// The main window's monitor of the folder shown: other programs' changes to its files make
// the listing follow once they have been quiet for half a second. Notices are read on the
// thread that runs the event loop (the kernel queues them; reading is cheap), so nothing
// but that thread touches the document.
class CFolderMonitor : public FolderMonitorControl {
 public:
  static constexpr int kTickMs = 100;
  static constexpr int kQuietMs = 500;
  // A folder that never stays quiet is still followed this often, or less often where
  // reading it again takes long, so that following it takes a twentieth of the time at most.
  static constexpr int kLongestWaitMs = 5000;
  static constexpr int kReactionShare = 20;
  // Changes are taken into the listing in steps this long, the views going on between them.
  static constexpr int kSliceMs = 8;

  // Neither owned; both outlive the monitor.
  CFolderMonitor(CRXDoc &doc, Profile &profile);
  ~CFolderMonitor() override;
  CFolderMonitor(const CFolderMonitor &) = delete;
  CFolderMonitor &operator=(const CFolderMonitor &) = delete;

  // The folder shown now (told at every paint). A new path is watched when
  // `MainFrame`/`FolderMonitor` is on; the same path again changes nothing.
  void SetMonitoredFolder(const std::string &path);
  // The setting may have changed: watches the folder shown when it is on, stops when off.
  void Reconsider();
  void StopFolderMonitor();
  int SetMonitorMode(int mode) override;
  int Mode() const { return mode_; }

  const std::string &MonitoredFolder() const { return monitored_; }
  bool Running() const { return notifier_.Watching(); }
  // Told after each reaction, with the mode it was made in.
  void SetReacted(std::function<void(int mode)> reacted) { reacted_ = std::move(reacted); }
  // What reads the folder off this thread (SnapshotFolder unless tests put another in).
  using Reader = std::function<FolderSnapshot(const std::string &folder)>;
  void SetReader(Reader reader) { reader_ = std::move(reader); }

 private:
  using Clock = std::chrono::steady_clock;
  void Start(const std::string &path);
  void OnNotices();
  // A change to answer once the folder has been quiet.
  void Noticed();
  void OnTick();
  void React();
  // Reads the folder on the scanning thread; `ahead`: before the quiet period has ended.
  void StartReading(bool ahead);
  // A reading of the folder made on the scanning thread arrives, compared with the listing.
  void Apply(FolderChanges changes, unsigned generation);
  void TakeSlice();
  void Reacted();
  void RemoveVanished();
  // The folder watched was removed, moved away or unmounted.
  void FollowGone();
  void TellCannotWatch(int error);

  CRXDoc &doc_;
  Profile &profile_;
  FolderChangeNotifier notifier_;
  std::unique_ptr<QSocketNotifier> socket_;
  QTimer tick_;
  std::string asked_;      // the folder shown, as told last
  std::string monitored_;  // the folder being watched
  int mode_ = kMonitorNormal;
  Clock::time_point first_, last_;  // of the notices not yet answered
  long long longestWaitMs_ = kLongestWaitMs;
  std::function<void(int)> reacted_;
  Reader reader_;
  // Changes with every mode set, so that a reading made before or during Tamro's own
  // operation is known when it comes back: it would bring back files the operation removed.
  unsigned generation_ = 0;
  bool gone_ = false;  // the folder watched has gone away: followed once nothing runs
  bool told_ = false;  // that watching is impossible has been said (once a run is enough)
  // The folder is read on a thread of its own, so that the window goes on meanwhile; only
  // taking the result into the listing runs here.
  std::thread scan_;
  bool scanning_ = false;
  bool applying_ = false;  // changes are being taken in, a step per event
  // A reading made before the quiet period ended, and when it began.
  std::unique_ptr<FolderChanges> ahead_;
  unsigned aheadGeneration_ = 0;
  Clock::time_point aheadStart_;
  Clock::time_point scanStart_;
};

}  // namespace tamro
