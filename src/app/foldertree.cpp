#include "app/foldertree.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QDirIterator>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QStyle>
#include <QTimer>
#include <QTreeWidgetItemIterator>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <system_error>

#include "catalogue/notestore.h"
#include "catalogue/rxdoc.h"
#include "fileops/filecommands.h"
#include "fileops/folders.h"
#include "fileops/trash.h"
#include "platform/changenotify.h"
#include "platform/profile.h"
#include "platform/ui.h"
#include "views/fileinterchange.h"

namespace tamro {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kDummyRole = Qt::UserRole + 1;
// An item whose children are made by the tree, not read from its folder (the desktop root).
constexpr int kFixedRole = Qt::UserRole + 2;

QString Q(const std::string &s) { return QString::fromStdString(s); }

std::string Format(const char *pattern, const std::string &value) {
  const int n = std::snprintf(nullptr, 0, pattern, value.c_str());
  std::string out(static_cast<std::size_t>(std::max(n, 0)) + 1, '\0');
  std::snprintf(out.data(), out.size(), pattern, value.c_str());
  out.resize(static_cast<std::size_t>(std::max(n, 0)));
  return out;
}

std::string ParentOf(const std::string &path) {
  const std::string p = std::filesystem::path(path).parent_path().string();
  return p.empty() ? "/" : p;
}

std::string Join(const std::string &folder, const std::string &name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

bool IsDummy(const QTreeWidgetItem *item) { return item && item->data(0, kDummyRole).toBool(); }

bool IsListed(const QTreeWidgetItem *item) { return item->childCount() > 0 && !IsDummy(item->child(0)); }

void AddDummy(QTreeWidgetItem *item) {
  auto *dummy = new QTreeWidgetItem(item);
  dummy->setData(0, kDummyRole, true);
}

}  // namespace

bool IsMountRoot(const std::string &path) {
  if (path.empty()) return false;
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (p == "/") return true;
  const QStorageInfo info(Q(p));
  return info.isValid() && info.rootPath() == QDir(Q(p)).canonicalPath();
}

CFolderTree::CFolderTree(CRXDoc &doc, Profile &profile, QWidget *parent)
    : QTreeWidget(parent), doc_(doc), profile_(profile) {
  setHeaderHidden(true);
  setColumnCount(1);
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  setUniformRowHeights(true);
  setDragEnabled(true);
  setAcceptDrops(true);
  setDropIndicatorShown(false);
  setAutoScroll(true);
  quick_.Load(profile_);
  mounts_ = ReadMountPoints();
  connect(this, &QTreeWidget::itemExpanded, this, &CFolderTree::OnExpanded);
  connect(this, &QTreeWidget::itemCollapsed, this, &CFolderTree::UpdateWatches);
  changes_ = new QTimer(this);
  changes_->setSingleShot(true);
  changes_->setInterval(200);
  connect(changes_, &QTimer::timeout, this, [this] {
    const std::set<std::string> paths = std::move(changed_);
    changed_.clear();
    for (const std::string &path : paths)
      if (QTreeWidgetItem *item = ListedItem(path); item && IsListed(item)) ListChildren(item);
  });
  connect(this, &QTreeWidget::itemSelectionChanged, this, &CFolderTree::OnSelection);
  doc_.AddObserver(this);
}

CFolderTree::~CFolderTree() { doc_.RemoveObserver(this); }

std::string CFolderTree::ItemPath(const QTreeWidgetItem *item) {
  return item ? item->data(0, kPathRole).toString().toStdString() : std::string();
}

std::string CFolderTree::SelectedPath() const { return ItemPath(currentItem()); }

bool CFolderTree::HasSubFolder(const std::string &path) {
  QDirIterator it(Q(path), QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks);
  return it.hasNext();
}

QTreeWidgetItem *CFolderTree::AddFolderItem(QTreeWidgetItem *parent, const QString &text,
                                            const std::string &path) {
  static QFileIconProvider icons;
  auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
  item->setText(0, text);
  item->setData(0, kPathRole, Q(path));
  item->setIcon(0, icons.icon(QFileIconProvider::Folder));
  if (!checkSubFolder_ || HasSubFolder(path)) {
    auto *dummy = new QTreeWidgetItem(item);
    dummy->setData(0, kDummyRole, true);
  }
  return item;
}

void CFolderTree::ListChildren(QTreeWidgetItem *item) {
  if (!item) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool old = suppress_;
  suppress_ = true;
  Relist(item);
  suppress_ = old;
  QApplication::restoreOverrideCursor();
  UpdateWatches();
}

void CFolderTree::Relist(QTreeWidgetItem *item) {
  const std::string path = ItemPath(item);
  std::set<QTreeWidgetItem *> fresh;
  if (!item->data(0, kFixedRole).toBool()) {
    const QDir dir(Q(path));
    if (path.empty() || !dir.exists()) {
      // A vanished folder or a drive that is not ready keeps an expand button only.
      while (item->childCount() > 0) RemoveItem(item->child(0));
      AddDummy(item);
      return;
    }
    std::vector<std::pair<QString, std::string>> found;
    for (const QString &name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name))
      found.emplace_back(name, Join(path, name.toStdString()));
    for (int i = item->childCount() - 1; i >= 0; --i) {
      QTreeWidgetItem *c = item->child(i);
      const auto at =
          std::find_if(found.begin(), found.end(), [&](const auto &f) { return f.second == ItemPath(c); });
      if (IsDummy(c) || at == found.end())
        RemoveItem(c);
      else
        found.erase(at);
    }
    for (const auto &[name, child] : found) fresh.insert(AddFolderItem(item, name, child));
    item->sortChildren(0, Qt::AscendingOrder);
  }
  for (int i = 0; i < item->childCount(); ++i) {
    QTreeWidgetItem *c = item->child(i);
    if (fresh.count(c)) continue;
    if (IsListed(c))
      Relist(c);
    else
      SetExpandButton(c);
  }
}

