#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "app/foldertree.h"
#include "app/mainframe.h"
#include "app/rxapp.h"
#include "catalogue/rxdoc.h"
#include "platform/profile.h"
#include "support/sandbox.h"
#include "support/widgetapp.h"
#include "views/rxview.h"

namespace tamro::test {

namespace fs = std::filesystem;

// A BMP of one colour (so the built-in decoder reads it), its folders made.
inline void WritePicture(const fs::path &path, QColor colour = Qt::darkCyan, int width = 90) {
  fs::create_directories(path.parent_path());
  QImage image(width, 70, QImage::Format_RGB888);
  image.fill(colour);
  ASSERT_TRUE(image.save(QString::fromStdString(path.string()), "BMP"));
}

// Tamro started on a folder of the sandbox whose name needs quoting everywhere.
class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureWidgetApp();
    Profile::ResetApp();
    folder = box.root() / "写真 100% \"best\"";
    fs::create_directories(folder);
  }
  void TearDown() override { app.reset(); }
  // Starts with `args` and lets the idle handler and the thumbnail workers run until both are done.
  void Start(std::vector<std::string> args) {
    app = std::make_unique<CRXApp>(Profile::App());
    ASSERT_TRUE(app->InitInstance(args));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(app->MainFrame()));
    for (int i = 0; i < 5000; ++i) {
      QApplication::processEvents(QEventLoop::AllEvents, 5);
      if (i >= 5 && !app->IdleRunning() && CRXView::DrawPhase() == CRXView::kIdle &&
          app->Engine().Thumbs().InFlight() == 0)
        break;
      QTest::qWait(1);
    }
    QApplication::processEvents();
    doc = app->Doc();
    frame = app->MainFrame();
    tree = frame->Tree();
  }
  // Runs the event loop until `done` holds, at most `ms`; with `done` never true, for `ms`.
  template <class Done>
  static bool RunUntil(Done done, int ms = 8000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
      if (clock.elapsed() > ms) return false;
      QApplication::processEvents(QEventLoop::AllEvents, 10);
      QTest::qWait(5);
    }
    return true;
  }
  static void Run(int ms) {
    RunUntil([] { return false; }, ms);
  }
  // Triggers `action` and hands the modal dialog of type D it opens to `fill`; false when none opened.
  template <class D, class Fill>
  static bool Answer(QAction *action, Fill fill) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
      if (auto *d = qobject_cast<D *>(QApplication::activeModalWidget())) seen = true, fill(*d);
    });
    action->trigger();
    return seen;
  }
  bool Listed(const std::string &name) {
    for (int i = 0; i < doc->GetEntryCount(); ++i)
      if (doc->GetEntry(i)->name == name) return true;
    return false;
  }

  test::Sandbox box;
  fs::path folder;
  std::unique_ptr<CRXApp> app;
  CRXDoc *doc = nullptr;
  CMainFrame *frame = nullptr;
  CFolderTree *tree = nullptr;
};

}  // namespace tamro::test
