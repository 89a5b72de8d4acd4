#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QImage>
#include <QMimeData>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "catalogue/engine.h"
#include "platform/profile.h"
#include "support/sandbox.h"
#include "support/widgetapp.h"
#include "views/rxview.h"

namespace tamro::test {

// A plain picture of one colour, written as BMP so the built-in decoder reads it.
inline std::filesystem::path WriteColourPicture(const std::filesystem::path &path, int w, int h,
                                                QColor colour) {
  std::filesystem::create_directories(path.parent_path());
  QImage image(w, h, QImage::Format_RGB888);
  image.fill(colour);
  image.save(QString::fromStdString(path.string()), "BMP");
  return path;
}

inline QColor TestColour(int i) { return QColor::fromHsv((i * 47) % 360, 200, 220); }

// Drags `mime` in over `target` at `at` and drops it there, as a file manager does with `keys`
// held: every step taken, the drop with the effect offered while over it, which it returns.
inline Qt::DropAction DragAndDrop(QWidget *target, QMimeData &mime, QPoint at,
                                  Qt::KeyboardModifiers keys = Qt::NoModifier) {
  const auto both = Qt::CopyAction | Qt::MoveAction;
  QDragEnterEvent enter(at, both, &mime, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QDragMoveEvent move(at, both, &mime, Qt::NoButton, keys);
  QApplication::sendEvent(target, &move);
  QDropEvent drop(at, both, &mime, Qt::NoButton, keys);
  QApplication::sendEvent(target, &drop);
  EXPECT_EQ(std::tuple(enter.isAccepted(), move.isAccepted(), drop.isAccepted(), drop.dropAction()),
            std::tuple(true, true, true, move.dropAction()));
  return move.dropAction();
}

// The hints the document sends to its views (the details list listens to them).
class HintLog : public UpdateObserver {
 public:
  explicit HintLog(CRXDoc &doc) : doc_(doc) { doc_.AddObserver(this); }
  ~HintLog() override { doc_.RemoveObserver(this); }
  void OnUpdate(UpdateObserver *, int hint, const UpdateArgument &a) override {
    hints.push_back({hint, a.value, a.extra});
  }
  bool Has(int hint, long value, long extra = -1) const {
    for (const Hint &h : hints)
      if (h.hint == hint && h.value == value && (extra < 0 || h.extra == extra)) return true;
    return false;
  }
  int Count(int hint) const {
    return static_cast<int>(std::ranges::count(hints, hint, &Hint::hint));
  }
  struct Hint {
    int hint;
    long value, extra;
  };
  std::vector<Hint> hints;

 private:
  CRXDoc &doc_;
};

namespace fs = std::filesystem;

// A grid on a real engine and document over a folder of pictures the test writes.
class GridFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureWidgetApp();
    Profile::ResetApp();
    folder = box.root() / "pics";
  }
  void TearDown() override {
    view.reset();
    engine.reset();
  }

  void MakePictures(int n) {
    for (int i = 0; i < n; ++i)
      test::WriteColourPicture(folder / ("p" + std::to_string(100 + i) + ".bmp"), 80, 60,
                               test::TestColour(i));
  }

  void Open(int width = 400, int height = 300) {
    engine = std::make_unique<CatalogueEngine>(profile, EngineHooks{&icons, nullptr, {}, workers, false});
    engine->Host().LoadSwitches();
    engine->DeliverResultsHere();
    if (loadPlugins) engine->LoadPlugins();
    doc = &engine->Doc();
    painter = &engine->Painter();
    view = std::make_unique<tamro::CRXView>(*engine, profile);
    view->resize(width, height);
    view->OnInitialUpdate();
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    doc->ChangeFolder(folder.string(), nullptr, false);
    Settle();
  }

  // The grid over a folder of `pictures` pictures of the test colours.
  void OpenOn(int pictures, int width = 400, int height = 300) {
    MakePictures(pictures);
    Open(width, height);
  }

  // Paints what is pending and runs idle steps until the view wants none and the workers
  // have handed back everything.
  int Settle() {
    int steps = 0;
    for (int round = 0; round < 5000; ++round) {
      QApplication::processEvents();
      bool more = false;
      while (view->ContinueDrawing() && steps < 100000) more = true, ++steps;
      QApplication::processEvents();
      if (!more && CRXView::DrawPhase() == CRXView::kIdle && engine->Thumbs().InFlight() == 0) break;
      if (engine->Thumbs().InFlight() > 0) QTest::qWait(2);
    }
    return steps;
  }

  QColor CellCentreOnScreen(int index) {
    const QImage shot = view->viewport()->grab().toImage();
    const CellLayout l =
        painter->Layout(*doc->GetEntry(index), 0, 0, view->Grid().cellWidth, view->Grid().cellHeight);
    const int x =
        (index % view->Grid().columns) * view->Grid().cellWidth + (l.picture.left + l.picture.right) / 2;
    const int y = (index / view->Grid().columns) * view->Grid().cellHeight +
                  (l.picture.top + l.picture.bottom) / 2 - view->Top();
    return shot.pixelColor(QPointF(x, y).toPoint() * shot.devicePixelRatio());
  }

  int IndexOf(const std::string &name) {
    for (int i = 0; i < doc->GetEntryCount(); ++i)
      if (doc->GetEntry(i)->name == name) return i;
    return -1;
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (int i = 0; i < doc->GetEntryCount(); ++i) names.push_back(doc->GetEntry(i)->name);
    return names;
  }

  // The colour entry `index` was written with (the listing keeps the folder's own order).
  QColor Expected(int index) {
    const std::string &name = doc->GetEntry(index)->name;
    return test::TestColour(std::stoi(name.substr(1, 3)) - 100);
  }

  test::Sandbox box;
  Profile profile{box.configFile()};
  fs::path folder;
  int workers = 2;
  bool loadPlugins = false;  // the plug-ins of the folder SPI/SPIDIR names
  GlyphIconSource icons;
  std::unique_ptr<CatalogueEngine> engine;
  CRXDoc *doc = nullptr;
  CCellPainter *painter = nullptr;
  std::unique_ptr<CRXView> view;
};

}  // namespace tamro::test
