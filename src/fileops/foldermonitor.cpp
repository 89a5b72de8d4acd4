#include "fileops/foldermonitor.h"

#include <atomic>

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

}  // namespace tamro
