#pragma once

// Driving the dialogs as a user would: every dialog that opens while a DialogDriver lives is
// handed to the next scripted step once it is up.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <functional>

namespace tamro::test {

class DialogDriver : public QObject {
 public:
  using Step = std::function<void(QDialog *)>;
  explicit DialogDriver(std::deque<Step> steps = {}) : steps_(std::move(steps)) {
    qApp->installEventFilter(this);
  }
  ~DialogDriver() override {
    qApp->removeEventFilter(this);
    EXPECT_TRUE(steps_.empty()) << steps_.size() << " dialogs never opened";
  }
  void Then(Step step) { steps_.push_back(std::move(step)); }
  int opened = 0;

  bool eventFilter(QObject *watched, QEvent *event) override {
    auto *dialog = qobject_cast<QDialog *>(watched);
    // Progress windows are not questions; they come and go by themselves.
    if (event->type() != QEvent::Show || !dialog || !dialog->isWindow() ||
        dialog->objectName() == QStringLiteral("progress"))
      return false;
    ++opened;
    QPointer<QDialog> shown(dialog);
    Step step;
    if (!steps_.empty()) {
      step = std::move(steps_.front());
      steps_.pop_front();
    }
    QTimer::singleShot(0, this, [shown, step] {
      if (!shown) return;
      if (!step) {
        ADD_FAILURE() << "unexpected dialog " << shown->windowTitle().toStdString();
        shown->reject();
        return;
      }
      step(shown);
      // A step ends with its dialog closed; one left open would wait for ever.
      if (shown && shown->isVisible()) {
        ADD_FAILURE() << "the step left " << shown->windowTitle().toStdString() << " open";
        shown->reject();
      }
    });
    return false;
  }

 private:
  std::deque<Step> steps_;
};

// The button of `dialog` showing that text.
inline QAbstractButton *Button(QWidget *dialog, const QString &text) {
  for (QAbstractButton *b : dialog->findChildren<QAbstractButton *>())
    if (b->text() == text && b->isVisible()) return b;
  ADD_FAILURE() << "no button " << text.toStdString();
  return nullptr;
}

}  // namespace tamro::test
