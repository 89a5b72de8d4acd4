#pragma once

// Shared pieces of the option dialog tests: the application, and widgets found by name.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QWidget>

#include "support/widgetapp.h"

namespace tamro::test {

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
