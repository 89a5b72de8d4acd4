#include "views/onewnd.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <utility>

#include "catalogue/engine.h"
#include "catalogue/macros.h"
#include "catalogue/updatehint.h"
#include "fileops/filecommands.h"
#include "picture/dib.h"
#include "picture/dibdraw.h"
#include "picture/dibjpeg.h"
#include "platform/profile.h"
#include "platform/ui.h"
#include "views/oneview.h"
#include "views/slideshow.h"

namespace tamro {

namespace {

int Field(const std::string &text, int n) {
  std::size_t at = 0;
  for (int i = 0; i < n && at != std::string::npos; ++i) {
    at = text.find(',', at);
    if (at != std::string::npos) ++at;
  }
  return at == std::string::npos ? 0 : std::atoi(text.c_str() + at);
}

}  // namespace

COneWnd::COneWnd(CatalogueEngine &engine, Profile &profile, CPictureWindows &list, PictureWindowHost *host)
    : engine_(engine), doc_(engine.Doc()), profile_(profile), list_(list), host_(host) {
  setAttribute(Qt::WA_DeleteOnClose);
  const OneViewSettings settings = OneViewSettings::Load(profile);
  topMost_ = settings.topMost;
  if (topMost_) setWindowFlag(Qt::WindowStaysOnTopHint, true);
  view_ = new COneView(engine, settings, this);
  view_->SetInterval(doc_.Settings().sleepDraw);
  setCentralWidget(view_);
  for (int i = 0; i < 4; ++i) {
    panes_[i] = new QLabel(this);
    statusBar()->addWidget(panes_[i], i == 3 ? 1 : 0);
  }
  BuildMenus();
  statusBar()->setVisible(profile.GetInt("OnePic", "StatusBar", 1) != 0);
  connect(view_, &COneView::entryChanged, this, [this] {
    UpdateStatus();
    UpdateActions();
  });
  connect(view_, &COneView::pictureShown, this, &COneWnd::UpdateStatus);
  connect(view_, &COneView::fitWanted, this, &COneWnd::FitTo);
  connect(view_, &COneView::stepWanted, this, &COneWnd::Step);
  connect(view_, &COneView::slideShowChanged, this, &COneWnd::UpdateActions);
  resize(640, 480);
  const bool restored = RestorePlacement();
  // A new window starts inside the screen's free area and below the main window's menu; a saved
  // place is kept unless it would cover that menu or leave the screen. The window is not framed
  // yet: its title bar is the style's guess, and the place given is the client's.
  const QMargins guess(0, style()->pixelMetric(QStyle::PM_TitleBarHeight), 0, 0);
  const QRect area = Available(), clear = host_ ? host_->KeepClear() : QRect(), outer = geometry() + guess;
  const bool overMenu = clear.isValid() && (!restored || outer.intersects(clear));
  if (overMenu || (restored && !area.contains(outer)))
    setGeometry(FitWindowFrame(size(), guess,
                               overMenu ? QPoint(clear.left(), clear.bottom() + 1) : outer.topLeft(), area)
                    .marginsRemoved(guess));
  view_->setFocus();
}

COneWnd::~COneWnd() {
  if (listed_) list_.Remove(this);
}

QAction *COneWnd::Add(QMenu *menu, int id, const QString &text, const QList<QKeySequence> &keys) {
  QAction *a = menu->addAction(text);
  a->setShortcuts(keys);
  a->setShortcutContext(Qt::WindowShortcut);
  connect(a, &QAction::triggered, this, [this, id] { OnCommand(id); });
  actions_[id] = a;
  return a;
}

void COneWnd::BuildMenus() {
  QMenu *file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
  Add(file, kCopy, QStringLiteral("複写(&C)"), {QKeySequence(Qt::Key_C)});
  Add(file, kMove, QStringLiteral("移動(&M)"), {QKeySequence(Qt::Key_M)});
  Add(file, kDelete, QStringLiteral("削除(&D)"), {QKeySequence(Qt::Key_D), QKeySequence(Qt::Key_Delete)});
  file->addSeparator();
  Add(file, kSave, QStringLiteral("ファイル保存(&S)"), {QKeySequence(Qt::CTRL | Qt::Key_S)});
  Add(file, kClipboard, QStringLiteral("クリップボードにコピー(&C)"), {QKeySequence(Qt::CTRL | Qt::Key_C)});
  Add(file, kNote, QStringLiteral("コメント入力(&N)"), {QKeySequence(Qt::CTRL | Qt::Key_N)});
  Add(file, kSelect, QStringLiteral("選択(&S)"), {QKeySequence(Qt::Key_Space)})->setCheckable(true);
  file->addSeparator();
  Add(file, kWallpaper, QStringLiteral("壁紙設定(&W)"));
  Add(file, kPrint, QStringLiteral("印刷(&P)..."), {QKeySequence(Qt::CTRL | Qt::Key_P)});
  file->addSeparator();
  Add(file, kClose, QStringLiteral("閉じる(&C)"),
      {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_Q), QKeySequence(Qt::CTRL | Qt::Key_W)});

