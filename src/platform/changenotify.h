#pragma once

// Change notices of the file system: the names that change in one folder (inotify), and
// the mount table changing (/proc/self/mountinfo signals an exceptional condition to
// poll). Both hand out a descriptor for the event loop to wait on and are read on the
// thread that waits.

#include <cstdint>
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

  // Watches `folder` instead of what was watched; false (nothing watched) when it cannot be,
  // with the reason in error(): ENOENT or ENOTDIR for a folder that is not there, EACCES for
  // no rights, ENOSPC when the user's watches have run out.
  bool Watch(const std::string &folder);
  void Unwatch();
  bool Watching() const { return wd_ >= 0; }
  int error() const { return error_; }
  // Readable when notices wait; -1 when inotify could not be had.
  int fd() const { return fd_.get(); }

  struct Notices {
    int changes = 0;          // notices about files `ignored` let through
    bool folderGone = false;  // the folder was removed, moved away or unmounted: no longer watched
  };
  // Reads every notice waiting. A lost notice (the queue ran over) counts as a change.
  Notices Read(const std::function<bool(std::string_view name)> &ignored);
  // Drops every notice waiting; answers whether the folder went away meanwhile.
  bool Discard();

 private:
  UniqueFd fd_;
  int wd_ = -1;
  int error_ = 0;
};

// The call that adds a watch, so that tests can meet the kernel's refusals (ENOSPC once the
// user's watches have run out). Answers the previous one; null puts inotify_add_watch back.
using AddWatchCall = int (*)(int fd, const char *path, uint32_t mask);
AddWatchCall SetAddWatchCall(AddWatchCall call);

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
