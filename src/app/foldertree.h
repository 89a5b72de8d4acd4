#pragma once

// The folder trees of the left pane. CFolderTree holds what both trees share: lazy listing
// behind dummy children, opening the selected folder in the document, selecting a path,
// the context menu with the folder commands and the quick-access list. A folder's children
// are read again whenever it is expanded or the tree is refreshed, and with
// `DriveView`/`Monitoring` on the expanded folders are watched and follow by themselves. CShellView roots the
// tree at a desktop-like item; CDrvView lists the mounted file systems as drive roots.

#include <QTreeWidget>
#include <set>
#include <string>
#include <vector>

#include "app/quickaccess.h"
#include "catalogue/updatehint.h"

class QFileSystemWatcher;
class QTimer;

namespace tamro {

class CRXDoc;
class Profile;

// True for a mount point root, which may not be renamed or deleted.
bool IsMountRoot(const std::string &path);

class CFolderTree : public QTreeWidget, public UpdateObserver {
  Q_OBJECT

 public:
  CFolderTree(CRXDoc &doc, Profile &profile, QWidget *parent = nullptr);
  ~CFolderTree() override;

  void OnUpdate(UpdateObserver *sender, int hint, const UpdateArgument &arg) override;

  // The folder of an item ("" for none).
  static std::string ItemPath(const QTreeWidgetItem *item);
  std::string SelectedPath() const;
  // Walks down from the roots to `path`; false (selection unchanged) when no item leads there.
  bool SelectPath(const std::string &path);

  // Folder commands on an item; each answers whether the file system changed.
  bool CreateFolder(QTreeWidgetItem *item);
  bool RenameFolder(QTreeWidgetItem *item);
  bool DeleteFolder(QTreeWidgetItem *item);
  bool AddQuickAccess(QTreeWidgetItem *item);
  QuickAccessList &QuickAccess() { return quick_; }

  // Copies (or moves) `files` with their notes into the folder of `item`; the count handled.
  int DropFiles(QTreeWidgetItem *item, const std::vector<std::string> &files,
                const std::vector<std::string> &notes, bool move);

  // Reads every listed folder's sub-folders again, keeping what is expanded and selected.
  void Refresh();

  // Writes `DrvView`/`Path` and `Window`.
  void SaveState();

 protected:
  virtual void BuildRoots() = 0;
  // Reads the sub-folders of an item again: new ones are added, gone ones removed, and the
  // items of those still there kept with their own listed children.
  void ListChildren(QTreeWidgetItem *item);
  QTreeWidgetItem *AddFolderItem(QTreeWidgetItem *parent, const QString &text, const std::string &path);
  static bool HasSubFolder(const std::string &path);
  void contextMenuEvent(QContextMenuEvent *event) override;
  // The right button opens the menu only; the folder is not opened first.
  void mousePressEvent(QMouseEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  // A folder is dragged out as a file list of one path; a move lists its old parent again.
  void startDrag(Qt::DropActions supportedActions) override;
  // Files dropped on a folder item are copied or moved into it, their notes with them.
  void dragEnterEvent(QDragEnterEvent *event) override;
  void dragMoveEvent(QDragMoveEvent *event) override;
  void dragLeaveEvent(QDragLeaveEvent *event) override;
  void dropEvent(QDropEvent *event) override;

  CRXDoc &doc_;
  Profile &profile_;
  QuickAccessList quick_;
  bool suppress_ = false;
  bool checkSubFolder_ = true;

 private:
  void OnExpanded(QTreeWidgetItem *item);
  void Relist(QTreeWidgetItem *item);
  // An item not listed yet shows an expand button when its folder has sub-folders.
  void SetExpandButton(QTreeWidgetItem *item);
  void RemoveItem(QTreeWidgetItem *item);
  // Watches the expanded folders while `Monitoring` is on, nothing otherwise.
  void UpdateWatches();
  void OnFolderChanged(const QString &path);
  void OnSelection();
  QTreeWidgetItem *FindChild(QTreeWidgetItem *parent, const std::string &path) const;
  // The item of a folder among those listed (null when it is not listed).
  QTreeWidgetItem *ListedItem(const std::string &path) const;
  // The folder item a drop at `pos` would go into (null when none may take it).
  QTreeWidgetItem *DropTarget(const QPoint &pos) const;
  void Highlight(QTreeWidgetItem *item);
  // After a drag that moved a folder away: its old parent is listed again (and shown when
  // the folder shown went with it). Nothing while the folder is still there.
  void FollowMovedFolder(const std::string &path);
  // After the mount table changed: the listed folders that were mounted on or unmounted
  // from are listed again.
  void FollowMounts();

  std::string dragged_;              // the folder this tree is dragging
  std::vector<std::string> mounts_;  // the mount points when last looked at
  QTreeWidgetItem *highlighted_ = nullptr;
  QFileSystemWatcher *watcher_ = nullptr;  // made when monitoring is first on
  QTimer *changes_ = nullptr;              // gathers a burst of notices into one reading
  std::set<std::string> changed_;          // the watched folders noticed since
};

class CShellView : public CFolderTree {
  Q_OBJECT
 public:
  CShellView(CRXDoc &doc, Profile &profile, QWidget *parent = nullptr);
  ~CShellView() override;

 protected:
  void BuildRoots() override;
};

class CDrvView : public CFolderTree {
  Q_OBJECT
 public:
  CDrvView(CRXDoc &doc, Profile &profile, QWidget *parent = nullptr);

  // Adds and removes drive roots to match the mounted file systems.
  void RefreshDrives();

 protected:
  void BuildRoots() override;
};

}  // namespace tamro
