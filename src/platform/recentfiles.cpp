#include "platform/recentfiles.h"

#include <algorithm>

#include "platform/profile.h"

namespace tamro {

namespace {

constexpr std::string_view kSection = "Recent File List";

std::string Key(std::size_t i) { return "File" + std::to_string(i + 1); }

}  // namespace

RecentFileList::RecentFileList(Profile &profile, int size)
    : profile_(profile), size_(static_cast<std::size_t>(std::max(size, 0))) {
  for (std::size_t i = 0; i < size_; ++i) {
    std::string path = profile_.GetString(kSection, Key(i), "");
    // A list edited by hand may hold gaps and repeats; neither is shown.
    if (!path.empty() && std::find(files_.begin(), files_.end(), path) == files_.end())
      files_.push_back(std::move(path));
  }
}

void RecentFileList::Add(std::string_view path) {
  if (path.empty() || size_ == 0) return;
  const std::size_t before = files_.size();
  std::erase(files_, path);
  files_.insert(files_.begin(), std::string(path));
  if (files_.size() > size_) files_.resize(size_);
  Write(before);
}

void RecentFileList::Remove(std::string_view path) {
  const std::size_t before = files_.size();
  if (std::erase(files_, path) > 0) Write(before);
}

void RecentFileList::Write(std::size_t before) {
  std::vector<Profile::Entry> entries;
  for (std::size_t i = 0; i < files_.size(); ++i) entries.push_back({Key(i), files_[i]});
  profile_.WriteStrings(kSection, entries);
  for (std::size_t i = files_.size(); i < before; ++i) profile_.DeleteKey(kSection, Key(i));
}

}  // namespace tamro
