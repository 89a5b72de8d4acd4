#pragma once

// A headless QGuiApplication for tests that paint or ask the font database; made once per
// process. Header-only, so that only the test programs that include it need Qt Gui.

#include <QGuiApplication>
#include <cstdlib>
#include <memory>

namespace tamro::test {

inline void EnsureGuiApp() {
  if (QCoreApplication::instance()) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static char name[] = "tamro_tests";
  static char *argv[] = {name, nullptr};
  // Destroyed at exit, so Qt releases its font caches before leak checks run.
  static std::unique_ptr<QGuiApplication> app = std::make_unique<QGuiApplication>(argc, argv);
}

}  // namespace tamro::test
