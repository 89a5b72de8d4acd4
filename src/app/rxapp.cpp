#include "app/rxapp.h"

#include <unistd.h>

#include <QApplication>
#include <QMainWindow>
#include <QScreen>
#include <QStatusBar>
#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "app/mainframe.h"
#include "app/picturehost.h"
#include "app/splash.h"
#include "catalogue/fdthumbcache.h"
#include "catalogue/macros.h"
#include "catalogue/rxdoc.h"
#include "catalogue/thumbbuilder.h"
#include "platform/listfield.h"
#include "platform/profile.h"
#include "platform/startup.h"
#include "views/rxview.h"

namespace tamro {

namespace {

int Field(const std::string &text, int n) {
  int v = 0;
  GetListInt(text, n, v);
  return v;
}

}  // namespace

CRXApp::CRXApp(Profile &profile) : profile_(profile) {
  idle_.setInterval(0);
  connect(&idle_, &QTimer::timeout, this, [this] { OnIdle(); });
}

CRXApp::~CRXApp() {
  idle_.stop();
  SetUi(nullptr);
  if (splash_) delete splash_.data();
  if (frame_) frame_->SetPictureWindows(nullptr);
  pictures_.reset();
  // Closed picture windows still wait for deletion; they use the engine.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  frame_.reset();
  engine_.reset();
}

void CRXApp::ExitInstance() {
  if (pictures_) pictures_->CloseAll();
  if (frame_) frame_->SaveState();
  if (engine_) engine_->SaveSettings();
}

bool CRXApp::InitInstance(const std::vector<std::string> &args) {
  // 1. The splash, unless asked not to show one.
  if (!HasNoLogoSwitch(args)) {
    splash_ = new CSplashWnd(5000, [this] { return frame_ != nullptr; });
    splash_->SetTextRect(QRect(20, 20, 340, 130));
    splash_->show();
    QApplication::processEvents();
  }
  // 7. Document, frame and view.
  EngineHooks hooks;
  hooks.icons = &icons_;
  hooks.sharedThumbs = FdThumbCache::DefaultRoot();
  engine_ = std::make_unique<CatalogueEngine>(profile_, hooks);
  engine_->DeliverResultsHere();
  CRXDoc &doc = engine_->Doc();
  frame_ = std::make_unique<CMainFrame>(*engine_, profile_);
  ui_.SetParent(frame_.get());
  // A command's outcome goes to the status bar of the window it was run from.
  ui_.SetStatusSink([this](std::string_view text) {
    QWidget *from = QApplication::activeModalWidget();
    from = from && from->parentWidget() ? from->parentWidget()->window() : QApplication::activeWindow();
    auto *window = qobject_cast<QMainWindow *>(from);
    if (!window) window = frame_.get();
    window->statusBar()->showMessage(QString::fromUtf8(text.data(), static_cast<int>(text.size())), 8000);
  });
  SetUi(&ui_);
  pictureHost_ = std::make_unique<CPictureHost>(*engine_, frame_.get());
  pictures_ = std::make_unique<CPictureWindows>(*engine_, profile_, pictureHost_.get());
  frame_->SetPictureWindows(pictures_.get());
  connect(frame_.get(), &CMainFrame::idleWorkWanted, this, &CRXApp::WantIdle);
  connect(frame_->View(), &CRXView::firstPainted, this, [this] {
    if (splash_) splash_->close();
  });

  // 8, 9. The starting folder.
  char cwd[4096];
  const std::string current = getcwd(cwd, sizeof cwd) ? cwd : "/";
  const std::string folder = ChooseStartingFolder(args, profile_, ExecutableFolder(), current);
  std::error_code ec;
  // A file first names the folder; every file named (as a desktop entry's %F hands several
  // over) is then selected.
  if (std::filesystem::is_regular_file(folder, ec))
    for (const std::string &a : args) {
      if (a.empty() || a[0] == '-' || HasNoLogoSwitch({a})) continue;
      const std::string path = CommandLinePath(a);
      if (!path.empty() && std::filesystem::is_regular_file(path, ec))
        startFiles_.push_back(GetLongFolderPath(path));
    }
  frame_->View()->OnInitialUpdate();
  if (folder.empty() || !doc.OpenFolder(folder)) doc.OpenFolder(current);

  // 10. Placement.
  RestorePlacement();

  // 12 to 15. The plug-ins, while the splash alone is up: a main window shown before them
  // would stay unpainted (black) until they are loaded.
  if (splash_) splash_->SetLine(0, QStringLiteral("Tamroの初期設定を読み出しています"));
  engine_->LoadPlugins();
  frame_->ReloadPluginSets();

  // 11. Show, with nothing long left before the first paint.
  frame_->show();
  OpenStartFiles();
  // 16.
  doc.UpdateAllViews(nullptr, kHintStartupDone);
  WantIdle();
  return true;
}

void CRXApp::OpenStartFiles() { frame_->OpenFiles(std::exchange(startFiles_, {})); }

void CRXApp::RestorePlacement() {
  const std::string flags = profile_.GetString("WindowPlacement", "flags", "");
  if (flags.empty()) return;
  const int show = Field(profile_.GetString("WindowPlacement", "showCmd", ""), 0);
  const std::string rc = profile_.GetString("WindowPlacement", "rcNormalPosition", "");
  const int l = Field(rc, 0), t = Field(rc, 1), r = Field(rc, 2), b = Field(rc, 3);
  if (r - l >= 100 && b - t >= 100) {
    QRect want(l, t, r - l, b - t);
    // Keep the window reachable when the screens changed since it was closed.
    if (QScreen *screen = QApplication::primaryScreen())
      if (!screen->virtualGeometry().intersects(want))
        want.moveTopLeft(screen->availableGeometry().topLeft());
    frame_->setGeometry(want);
  }
  if (show == 3) frame_->setWindowState(Qt::WindowMaximized);
}

void CRXApp::WantIdle() {
  if (!idle_.isActive()) idle_.start();
}

bool CRXApp::OnIdle() {
  const bool more = frame_ && frame_->OnIdle(idleCount_++);
  if (!more) {
    idle_.stop();
    idleCount_ = 0;
  }
  return more;
}

}  // namespace tamro
