#pragma once

// A read-only view of a whole file, kept until the map is closed or destroyed.

#include <cstddef>
#include <string>

namespace tamro {

class FileImageMap {
 public:
  FileImageMap() = default;
  ~FileImageMap() { Close(); }
  FileImageMap(const FileImageMap &) = delete;
  FileImageMap &operator=(const FileImageMap &) = delete;

  // Maps an existing file. False when it cannot be opened, is empty or cannot be mapped.
  bool Open(const std::string &path);
  void Close();

  const char *data() const { return static_cast<const char *>(view_); }
  std::size_t size() const { return size_; }
  bool is_open() const { return view_ != nullptr; }

 private:
  void *view_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace tamro
