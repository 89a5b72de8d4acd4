#pragma once

// The file dialogs' tests: the application in Japanese, the program's settings in a sandbox.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>

#include "app/uilanguage.h"
#include "app_dialogs/dialogdriver.h"
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
    auto doc = ListedDoc();
    for (int i = 0; i < doc->GetEntryCount(); ++i)
      if (std::ranges::count(select, doc->GetEntry(i)->name)) doc->SetEntryFlags(i, CPicEntry::kSelected);
    return doc;
  }
};

}  // namespace tamro::test
