#pragma once

// Picture windows over the grid of the fixture, on a host without dialogs and a scripted user.

#include <QTimer>
#include <functional>

#include "fileops/filecommands.h"
#include "fileops/noteedit.h"
#include "platform/ui.h"
#include "views/oneview.h"
#include "views/onewnd.h"
#include "views/slideshow.h"
#include "views/viewtest.h"

namespace tamro::test {

// The application's side, without dialogs: copies and moves go to a folder the test names.
// `during` runs where the dialog would be open, as a change of the folder meanwhile would.
class FolderHost : public PictureWindowHost {
 public:
  FolderHost(CRXDoc &doc, std::string folder) : doc_(doc), folder_(std::move(folder)) {}
  int Transfer(QWidget *, const EntryId &picture, bool move) override {
    CTransferOption option(move);
    option.destination = folder_;
    Dialog();
    const int index = FindEntry(doc_, picture);
    if (index < 0) return -1;
    return move ? MoveEntries(doc_, option, {index}) : CopyEntries(doc_, option, {index});
  }
  bool EditNote(QWidget *, const EntryId &picture) override {
    CNoteOption note(doc_, FindEntry(doc_, picture));
    Dialog();
    note.text = "noted";
    return note.Accept();
  }
  bool DisplayMode(QWidget *, OneViewSettings &, int &) override { return false; }
  void Wallpaper(QWidget *, HDIB) override {}
  void Print(QWidget *, const EntryId &picture) override {
    Dialog();
    printed = picture.name;
  }
  void ActivateMain() override {}
  void Dialog() {
    if (during) std::exchange(during, {})();
  }

  std::function<void()> during;
  std::string printed;

 private:
  CRXDoc &doc_;
  std::string folder_;
};

// The grid with picture windows over it, on the host above and a scripted user.
class PictureWindowTest : public GridFixture {
 protected:
  void SetUp() override {
    GridFixture::SetUp();
    SetUi(&ui);
  }
  void TearDown() override {
    CloseWindows();
    GridFixture::TearDown();
    SetUi(nullptr);
  }
  // Opens the grid over the folder with `pictures` pictures added and the settings (section, key,
  // value) written, sorted by name if asked, and a picture window on entry `index`.
  COneWnd *OpenWindow(int pictures, int index,
                      std::initializer_list<std::tuple<const char *, const char *, int>> settings = {},
                      bool byName = false) {
    MakePictures(pictures);
    for (const auto &[section, key, value] : settings) profile.WriteInt(section, key, value);
    Open();
    if (byName) doc->SortBy(kSortName, 1);
    fs::create_directories(box.path("moved"));
    host = std::make_unique<FolderHost>(*doc, box.path("moved").string());
    windows = std::make_unique<CPictureWindows>(*engine, profile, host.get());
    view->SetPictureWindows(windows.get());
    EXPECT_TRUE(windows->Show(index, false));
    COneWnd *w = windows->At(0);
    w->resize(400, 300);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(w));
    WaitShown(w);
    return w;
  }
  void CloseWindows() {
    if (view) view->SetPictureWindows(nullptr);
    windows.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  static void WaitShown(COneWnd *w) {
    for (int i = 0; i < 2000 && w->View()->Loading(); ++i) QTest::qWait(2);
  }
  static void MouseMove(QWidget *v, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent move(QEvent::MouseMove, QPointF(at), v->mapToGlobal(QPointF(at)), Qt::NoButton, buttons,
                     Qt::NoModifier);
    QApplication::sendEvent(v, &move);
  }
  // Runs the window's full-screen show; on each poll while it is up, `done` says whether to end it
  // with Escape (after five seconds it ends anyway, so that a failure cannot hold the test).
  static void RunFullShow(COneWnd *w, const std::function<bool(CFullShow *)> &done) {
    int polls = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto *show = qobject_cast<CFullShow *>(QApplication::activeModalWidget());
      if (!show || !(done(show) || ++polls > 250)) return;
      // `done` may have run events: the show is looked up again.
      if ((show = qobject_cast<CFullShow *>(QApplication::activeModalWidget())))
        QTest::keyClick(show, Qt::Key_Escape);
    });
    poll.start(20);
    w->OnCommand(COneWnd::kSlideShow);
  }
  static void Key(COneWnd *w, Qt::Key key) { QTest::keyClick(w->View(), key); }

  // Questions can run `during` too, as the delete question's dialog would.
  struct HookedUi : ScriptedUi {
    std::function<void()> during;
    int MessageBox(std::string_view text, std::string_view caption, unsigned style) override {
      if (during) std::exchange(during, {})();
      return ScriptedUi::MessageBox(text, caption, style);
    }
  };

  HookedUi ui;
  std::unique_ptr<FolderHost> host;
  std::unique_ptr<CPictureWindows> windows;
};

}  // namespace tamro::test
