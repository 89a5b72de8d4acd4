#pragma once

namespace tamro {

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

}  // namespace tamro