  QMenu *show = menuBar()->addMenu(QStringLiteral("表示(&V)"));
  Add(show, kFirst, QStringLiteral("先頭画像(&T)"), {QKeySequence(Qt::Key_Home)});
  Add(show, kPrevious, QStringLiteral("前の画像(&P)"), {QKeySequence(Qt::Key_Left)});
  Add(show, kSlideShow, QStringLiteral("順次描画(&A)"))->setCheckable(true);
  Add(show, kNext, QStringLiteral("次の画像(&N)"), {QKeySequence(Qt::Key_Right)});
  Add(show, kLast, QStringLiteral("最終画像(&B)"), {QKeySequence(Qt::Key_End)});
  show->addSeparator();
  Add(show, kTurnRight, QStringLiteral("右回転(&R)"), {QKeySequence(Qt::Key_R)});
  Add(show, kTurnLeft, QStringLiteral("左回転(&L)"));
  Add(show, kZoomIn, QStringLiteral("拡大(&U)"),
      {QKeySequence(Qt::Key_Plus), QKeySequence(Qt::KeypadModifier | Qt::Key_Plus)});
  Add(show, kZoomOut, QStringLiteral("縮小(&D)"),
      {QKeySequence(Qt::Key_Minus), QKeySequence(Qt::KeypadModifier | Qt::Key_Minus)});
  show->addSeparator();
  // Menu 188: the fit modes and scaling methods, also dropped down by the tool bar button.
  auto *mode = new QMenu(QStringLiteral("表示モード(&M)"), this);
  auto *fits = new QActionGroup(this);
  const QString fitTexts[] = {QStringLiteral("そのまま(&D)"), QStringLiteral("画像サイズ(&G)"),
                              QStringLiteral("ウインドウサイズへ伸縮(&S)"), QStringLiteral("縦横固定して伸縮(&A)")};
  for (int i = 0; i < 4; ++i) fits->addAction(Add(mode, kFitAsIs + i, fitTexts[i]))->setCheckable(true);
  mode->addSeparator();
  auto *scales = new QActionGroup(this);
  const std::pair<int, QString> scaleTexts[] = {
      {kScalePlain, QStringLiteral("通常(&O)")},         {kScaleNearest, QStringLiteral("最近傍法(&N)")},
      {kScaleLinear, QStringLiteral("線形補間法(&L)")},  {kScaleAverage, QStringLiteral("RGB平均法(&C)")},
      {kScaleAuto, QStringLiteral("自動判定 美麗モード(&B)")}};
  for (const auto &[id, text] : scaleTexts) scales->addAction(Add(mode, id, text))->setCheckable(true);
  show->addMenu(mode);
  Add(show, kFullScreen, QStringLiteral("全画面表示"))->setCheckable(true);
  Add(show, kRepeat, QStringLiteral("繰り返し再生"))->setCheckable(true);
  Add(show, kUnsharp, QStringLiteral("アンシャープマスク(&U)"));
  show->addSeparator();
  Add(show, kDisplayMode, QStringLiteral("表示モード設定(&D)"));

