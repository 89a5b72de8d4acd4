#pragma once

// Change notices of the file system: the names that change in one folder (inotify), and
// the mount table changing (/proc/self/mountinfo signals an exceptional condition to
// poll). Both hand out a descriptor for the event loop to wait on and are read on the
// thread that waits.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fileio.h"

namespace tamro {

// Watches one folder for files created, removed, renamed, written or touched in it, not
// below it. Folders inside it are not files and are not reported.
class FolderChangeNotifier {
 public:
  FolderChangeNotifier();
  ~FolderChangeNotifier();
  FolderChangeNotifier(const FolderChangeNotifier &) = delete;
  FolderChangeNotifier &operator=(const FolderChangeNotifier &) = delete;

  // Watches `folder` instead of what was watched; false (nothing watched) when it cannot be.
  bool Watch(const std::string &folder);
  void Unwatch();
  bool Watching() const { return wd_ >= 0; }
  // Readable when notices wait; -1 when inotify could not be had.
  int fd() const { return fd_.get(); }

  struct Notices {
    int changes = 0;          // notices about files `ignored` let through
    bool folderGone = false;  // the folder itself was removed or moved away
  };
  // Reads every notice waiting. A lost notice (the queue ran over) counts as a change.
  Notices Read(const std::function<bool(std::string_view name)> &ignored);
  // Drops every notice waiting.
  void Discard();

 private:
  UniqueFd fd_;
  int wd_ = -1;
};

// The mount points of this process's view of the mount table, in the table's order.
std::vector<std::string> ReadMountPoints();

// A descriptor of /proc/self/mountinfo: poll reports POLLPRI (and POLLERR) once after each
// change of the mount table.
class MountTableNotifier {
 public:
  MountTableNotifier();
  int fd() const { return fd_.get(); }

 private:
  UniqueFd fd_;
};

}  // namespace tamro
