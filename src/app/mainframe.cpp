#include "app/mainframe.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QProxyStyle>
#include <QSocketNotifier>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/aboutbox.h"
#include "app/dialogs/behaviourdlg.h"
#include "app/dialogs/contactsheetdialog.h"
#include "app/dialogs/filedialogtools.h"
#include "app/dialogs/filterdialog.h"
#include "app/dialogs/htmldialog.h"
#include "app/dialogs/pluginsetdlg.h"
#include "app/dialogs/printdialog.h"
#include "app/dialogs/reportdialog.h"
#include "app/dialogs/thumboptiondlg.h"
#include "app/dialogs/wallpaperdialog.h"
#include "app/filecommandui.h"
#include "app/foldertree.h"
#include "app/netdrive.h"
#include "app/thumbsizes.h"
#include "catalogue/engine.h"
#include "catalogue/macros.h"
#include "catalogue/rxdoc.h"
#include "catalogue/thumbbuilder.h"
#include "catalogue/wildcard.h"
#include "decode/pluginsetoption.h"
#include "decode/spi.h"
#include "decode/spihost.h"
#include "fileops/appcall.h"
#include "fileops/foldermonitor.h"
#include "fileops/unpack.h"
#include "platform/changenotify.h"
#include "platform/fileio.h"
#include "platform/listfield.h"
#include "platform/profile.h"
#include "platform/recentfiles.h"
#include "platform/ui.h"
#include "views/appmenu.h"
#include "views/commands.h"
#include "views/fileinterchange.h"
#include "views/lstview.h"
#include "views/picturewindows.h"
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

// Menus whose disabled items can be pointed at, as on the platform the program comes from,
// so that their status tip says why they are off.
class PointableMenuStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                QStyleHintReturn *returned) const override {
    if (hint == SH_Menu_AllowActiveAndDisabled) return 1;
    return QProxyStyle::styleHint(hint, option, widget, returned);
  }
};

std::vector<std::string> SplitPatterns(const std::string &list) {
  std::vector<std::string> patterns;
  std::string one;
  for (char c : list + ';') {
    if (c != ';' && c != ',') {
      one += c;
      continue;
    }
    const auto first = one.find_first_not_of(' '), last = one.find_last_not_of(' ');
    if (first != std::string::npos) patterns.push_back(one.substr(first, last - first + 1));
    one.clear();
  }
  return patterns;
}

bool MatchesAny(const std::vector<std::string> &patterns, std::string_view name) {
  return std::any_of(patterns.begin(), patterns.end(),
                     [name](const std::string &p) { return SearchPatternMatch(p, name); });
}

// Two paths name the same file: the same text, or (a folder reached through a link) the
// same file on disk.
bool SameFile(const std::string &a, const std::string &b) {
  if (a == b) return true;
  std::error_code ec;
  return std::filesystem::path(a).filename() == std::filesystem::path(b).filename() &&
         std::filesystem::equivalent(a, b, ec);
}

bool IsArchiveFile(PictureDecoders &decoders, const std::string &file) {
  std::string head;
  if (!ReadFileHead(file, SPI_HEAD_BYTES, head) || head.empty()) return false;
  head.resize(SPI_HEAD_BYTES, '\0');
  const auto *bytes = reinterpret_cast<const unsigned char *>(head.data());
  return decoders.FindArchiveDecoder(file, bytes, head.size(), 0) >= 0;
}

// "*.bmp;*.jpg" as a file dialog's name filter wants it: "*.bmp *.jpg".
QString DialogPatterns(const std::string &list) {
  QStringList patterns;
  for (const std::string &p : SplitPatterns(list)) patterns << QString::fromStdString(p);
  return patterns.join(QLatin1Char(' '));
}

// Pictures and archives of the shown folder that the display filter leaves out; files no
// decoder would list anyway are not counted.
int CountFilteredOut(const CRXDoc &doc, PictureDecoders &decoders) {
  const DisplayFilter &filter = doc.Filter();
  if (!filter.nameOn && !filter.dateOn && !filter.sizeOn) return 0;
  const FolderSnapshot folder = SnapshotFolder(doc.Folder());
  const std::vector<std::string> names = SplitPatterns(doc.Pattern());
  const std::vector<std::string> known = SplitPatterns(decoders.PictureFilter() + ";" + decoders.ArchiveFilter());
  int hidden = 0;
  for (const FoundFile &f : folder.files) {
    if (CRXDoc::IsOwnFileName(f.name) || !MatchesAny(known, f.name)) continue;
    if ((filter.nameOn && !MatchesAny(names, f.name)) || !filter.KeepsTime(f.lastWriteTime) ||
        !filter.KeepsSize(f.size))
      ++hidden;
  }
  return hidden;
}

}  // namespace

