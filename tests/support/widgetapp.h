#pragma once

// A QApplication for tests that show widgets; made once per process. Header-only, so that
// only the test programs that include it need Qt Widgets.

#include <QApplication>

namespace tamro::test {

inline void EnsureWidgetApp() {
  if (QApplication::instance()) return;
  static int argc = 1;
  static char name[] = "tamro_tests";
  static char *argv[] = {name, nullptr};
  // Never destroyed: tearing it down among the exit handlers crashes in Qt.
  new QApplication(argc, argv);
}

}  // namespace tamro::test
