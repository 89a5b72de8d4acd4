#pragma once

// Shared pieces of the option dialog tests: the application, and widgets found by name.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QWidget>

namespace tamro::test {

inline void EnsureApp() {
  if (QApplication::instance()) return;
  static int argc = 1;
  static char name[] = "app_settings_tests";
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

inline QPushButton *DialogButton(QWidget *dialog, QDialogButtonBox::StandardButton which) {
  auto *box = dialog->findChild<QDialogButtonBox *>();
  return box ? box->button(which) : nullptr;
}

}  // namespace tamro::test
