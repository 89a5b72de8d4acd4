#pragma once

// A small tmpfs mounted for one test, when this process may mount at all.

#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace tamro::test {

class TmpfsMount {
 public:
  // Mounts a tmpfs of `size` (e.g. "64k") at `folder` (created); `readOnly` mounts it
  // read-only after `prepare` ran on it.
  template <class Prepare>
  TmpfsMount(const std::filesystem::path &folder, const std::string &size, bool readOnly, Prepare prepare)
      : folder_(folder) {
    std::filesystem::create_directories(folder);
    const std::string options = "size=" + size + ",mode=0777";
    if (::mount("tamro-test", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
      reason_ = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
      return;
    }
    mounted_ = true;
    prepare(folder);
    if (readOnly &&
        ::mount("tamro-test", folder.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, options.c_str()) != 0) {
      reason_ = std::string("cannot remount read-only: ") + std::strerror(errno);
      ::umount2(folder.c_str(), MNT_DETACH);
      mounted_ = false;
    }
  }
  TmpfsMount(const std::filesystem::path &folder, const std::string &size)
      : TmpfsMount(folder, size, false, [](const std::filesystem::path &) {}) {}
  ~TmpfsMount() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  TmpfsMount(const TmpfsMount &) = delete;
  TmpfsMount &operator=(const TmpfsMount &) = delete;

  bool ok() const { return mounted_; }
  const std::string &reason() const { return reason_; }

 private:
  std::filesystem::path folder_;
  bool mounted_ = false;
  std::string reason_;
};

inline bool SameDevice(const std::filesystem::path &a, const std::filesystem::path &b) {
  struct stat sa {
  }, sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

// Fills the file system of `folder` with one file ("filler"), so that the next write there fails.
inline void FillUp(const std::filesystem::path &folder) {
  std::FILE *f = std::fopen((folder / "filler").c_str(), "wb");
  if (!f) return;
  static const char block[4096] = {};
  while (std::fwrite(block, 1, sizeof block, f) == sizeof block) {
  }
  std::fclose(f);
}

}  // namespace tamro::test