  QMenu *windows = menuBar()->addMenu(QStringLiteral("ウインドウ(&W)"));
  Add(windows, kNextWindow, QStringLiteral("次へ(&N)"), {QKeySequence(Qt::Key_Tab)});
  Add(windows, kPreviousWindow, QStringLiteral("前へ(&P)"), {QKeySequence(Qt::Key_Backtab)});
  Add(windows, kMainWindow, QStringLiteral("メインウインドウへ(&F)"), {QKeySequence(Qt::CTRL | Qt::Key_F)});
  Add(windows, kTile, QStringLiteral("並べて表示(&G)"), {QKeySequence(Qt::CTRL | Qt::Key_G)});
  Add(windows, kCloseAll, QStringLiteral("すべて閉じる(&A)"));
  Add(windows, kTopMost, QStringLiteral("常に手前に表示"))->setCheckable(true);

  for (QMenu *m : {file, show, mode, windows}) connect(m, &QMenu::aboutToShow, this, &COneWnd::UpdateActions);

  // Tool bar 149.
  QToolBar *bar = bar_ = addToolBar(QStringLiteral("OnePic"));
  bar->setObjectName(QStringLiteral("OnePicBar"));
  QStyle *st = style();
  const std::pair<int, QStyle::StandardPixmap> icons[] = {
      {kFirst, QStyle::SP_MediaSkipBackward}, {kPrevious, QStyle::SP_MediaSeekBackward},
      {kSlideShow, QStyle::SP_MediaPlay},     {kNext, QStyle::SP_MediaSeekForward},
      {kLast, QStyle::SP_MediaSkipForward}};
  for (const auto &[id, icon] : icons) {
    actions_[id]->setIcon(st->standardIcon(icon));
    bar->addAction(actions_[id]);
  }
  bar->addSeparator();
  for (int id : {kZoomIn, kZoomOut, kTurnLeft, kTurnRight}) bar->addAction(actions_[id]);
  auto *drop = new QToolButton(bar);
  drop->setText(QStringLiteral("表示モード"));
  drop->setMenu(mode);
  drop->setPopupMode(QToolButton::InstantPopup);
  bar->addWidget(drop);
  bar->setVisible(profile_.GetInt("OnePic", "ToolBar", 1) != 0);
  UpdateActions();
}

bool COneWnd::IsCommandEnabled(int id) const {
  const bool slide = view_->SlideShowRunning();
  const bool picture = view_->HasPicture();
  const bool bound = view_->Bound();
  const int count = doc_.GetEntryCount();
  switch (id) {
    case kFirst:
    case kLast:
    case kSlideShow:
      return bound;
    case kPrevious:
      return bound && view_->Index() > 0;
    case kNext:
      return bound && view_->Index() + 1 < count;
    case kTurnRight:
    case kTurnLeft:
    case kZoomIn:
    case kZoomOut:
    case kClipboard:
    case kSave:
    case kUnsharp:
    case kWallpaper:
    case kPrint:
      return !slide && picture;
    case kDelete:  // a member cannot be deleted out of its archive
      return !slide && !view_->Entry().member && !view_->Entry().path.empty();
    case kCopy:
    case kMove:
    case kNote:
    case kDisplayMode:
      return !slide;
    case kSelect:
      return !slide && bound;
    default:
      return true;
  }
}

bool COneWnd::IsCommandChecked(int id) const {
  const OneViewSettings &s = view_->Settings();
  if (id >= kFitAsIs && id <= kFitAspect) return s.fitSize == id - kFitAsIs;
  switch (id) {
    case kScalePlain: return s.scaleMode == 0;
    case kScaleNearest: return s.scaleMode == 1;
    case kScaleLinear: return s.scaleMode == 2;
    case kScaleAverage: return s.scaleMode == 3;
    case kScaleAuto: return s.scaleMode == 10;
    case kFullScreen: return s.allView;
    case kRepeat: return s.repeat;
    case kSlideShow: return view_->SlideShowRunning();
    case kTopMost: return topMost_;
    case kSelect: {
      const CPicEntry *e = view_->Bound() ? doc_.GetEntry(FindEntry(doc_, view_->Id(), view_->Index())) : nullptr;
      return e && e->IsSelected();
    }
    default: return false;
  }
}

