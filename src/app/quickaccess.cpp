#include "app/quickaccess.h"

#include <algorithm>

#include "platform/profile.h"

namespace tamro {

void QuickAccessList::Load(const Profile &profile) {
  items_.clear();
  for (int i = 0; i < kSlots; ++i) {
    std::string path = profile.GetString("DrvView", "QUICKACC_" + std::to_string(i), "");
    if (!path.empty()) items_.push_back(std::move(path));
  }
}

bool QuickAccessList::Add(const std::string &path, Profile &profile) {
  if (path.empty() || std::find(items_.begin(), items_.end(), path) != items_.end()) return false;
  items_.insert(items_.begin(), path);
  // Only ten are kept across runs; the rest are gone at the next start.
  for (int i = 0; i < kSlots && i < static_cast<int>(items_.size()); ++i)
    profile.WriteString("DrvView", "QUICKACC_" + std::to_string(i), items_[static_cast<std::size_t>(i)]);
  return true;
}

}  // namespace tamro
