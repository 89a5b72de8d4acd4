#pragma once

// Files between Tamro and the desktop. Drags and the clipboard carry the file list as
// `text/uri-list` (file:// URLs, the path bytes percent-encoded as they are), the notes of
// those files as `application/x-qevxnote`, and on the clipboard also
// `x-special/gnome-copied-files` ("copy" or "cut", then the URLs), so that file managers
// paste what Tamro copied and Tamro pastes what they copied or cut.

#include <QMimeData>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QUrl;

namespace tamro {

class CRXDoc;
class PictureDecoders;

inline constexpr char kUriListMime[] = "text/uri-list";
inline constexpr char kGnomeCopiedFilesMime[] = "x-special/gnome-copied-files";
inline constexpr char kKdeCutSelectionMime[] = "application/x-kde-cutselection";

// The file:// URL of a local path (its bytes taken as they are), percent-encoded.
QByteArray FileUrl(const std::string &path);
// The local path of a file:// URL of this machine; "" for anything else.
std::string LocalPath(const QUrl &url);
// "url\r\n" for each path.
QByteArray UriList(const std::vector<std::string> &paths);

// What a drop or the clipboard brings.
struct FileDrop {
  std::vector<std::string> files;  // local paths
  std::vector<std::string> notes;  // the notes that came with them, in the same order (may be shorter)
  bool cut = false;                // a file manager's "cut": the files are to be moved
};
// The local files of `data` (empty when it carries none), with the notes and the cut mark.
FileDrop ReadFileDrop(const QMimeData *data);
bool HasFiles(const QMimeData *data);

// The file list of a copy to the clipboard: the URL list, the notes, the file managers'
// "copy" list and, when given, the picture.
void PutClipboardFiles(QMimeData &data, const std::vector<std::string> &files,
                       const std::vector<std::string> &notes, const QImage *picture);

// The effect of a drop: none for data without files or for the view's own drag; else copy,
// or move with Shift held, and with `dropMoves` (DaDMOVE) move, or copy with Ctrl held. An
// effect the source does not allow gives way to the other one when that is allowed.
Qt::DropAction DropEffectFor(bool hasFiles, bool fromSelf, Qt::KeyboardModifiers keys, bool dropMoves,
                             Qt::DropActions possible = Qt::CopyAction | Qt::MoveAction);

// An archive member to be written out for a drag, copied out of its entry.
struct DragMember {
  int archiveDecoder = -1;
  std::string archivePath, name;
  uint32_t position = 0;
  uint64_t size = 0;
  int64_t timeStamp = 0;  // seconds since 1970
};

// The selection as files: the selected plain entries whose files exist (with their notes,
// in display order), the selected members, and the visible index of the last plain one.
struct SelectedFiles {
  std::vector<std::string> files, notes;
  std::vector<DragMember> members;
  int lastPlain = -1;
};
SelectedFiles CollectSelectedFiles(CRXDoc &doc);

// A folder of this user's under the temporary folder that holds the members written out
// for drags: "Tamro" when it is ours (else a private one beside it), one sub-folder per drag.
class DragWorkFolder {
 public:
  DragWorkFolder() = default;
  // Removes the folder with what is in it.
  ~DragWorkFolder();
  DragWorkFolder(const DragWorkFolder &) = delete;
  DragWorkFolder &operator=(const DragWorkFolder &) = delete;

  // Writes the member under its own name; "" when it could not be written.
  std::string Put(PictureDecoders &decoders, const DragMember &member);
  const std::string &Folder() const { return folder_; }

 private:
  std::string folder_;
  int count_ = 0;
};

// The data of a drag out of the grid: the notes at once, the file list when a target asks
// for it, the members being written out at that first request.
class FileDragData : public QMimeData {
  Q_OBJECT

 public:
  // Members are written into `work`, which the caller removes when the drag is over.
  FileDragData(SelectedFiles selection, PictureDecoders *decoders, std::shared_ptr<DragWorkFolder> work);
  ~FileDragData() override;

  QStringList formats() const override;
  bool hasFormat(const QString &mimeType) const override;
  // The files offered: the plain files first, then the members written out (asked once).
  const std::vector<std::string> &Files() const;

 protected:
  QVariant retrieveData(const QString &mimeType, QMetaType type) const override;

 private:
  SelectedFiles selection_;
  PictureDecoders *decoders_;
  mutable std::vector<std::string> files_;
  mutable bool rendered_ = false;
  std::shared_ptr<DragWorkFolder> work_;
};

// The document's paste: the files of `data` copied (moved after a "cut") into the folder
// shown, with their notes; the folder is read again when any arrived. The count transferred.
int PasteFiles(CRXDoc &doc, const QMimeData *data);

// Files dropped on a view with a drop effect: copied or moved into the folder shown, with
// the busy state and the wait cursor meanwhile; the folder is read again when any arrived.
// Nothing while the document is busy. The count transferred.
int DropIntoFolder(CRXDoc &doc, const FileDrop &drop, bool move);

// Removes the plain entries of these files that are gone (hint 17 each, then hint 0).
int RemoveVanishedFiles(CRXDoc &doc, const std::vector<std::string> &paths);

// After a drag of the selection out of a view ended with `result`: the entries whose files
// went elsewhere leave the listing, and after a move they are looked for again a moment
// later, since another program may move the files only after it has answered the drop.
// The members written out for the drag stay in `work` a while, for a file manager that
// copies after the drop. `context` going away ends the later looks.
void FollowDraggedFiles(CRXDoc &doc, QObject *context, const std::vector<std::string> &dragged,
                        Qt::DropAction result, std::shared_ptr<DragWorkFolder> work);

}  // namespace tamro