void COneWnd::UpdateActions() {
  view_->Locate();  // the listing may have changed since the picture was shown
  for (auto &[id, action] : actions_) {
    action->setEnabled(IsCommandEnabled(id));
    if (action->isCheckable()) action->setChecked(IsCommandChecked(id));
  }
}

QString COneWnd::StatusText(int pane) const { return panes_[pane]->text(); }

void COneWnd::UpdateStatus() {
  const COneView::Shown &e = view_->Entry();
  setWindowTitle(QString::fromStdString(e.name));
  panes_[0]->setText(QString::asprintf("%ldx%ld %d bit", static_cast<long>(e.facts.width),
                                       static_cast<long>(e.facts.height), e.facts.bitCount));
  panes_[1]->setText(QString::fromStdString(FormatByteCount(static_cast<uint32_t>(e.size),
                                                            static_cast<uint32_t>(e.size >> 32), true, 1, 0, -1)));
  panes_[2]->setText(view_->HasPicture() ? view_->ScaleText() : QString());
  panes_[3]->setText(QString::fromStdString(e.description));
}

bool COneWnd::event(QEvent *event) {
  // Shortcuts are matched on the override event the focus widget passes up here.
  if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)
    keyHeld_ = static_cast<QKeyEvent *>(event)->isAutoRepeat();
  return QMainWindow::event(event);
}

void COneWnd::ShowIndex(int index) {
  if (!doc_.GetEntry(index)) return;
  view_->ShowEntry(index);
  UpdateActions();
}

void COneWnd::Step(int direction) {
  const int target = view_->StepTarget(direction < 0 ? COneView::kToPrevious : COneView::kToNext);
  if (target >= 0) ShowIndex(target);
}

void COneWnd::FitTo(const QSize &client) {
  if (isMaximized() || isFullScreen()) return;
  // Never so narrow that the menu folds away behind a chevron.
  const QSize least(std::max(320, menuBar()->sizeHint().width()), 200);
  const QSize inner = (size() + (client - view_->size())).expandedTo(minimumSizeHint()).expandedTo(least);
  // At most the screen's free area with the title bar and frame, and kept inside it.
  PlaceFrame(FitWindowFrame(inner, FrameMargins(), pos(), Available()));
}

QMargins COneWnd::FrameMargins() const {
  const QRect outer = frameGeometry(), inner = geometry();
  return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
          outer.bottom() - inner.bottom()};
}

QRect COneWnd::Available() const {
  QScreen *s = screen() ? screen() : QApplication::primaryScreen();
  return s ? s->availableGeometry() : QRect(0, 0, 4096, 4096);
}

void COneWnd::PlaceFrame(const QRect &outer) {
  resize(outer.size().shrunkBy(FrameMargins()));
  move(outer.topLeft());  // a window's position is its frame's
}

bool COneWnd::OnCommand(int id) {
  if (!IsCommandEnabled(id)) return false;
  // A command may run a dialog or the full-screen show, inside which the folder can change and
  // the window be asked to close: the close waits until the command has returned.
  ++commandDepth_;
  const bool done = Execute(id);
  if (--commandDepth_ == 0 && std::exchange(closeWanted_, false)) close();
  return done;
}

void COneWnd::CloseSoon() {
  if (commandDepth_ > 0)
    closeWanted_ = true;
  else
    close();
}

void COneWnd::TellGone() {
  Ui().MessageBox(kEntryGoneText, "Tamro", MB_OK | MB_ICONEXCLAMATION);
}

int COneWnd::LocateOrRefuse() {
  const int at = view_->Locate();
  if (at < 0) TellGone();
  return at;
}

