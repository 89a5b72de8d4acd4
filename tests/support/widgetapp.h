#pragma once

// A QApplication for tests that show widgets; made once per process. Header-only, so that
// only the test programs that include it need Qt Widgets.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>

namespace tamro::test {

inline void EnsureWidgetApp() {
  if (QApplication::instance()) return;
  static int argc = 1;
  static char name[] = "tamro_tests";
  static char *argv[] = {name, nullptr};
  // Never destroyed: tearing it down among the exit handlers crashes in Qt.
  new QApplication(argc, argv);
}

// The child named `name`; fails the test (and answers null) when there is none.
template <class T>
T *Child(QWidget *parent, const char *name) {
  T *child = parent->findChild<T *>(QString::fromUtf8(name));
  EXPECT_NE(child, nullptr) << name;
  return child;
}
template <class T>
T *Child(QWidget &parent, const char *name) {
  return Child<T>(&parent, name);
}

inline QPushButton *DialogButton(QWidget *dialog, QDialogButtonBox::StandardButton which) {
  auto *box = dialog->findChild<QDialogButtonBox *>();
  return box ? box->button(which) : nullptr;
}

}  // namespace tamro::test
