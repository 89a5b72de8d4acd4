#include "output/history.h"

#include <algorithm>
#include <utility>

#include "platform/profile.h"

namespace tamro {

TextHistory::TextHistory(std::string section, std::string keyPrefix, int capacity)
    : section_(std::move(section)), prefix_(std::move(keyPrefix)), capacity_(capacity < 1 ? 1 : capacity) {}

std::string TextHistory::Key(int n) const { return prefix_ + std::to_string(n); }

void TextHistory::Load() {
  items_.clear();
  const Profile &profile = Profile::App();
  for (int i = 0; i < capacity_; ++i) {
    std::string value = profile.GetString(section_, Key(i), "");
    if (!value.empty()) items_.push_back(std::move(value));
  }
}

void TextHistory::Save() const {
  Profile &profile = Profile::App();
  // One replacement of the settings file for all the lines that changed.
  std::vector<Profile::Entry> changed;
  for (int i = 0; i < capacity_; ++i) {
    std::string key = Key(i);
    const std::string &value = i < static_cast<int>(items_.size()) ? items_[i] : std::string();
    if (profile.Has(section_, key) && profile.GetString(section_, key, "") == value) continue;
    changed.push_back({std::move(key), value});
  }
  profile.WriteStrings(section_, changed);
}

void TextHistory::Promote(const std::string &text) {
  items_.erase(std::remove(items_.begin(), items_.end(), text), items_.end());
  items_.insert(items_.begin(), text);
  if (static_cast<int>(items_.size()) > capacity_) items_.resize(static_cast<std::size_t>(capacity_));
}

std::string TextHistory::First(std::string_view fallback) const {
  return items_.empty() ? std::string(fallback) : items_.front();
}

}  // namespace tamro