bool COneWnd::Execute(int id) {
  OneViewSettings &s = view_->Settings();
  switch (id) {
    case kFirst:
    case kPrevious:
    case kNext:
    case kLast: {
      const int target = view_->StepTarget(id == kFirst      ? COneView::kToFirst
                                           : id == kPrevious ? COneView::kToPrevious
                                           : id == kNext     ? COneView::kToNext
                                                             : COneView::kToLast);
      if (target < 0) break;
      // A held key steps only onto pictures read ahead, so that each step is painted at once
      // and the reading ahead keeps up; the repeats in between are passed over.
      if (std::exchange(keyHeld_, false) && (id == kPrevious || id == kNext)) {
        if (!view_->ReadingAhead(target)) view_->ShowEntry(target, true), UpdateActions();
        break;
      }
      ShowIndex(target);
      break;
    }
    case kSlideShow:
      if (view_->SlideShowRunning())
        view_->StopSlideShow();
      else if (s.allView)
        RunFullScreen();
      else
        view_->StartSlideShow();
      break;
    case kTurnRight: view_->TurnRight(); break;
    case kTurnLeft: view_->TurnLeft(); break;
    case kZoomIn: view_->ZoomIn(); break;
    case kZoomOut: view_->ZoomOut(); break;
    case kFitAsIs:
    case kFitPicture:
    case kFitStretch:
    case kFitAspect: view_->SetFitAndScale(id - kFitAsIs, s.scaleMode); break;
    case kScalePlain: view_->SetFitAndScale(s.fitSize, 0); break;
    case kScaleNearest: view_->SetFitAndScale(s.fitSize, 1); break;
    case kScaleLinear: view_->SetFitAndScale(s.fitSize, 2); break;
    case kScaleAverage: view_->SetFitAndScale(s.fitSize, 3); break;
    case kScaleAuto: view_->SetFitAndScale(s.fitSize, 10); break;
    case kFullScreen: s.allView = !s.allView; break;
    case kRepeat: s.repeat = !s.repeat; break;
    case kDisplayMode: {
      if (!host_) break;
      OneViewSettings values = s;
      int interval = view_->Interval();
      if (host_->DisplayMode(this, values, interval)) {
        const int fit = values.fitSize, scale = values.scaleMode;
        values.fitSize = s.fitSize;
        values.scaleMode = s.scaleMode;
        s = values;
        view_->SetInterval(interval);
        view_->SetFitAndScale(fit, scale);
      }
      break;
    }
    case kCopy:
    case kMove:
      if (host_ && LocateOrRefuse() >= 0) {
        const COneView::Shown shown = view_->Entry();
        const int moved = host_->Transfer(this, view_->Id(), id == kMove);
        // A moved file leaves the listing as a deleted one does (the engine took the entry out).
        if (id == kMove && moved > 0 && !shown.member && !QFileInfo::exists(QString::fromStdString(shown.path)))
          AfterRemoval(view_->ListPosition());
      }
      break;
    case kDelete: Delete(); break;
    case kSave: Save(); break;
    case kClipboard:
      if (HDIB d = view_->DisplayedPicture()) QApplication::clipboard()->setImage(DibToImage(d));
      break;
    case kNote:
      if (host_ && LocateOrRefuse() >= 0) host_->EditNote(this, view_->Id());
      break;
    case kSelect:
      if (const int shown = LocateOrRefuse(); const CPicEntry *e = doc_.GetEntry(shown))
        doc_.UpdateAllViews(nullptr, kHintSelection, UpdateArgument{shown, e->IsSelected() ? 0 : 1, {}});
      break;
    case kUnsharp: view_->Unsharp(); break;
    case kWallpaper:
      if (host_) host_->Wallpaper(this, view_->DisplayedPicture());
      break;
    case kPrint:
      if (host_ && LocateOrRefuse() >= 0) host_->Print(this, view_->Id());
      break;
    case kClose:
      if (view_->SlideShowRunning())
        view_->StopSlideShow();
      else
        close();
      break;
    case kCloseAll: list_.CloseAll(); return true;
    case kNextWindow: list_.Activate(this, +1); break;
    case kPreviousWindow: list_.Activate(this, -1); break;
    case kMainWindow:
      if (host_) host_->ActivateMain();
      break;
    case kTile: list_.Tile(); break;
    case kTopMost:
      topMost_ = !topMost_;
      setWindowFlag(Qt::WindowStaysOnTopHint, topMost_);
      show();
      break;
    default: return false;
  }
  UpdateActions();
  UpdateStatus();
  return true;
}

