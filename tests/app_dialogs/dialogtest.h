#pragma once

// Driving the file dialogs as a user would: every dialog that opens while a DialogDriver
// lives is handed to the next scripted step once it is up.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <functional>

#include "app/uilanguage.h"
#include "catalogue/docfixture.h"
#include "platform/profile.h"
#include "support/sandbox.h"
#include "support/widgetapp.h"

namespace tamro::test {

inline void EnsureWidgetsApp() {
  if (QApplication::instance()) return;
  EnsureWidgetApp();
  InstallJapaneseTranslations(*QApplication::instance());
}

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

// The application, the program's settings in the test's sandbox (made before this) and,
// afterwards, the current folder as it was: the dialogs enter the document's folder.
class AppState {
 public:
  AppState() : cwd_((EnsureWidgetsApp(), QDir::currentPath())) { Profile::ResetApp(); }
  ~AppState() { QDir::setCurrent(cwd_); }

 private:
  QString cwd_;
};

class DialogTest : public ::testing::Test {
 protected:
  Sandbox box;
  AppState app;
};

class DocDialogTest : public DocTest {
 protected:
  AppState app;

  // A document over pics/ with every entry named in `select` selected.
  std::unique_ptr<CRXDoc> Open(const std::vector<std::string> &select) {
    auto doc = MakeDoc();
    doc->ChangeFolder(Folder(), nullptr, false);
    for (int i = 0; i < doc->GetEntryCount(); ++i)
      for (const auto &s : select)
        if (doc->GetEntry(i)->name == s) doc->SetEntryFlags(i, CPicEntry::kSelected);
    return doc;
  }
};

}  // namespace tamro::test