void CFolderTree::SetExpandButton(QTreeWidgetItem *item) {
  const bool wanted = !checkSubFolder_ || HasSubFolder(ItemPath(item));
  if (wanted && item->childCount() == 0)
    AddDummy(item);
  else if (!wanted)
    while (item->childCount() > 0) RemoveItem(item->child(0));
}

void CFolderTree::RemoveItem(QTreeWidgetItem *item) {
  // The drop highlight or the selection may sit in what goes now; the selection goes to the
  // parent without opening it (the folder monitor follows the folder shown).
  for (QTreeWidgetItem *h = highlighted_; h; h = h->parent())
    if (h == item) highlighted_ = nullptr;
  for (QTreeWidgetItem *c = currentItem(); c; c = c->parent())
    if (c == item) {
      const bool old = suppress_;
      suppress_ = true;
      setCurrentItem(item->parent());
      suppress_ = old;
      break;
    }
  delete item;
}

void CFolderTree::Refresh() {
  for (int i = 0; i < topLevelItemCount(); ++i) {
    QTreeWidgetItem *top = topLevelItem(i);
    if (IsListed(top) || top->data(0, kFixedRole).toBool()) ListChildren(top);
  }
}

void CFolderTree::UpdateWatches() {
  if (!doc_.Settings().monitoring) {
    if (watcher_ && !watcher_->directories().isEmpty()) watcher_->removePaths(watcher_->directories());
    return;
  }
  if (!watcher_) {
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &CFolderTree::OnFolderChanged);
  }
  QStringList wanted;
  for (QTreeWidgetItemIterator it(this); *it; ++it)
    if ((*it)->isExpanded() && IsListed(*it) && !(*it)->data(0, kFixedRole).toBool())
      wanted << Q(ItemPath(*it));
  QStringList gone;
  for (const QString &path : watcher_->directories())
    if (!wanted.contains(path)) gone << path;
  if (!gone.isEmpty()) watcher_->removePaths(gone);
  QStringList added;
  for (const QString &path : wanted)
    if (!watcher_->directories().contains(path)) added << path;
  // A folder that cannot be watched (no rights, out of watches) is only read when expanded.
  if (!added.isEmpty()) watcher_->addPaths(added);
}

void CFolderTree::OnFolderChanged(const QString &path) {
  changed_.insert(path.toStdString());
  changes_->start();
}