void COneWnd::RunFullScreen() {
  const int at = view_->ListPosition();
  if (!view_->Bound() || at + 1 >= doc_.GetEntryCount()) return;
  CFullShow show(engine_, *view_, at);
  QScreen *screen = this->screen() ? this->screen() : QApplication::primaryScreen();
  const int last = show.Run(screen ? screen->geometry() : QRect(0, 0, 1024, 768));
  // The listing may have changed during the show: the picture it reached is found by name.
  const int reached = FindEntry(doc_, show.Reached(), last);
  if (view_->Bound() && reached >= 0 && reached != view_->Locate()) ShowIndex(reached);
  activateWindow();
}

void COneWnd::Delete() {
  const std::string path = view_->Entry().path;
  if (path.empty() || view_->Entry().member) return;
  // The main window shows the busy state while the file goes.
  doc_.SetBusy(true);
  const int deleted = DeletePictureFile(doc_, path);
  doc_.SetBusy(false);
  activateWindow();
  view_->setFocus();
  if (!deleted) return;
  // Found again after the question: only the shown picture's entry leaves the listing, wherever
  // a re-sort or a refresh put it meanwhile.
  const int at = view_->Locate();
  if (at >= 0) {
    doc_.RemoveEntryAt(at);
    doc_.UpdateAllViews(nullptr, kHintEntryRemoved, UpdateArgument{at, 0, {}});
    doc_.UpdateAllViews(nullptr, kHintRedrawAll);
  }
  if (!view_->Bound()) {
    close();
    return;
  }
  AfterRemoval(at >= 0 ? at : view_->Index());
}

// The entry at `index` has left the listing: the window goes on with the one that took its
// place (the one before when it was the last), or closes when none is left.
void COneWnd::AfterRemoval(int index) {
  const int count = doc_.GetEntryCount();
  if (count == 0) {
    close();
    return;
  }
  ShowIndex(std::min(index, count - 1));
}

void COneWnd::Save() {
  const QFileInfo info(QString::fromStdString(view_->Entry().path));
  const QString bmp = QStringLiteral("BMP形式 files(*.bmp)"), jpeg = QStringLiteral("JPEG形式 files(*.jpg)");
  QString filter = bmp;
  QFileDialog dialog(this, QStringLiteral("ファイルの保存"), info.absolutePath(), bmp + ";;" + jpeg);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("bmp"));
  dialog.selectFile(info.completeBaseName());
  connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, jpeg](const QString &f) {
    dialog.setDefaultSuffix(f == jpeg ? QStringLiteral("jpg") : QStringLiteral("bmp"));
  });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  SaveDisplayed(dialog.selectedFiles().first(), dialog.selectedNameFilter() == jpeg);
}

bool COneWnd::SaveDisplayed(const QString &path, bool jpeg) {
  HDIB picture = view_->DisplayedPicture();
  bool ok = false;
  if (picture) {
    const std::string file = path.toStdString();
    if (jpeg) {
      // The JPEG writer takes 24-bit pictures; others go through a converted copy.
      GlobalHandle converted;
      HDIB source = picture;
      if (DibBitCount(picture) != 24) {
        converted.reset(DibTo24Bit(picture));
        source = converted.get();
      }
      ok = source && SaveDibAsJpeg(source, file, 1, view_->Settings().jpegQuality, nullptr, 0) == 1;
    } else {
      ok = SaveDibFile(file, picture) == 1;
    }
  }
  if (!ok) Ui().MessageBox("ファイルの保存に失敗しました", "Tamro", MB_OK | MB_ICONSTOP);
  return ok;
}

bool COneWnd::RestorePlacement() {
  if (profile_.GetString("OnePic", "flags", "").empty()) return false;
  const std::string rc = profile_.GetString("OnePic", "rcNormalPosition", "");
  const int l = Field(rc, 0), t = Field(rc, 1), r = Field(rc, 2), b = Field(rc, 3);
  if (r - l >= 50 && b - t >= 50) {
    QRect want(l, t, r - l, b - t);
    if (QScreen *screen = QApplication::primaryScreen())
      if (!screen->virtualGeometry().intersects(want)) want.moveTopLeft(screen->availableGeometry().topLeft());
    setGeometry(want);
  }
  if (profile_.GetInt("OnePic", "showCmd", 1) == 3) setWindowState(Qt::WindowMaximized);
  return true;
}

