#pragma once

// The entries of the tool bar's thumbnail-size drop-down and the remembered sizes behind it.

#include <string>
#include <vector>

namespace tamro {

class Profile;

struct ThumbSizeItem {
  int command = 0;   // 8100 remember, 8101 + slot, 8000 + n; 0 for a separator
  std::string text;
  int width = 0, height = 0;  // remembered sizes
};

constexpr int kCmdRememberSize = 8100;
constexpr int kCmdRememberedSize = 8101;  // + slot
constexpr int kCmdDivide = 8000;          // + n

// Builds the menu from `MainFrame`/`ThumbsSize0..9`, `ThumbsFirst` and `ThumbsLast`, and
// writes both limits back.
std::vector<ThumbSizeItem> BuildThumbSizeMenu(Profile &profile);

// Remembers a size in slot 0 (slots move up, slot 9 is lost) unless some slot already holds
// exactly that text. False when nothing changed.
bool RememberThumbSize(Profile &profile, int width, int height);

}  // namespace tamro