void CFolderTree::OnExpanded(QTreeWidgetItem *item) {
  // Read again each time: other programs may have made or removed folders meanwhile.
  ListChildren(item);
}

void CFolderTree::OnSelection() {
  if (suppress_) return;
  const std::string path = SelectedPath();
  if (path.empty() || path == doc_.Folder()) return;
  doc_.ChangeFolder(path, this, doc_.Settings().cacheFolder != 0);
}

QTreeWidgetItem *CFolderTree::FindChild(QTreeWidgetItem *parent, const std::string &path) const {
  // The child whose path leads to `path` (ends at a separator or at its end); the longest wins.
  QTreeWidgetItem *best = nullptr;
  std::size_t bestLength = 0;
  const int n = parent ? parent->childCount() : topLevelItemCount();
  for (int i = 0; i < n; ++i) {
    QTreeWidgetItem *c = parent ? parent->child(i) : topLevelItem(i);
    const std::string p = ItemPath(c);
    if (p.empty() || IsDummy(c)) continue;
    const bool prefix = p == "/" ? path.starts_with("/")
                                 : path.starts_with(p) && (path.size() == p.size() || path[p.size()] == '/');
    if (prefix && p.size() > bestLength) best = c, bestLength = p.size();
  }
  return best;
}

bool CFolderTree::SelectPath(const std::string &wanted) {
  std::string path = wanted;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  QTreeWidgetItem *at = FindChild(nullptr, path);
  // A root that stands for the desktop holds the other roots: look below it as well.
  if (topLevelItemCount() > 0) {
    QTreeWidgetItem *root = topLevelItem(0);
    if (root->childCount() == 1 && IsDummy(root->child(0))) ListChildren(root);
    if (QTreeWidgetItem *below = FindChild(root, path);
        below && (!at || ItemPath(below).size() > ItemPath(at).size()))
      at = below;
  }
  while (at && ItemPath(at) != path) {
    if (at->childCount() == 1 && IsDummy(at->child(0))) ListChildren(at);
    QTreeWidgetItem *next = FindChild(at, path);
    if (!next || next == at) return false;
    at = next;
  }
  if (!at) return false;
  for (QTreeWidgetItem *p = at->parent(); p; p = p->parent()) p->setExpanded(true);
  setCurrentItem(at);
  scrollToItem(at);
  return true;
}

void CFolderTree::OnUpdate(UpdateObserver *, int hint, const UpdateArgument &arg) {
  switch (hint) {
    case kHintShowFolder:
      SelectPath(std::string(arg.text));
      break;
    case kHintStartupDone: {
      highlighted_ = nullptr;
      suppress_ = true;
      clear();
      BuildRoots();
      suppress_ = false;
      const bool old = suppress_;
      suppress_ = true;  // the document has the folder open already
      SelectPath(doc_.Folder());
      suppress_ = old;
      UpdateWatches();
      break;
    }
    case kHintDrivesChanged:
      Highlight(nullptr);
      if (auto *drives = dynamic_cast<CDrvView *>(this)) drives->RefreshDrives();
      FollowMounts();
      UpdateWatches();
      break;
    case kHintTreeCreate:
      CreateFolder(currentItem());
      break;
    case kHintTreeRename:
      RenameFolder(currentItem());
      break;
    case kHintTreeDelete:
      DeleteFolder(currentItem());
      break;
    default:
      break;
  }
}

bool CFolderTree::CreateFolder(QTreeWidgetItem *item) {
  const std::string parent = ItemPath(item);
  if (parent.empty()) return false;
  std::string name;
  if (!Ui().InputText("フォルダの作成", "フォルダ名", name) || name.empty()) return false;
  if (name.find('/') != std::string::npos || name == "." || name == "..") {
    Ui().MessageBox(Format(" %s フォルダの作成に失敗しました", Join(parent, name)), "Tamro",
                    MB_OK | MB_ICONSTOP);
    return false;
  }
  const std::string path = Join(parent, name);
  std::error_code ec;
  if (!std::filesystem::create_directory(path, ec) || ec) {
    Ui().MessageBox(
        Format(" %s フォルダの作成に失敗しました", path) + (ec ? "\n" + ec.message() : std::string()),
        "Tamro", MB_OK | MB_ICONSTOP);
    return false;
  }
  ListChildren(item);
  item->setExpanded(true);
  SelectPath(path);
  return true;
}