void COneWnd::SavePlacement() {
  if (std::exchange(saved_, true)) return;
  const QRect g = normalGeometry().isValid() ? normalGeometry() : geometry();
  const int show = isMaximized() ? 3 : isMinimized() ? 2 : 1;
  profile_.WriteStrings("OnePic", {{"flags", "0"},
                                   {"showCmd", std::to_string(show)},
                                   {"ptMinPosition", "-1,-1"},
                                   {"ptMaxPosition", "-1,-1"},
                                   {"rcNormalPosition", std::to_string(g.left()) + "," + std::to_string(g.top()) +
                                                            "," + std::to_string(g.right() + 1) + "," +
                                                            std::to_string(g.bottom() + 1)},
                                   {"ToolBar", bar_ && bar_->isVisible() ? "1" : "0"},
                                   {"StatusBar", statusBar()->isVisible() ? "1" : "0"}});
}

void COneWnd::closeEvent(QCloseEvent *event) {
  view_->StopSlideShow();
  SavePlacement();
  if (std::exchange(listed_, false)) list_.Remove(this);
  QMainWindow::closeEvent(event);
}

void COneWnd::changeEvent(QEvent *event) {
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
    view_->NoteActivation();
    list_.SetActive(this);
    UpdateActions();  // the listing may have changed meanwhile
  }
  QMainWindow::changeEvent(event);
}

// --- the list

CPictureWindows::CPictureWindows(CatalogueEngine &engine, Profile &profile, PictureWindowHost *host)
    : engine_(engine), profile_(profile), host_(host) {}

CPictureWindows::~CPictureWindows() {
  const std::vector<COneWnd *> open = windows_;
  for (COneWnd *w : open) delete w;  // each leaves the list as it goes
}

COneWnd *CPictureWindows::Make() {
  auto *w = new COneWnd(engine_, profile_, *this, host_);
  windows_.push_back(w);
  w->show();
  return w;
}

bool CPictureWindows::Show(int index, bool newWindow) {
  if (!engine_.Doc().GetEntry(index)) return false;
  COneWnd *w = newWindow || windows_.empty() ? Make() : windows_.front();
  w->ShowIndex(index);
  w->raise();
  w->activateWindow();
  return true;
}

void CPictureWindows::Synchronise(int index) {
  if (windows_.empty()) return;
  COneWnd *w = active_ ? active_.data() : windows_.front();
  if (w->View()->Locate() != index) w->ShowIndex(index);
}

// Closed, not deleted here: the command may come from one of the windows' own menus.
void CPictureWindows::CloseAll() {
  const std::vector<COneWnd *> open = windows_;
  for (COneWnd *w : open) w->CloseSoon();
}

void CPictureWindows::Unbind() {
  for (COneWnd *w : windows_) w->View()->Unbind();
}

void CPictureWindows::Remove(COneWnd *window) {
  std::erase(windows_, window);
  if (active_ == window) active_ = nullptr;
}

void CPictureWindows::Activate(COneWnd *from, int direction) {
  const auto it = std::find(windows_.begin(), windows_.end(), from);
  if (it == windows_.end() || windows_.empty()) return;
  const int n = static_cast<int>(windows_.size());
  const int at = static_cast<int>(it - windows_.begin());
  COneWnd *to = windows_[static_cast<std::size_t>(((at + direction) % n + n) % n)];
  to->raise();
  to->activateWindow();
  active_ = to;
}

void CPictureWindows::Tile() {
  if (windows_.empty()) return;
  // Each cell takes a window's frame, so that the title bars stay on the screen too.
  const std::vector<QRect> cells = TileCells(Count(), windows_.front()->Available());
  for (std::size_t i = 0; i < windows_.size(); ++i) {
    windows_[i]->showNormal();
    windows_[i]->PlaceFrame(cells[i]);
  }
}

}  // namespace tamro
