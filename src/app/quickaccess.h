#pragma once

// The folder tree's quick-access list: ten folders, the most recently added first.

#include <string>
#include <vector>

namespace tamro {

class Profile;

class QuickAccessList {
 public:
  static constexpr int kSlots = 10;

  void Load(const Profile &profile);
  // Puts `path` first unless it is already there written exactly so; writes the first ten.
  // False when nothing changed.
  bool Add(const std::string &path, Profile &profile);
  const std::vector<std::string> &Items() const { return items_; }

 private:
  std::vector<std::string> items_;
};

}  // namespace tamro