CMainFrame::CMainFrame(CatalogueEngine &engine, Profile &profile, QWidget *parent)
    : QMainWindow(parent), engine_(engine), doc_(engine.Doc()), profile_(profile), host_(&engine.Host()) {
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
  list_ = new CLstView(doc_, profile_, right_);
  view_ = new CRXView(engine, profile_, right_);
  // The list's menu is the grid's, for the row it was opened on.
  list_->SetContextMenuHandler([this](int row, const QPoint &at) { view_->ShowContextMenuFor(row, at); });
  connect(list_, &CLstView::commandRequested, this, &CMainFrame::RunCommand);
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
  recent_ = std::make_unique<RecentFileList>(profile_, 4);
  BuildMenus();
  toolBar_->setVisible(profile_.GetInt("MainFrame", "ToolBar", 1) != 0);
  pluginBar_->setVisible(profile_.GetInt("MainFrame", "PluginSetBar", 1) != 0);
  statusBar()->setVisible(profile_.GetInt("MainFrame", "StatusBar", 1) != 0);

  connect(view_, &CRXView::statusText, this, &CMainFrame::SetStatusText);
  connect(view_, &CRXView::statusGauge, this, &CMainFrame::SetStatusGauge);
  connect(view_, &CRXView::currentFolder, this, &CMainFrame::SetCurrentFolder);
  connect(view_, &CRXView::idleWorkWanted, this, &CMainFrame::idleWorkWanted);
  connect(view_, &CRXView::commandRequested, this, &CMainFrame::RunCommand);

  states_.setSingleShot(true);
  states_.setInterval(0);
  connect(&states_, &QTimer::timeout, this, &CMainFrame::UpdateCommandStates);
  connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, &states_, qOverload<>(&QTimer::start));
  doc_.AddObserver(this);

  // The folder shown follows other programs' changes; file commands quiet it meanwhile.
  monitor_ = std::make_unique<CFolderMonitor>(doc_, profile_);
  previousMonitor_ = SetFolderMonitor(monitor_.get());
  monitor_->SetReacted([this](int) { states_.start(); });
  WatchMounts();
  UpdateCommandStates();
}

CMainFrame::~CMainFrame() {
  SetFolderMonitor(previousMonitor_);
  monitor_->StopFolderMonitor();
  doc_.RemoveObserver(this);
}

void CMainFrame::SetPictureWindows(PictureWindowList *windows) {
  view_->SetPictureWindows(windows);
  list_->SetPictureWindows(windows);
}

void CMainFrame::WatchMounts() {
  mounts_ = ReadMountPoints();
  mountTable_ = std::make_unique<MountTableNotifier>();
  mountSettle_.setSingleShot(true);
  mountSettle_.setInterval(200);
  connect(&mountSettle_, &QTimer::timeout, this, &CMainFrame::CheckMounts);
  if (mountTable_->fd() < 0) return;
  // The table signals a change as an exceptional condition, once per change.
  mountNotifier_ = std::make_unique<QSocketNotifier>(mountTable_->fd(), QSocketNotifier::Exception);
  connect(mountNotifier_.get(), &QSocketNotifier::activated, &mountSettle_, qOverload<>(&QTimer::start));
}

void CMainFrame::CheckMounts() {
  std::vector<std::string> now = ReadMountPoints();
  if (now == mounts_) return;
  mounts_ = std::move(now);
  doc_.UpdateAllViews(nullptr, kHintDrivesChanged);
}

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
  // Flat buttons that rise under the pointer, or raised ones throughout.
  const bool flat = profile_.GetInt("MainFrame", "FlatBar", 1) != 0;
  for (QToolButton *button : toolBar_->findChildren<QToolButton *>()) button->setAutoRaise(flat);

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
  DecodersChanged();
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

QAction *CMainFrame::AddCommand(QMenu *menu, const QString &text, int id, const QString &keys) {
  // The grid takes its keys itself (they act where it has the focus); the menu shows them.
  QAction *a = menu->addAction(keys.isEmpty() ? text : text + QLatin1Char('\t') + keys);
  a->setData(id);
  connect(a, &QAction::triggered, this, [this, id] { RunCommand(id); });
  actions_[id] = a;
  return a;
}

