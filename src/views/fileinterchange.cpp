#include "views/fileinterchange.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QImage>
#include <QSysInfo>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "catalogue/notestore.h"
#include "catalogue/pathutil.h"
#include "catalogue/picentry.h"
#include "catalogue/rxdoc.h"
#include "fileops/filecommands.h"
#include "fileops/unpack.h"

namespace tamro {

namespace fs = std::filesystem;

QByteArray FileUrl(const std::string &path) {
  return "file://" + QByteArray(path.data(), static_cast<qsizetype>(path.size())).toPercentEncoding("/");
}

std::string LocalPath(const QUrl &url) {
  if (!url.isValid() || url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) != 0) return {};
  const QString host = url.host();
  if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0 &&
      host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) != 0)
    return {};
  // The bytes of the path as they were encoded, so a name that is not UTF-8 stays itself.
  const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
  // A NUL would cut the path short and name another file.
  if (bytes.isEmpty() || bytes[0] != '/' || bytes.contains('\0')) return {};
  return bytes.toStdString();
}

QByteArray UriList(const std::vector<std::string> &paths) {
  QByteArray list;
  for (const std::string &p : paths) list += FileUrl(p) + "\r\n";
  return list;
}

namespace {

// The local paths of URL lines, "" for a URL that names no local file: it keeps its place, as
// the i-th note belongs to the i-th URL. Comment lines (starting with "#") and blanks are no URLs.
std::vector<std::string> PathsOfLines(const QList<QByteArray> &lines) {
  std::vector<std::string> paths;
  for (const QByteArray &raw : lines) {
    const QByteArray line = raw.trimmed();
    if (line.isEmpty() || line.startsWith('#')) continue;
    paths.push_back(LocalPath(QUrl::fromEncoded(line)));
  }
  return paths;
}

// "copy" or "cut" and the URLs, one a line, as the GNOME file managers write them.
bool ReadCopiedFiles(const QByteArray &block, FileDrop &drop) {
  QList<QByteArray> lines = block.split('\n');
  if (lines.isEmpty()) return false;
  const QByteArray action = lines.takeFirst().trimmed();
  if (action != "copy" && action != "cut") return false;
  drop.cut = action == "cut";
  drop.files = PathsOfLines(lines);
  return true;
}

}  // namespace

FileDrop ReadFileDrop(const QMimeData *data) {
  FileDrop drop;
  if (!data) return drop;
  const QString gnome = QString::fromLatin1(kGnomeCopiedFilesMime);
  bool read = false;
  if (data->hasFormat(gnome)) read = ReadCopiedFiles(data->data(gnome), drop);
  if (!read && data->hasText()) {
    // Newer Nautilus puts the same list into plain text under a marker line.
    const QByteArray text = data->data(QStringLiteral("text/plain"));
    static const QByteArray marker = "x-special/nautilus-clipboard\n";
    if (text.startsWith(marker)) read = ReadCopiedFiles(text.mid(marker.size()), drop);
  }
  if (!read && data->hasFormat(QString::fromLatin1(kUriListMime))) {
    drop.files = PathsOfLines(data->data(QString::fromLatin1(kUriListMime)).split('\n'));
    drop.cut = data->data(QString::fromLatin1(kKdeCutSelectionMime)).trimmed() == "1";
  }
  const QString noteType = QString::fromLatin1(kQevxNoteMimeType);
  std::vector<std::string> notes;
  if (data->hasFormat(noteType)) {
    const QByteArray block = data->data(noteType);
    notes = ParseQevxNoteBlock(block.constData(), static_cast<std::size_t>(block.size()),
                               static_cast<int>(drop.files.size()));
  }
  // The URLs that named no local file leave, their notes with them.
  std::vector<std::string> urls = std::move(drop.files);
  drop.files.clear();
  for (std::size_t i = 0; i < urls.size(); ++i) {
    if (urls[i].empty()) continue;
    drop.files.push_back(std::move(urls[i]));
    if (!notes.empty()) drop.notes.push_back(std::move(notes[i]));
  }
  return drop;
}

bool HasFiles(const QMimeData *data) {
  if (!data) return false;
  if (data->hasFormat(QString::fromLatin1(kUriListMime)) ||
      data->hasFormat(QString::fromLatin1(kGnomeCopiedFilesMime)))
    return true;
  return data->hasText() &&
         data->data(QStringLiteral("text/plain")).startsWith("x-special/nautilus-clipboard\n");
}

