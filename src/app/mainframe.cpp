#include "app/mainframe.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <cstdio>

#include "app/aboutbox.h"
#include "app/foldertree.h"
#include "app/thumbsizes.h"
#include "catalogue/engine.h"
#include "catalogue/rxdoc.h"
#include "catalogue/thumbbuilder.h"
#include "decode/pluginsetoption.h"
#include "decode/spihost.h"
#include "platform/listfield.h"
#include "platform/profile.h"
#include "views/rxview.h"

namespace tamro {

namespace {

int Field(const std::string &text, int n) {
  int v = 0;
  GetListInt(text, n, v);
  return v;
}

std::string Rect4(int a, int b, int c, int d) {
  char text[96];
  std::snprintf(text, sizeof text, "%d,%d,%d,%d", a, b, c, d);
  return text;
}

}  // namespace

CMainFrame::CMainFrame(CatalogueEngine &engine, Profile &profile, QWidget *parent)
    : QMainWindow(parent), doc_(engine.Doc()), profile_(profile), host_(&engine.Host()) {
  setWindowTitle(QStringLiteral("Tamro"));
  const std::string window = profile_.GetString("MainFrame", "Window", "0,0,640,480");
  resize(std::max(Field(window, 2), 200), std::max(Field(window, 3), 150));
  move(Field(window, 0), Field(window, 1));

  split_ = new QSplitter(Qt::Horizontal, this);
  if (profile_.GetInt("DrvView", "ShellTree", 1))
    tree_ = new CShellView(doc_, profile_, split_);
  else
    tree_ = new CDrvView(doc_, profile_, split_);
  right_ = new QSplitter(Qt::Vertical, split_);
  // The details list comes with its own issue; its pane and size are kept ready here.
  details_ = new QWidget(right_);
  details_->setObjectName(QStringLiteral("LstView"));
  view_ = new CRXView(engine, profile_, right_);
  split_->setChildrenCollapsible(false);
  right_->setChildrenCollapsible(true);
  const std::string tw = profile_.GetString("DrvView", "Window", "0,0,160,480");
  const std::string lw = profile_.GetString("LstView", "Window", "0,0,160,80");
  split_->setSizes({std::max(Field(tw, 2), 20), std::max(width() - Field(tw, 2), 20)});
  right_->setSizes({std::max(Field(lw, 3), 0), std::max(height() - Field(lw, 3), 20)});
  split_->setStretchFactor(1, 1);
  right_->setStretchFactor(1, 1);
  setCentralWidget(split_);

  statusBar();
  for (int i = 0; i < kStatusPanes; ++i) {
    panes_[i] = new QLabel(this);
    panes_[i]->setMinimumWidth(i == 0 ? 200 : 60);
    if (i == 0)
      statusBar()->addWidget(panes_[i], 1);
    else
      statusBar()->addPermanentWidget(panes_[i]);
  }
  gauge_ = new QProgressBar(this);
  gauge_->setRange(0, 100);
  gauge_->setMaximumWidth(120);
  gauge_->setMaximumHeight(16);
  gauge_->setTextVisible(false);
  gauge_->hide();
  statusBar()->addPermanentWidget(gauge_);

  BuildToolBars();
  BuildMenus();
  toolBar_->setVisible(profile_.GetInt("MainFrame", "ToolBar", 1) != 0);
  pluginBar_->setVisible(profile_.GetInt("MainFrame", "PluginSetBar", 1) != 0);
  statusBar()->setVisible(profile_.GetInt("MainFrame", "StatusBar", 1) != 0);

  connect(view_, &CRXView::statusText, this, &CMainFrame::SetStatusText);
  connect(view_, &CRXView::statusGauge, this, &CMainFrame::SetStatusGauge);
  connect(view_, &CRXView::currentFolder, this, &CMainFrame::SetCurrentFolder);
  connect(view_, &CRXView::idleWorkWanted, this, &CMainFrame::idleWorkWanted);
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::BuildToolBars() {
  toolBar_ = addToolBar(QStringLiteral("ツールバー"));
  toolBar_->setObjectName(QStringLiteral("ToolBar"));
  auto dropButton = [this](const QString &text, QStyle::StandardPixmap icon, auto fill) {
    auto *button = new QToolButton(toolBar_);
    auto *menu = new QMenu(button);
    button->setIcon(style()->standardIcon(icon));
    button->setToolTip(text);
    button->setMenu(menu);
    button->setPopupMode(QToolButton::MenuButtonPopup);
    connect(menu, &QMenu::aboutToShow, this, [menu, fill] { fill(menu); });
    toolBar_->addWidget(button);
    return button;
  };
  QToolButton *back = dropButton(QStringLiteral("前のフォルダ"), QStyle::SP_ArrowBack,
                                 [this](QMenu *m) { FillHistoryMenu(m, true); });
  connect(back, &QToolButton::clicked, this, [this] { doc_.HistoryBack(); });
  QToolButton *forward = dropButton(QStringLiteral("次のフォルダ"), QStyle::SP_ArrowForward,
                                    [this](QMenu *m) { FillHistoryMenu(m, false); });
  connect(forward, &QToolButton::clicked, this, [this] { doc_.HistoryForward(); });
  toolBar_->addSeparator();
  QToolButton *smaller = dropButton(QStringLiteral("サムネイル縮小"), QStyle::SP_ArrowDown,
                                    [this](QMenu *m) { FillThumbSizeMenu(m); });
  connect(smaller, &QToolButton::clicked, this, [this] { view_->Shrink(); });
  QAction *larger =
      toolBar_->addAction(style()->standardIcon(QStyle::SP_ArrowUp), QStringLiteral("サムネイル拡大"));
  connect(larger, &QAction::triggered, this, [this] { view_->Enlarge(); });

  pluginBar_ = addToolBar(QStringLiteral("プラグインセット"));
  pluginBar_->setObjectName(QStringLiteral("PluginSetBar"));
  pluginSets_ = new QComboBox(pluginBar_);
  pluginSets_->setMinimumContentsLength(12);
  pluginBar_->addWidget(pluginSets_);
  ReloadPluginSets();
  connect(pluginSets_, &QComboBox::activated, this, &CMainFrame::OnPluginSet);
}

void CMainFrame::ReloadPluginSets() {
  pluginSets_->blockSignals(true);
  pluginSets_->clear();
  for (const std::string &name : host_ ? PluginSetBarNames(*host_) : LoadPluginSetNames())
    pluginSets_->addItem(QString::fromStdString(name));
  const QString current = host_ ? QString::fromStdString(host_->CurrentSetName()) : QString();
  pluginSets_->setCurrentIndex(pluginSets_->findText(current));
  pluginSets_->blockSignals(false);
}

void CMainFrame::OnPluginSet(int index) {
  if (!host_ || index < 0) return;
  SwitchPluginSet(*host_, pluginSets_->itemText(index).toStdString());
}

void CMainFrame::FillHistoryMenu(QMenu *menu, bool back) {
  menu->clear();
  const auto &history = doc_.History();
  const int pos = doc_.HistoryPosition();
  if (back) {
    for (int i = pos - 1; i >= 0; --i)
      connect(menu->addAction(QString::fromStdString(history[static_cast<std::size_t>(i)])),
              &QAction::triggered, this, [this, i] { doc_.HistoryMoveTo(i); });
  } else {
    for (int i = pos + 1; i < static_cast<int>(history.size()); ++i)
      connect(menu->addAction(QString::fromStdString(history[static_cast<std::size_t>(i)])),
              &QAction::triggered, this, [this, i] { doc_.HistoryMoveTo(i); });
  }
}

void CMainFrame::FillThumbSizeMenu(QMenu *menu) {
  menu->clear();
  for (const ThumbSizeItem &item : BuildThumbSizeMenu(profile_)) {
    if (item.command == 0) {
      menu->addSeparator();
      continue;
    }
    QAction *a = menu->addAction(QString::fromStdString(item.text));
    const ThumbSizeItem copy = item;
    connect(a, &QAction::triggered, this, [this, copy] {
      if (copy.command == kCmdRememberSize) {
        const CellSize c = doc_.ThumbsSize();
        RememberThumbSize(profile_, c.width, c.height);
      } else if (copy.command >= kCmdRememberedSize) {
        view_->SetCellSize(copy.width, copy.height);
      } else {
        view_->FitColumns(copy.command - kCmdDivide);
      }
    });
  }
}

void CMainFrame::BuildMenus() {
  QMenu *file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
  connect(file->addAction(QStringLiteral("最新の情報に更新(&R)")), &QAction::triggered, this,
          [this] { doc_.RefreshFolder(); });
  file->addSeparator();
  QAction *quit = file->addAction(QStringLiteral("アプリケーションの終了(&X)"));
  connect(quit, &QAction::triggered, this, &QWidget::close);

  QMenu *view = menuBar()->addMenu(QStringLiteral("表示(&V)"));
  QAction *tb = view->addAction(QStringLiteral("ツール バー(&T)"));
  tb->setCheckable(true);
  tb->setChecked(true);
  connect(tb, &QAction::toggled, toolBar_, &QWidget::setVisible);
  connect(toolBar_, &QToolBar::visibilityChanged, tb, &QAction::setChecked);
  QAction *pb = view->addAction(QStringLiteral("プラグインセット バー(&P)"));
  pb->setCheckable(true);
  pb->setChecked(true);
  connect(pb, &QAction::toggled, pluginBar_, &QWidget::setVisible);
  connect(pluginBar_, &QToolBar::visibilityChanged, pb, &QAction::setChecked);
  QAction *sb = view->addAction(QStringLiteral("ステータス バー(&S)"));
  sb->setCheckable(true);
  sb->setChecked(true);
  connect(sb, &QAction::toggled, statusBar(), &QWidget::setVisible);
  view->addSeparator();
  connect(view->addAction(QStringLiteral("サムネイル拡大")), &QAction::triggered, this,
          [this] { view_->Enlarge(); });
  connect(view->addAction(QStringLiteral("サムネイル縮小")), &QAction::triggered, this,
          [this] { view_->Shrink(); });
  connect(view->addAction(QStringLiteral("サムネイル再作成(&U)")), &QAction::triggered, this,
          [this] { RebuildAllThumbnails(doc_, nullptr); });
  view->addSeparator();
  connect(view->addAction(QStringLiteral("前のフォルダ")), &QAction::triggered, this,
          [this] { doc_.HistoryBack(); });
  connect(view->addAction(QStringLiteral("次のフォルダ")), &QAction::triggered, this,
          [this] { doc_.HistoryForward(); });

  QMenu *folder = menuBar()->addMenu(QStringLiteral("フォルダ(&D)"));
  connect(folder->addAction(QStringLiteral("フォルダの作成(&N)")), &QAction::triggered, this,
          [this] { tree_->CreateFolder(tree_->currentItem()); });
  connect(folder->addAction(QStringLiteral("フォルダ名の変更(&M)")), &QAction::triggered, this,
          [this] { tree_->RenameFolder(tree_->currentItem()); });
  connect(folder->addAction(QStringLiteral("フォルダの削除(&D)")), &QAction::triggered, this,
          [this] { tree_->DeleteFolder(tree_->currentItem()); });
  folder->addSeparator();
  connect(folder->addAction(QStringLiteral("クイックアクセスに追加(&Q)")), &QAction::triggered, this,
          [this] { tree_->AddQuickAccess(tree_->currentItem()); });

  QMenu *help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
  connect(help->addAction(QStringLiteral("バージョン情報(&A)...")), &QAction::triggered, this,
          &CMainFrame::ShowAbout);
}

void CMainFrame::ShowAbout() {
  CAboutBox box(this);
  box.exec();
}

bool CMainFrame::OnIdle(int) { return view_->ContinueDrawing(); }

void CMainFrame::SetStatusText(int pane, const QString &text) {
  if (pane >= 0 && pane < kStatusPanes) panes_[pane]->setText(text);
}

QString CMainFrame::StatusText(int pane) const {
  return pane >= 0 && pane < kStatusPanes ? panes_[pane]->text() : QString();
}

void CMainFrame::SetStatusGauge(int percent) {
  gauge_->setVisible(percent > 0 && percent < 100);
  gauge_->setValue(std::clamp(percent, 0, 100));
}

void CMainFrame::SetCurrentFolder(const QString &folder) {
  if (folder == currentFolder_) return;
  currentFolder_ = folder;
  setWindowTitle(folder.isEmpty() ? QStringLiteral("Tamro") : folder + QStringLiteral(" - Tamro"));
}

void CMainFrame::SaveState() {
  if (saved_) return;
  saved_ = true;
  const QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
  const int show = isMaximized() ? 3 : isMinimized() ? 2 : 1;
  profile_.WriteString("WindowPlacement", "flags", "0");
  profile_.WriteString("WindowPlacement", "showCmd", std::to_string(show));
  profile_.WriteString("WindowPlacement", "ptMinPosition", "-1,-1");
  profile_.WriteString("WindowPlacement", "ptMaxPosition", "-1,-1");
  profile_.WriteString(
      "WindowPlacement", "rcNormalPosition",
      Rect4(normal.left(), normal.top(), normal.left() + normal.width(), normal.top() + normal.height()));
  const QRect frame = frameGeometry();
  profile_.WriteString("MainFrame", "Window", Rect4(frame.x(), frame.y(), frame.width(), frame.height()));
  profile_.WriteInt("MainFrame", "ToolBar", toolBar_->isVisibleTo(this) ? 1 : 0);
  profile_.WriteInt("MainFrame", "PluginSetBar", pluginBar_->isVisibleTo(this) ? 1 : 0);
  profile_.WriteInt("MainFrame", "StatusBar", statusBar()->isVisibleTo(this) ? 1 : 0);
  const QList<int> rs = right_->sizes();
  if (rs.size() == 2) profile_.WriteString("LstView", "Window", Rect4(0, 0, details_->width(), rs[0]));
  tree_->SaveState();
  view_->SaveSettings();
}

void CMainFrame::closeEvent(QCloseEvent *event) {
  SaveState();
  event->accept();
}

}  // namespace tamro