void CMainFrame::BuildMenus() {
  QMenu *file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
  AddCommand(file, QStringLiteral("開く(&O)..."), kCmdFileOpen)
      ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  file->addSeparator();
  AddCommand(file, QStringLiteral("画像表示"), kCmdViewer, QStringLiteral("V"));
  AddCommand(file, QStringLiteral("関連付け実行(&X)"), kCmdRunAssociated);
  applications_ = file->addMenu(QStringLiteral("アプリケーションで開く(&G)"));
  connect(applications_, &QMenu::aboutToShow, this,
          [this] { FillApplicationMenu(applications_, [this](int command) { RunCommand(command); }); });
  file->addSeparator();
  AddCommand(file, QStringLiteral("複写(&C)..."), kCmdCopyFiles);
  AddCommand(file, QStringLiteral("移動(&M)..."), kCmdMoveFiles);
  AddCommand(file, QStringLiteral("名前の変更(&R)..."), kCmdRenameEach, QStringLiteral("F2"));
  AddCommand(file, QStringLiteral("連番で名前変更(&Q)..."), kCmdRenameSequential);
  AddCommand(file, QStringLiteral("削除(&D)..."), kCmdDeleteFiles, QStringLiteral("Del"));
  file->addSeparator();
  AddCommand(file, QStringLiteral("解凍(&E)"), kCmdUnpackSelected, QStringLiteral("U"));
  AddCommand(file, QStringLiteral("画像形式を指定してファイル保存(&S)..."), kCmdSaveInFormat);
  file->addSeparator();
  AddCommand(file, QStringLiteral("印刷(&P)..."), kCmdPrint);
  file->addSeparator();
  // R is rename's in this menu.
  QAction *refresh = AddCommand(file, QStringLiteral("最新の情報に更新(&L)"), kCmdRefresh);
  refresh->setShortcut(QKeySequence(Qt::Key_F5));
  AddCommand(file, QStringLiteral("ﾌｫﾙﾀﾞ情報を保存(&I)"), kCmdSaveFolderInfo);
  file->addSeparator();
  for (int id = kCmdRecentFile1; id <= kCmdRecentFileLast; ++id)
    recentItems_.push_back(AddCommand(file, {}, id));
  recentEnd_ = file->addSeparator();
  FillRecentMenu();
  QAction *quit = file->addAction(QStringLiteral("アプリケーションの終了(&X)"));
  connect(quit, &QAction::triggered, this, &QWidget::close);

  QMenu *edit = menuBar()->addMenu(QStringLiteral("編集(&E)"));
  AddCommand(edit, QStringLiteral("クリップボードへコピー(&C)"), kCmdCopyClipboard, QStringLiteral("Ctrl+C"));
  AddCommand(edit, QStringLiteral("貼り付け(&P)"), kCmdPaste, QStringLiteral("Ctrl+V"));
  edit->addSeparator();
  AddCommand(edit, QStringLiteral("すべて選択(&A)"), kCmdSelectAll, QStringLiteral("Ctrl+A"));
  edit->addSeparator();
  AddCommand(edit, QStringLiteral("コメント入力(&N)"), kCmdEditNote);
  AddCommand(edit, QStringLiteral("再読み込み"), kCmdReload);
  AddCommand(edit, QStringLiteral("壁紙設定(&W)..."), kCmdWallpaper);

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
  QMenu *styles = view->addMenu(QStringLiteral("リストの表示(&I)"));
  auto *styleGroup = new QActionGroup(styles);
  for (const auto &[text, id] :
       {std::pair{"大きいアイコン(&G)", CLstView::kLargeIcons},
        std::pair{"小さいアイコン(&M)", CLstView::kSmallIcons}, std::pair{"一覧(&L)", CLstView::kList},
        std::pair{"詳細(&D)", CLstView::kReport}}) {
    QAction *a = styles->addAction(QString::fromUtf8(text));
    a->setCheckable(true);
    a->setChecked(list_->ListStyle() == id);
    styleGroup->addAction(a);
    const int command = id;
    connect(a, &QAction::triggered, this, [this, command] { list_->SetListStyle(command); });
  }
  view->addSeparator();
  AddCommand(view, QStringLiteral("サムネイル拡大"), kCmdEnlarge, QStringLiteral("+"));
  AddCommand(view, QStringLiteral("サムネイル縮小"), kCmdShrink, QStringLiteral("-"));
  AddCommand(view, QStringLiteral("サムネイル再作成(&U)"), kCmdRebuildThumbs);
  view->addSeparator();
  BuildSortMenu(view);
  view->addSeparator();
  QAction *sync = AddCommand(view, QStringLiteral("表示の同期(&Y)"), kCmdSynchronous);
  sync->setCheckable(true);
  AddCommand(view, QStringLiteral("画像ウインドウを並べて表示(&G)"), kCmdTilePictures);
  AddCommand(view, QStringLiteral("画像ウインドウをすべて閉じる(&L)"), kCmdCloseAllPictures);
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

  QMenu *tools = menuBar()->addMenu(QStringLiteral("ツール(&T)"));
  AddCommand(tools, QStringLiteral("外部アプリケーション登録(&A)..."), kCmdRegisterApps);
  tools->addSeparator();
  AddCommand(tools, QStringLiteral("HTMLの作成(&H)..."), kCmdHtml);
  AddCommand(tools, QStringLiteral("コンタクトシートの作成(&C)..."), kCmdContactSheet);
  AddCommand(tools, QStringLiteral("レポートファイルの作成(&R)..."), kCmdReport);
  tools->addSeparator();
  AddCommand(tools, QStringLiteral("動作設定(&B)..."), kCmdBehaviour);
  AddCommand(tools, QStringLiteral("サムネイル設定(&T)..."), kCmdThumbOption);
  AddCommand(tools, QStringLiteral("プラグイン設定(&P)..."), kCmdPluginSet);
  tools->addSeparator();
  connect(tools->addAction(QStringLiteral("ネットワークドライブの割り当て(&N)...")), &QAction::triggered, this,
          [this] { ConnectNetworkDrive(doc_, this); });
  connect(tools->addAction(QStringLiteral("ネットワークドライブの切断(&I)...")), &QAction::triggered, this,
          [this] { DisconnectNetworkDrive(doc_, this); });

  QMenu *help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
  connect(help->addAction(QStringLiteral("目次(&C)")), &QAction::triggered, this, [this] { OpenHelpContents(this); });
  connect(help->addAction(QStringLiteral("Tamroのホームページ(&W)")), &QAction::triggered, this,
          [this] { OpenHomePage(this); });
  help->addSeparator();
  connect(help->addAction(QStringLiteral("バージョン情報(&A)...")), &QAction::triggered, this,
          &CMainFrame::ShowAbout);

  // A menu shows what the selection allows as it is now.
  auto *menuStyle = new PointableMenuStyle;
  menuStyle->setParent(this);
  for (QMenu *m : {file, edit, view, tools}) {
    connect(m, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    m->setStyle(menuStyle);
    connect(m, &QMenu::hovered, this, [this](QAction *a) {
      if (!a->isEnabled() && !a->statusTip().isEmpty()) statusBar()->showMessage(a->statusTip());
    });
  }
}

void CMainFrame::BuildSortMenu(QMenu *view) {
  QMenu *sort = view->addMenu(QStringLiteral("ソート(&O)"));
  const std::pair<const char *, SortCommand> items[] = {
      {"ｿｰﾄしない", SortCommand::kNoSort},
      {"ﾌｧｲﾙ名でｿｰﾄする", SortCommand::kByName},
      {"拡張子でｿｰﾄする", SortCommand::kByExtension},
      {"ｻｲｽﾞでｿｰﾄする", SortCommand::kBySize},
      {"更新日付でｿｰﾄする", SortCommand::kByTime},
      {"書庫ﾌｧｲﾙ名でｿｰﾄする", SortCommand::kByArchive},
      {"画素 幅でｿｰﾄする", SortCommand::kByPixelWidth},
      {"画素　高さでｿｰﾄする", SortCommand::kByPixelHeight},
      {"画素　色でｿｰﾄする", SortCommand::kByPixelColours},
      {"画素 面積でｿｰﾄする", SortCommand::kByPixelArea},
      {"昇順でｿｰﾄする", SortCommand::kAscending},
      {"降順でｿｰﾄする", SortCommand::kDescending},
      {"現在のソート条件を再適用", SortCommand::kReapply},
  };
  for (const auto &[text, command] : items) {
    if (command == SortCommand::kByPixelWidth || command == SortCommand::kAscending ||
        command == SortCommand::kReapply)
      sort->addSeparator();
    QAction *a = sort->addAction(QString::fromUtf8(text));
    a->setData(static_cast<int>(command));
    a->setCheckable(true);
    const SortCommand c = command;
    connect(a, &QAction::triggered, this, [this, c] {
      if (doc_.IsBusy()) return;
      QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
      // Re-applying sorts by the whole history, so that older keys order what the newest
      // leaves equal, as after a listing.
      if (c == SortCommand::kReapply)
        doc_.ApplySortHistory(nullptr);
      else
        doc_.OnSortCommand(c, nullptr);
      QApplication::restoreOverrideCursor();
      UpdateCommandStates();
    });
    if (command == SortCommand::kReapply) {
      a->setCheckable(false);
      a->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    }
    sortActions_.push_back(a);
  }
  connect(sort, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
  filterAction_ = view->addAction(QStringLiteral("表示ﾌｨﾙﾀの設定(&F)..."));
  connect(filterAction_, &QAction::triggered, this, [this] {
    if (!doc_.IsBusy()) RunFilterDialog(doc_, profile_, this);
  });
}

QAction *CMainFrame::Action(int id) const {
  const auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

void CMainFrame::OnUpdate(UpdateObserver *, int hint, const UpdateArgument &) {
  switch (hint) {
    case kHintRedrawAll:
    case kHintCleared:
    case kHintListed:
    case kHintSelection:
    case kHintSelectionAll:
    case kHintCurrentChanged:
    case kHintEntryRemoved:
      // What the display filter hides is counted again with the status.
      if (hint == kHintListed || hint == kHintCleared) filteredOut_ = -1;
      states_.start();
      break;
    default:
      break;
  }
}

CMainFrame::Facts CMainFrame::GatherFacts() const {
  Facts f;
  f.count = doc_.GetEntryCount();
  for (int i = 0; i < f.count; ++i)
    if (const CPicEntry *e = doc_.GetEntry(i)) {
      f.total += e->size;
      if (!e->IsSelected()) continue;
      ++f.selected;
      f.selectedSize += e->size;
      f.selectedPlain += e->IsArchiveMember() ? 0 : 1;
    }
  return f;
}

bool CMainFrame::IsCommandEnabled(int id) const { return IsCommandEnabled(id, GatherFacts()); }

bool CMainFrame::IsCommandEnabled(int id, const Facts &facts) const {
  const int count = facts.count, selected = facts.selected, selectedPlain = facts.selectedPlain;
  const bool folder = !doc_.Folder().empty();
  const int target = view_->CommandTarget();
  if (id >= kCmdRecentFile1 && id <= kCmdRecentFileLast)
    return static_cast<std::size_t>(id - kCmdRecentFile1) < recent_->Files().size();
  switch (id) {
    case kCmdCopyFiles:
    case kCmdSaveInFormat:
    case kCmdHtml:
    case kCmdContactSheet:
    case kCmdPrint:
    case kCmdReport:
      return selected > 0;
    case kCmdUnpackSelected:
      return CanUnpackSelected(doc_);
    case kCmdMoveFiles:
    case kCmdRenameEach:
    case kCmdRenameSequential:
    case kCmdDeleteFiles:
      return selectedPlain > 0;
    case kCmdUnpackEntry:
      return CanUnpackEntry(doc_.GetEntry(target));
    case kCmdEditNote:
    case kCmdWallpaper:
      return target >= 0;
    case kCmdPaste:
      return folder && HasFiles(QGuiApplication::clipboard()->mimeData());
    case kCmdRefresh:
    case kCmdSaveFolderInfo:
      return folder;
    case kCmdRebuildThumbs:
      return count > 0;
    case kCmdCloseAllPictures:
    case kCmdTilePictures:
      return view_->PictureWindows() && view_->PictureWindows()->Count() > 0;
    case kCmdFileOpen:
      return true;
    default:
      return view_->IsCommandEnabled(id);
  }
}

void CMainFrame::UpdateCommandStates() {
  states_.stop();
  // One walk over the entries for every command: large folders have many.
  const Facts facts = GatherFacts();
  for (auto &[id, action] : actions_) {
    action->setEnabled(IsCommandEnabled(id, facts));
    // Hovering a command that needs a selection says why it cannot run.
    if (NeedsSelection(id))
      action->setStatusTip(facts.selected ? QString() : QStringLiteral("ﾌｧｲﾙが選択されていません"));
  }
  if (QAction *sync = Action(kCmdSynchronous)) sync->setChecked(doc_.Settings().synchronous != 0);
  applications_->setEnabled(!LoadApplications().empty() && IsCommandEnabled(kCmdFirstApp, facts));
  for (QAction *a : sortActions_) {
    const auto command = static_cast<SortCommand>(a->data().toInt());
    if (a->isCheckable()) a->setChecked(doc_.IsSortCommandChecked(command));
  }
  UpdateStatus(facts);
}

void CMainFrame::UpdateStatus(const Facts &facts) {
  // Pane 0 the listing, pane 1 the selection, pane 2 the current entry; pane 3 belongs to
  // the grid's progress.
  const int count = facts.count, selected = facts.selected;
  const uint64_t total = facts.total, chosen = facts.selectedSize;
  const auto sizeText = [](uint64_t bytes) {
    return QString::fromStdString(
        FormatByteCount(static_cast<uint32_t>(bytes), static_cast<uint32_t>(bytes >> 32), true, 1, 0, -1));
  };
  QString listing;
  if (!doc_.IsBusy() && !doc_.Folder().empty()) {
    listing = QStringLiteral("%1ﾌｧｲﾙ(%2)").arg(count).arg(sizeText(total));
    if (filteredOut_ < 0) filteredOut_ = CountFilteredOut(doc_, engine_.Decoders());
    if (filteredOut_ > 0) listing += QStringLiteral("  表示ﾌｨﾙﾀで%1ﾌｧｲﾙ非表示").arg(filteredOut_);
  }
  SetStatusText(0, listing);
  SetStatusText(1,
                selected ? QStringLiteral("選択 %1ﾌｧｲﾙ(%2)").arg(selected).arg(sizeText(chosen)) : QString());
  QString current;
  if (const CPicEntry *e = doc_.GetEntry(doc_.Current())) {
    current = QString::fromStdString(e->name);
    if (e->facts.width > 0 && e->facts.height > 0)
      current +=
          QStringLiteral("  %1x%2 %3bit").arg(e->facts.width).arg(e->facts.height).arg(e->facts.bitCount);
  }
  SetStatusText(2, current);
}

void CMainFrame::RunCommand(int id) {
  if (!IsCommandEnabled(id)) return;
  if (view_->OnCommand(id, QGuiApplication::keyboardModifiers())) {
    states_.start();
    return;
  }
  switch (id) {
    case kCmdCopyFiles:
      CopyCommand(this, doc_);
      break;
    case kCmdMoveFiles:
      MoveCommand(this, doc_);
      break;
    case kCmdRenameEach:
      RenameEachCommand(this, doc_);
      break;
    case kCmdRenameSequential:
      RenameSequentialCommand(this, doc_);
      break;
    case kCmdDeleteFiles:
      DeleteCommand(doc_);
      break;
    case kCmdUnpackSelected:
      UnpackSelectedCommand(doc_);
      break;
    case kCmdUnpackEntry:
      UnpackEntryCommand(doc_, view_->CommandTarget());
      break;
    case kCmdSaveInFormat:
      SaveInFormatCommand(this, doc_, engine_.Decoders());
      break;
    case kCmdRegisterApps:
      RegisterApplicationsCommand(this);
      break;
    case kCmdEditNote:
      EditNoteCommand(this, doc_, view_->CommandTarget());
      break;
    case kCmdWallpaper:
      SetWallpaperFromEntry(view_->CommandTarget());
      break;
    case kCmdPaste:
      Paste();
      break;
    case kCmdHtml:
      MakeHtmlCatalogue(doc_, engine_.Painter(), this);
      break;
    case kCmdContactSheet:
      MakeContactSheet(doc_, engine_.Painter(), this);
      break;
    case kCmdPrint:
      PrintPictures(doc_, engine_.Painter(), this);
      break;
    case kCmdReport:
      WriteReport(doc_, engine_, this);
      break;
    case kCmdBehaviour:
      BehaviourSettings();
      break;
    case kCmdThumbOption:
      ThumbnailSettings();
      break;
    case kCmdPluginSet:
      PluginSettings();
      break;
    case kCmdSaveFolderInfo: {
      bool saved = false;
      {
        CBusyCursor busy;
        saved = SaveFolderInfo(doc_, engine_.Store());
      }
      ShowStatusMessage(saved ? QStringLiteral("ﾌｫﾙﾀﾞ情報を保存しました")
                              : QStringLiteral("ﾌｫﾙﾀﾞ情報を保存できませんでした"));
      break;
    }
    case kCmdRefresh:
      doc_.RefreshFolder();
      tree_->Refresh();
      break;
    case kCmdRebuildThumbs:
      RebuildAllThumbnails(doc_, nullptr);
      break;
    case kCmdSynchronous: {
      DocSettings s = doc_.Settings();
      s.synchronous = s.synchronous ? 0 : 1;
      doc_.ApplySettings(s);
      break;
    }
    case kCmdCloseAllPictures:
      if (PictureWindowList *windows = view_->PictureWindows()) windows->CloseAll();
      break;
    case kCmdTilePictures:
      if (PictureWindowList *windows = view_->PictureWindows()) windows->Tile();
      break;
    case kCmdFileOpen:
      OpenFileCommand();
      break;
    default:
      if (id >= kCmdRecentFile1 && id <= kCmdRecentFileLast) OpenRecent(id - kCmdRecentFile1);
      break;
  }
  UpdateCommandStates();
}

// Recent entries run their commands from RunCommand, which a disabled one never reaches.
void CMainFrame::FillRecentMenu() {
  const std::vector<std::string> &files = recent_->Files();
  for (std::size_t i = 0; i < recentItems_.size(); ++i) {
    QAction *a = recentItems_[i];
    a->setVisible(i < files.size());
    if (i < files.size())
      a->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(
          QString::fromStdString(files[i]).replace(QLatin1Char('&'), QStringLiteral("&&"))));
  }
  recentEnd_->setVisible(!files.empty());
}

std::vector<std::string> CMainFrame::RecentFiles() const { return recent_->Files(); }

void CMainFrame::OpenFileCommand() {
  QFileDialog dialog(this, QStringLiteral("開く"), currentFolder_);
  // The platform's own dialog cannot be driven by the tests, nor given the program's texts.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("ファイルの場所(&I):"));
  dialog.setLabelText(QFileDialog::FileName, QStringLiteral("ファイル名(&N):"));
  dialog.setLabelText(QFileDialog::FileType, QStringLiteral("ファイルの種類(&T):"));
  dialog.setLabelText(QFileDialog::Accept, QStringLiteral("開く(&O)"));
  dialog.setLabelText(QFileDialog::Reject, QStringLiteral("キャンセル"));
  PictureDecoders &decoders = engine_.Decoders();
  const QString pictures = DialogPatterns(decoders.PictureFilter()),
                archives = DialogPatterns(decoders.ArchiveFilter());
  QStringList filters;
  const QString both = (pictures + QLatin1Char(' ') + archives).trimmed();
  if (!both.isEmpty()) filters << QStringLiteral("画像ファイルと書庫ファイル (%1)").arg(both);
  if (!pictures.isEmpty()) filters << QStringLiteral("画像ファイル (%1)").arg(pictures);
  if (!archives.isEmpty()) filters << QStringLiteral("書庫ファイル (%1)").arg(archives);
  filters << QStringLiteral("すべてのファイル (*)");
  dialog.setNameFilters(filters);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const std::string file = dialog.selectedFiles().front().toStdString();
  OpenFiles({file});
  recent_->Add(file);
  FillRecentMenu();
}

void CMainFrame::OpenRecent(int slot) {
  const std::string file = recent_->Files().at(static_cast<std::size_t>(slot));
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) {
    recent_->Remove(file);
    FillRecentMenu();
    Ui().MessageBox(file + "\nファイルが見つかりません", "開く", MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  OpenFiles({file});
  recent_->Add(file);
  FillRecentMenu();
}

bool CMainFrame::OpenFiles(const std::vector<std::string> &files) {
  if (files.empty() || doc_.IsBusy()) return false;
  const std::string &first = files.front();
  if (IsArchiveFile(engine_.Decoders(), first)) {
    doc_.ChangeFolder(first, nullptr, doc_.Settings().cacheFolder != 0);
    return true;
  }
  // The folder shown stays as it is (and its picture windows open) when it holds the file.
  std::error_code ec;
  const std::filesystem::path parent = std::filesystem::path(first).parent_path();
  if (doc_.ListsArchive() || doc_.Folder().empty() || !std::filesystem::equivalent(parent, doc_.Folder(), ec))
    doc_.OpenFolder(first);
  // Kept in the order the files were named: the first named is the one shown first.
  std::vector<std::pair<std::size_t, int>> named;  // position in `files`, entry
  for (int i = 0; i < doc_.GetEntryCount(); ++i) {
    const CPicEntry *e = doc_.GetEntry(i);
    if (e->IsArchiveMember()) continue;
    for (std::size_t k = 0; k < files.size(); ++k)
      if (SameFile(e->FullPath(), files[k])) {
        named.emplace_back(k, i);
        break;
      }
  }
  if (named.empty()) return false;  // left out of the listing by its mask or filter
  std::sort(named.begin(), named.end());
  std::vector<int> found;
  for (const auto &[k, i] : named) found.push_back(i);
  // Scrolled to as far as the grid is laid out for the window as shown.
  view_->RecalcLayout();
  view_->SelectOnly(found.front());
  for (std::size_t k = 1; k < found.size(); ++k) {
    const int i = found[k];
    if (CPicEntry *e = doc_.GetEntry(i); e && !e->IsSelected()) {
      doc_.SetEntryFlags(i, e->flags | CPicEntry::kSelected);
      doc_.UpdateAllViews(nullptr, kHintSelection, UpdateArgument{i, 1, {}});
    }
  }
  doc_.CountSelected(true);
  // Straight to the picture windows: opening the entry with the associated program instead
  // might start Tamro again on the same file.
  if (PictureWindowList *windows = view_->PictureWindows())
    for (std::size_t k = 0; k < found.size() && k < static_cast<std::size_t>(kMaxOpenWindows); ++k)
      windows->Show(found[k], k > 0);
  return true;
}

void CMainFrame::Paste() {
  QClipboard *clipboard = QGuiApplication::clipboard();
  const QMimeData *data = clipboard->mimeData();
  const bool cut = ReadFileDrop(data).cut;
  // Files cut in a file manager are moved once; the list goes from the clipboard after.
  if (PasteFiles(doc_, data) > 0 && cut) clipboard->clear();
}

void CMainFrame::SetWallpaperFromEntry(int index) {
  CPicEntry *e = doc_.GetEntry(index);
  if (!e) return;
  GlobalHandle picture;
  {
    CBusyCursor busy;
    picture = engine_.Builder().DecodeEntry(*e, nullptr);
  }
  if (!picture) {
    Ui().MessageBox(e->name + "\n画像を読み込めませんでした", "壁紙設定", MB_OK | MB_ICONSTOP);
    return;
  }
  SetWallpaperDialog(picture.get(), this);
}

void CMainFrame::DecodersChanged() {
  if (host_) host_->ApplyDynamicLoading();
  // Which decoder reads a file may have changed: the listing and its pictures follow.
  if (!doc_.Folder().empty()) doc_.RefreshFolder();
}

void CMainFrame::BehaviourSettings() {
  const BehaviourChanges changes = RunBehaviourDialog(doc_, host_, nullptr, this);
  // The monitor may have been switched on or off.
  monitor_->Reconsider();
  if (changes.decoders && !changes.listing) DecodersChanged();
  if (changes) states_.start();
}

void CMainFrame::ThumbnailSettings() {
  const ThumbChanges changes = RunThumbOptionDialog(doc_, nullptr, this);
  // A new cell size is laid out from the top; thumbnails are made again as cells come up.
  if (changes.cellSize) view_->SetCellSize(doc_.ThumbsSize().width, doc_.ThumbsSize().height);
}

void CMainFrame::PluginSettings() {
  if (!host_) return;
  RunPluginSetDialog(*host_, this);
  ReloadPluginSets();
  DecodersChanged();
}

void CMainFrame::ShowAbout() {
  CAboutBox box(this);
  box.exec();
}

bool CMainFrame::OnIdle(int) { return view_->ContinueDrawing(); }

void CMainFrame::SetStatusText(int pane, const QString &text) {
  if (pane >= 0 && pane < kStatusPanes) panes_[pane]->setText(text);
}

void CMainFrame::ShowStatusMessage(const QString &text) {
  // Long enough to be read, then the panes come back.
  statusBar()->showMessage(text, 8000);
}

bool CMainFrame::NeedsSelection(int id) {
  switch (id) {
    case kCmdCopyFiles:
    case kCmdMoveFiles:
    case kCmdRenameEach:
    case kCmdRenameSequential:
    case kCmdDeleteFiles:
    case kCmdSaveInFormat:
    case kCmdHtml:
    case kCmdContactSheet:
    case kCmdPrint:
    case kCmdReport:
      return true;
    default:
      return false;
  }
}

QString CMainFrame::StatusText(int pane) const {
  return pane >= 0 && pane < kStatusPanes ? panes_[pane]->text() : QString();
}

void CMainFrame::SetStatusGauge(int percent) {
  gauge_->setVisible(percent > 0 && percent < 100);
  gauge_->setValue(std::clamp(percent, 0, 100));
}

void CMainFrame::SetCurrentFolder(const QString &folder) {
  monitor_->SetMonitoredFolder(folder.toStdString());
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
  list_->SaveSettings();
  tree_->SaveState();
  view_->SaveSettings();
  monitor_->StopFolderMonitor();
}

void CMainFrame::closeEvent(QCloseEvent *event) {
  SaveState();
  event->accept();
}

}  // namespace tamro
