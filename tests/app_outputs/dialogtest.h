#pragma once

// The output dialogs on a real folder document: pictures in a sandbox, the decoders, the
// thumbnail builder and cell painter the window uses, and a way to act on a modal dialog
// while its command waits for it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "catalogue/engine.h"
#include "platform/profile.h"
#include "platform/ui.h"
#include "support/sandbox.h"
#include "support/widgetapp.h"
#include "views/viewtest.h"

namespace tamro::test {

// With TAMRO_DIALOG_SHOTS set to a folder, the widget's picture goes there for a look.
inline void Shoot(QWidget &w, const char *name) {
  if (const char *dir = std::getenv("TAMRO_DIALOG_SHOTS"))
    w.grab().save(QString::fromUtf8(dir) + "/" + QString::fromUtf8(name) + ".png");
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureWidgetApp();
    Profile::ResetApp();
    folder = box.root() / "写真";
  }

  // `count` pictures of 80 x 60, all selected.
  void OpenPictures(int count) {
    for (int i = 0; i < count; ++i)
      WriteColourPicture(folder / ("p" + std::to_string(100 + i) + ".bmp"), 80, 60, TestColour(i));
    engine = std::make_unique<CatalogueEngine>(Profile::App(), EngineHooks{&icons, nullptr, {}, 1, false});
    engine->Host().LoadSwitches();
    doc = &engine->Doc(), cells = &engine->Painter();
    doc->ChangeFolder(folder.string(), nullptr, false);
    ASSERT_EQ(doc->GetEntryCount(), count);
    for (int i = 0; i < count; ++i) doc->SetEntryFlags(i, CPicEntry::kSelected);
  }

  Sandbox box;
  std::filesystem::path folder;
  GlyphIconSource icons;
  std::unique_ptr<CatalogueEngine> engine;
  CRXDoc *doc = nullptr;
  CCellPainter *cells = nullptr;
  ScriptedUi ui;
  ScopedUi scope{ui};
};

// Runs `act` on the next modal dialog of type T once it shows (while a command waits in
// its exec()). A dialog that never shows fails the test when the command returns.
template <class T>
void WhenShown(std::function<void(T &)> act) {
  auto *timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act(*dialog);
  });
  timer->start();
}

}  // namespace tamro::test
