#pragma once

// The recent-file list of the File menu: the last files opened, newest first, kept in the
// settings as "Recent File List"/"File1" ... "File<n>".

#include <string>
#include <string_view>
#include <vector>

namespace tamro {

class Profile;

class RecentFileList {
 public:
  RecentFileList(Profile &profile, int size);

  const std::vector<std::string> &Files() const { return files_; }
  // A file opened: to the front (from where it stood, if listed); the oldest beyond the size
  // drops out. Written at once, so that a crash loses nothing.
  void Add(std::string_view path);
  void Remove(std::string_view path);

 private:
  void Write(std::size_t before);

  Profile &profile_;
  std::size_t size_;
  std::vector<std::string> files_;
};

}  // namespace tamro
