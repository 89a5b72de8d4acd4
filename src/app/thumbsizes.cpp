#include "app/thumbsizes.h"

#include <algorithm>
#include <cstdio>

#include "platform/listfield.h"
#include "platform/profile.h"

namespace tamro {

namespace {
std::string SlotKey(int slot) { return "ThumbsSize" + std::to_string(slot); }
}  // namespace

std::vector<ThumbSizeItem> BuildThumbSizeMenu(Profile &profile) {
  std::vector<ThumbSizeItem> items;
  items.push_back({kCmdRememberSize, "現在値を記憶", 0, 0});
  items.push_back({0, "", 0, 0});
  bool any = false;
  for (int slot = 0; slot < 10; ++slot) {
    const std::string text = profile.GetString("MainFrame", SlotKey(slot), "");
    if (text.empty()) continue;
    int w = 0, h = 0;
    GetListInt(text, 0, w);
    GetListInt(text, 1, h);
    char label[64];
    std::snprintf(label, sizeof label, "%dx%d", w, h);
    items.push_back({kCmdRememberedSize + slot, label, w, h});
    any = true;
  }
  if (any) items.push_back({0, "", 0, 0});
  const int first = profile.GetInt("MainFrame", "ThumbsFirst", 2);
  const int last = profile.GetInt("MainFrame", "ThumbsLast", 16);
  // Command ids 8000 + n must stay below the remember entry.
  for (int n = std::max(first, 1); n <= last && n < kCmdRememberSize - kCmdDivide; ++n) {
    char label[64];
    std::snprintf(label, sizeof label, "&%d 分割", n);
    items.push_back({kCmdDivide + n, label, 0, 0});
  }
  profile.WriteInt("MainFrame", "ThumbsFirst", first);
  profile.WriteInt("MainFrame", "ThumbsLast", last);
  return items;
}

bool RememberThumbSize(Profile &profile, int width, int height) {
  char text[64];
  std::snprintf(text, sizeof text, "%d,%d", width, height);
  for (int slot = 0; slot < 10; ++slot)
    if (profile.GetString("MainFrame", SlotKey(slot), "") == text) return false;
  for (int slot = 8; slot >= 0; --slot) {
    const std::string moved = profile.GetString("MainFrame", SlotKey(slot), "");
    if (!moved.empty() || !profile.GetString("MainFrame", SlotKey(slot + 1), "").empty())
      profile.WriteString("MainFrame", SlotKey(slot + 1), moved);
  }
  profile.WriteString("MainFrame", SlotKey(0), text);
  return true;
}

}  // namespace tamro