void PutClipboardFiles(QMimeData &data, const std::vector<std::string> &files,
                       const std::vector<std::string> &notes, const QImage *picture) {
  if (!files.empty()) {
    data.setData(QString::fromLatin1(kUriListMime), UriList(files));
    QByteArray copied = "copy";
    for (const std::string &f : files) copied += "\n" + FileUrl(f);
    data.setData(QString::fromLatin1(kGnomeCopiedFilesMime), copied);
    const std::string block = BuildQevxNoteBlock(notes);
    data.setData(QString::fromLatin1(kQevxNoteMimeType),
                 QByteArray(block.data(), static_cast<qsizetype>(block.size())));
  }
  if (picture && !picture->isNull()) data.setImageData(*picture);
}

Qt::DropAction DropEffectFor(bool hasFiles, bool fromSelf, Qt::KeyboardModifiers keys, bool dropMoves,
                             Qt::DropActions possible) {
  if (!hasFiles || fromSelf) return Qt::IgnoreAction;
  const Qt::DropAction want = dropMoves ? ((keys & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction)
                                        : ((keys & Qt::ShiftModifier) ? Qt::MoveAction : Qt::CopyAction);
  if (possible & want) return want;
  const Qt::DropAction other = want == Qt::MoveAction ? Qt::CopyAction : Qt::MoveAction;
  return (possible & other) ? other : Qt::IgnoreAction;
}

SelectedFiles CollectSelectedFiles(CRXDoc &doc) {
  SelectedFiles out;
  const int count = doc.GetEntryCount();
  for (int i = 0; i < count; ++i) {
    CPicEntry *e = doc.GetEntry(i);
    if (!e || !e->IsSelected()) continue;
    if (e->IsArchiveMember()) {
      out.members.push_back(DragMember{e->archiveDecoderIndex, e->ArchivePath(), e->name, e->position,
                                       e->size, e->lastWriteTime / kNanosPerSecond});
      continue;
    }
    const std::string path = e->FullPath();
    if (!IsRegularFile(path)) continue;
    ReadEntryNote(*e);
    out.files.push_back(path);
    out.notes.push_back(e->Note());
    out.lastPlain = i;
  }
  return out;
}

// --- the working folder of drags

namespace {

// "<temp>/Tamro" when it is a folder of this user's that nobody else may write into, else a
// new private folder beside it.
std::string WorkBase() {
  const std::string temp = QDir::tempPath().toStdString();
  const std::string base = JoinPath(temp, "Tamro");
  ::mkdir(base.c_str(), 0700);
  struct stat st {};
  if (::lstat(base.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
      (st.st_mode & 022) == 0)
    return base;
  std::string pattern = JoinPath(temp, "Tamro-XXXXXX");
  return ::mkdtemp(pattern.data()) ? pattern : std::string();
}

}  // namespace

DragWorkFolder::~DragWorkFolder() {
  if (folder_.empty()) return;
  std::error_code ec;
  fs::remove_all(folder_, ec);
}

std::string DragWorkFolder::Put(PictureDecoders &decoders, const DragMember &m) {
  if (folder_.empty()) {
    const std::string base = WorkBase();
    if (base.empty()) return {};
    std::string pattern = JoinPath(base, "drag-XXXXXX");
    if (!::mkdtemp(pattern.data())) return {};
    folder_ = pattern;
  }
  // Archives may name members with either separator; the file takes the last part.
  std::string name = m.name;
  const auto cut = name.find_last_of("/\\");
  if (cut != std::string::npos) name = name.substr(cut + 1);
  if (name.empty() || name == "." || name == "..") return {};
  // A folder per member keeps members of the same name apart, each under its own name.
  const std::string folder = JoinPath(folder_, std::to_string(++count_));
  if (::mkdir(folder.c_str(), 0700) != 0) return {};
  const std::string path = JoinPath(folder, name);
  QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  const int r =
      ExtractArchiveMember(decoders, m.archiveDecoder, m.archivePath, m.position, path, m.size, m.timeStamp);
  QApplication::restoreOverrideCursor();
  return r == 0 && IsRegularFile(path) ? path : std::string();
}

// --- the data of a drag

FileDragData::FileDragData(SelectedFiles selection, PictureDecoders *decoders,
                           std::shared_ptr<DragWorkFolder> work)
    : selection_(std::move(selection)), decoders_(decoders), work_(std::move(work)) {
  const std::string block = BuildQevxNoteBlock(selection_.notes);
  setData(QString::fromLatin1(kQevxNoteMimeType),
          QByteArray(block.data(), static_cast<qsizetype>(block.size())));
}

FileDragData::~FileDragData() = default;

QStringList FileDragData::formats() const {
  return {QString::fromLatin1(kUriListMime), QString::fromLatin1(kQevxNoteMimeType)};
}

bool FileDragData::hasFormat(const QString &mimeType) const { return formats().contains(mimeType); }

const std::vector<std::string> &FileDragData::Files() const {
  if (!rendered_) {
    rendered_ = true;
    files_ = selection_.files;
    if (!selection_.members.empty() && decoders_ && work_) {
      for (const DragMember &m : selection_.members) {
        // A member that cannot be written out is left out of the list.
        const std::string path = work_->Put(*decoders_, m);
        if (!path.empty()) files_.push_back(path);
      }
    }
  }
  return files_;
}

QVariant FileDragData::retrieveData(const QString &mimeType, QMetaType type) const {
  if (mimeType == QLatin1String(kUriListMime)) {
    if (type.id() == QMetaType::QVariantList) {
      QList<QVariant> urls;
      for (const std::string &f : Files()) urls.append(QUrl::fromEncoded(FileUrl(f)));
      return urls;
    }
    return UriList(Files());
  }
  return QMimeData::retrieveData(mimeType, type);
}

// --- paste

int PasteFiles(CRXDoc &doc, const QMimeData *data) {
  if (doc.Folder().empty()) return 0;
  const FileDrop drop = ReadFileDrop(data);
  if (drop.files.empty()) return 0;
  int count = 0;
  {
    DocBusy busy(doc);
    count = TransferDropped(drop.files, drop.notes, drop.cut, doc.Folder());
  }
  if (count > 0) doc.RefreshFolder();
  return count;
}

int DropIntoFolder(CRXDoc &doc, const FileDrop &drop, bool move) {
  if (drop.files.empty() || doc.Folder().empty() || doc.IsBusy()) return 0;
  int count;
  {
    DocBusy busy(doc);
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    count = TransferDropped(drop.files, drop.notes, move, doc.Folder());
    QApplication::restoreOverrideCursor();
  }
  if (count > 0) doc.RefreshFolder();
  return count;
}

int RemoveVanishedFiles(CRXDoc &doc, const std::vector<std::string> &paths) {
  if (doc.IsBusy() || paths.empty()) return 0;
  int removed = 0;
  for (int i = doc.GetEntryCount() - 1; i >= 0; --i) {
    const CPicEntry *e = doc.GetEntry(i);
    if (!e || e->IsArchiveMember()) continue;
    const std::string path = e->FullPath();
    if (std::find(paths.begin(), paths.end(), path) == paths.end() || IsRegularFile(path)) continue;
    doc.RemoveEntryAt(i);
    doc.UpdateAllViews(nullptr, kHintEntryRemoved, UpdateArgument{i, 0, {}});
    ++removed;
  }
  if (removed) doc.UpdateAllViews(nullptr, kHintRedrawAll);
  return removed;
}

namespace {

// Members written out for a drag stay this long after it.
constexpr int kDragFilesKeptMs = 60000;

// Keeps a drag's work folder for a while, and no longer than the view it came from.
class HeldWorkFolder : public QObject {
 public:
  HeldWorkFolder(QObject *parent, std::shared_ptr<DragWorkFolder> work)
      : QObject(parent), work_(std::move(work)) {}

 private:
  std::shared_ptr<DragWorkFolder> work_;
};

}  // namespace

void FollowDraggedFiles(CRXDoc &doc, QObject *context, const std::vector<std::string> &dragged,
                        Qt::DropAction result, std::shared_ptr<DragWorkFolder> work) {
  if (work) {
    auto *held = new HeldWorkFolder(context, std::move(work));
    QTimer::singleShot(kDragFilesKeptMs, held, [held] { held->deleteLater(); });
  }
  // Whatever the target did, the entries whose files went elsewhere leave the listing.
  RemoveVanished(doc, false);
  if (result != Qt::MoveAction) return;
  for (int delay : {1000, 5000})
    QTimer::singleShot(delay, context, [&doc, dragged] { RemoveVanishedFiles(doc, dragged); });
}

}  // namespace tamro
