#pragma once

// The "アプリケーションで開く(&G)" submenu of the views and the main window.

#include <functional>

class QMenu;

namespace tamro {

class Profile;

// Fills `menu` (emptied first) with one item per registered application, titled as
// registered and carrying the command number 20000 + n as its data; choosing an item calls
// `run` with that number. The menu's own title becomes "アプリケーションで開く(&G)".
// Answers the number of items; with none the caller leaves the submenu out.
int FillApplicationMenu(QMenu *menu, const std::function<void(int command)> &run, Profile *profile = nullptr);

}  // namespace tamro