bool CFolderTree::RenameFolder(QTreeWidgetItem *item) {
  const std::string path = ItemPath(item);
  if (path.empty() || IsMountRoot(path)) return false;
  std::string name = std::filesystem::path(path).filename().string();
  if (!Ui().InputText("フォルダ名の変更", "新しいフォルダ名", name) || name.empty()) return false;
  const std::string parent = ParentOf(path);
  const std::string target = Join(parent, name);
  if (target == path) return false;
  std::error_code ec;
  // Never over an existing file or folder: the rename would replace an empty folder.
  if (name.find('/') != std::string::npos ||
      std::filesystem::exists(std::filesystem::symlink_status(target, ec)))
    ec = std::make_error_code(std::errc::file_exists);
  else
    std::filesystem::rename(path, target, ec);
  if (ec) {
    Ui().MessageBox(Format(" %s フォルダの名前変更に失敗しました", path) + "\n" + ec.message(), "Tamro",
                    MB_OK | MB_ICONSTOP);
    return false;
  }
  if (QTreeWidgetItem *p = item->parent()) {
    ListChildren(p);
    SelectPath(target);
  }
  return true;
}

bool CFolderTree::DeleteFolder(QTreeWidgetItem *item) {
  const std::string path = ItemPath(item);
  if (path.empty() || IsMountRoot(path)) return false;
  bool ok = false;
  std::string error;
  if (doc_.Settings().trashCan) {
    ok = MoveToTrash(path) == kTrashed;
    if (!ok) error = "ごみ箱へ移動できません";
  } else {
    const std::string question = Format(
        "\"%s\"フォルダを削除します.\nフォルダにあるファイル、サブフォルダも全て削除します."
        "\n\nよろしいですか？",
        path);
    if (Ui().MessageBox(question, "Tamro", MB_YESNO | MB_ICONQUESTION) != IDYES) return false;
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    ok = !ec;
    if (ec) error = ec.message();
  }
  if (!ok) {
    Ui().MessageBox(error, "Tamro", MB_OK | MB_ICONSTOP);
    return false;
  }
  QTreeWidgetItem *parent = item->parent();
  QTreeWidgetItem *next = nullptr;
  if (parent) {
    const int i = parent->indexOfChild(item);
    next = i + 1 < parent->childCount() ? parent->child(i + 1) : i > 0 ? parent->child(i - 1) : parent;
  }
  delete item;
  if (next) setCurrentItem(next);
  return true;
}

bool CFolderTree::AddQuickAccess(QTreeWidgetItem *item) { return quick_.Add(ItemPath(item), profile_); }

void CFolderTree::contextMenuEvent(QContextMenuEvent *event) {
  QTreeWidgetItem *item = itemAt(viewport()->mapFrom(this, event->pos()));
  if (!item || IsDummy(item)) return;
  const std::string path = ItemPath(item);
  QMenu menu(this);
  menu.addAction(Q(path))->setEnabled(false);
  menu.addSeparator();
  QAction *create = menu.addAction(QStringLiteral("フォルダの作成(&N)"));
  QAction *rename = menu.addAction(QStringLiteral("フォルダ名の変更(&M)"));
  menu.addSeparator();
  QAction *remove = menu.addAction(QStringLiteral("フォルダの削除(&D)"));
  menu.addSeparator();
  QAction *quick = menu.addAction(QStringLiteral("クイックアクセスに追加(&Q)"));
  const bool root = IsMountRoot(path);
  rename->setEnabled(!root);
  remove->setEnabled(!root);
  std::vector<std::pair<QAction *, std::string>> jumps;
  const auto &items = quick_.Items();
  if (!items.empty()) menu.addSeparator();
  for (std::size_t i = 0; i < items.size() && i < QuickAccessList::kSlots; ++i)
    jumps.emplace_back(menu.addAction(Q(items[i])), items[i]);
  QAction *chosen = menu.exec(event->globalPos());
  if (!chosen) return;
  if (chosen == create)
    CreateFolder(item);
  else if (chosen == rename)
    RenameFolder(item);
  else if (chosen == remove)
    DeleteFolder(item);
  else if (chosen == quick)
    AddQuickAccess(item);
  for (auto &[action, target] : jumps)
    if (chosen == action) SelectPath(target);
}

