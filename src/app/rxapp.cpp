#include "app/rxapp.h"

#include <unistd.h>

#include <QApplication>
#include <QScreen>

#include "app/mainframe.h"
#include "app/splash.h"
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
  frame_.reset();
  engine_.reset();
}

void CRXApp::ExitInstance() {
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
  engine_ = std::make_unique<CatalogueEngine>(profile_, hooks);
  engine_->DeliverResultsHere();
  CRXDoc &doc = engine_->Doc();
  frame_ = std::make_unique<CMainFrame>(*engine_, profile_);
  ui_.SetParent(frame_.get());
  SetUi(&ui_);
  connect(frame_.get(), &CMainFrame::idleWorkWanted, this, &CRXApp::WantIdle);
  connect(frame_->View(), &CRXView::firstPainted, this, [this] {
    if (splash_) splash_->close();
  });

  // 8, 9. The starting folder.
  char cwd[4096];
  const std::string current = getcwd(cwd, sizeof cwd) ? cwd : "/";
  const std::string folder = ChooseStartingFolder(args, profile_, ExecutableFolder(), current);
  frame_->View()->OnInitialUpdate();
  if (folder.empty() || !doc.OpenFolder(folder)) doc.OpenFolder(current);

  // 10, 11. Placement, then show.
  RestorePlacement();
  frame_->show();

  // 12, 13. The plug-ins.
  // 14, 15.
  if (splash_) splash_->SetLine(0, QStringLiteral("Tamroの初期設定を読み出しています"));
  engine_->LoadPlugins();
  frame_->ReloadPluginSets();
  // 16.
  doc.UpdateAllViews(nullptr, kHintStartupDone);
  WantIdle();
  return true;
}

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
