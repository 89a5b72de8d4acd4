#include "guiapp.h"

#include <QGuiApplication>
#include <cstdlib>

namespace tamro::test {

void EnsureGuiApp() {
  if (QCoreApplication::instance()) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static char name[] = "catalogue_tests";
  static char *argv[] = {name, nullptr};
  static QGuiApplication *app = new QGuiApplication(argc, argv);
  (void)app;
}

}  // namespace tamro::test