void CFolderTree::keyPressEvent(QKeyEvent *event) {
  if (event->key() == Qt::Key_F5 && event->modifiers() == Qt::NoModifier) {
    Refresh();
    event->accept();
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

void CFolderTree::mousePressEvent(QMouseEvent *event) {
  if (event->button() == Qt::RightButton) {
    event->accept();
    return;
  }
  QTreeWidget::mousePressEvent(event);
}

QTreeWidgetItem *CFolderTree::ListedItem(const std::string &path) const {
  for (QTreeWidgetItemIterator it(const_cast<CFolderTree *>(this)); *it; ++it)
    if (!IsDummy(*it) && ItemPath(*it) == path) return *it;
  return nullptr;
}

void CFolderTree::startDrag(Qt::DropActions) {
  QTreeWidgetItem *item = currentItem();
  const std::string path = ItemPath(item);
  if (path.empty() || IsDummy(item)) return;
  auto *data = new QMimeData;
  data->setData(QString::fromLatin1(kUriListMime), UriList({path}));
  auto *drag = new QDrag(this);
  drag->setMimeData(data);
  drag->setPixmap(item->icon(0).pixmap(32, 32));
  dragged_ = path;
  // A mount point can be copied from, never moved away.
  const Qt::DropActions allowed = IsMountRoot(path) ? Qt::CopyAction : Qt::CopyAction | Qt::MoveAction;
  const Qt::DropAction result = drag->exec(allowed, Qt::CopyAction);
  dragged_.clear();
  Highlight(nullptr);
  if (result != Qt::MoveAction) return;
  FollowMovedFolder(path);
  // Another program may move the folder only after it has answered the drop: look again.
  for (int delay : {1000, 5000}) QTimer::singleShot(delay, this, [this, path] { FollowMovedFolder(path); });
}

void CFolderTree::FollowMovedFolder(const std::string &path) {
  std::error_code ec;
  if (doc_.IsBusy() || std::filesystem::exists(path, ec)) return;
  const std::string parent = ParentOf(path);
  // The items may have been listed again meanwhile: the parent is found by its path.
  if (ListedItem(path))
    if (QTreeWidgetItem *p = ListedItem(parent)) {
      ListChildren(p);
      p->setExpanded(true);
    }
  // The folder shown went with it: its old parent is shown instead.
  const std::string &open = doc_.Folder();
  if (open == path || (open.size() > path.size() && open.starts_with(path) && open[path.size()] == '/')) {
    SelectPath(parent);
    // Listing the parent again may have made it the current item already, unannounced.
    if (doc_.Folder() != parent) doc_.ChangeFolder(parent, this, doc_.Settings().cacheFolder != 0);
  }
}

void CFolderTree::FollowMounts() {
  std::vector<std::string> now = ReadMountPoints();
  std::vector<std::string> before = mounts_, after = now;
  std::sort(before.begin(), before.end());
  std::sort(after.begin(), after.end());
  std::vector<std::string> changed;
  std::set_symmetric_difference(before.begin(), before.end(), after.begin(), after.end(),
                                std::back_inserter(changed));
  mounts_ = std::move(now);
  changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
  // A folder that became a mount point, or stopped being one, shows other sub-folders now.
  for (const std::string &path : changed) {
    QTreeWidgetItem *item = ListedItem(path);
    if (!item) continue;
    const bool listed = item->isExpanded() || (item->childCount() > 0 && !IsDummy(item->child(0)));
    if (listed) {
      ListChildren(item);
      continue;
    }
    const bool old = suppress_;
    suppress_ = true;
    qDeleteAll(item->takeChildren());
    if (!checkSubFolder_ || HasSubFolder(path)) {
      auto *dummy = new QTreeWidgetItem(item);
      dummy->setData(0, kDummyRole, true);
    }
    suppress_ = old;
  }
}

void CFolderTree::Highlight(QTreeWidgetItem *item) {
  if (item == highlighted_) return;
  if (highlighted_) highlighted_->setData(0, Qt::BackgroundRole, QVariant());
  highlighted_ = item;
  if (item) item->setBackground(0, palette().brush(QPalette::Highlight).color().lighter(150));
}

QTreeWidgetItem *CFolderTree::DropTarget(const QPoint &pos) const {
  QTreeWidgetItem *item = itemAt(pos);
  if (!item || IsDummy(item)) return nullptr;
  const std::string target = ItemPath(item);
  if (target.empty() || !std::filesystem::is_directory(target)) return nullptr;
  // A folder of this tree's own drag does not go into itself, below itself or where it is.
  if (!dragged_.empty() && (target == ParentOf(dragged_) || target == dragged_ ||
                            (target.starts_with(dragged_) && target[dragged_.size()] == '/')))
    return nullptr;
  return item;
}

void CFolderTree::dragEnterEvent(QDragEnterEvent *event) {
  if (!HasFiles(event->mimeData())) {
    event->ignore();
    return;
  }
  event->accept();
}

void CFolderTree::dragMoveEvent(QDragMoveEvent *event) {
  const QPoint pos = event->position().toPoint();
  // Near an edge the tree scrolls by one item toward it.
  if (pos.y() < 16)
    verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
  else if (pos.y() > viewport()->height() - 16)
    verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  QTreeWidgetItem *item = DropTarget(pos);
  const Qt::DropAction effect = DropEffectFor(HasFiles(event->mimeData()), false, event->modifiers(),
                                              doc_.Settings().dadMove != 0, event->possibleActions());
  Highlight(effect == Qt::IgnoreAction ? nullptr : item);
  if (!item || effect == Qt::IgnoreAction) {
    event->ignore();
    return;
  }
  event->setDropAction(effect);
  event->accept();
}

void CFolderTree::dragLeaveEvent(QDragLeaveEvent *event) {
  Highlight(nullptr);
  event->accept();
}

void CFolderTree::dropEvent(QDropEvent *event) {
  Highlight(nullptr);
  QTreeWidgetItem *item = DropTarget(event->position().toPoint());
  FileDrop drop = ReadFileDrop(event->mimeData());
  const Qt::DropAction effect = DropEffectFor(!drop.files.empty(), false, event->modifiers(),
                                              doc_.Settings().dadMove != 0, event->possibleActions());
  if (!item || effect == Qt::IgnoreAction) {
    event->ignore();
    return;
  }
  event->setDropAction(effect);
  event->accept();
  const bool move = effect == Qt::MoveAction;
  if (event->source()) {
    // A drag of this program's: its source looks at the files when the drop is done.
    DropFiles(item, drop.files, drop.notes, move);
  } else {
    // Another program waits for the drop to finish; questions and progress come after.
    const std::string target = ItemPath(item);
    QTimer::singleShot(0, this, [this, target, drop = std::move(drop), move] {
      if (QTreeWidgetItem *at = ListedItem(target)) DropFiles(at, drop.files, drop.notes, move);
    });
  }
}

int CFolderTree::DropFiles(QTreeWidgetItem *item, const std::vector<std::string> &files,
                           const std::vector<std::string> &notes, bool move) {
  const std::string target = ItemPath(item);
  if (target.empty() || !std::filesystem::is_directory(target)) return 0;
  const int handled = TransferDropped(files, notes, move, target);
  if (handled > 0) {
    ListChildren(item);
    // The open folder changes when it receives files, or loses them to a move.
    bool openFolderChanged = SameFile(doc_.Folder(), target);
    for (const std::string &f : files)
      if (move && SameFile(doc_.Folder(), ParentOf(f))) openFolderChanged = true;
    if (openFolderChanged) doc_.RefreshFolder();
  }
  return handled;
}

void CFolderTree::SaveState() {
  const std::string path = SelectedPath();
  if (!path.empty()) profile_.WriteString("DrvView", "Path", path);
  char text[64];
  std::snprintf(text, sizeof text, "%d,%d,%d,%d", x(), y(), width(), height());
  profile_.WriteString("DrvView", "Window", text);
}

// --- the shell tree

CShellView::CShellView(CRXDoc &doc, Profile &profile, QWidget *parent) : CFolderTree(doc, profile, parent) {
  checkSubFolder_ = profile_.GetInt("ShellView", "CheckSubFolder", 1) != 0;
}

CShellView::~CShellView() { profile_.WriteInt("ShellView", "CheckSubFolder", checkSubFolder_ ? 1 : 0); }

void CShellView::BuildRoots() {
  const std::string home = QDir::homePath().toStdString();
  std::string desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation).toStdString();
  const std::string pictures =
      QStandardPaths::writableLocation(QStandardPaths::PicturesLocation).toStdString();
  if (desktop.empty() || !QDir(Q(desktop)).exists()) desktop = home;
  QTreeWidgetItem *root = new QTreeWidgetItem(this);
  root->setText(0, QStringLiteral("デスクトップ"));
  root->setData(0, kPathRole, Q(desktop));
  root->setData(0, kFixedRole, true);
  root->setIcon(0, style()->standardIcon(QStyle::SP_DesktopIcon));
  static QFileIconProvider icons;
  AddFolderItem(root, QDir::home().dirName(), home)
      ->setIcon(0, style()->standardIcon(QStyle::SP_DirHomeIcon));
  if (desktop != home) AddFolderItem(root, QFileInfo(Q(desktop)).fileName(), desktop);
  if (!pictures.empty() && pictures != home && QDir(Q(pictures)).exists())
    AddFolderItem(root, QFileInfo(Q(pictures)).fileName(), pictures);
  AddFolderItem(root, QStringLiteral("/"), "/")->setIcon(0, icons.icon(QFileIconProvider::Drive));
  root->sortChildren(0, Qt::AscendingOrder);
  root->setExpanded(true);
}

// --- the drive tree

CDrvView::CDrvView(CRXDoc &doc, Profile &profile, QWidget *parent) : CFolderTree(doc, profile, parent) {}

namespace {
bool IsDriveLike(const QStorageInfo &v) {
  if (!v.isValid()) return false;
  const QByteArray type = v.fileSystemType();
  const QByteArray device = v.device();
  if (v.rootPath() == "/") return true;
  if (type == "squashfs" || type == "overlay") return false;
  if (device.startsWith("/dev/")) return true;  // fixed or removable
  if (type.startsWith("nfs") || type == "cifs" || type == "smb3" || type.startsWith("fuse.sshfs"))
    return true;
  return type == "tmpfs" && (v.rootPath() == "/tmp" || v.rootPath() == "/dev/shm");  // RAM disks
}
}  // namespace

void CDrvView::BuildRoots() { RefreshDrives(); }

void CDrvView::RefreshDrives() {
  static QFileIconProvider icons;
  std::vector<std::string> mounted;
  for (const QStorageInfo &v : QStorageInfo::mountedVolumes())
    if (IsDriveLike(v)) mounted.push_back(v.rootPath().toStdString());
  std::sort(mounted.begin(), mounted.end());
  mounted.erase(std::unique(mounted.begin(), mounted.end()), mounted.end());
  for (int i = topLevelItemCount() - 1; i >= 0; --i)
    if (std::find(mounted.begin(), mounted.end(), ItemPath(topLevelItem(i))) == mounted.end())
      delete takeTopLevelItem(i);
  const bool display = profile_.GetInt("DrvView", "DisplayName", 0) != 0;
  for (const std::string &root : mounted) {
    bool have = false;
    for (int i = 0; i < topLevelItemCount() && !have; ++i) have = ItemPath(topLevelItem(i)) == root;
    if (have) continue;
    QString text = Q(root);
    const QString name = QStorageInfo(Q(root)).displayName();
    if (display && !name.isEmpty() && name != text) text += " " + name;
    AddFolderItem(nullptr, text, root)->setIcon(0, icons.icon(QFileIconProvider::Drive));
  }
  sortItems(0, Qt::AscendingOrder);
}

}  // namespace tamro
