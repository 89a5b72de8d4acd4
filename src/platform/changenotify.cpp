#include "platform/changenotify.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace tamro {

namespace {

constexpr uint32_t kFileEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE |
                                 IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;

// "\040" and the like: the blanks, tabs, new lines and backslashes of a path in the table.
std::string Unescape(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
        field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
      out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

std::atomic<AddWatchCall> addWatch{nullptr};

}  // namespace

AddWatchCall SetAddWatchCall(AddWatchCall call) { return addWatch.exchange(call); }

FolderChangeNotifier::FolderChangeNotifier() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
  if (!fd_) error_ = errno;  // the user's inotify instances have run out, say
}

FolderChangeNotifier::~FolderChangeNotifier() { Unwatch(); }

bool FolderChangeNotifier::Watch(const std::string &folder) {
  Unwatch();
  if (!fd_) return false;
  const AddWatchCall call = addWatch.load();
  wd_ = call ? call(fd_.get(), folder.c_str(), kFileEvents)
             : ::inotify_add_watch(fd_.get(), folder.c_str(), kFileEvents);
  error_ = wd_ < 0 ? errno : 0;
  // What the old watch had queued is about another folder.
  Discard();
  return wd_ >= 0;
}

void FolderChangeNotifier::Unwatch() {
  if (wd_ >= 0 && fd_) ::inotify_rm_watch(fd_.get(), wd_);
  wd_ = -1;
}

FolderChangeNotifier::Notices FolderChangeNotifier::Read(
    const std::function<bool(std::string_view name)> &ignored) {
  Notices out;
  if (!fd_) return out;
  alignas(struct inotify_event) char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd_.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(struct inotify_event)) <= n;) {
      const auto *ev = reinterpret_cast<const struct inotify_event *>(buffer + at);
      at += static_cast<ssize_t>(sizeof(struct inotify_event) + ev->len);
      if (ev->mask & IN_Q_OVERFLOW) {
        ++out.changes;
        continue;
      }
      if (ev->wd != wd_) continue;  // a watch given up before
      // IN_IGNORED: the kernel has dropped the watch (after a removal or an unmount).
      if (ev->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED)) {
        out.folderGone = true;
        continue;
      }
      if (ev->mask & IN_ISDIR) continue;
      const std::string_view name(ev->name, ev->len ? ::strnlen(ev->name, ev->len) : 0);
      if (ignored && ignored(name)) continue;
      ++out.changes;
    }
  }
  // A folder moved away is still watched where it went: the watch is given up here, or it
  // would stay with the kernel for as long as the descriptor lives.
  if (out.folderGone) Unwatch();
  return out;
}

bool FolderChangeNotifier::Discard() {
  return Read([](std::string_view) { return true; }).folderGone;
}

std::vector<std::string> ReadMountPoints() {
  std::vector<std::string> points;
  std::string text;
  if (!ReadRegularFile("/proc/self/mountinfo", text)) return points;
  // Fields: id, parent id, major:minor, root, mount point, options, ...
  std::size_t line = 0;
  while (line < text.size()) {
    std::size_t end = text.find('\n', line);
    if (end == std::string::npos) end = text.size();
    const std::string_view l(text.data() + line, end - line);
    std::size_t field = 0, at = 0;
    while (field < 4 && at < l.size()) {
      const std::size_t blank = l.find(' ', at);
      if (blank == std::string_view::npos) break;
      at = blank + 1;
      ++field;
    }
    if (field == 4) {
      const std::size_t blank = l.find(' ', at);
      points.push_back(Unescape(l.substr(at, blank == std::string_view::npos ? l.size() - at : blank - at)));
    }
    line = end + 1;
  }
  return points;
}

MountTableNotifier::MountTableNotifier() : fd_(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC)) {}

}  // namespace tamro
