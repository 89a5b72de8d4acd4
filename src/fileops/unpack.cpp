#include "fileops/unpack.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <vector>

#include "catalogue/pathutil.h"
#include "catalogue/picentry.h"
#include "catalogue/picturedecoders.h"
#include "catalogue/rxdoc.h"
#include "decode/spi.h"
#include "fileops/foldermonitor.h"
#include "fileops/folders.h"
#include "fileops/samename.h"
#include "platform/fileio.h"
#include "platform/profile.h"
#include "platform/ui.h"

namespace tamro {

namespace {

constexpr char kUnpackCaption[] = "書庫解凍";

// The first bytes of a file for the archive search, zero-filled to 2048.
std::vector<unsigned char> ReadHead(const std::string &path) {
  std::string head;
  ReadFileHead(path, 2048, head);
  std::vector<unsigned char> bytes(head.begin(), head.end());
  bytes.resize(2048, 0);
  return bytes;
}

// Whether two paths name one file (the same device and inode).
bool SameInode(const std::string &a, const std::string &b) {
  struct stat sa {
  }, sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

// The member's own name without the folders inside the archive; empty when it names none.
std::string FlatName(std::string_view name) {
  std::string_view base = NamePart(name);
  return IsPlainFileName(base) ? std::string(base) : std::string();
}

std::string ResolveUnder(const std::string &folder, const std::string &path) {
  // Without a folder shown the path stays relative to the process's folder.
  if (path.empty() || path.front() == '/' || folder.empty()) return path;
  return JoinPath(folder, path);
}

// One entry of either command; `destination` is the folder.
int UnpackOne(UnpackRun &run, const CPicEntry &e, const std::string &destination, ProgressWindow *progress) {
  if (e.IsArchiveMember()) {
    if (progress) progress->SetText(e.name);
    return run.Member(e.archiveDecoderIndex, e.ArchivePath(), e.position, e.name, e.size,
                      e.lastWriteTime / kNanosPerSecond, destination);
  }
  if (e.facts.decoder == -1 && e.size > 0) return run.Archive(e.FullPath(), destination);
  return 0;
}

// Shows a failure; false for an answer that is none.
bool ShowFileError(int result) {
  const char *text = UnpackErrorText(result);
  if (text) Ui().MessageBox(text, kUnpackCaption, MB_OK | MB_ICONEXCLAMATION);
  return text != nullptr;
}

}  // namespace

const char *FileErrorText(int code) {
  static const char *const texts[] = {
      "未定義ｴﾗｰ",
      "ﾌｧｲﾙ未定義",
      "不正ﾊﾟｽ",
      "ｵｰﾌﾟﾝ ﾌｧｲﾙ数超過",
      "ﾌｧｲﾙ ｱｸｾｽ禁止",
      "不正ﾌｧｲﾙ ﾊﾝﾄﾞﾙ使用",
      "作業中のｶﾚﾝﾄ ﾃﾞｨﾚｸﾄﾘの削除不可",
      "ﾃﾞｨﾚｸﾄﾘ ﾌﾙ",
      "ﾌｧｲﾙ ﾎﾟｲﾝﾀ設定ｴﾗｰ",
      "ﾊｰﾄﾞｳｪｱ ｴﾗｰ",
      "SHARE.EXE 未ﾛｰﾄﾞまたは共有領域ﾛｯｸ済み",
      "ﾛｯｸ済み領域のﾛｯｸ要求",
      "[ﾃﾞｨｽｸ ﾌﾙ]　これ以上書き込むことができません",
      "ﾌｧｲﾙの終わりに到達",
  };
  if (code == -1) return "ﾌｧｲﾙ操作に失敗";
  if (code >= 1 && code <= 14) return texts[code - 1];
  return nullptr;
}

int FileErrorCause(int error) {
  switch (error) {
    case ENOENT:
      return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL:
    case EXDEV:
      return 3;
    case EMFILE:
    case ENFILE:
      return 4;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EEXIST:
      return 5;
    case EBADF:
      return 6;
    case EBUSY:
      return 7;
    case EMLINK:
      return 8;
    case ESPIPE:
      return 9;
    case EIO:
      return 10;
    case ETXTBSY:
      return 11;
    case EDEADLK:
    case ENOLCK:
      return 12;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return 13;
    default:
      return 1;
  }
}

const char *UnpackErrorText(int code) {
  switch (code) {
    case kUnpackUnreadable:
      return "書庫から取り出せません";
    case kUnpackTooLarge:
      return "大きすぎて取り出せません";
    case kUnpackOverArchive:
      return "書庫ファイル自身には書き込めません";
    default:
      return FileErrorText(code);
  }
}

int ExtractArchiveMember(PictureDecoders &decoders, int archiveDecoderIndex, const std::string &archivePath,
                         uint32_t position, const std::string &destination, uint64_t size,
                         int64_t timeStamp) {
  // Replacing the archive being read (a member "sub/pack.zip" flattened beside "pack.zip")
  // would lose every member not yet written.
  if (SameInode(destination, archivePath)) return kUnpackOverArchive;
  GlobalHandle block;
  const int got = decoders.ExtractMember(archiveDecoderIndex, archivePath, position, block);
  if (got == SPI_OUT_OF_MEMORY) return kUnpackTooLarge;
  if (got != 0) return kUnpackUnreadable;
  GlobalLockGuard locked(block.get());
  if (block.size() > 0 && !locked) return kUnpackUnreadable;
  const std::string_view bytes(locked ? locked.as<const char>() : "", locked ? block.size() : 0);
  // Some plug-ins record a size smaller than what they deliver; a block more than 4 bytes
  // longer than the record is taken whole, a few bytes of padding are not.
  uint64_t length = bytes.size() > size + 4 ? bytes.size() : size;
  length = std::min<uint64_t>(length, bytes.size());

  // An existing file of the name is replaced without a question, but only once complete.
  AtomicFile out(destination);
  if (!out.ok()) return FileErrorCause(errno);
  if (!WriteAll(out.fd(), bytes.data(), static_cast<std::size_t>(length))) return FileErrorCause(errno);
  const timespec times[2] = {{static_cast<time_t>(timeStamp), 0}, {static_cast<time_t>(timeStamp), 0}};
  if (::futimens(out.fd(), times) != 0) return FileErrorCause(errno);
  if (!out.Commit()) return FileErrorCause(errno);
  return 0;
}

int UnpackRun::Member(int archiveDecoderIndex, const std::string &archivePath, uint32_t position,
                      std::string_view memberName, uint64_t size, int64_t timeStamp,
                      const std::string &folder, std::string *written) {
  const std::string name = FlatName(memberName);  // folder records and unsafe names write nothing
  if (name.empty()) return 0;
  std::string destination = JoinPath(folder, name);
  struct stat st {};
  if (::stat(destination.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) &&
      (askAboutExisting_ || written_.count({st.st_dev, st.st_ino}))) {
    if (!applyToAll_) {
      CSameNameLogic logic = CSameNameLogic::ForTransfer();
      SameNameQuestion answer;
      const auto showMember = [&](SameNameQuestion &q) {
        q.sourceName = archivePath + ":" + std::string(memberName);
        q.sourceSize = SameNameSizeText(size);
        q.sourceDate = SameNameDateText(timeStamp);
      };
      if (!logic.Ask(archivePath + ":" + std::string(memberName), destination, answer, showMember))
        return kUnpackCancelled;
      action_ = answer.action;
      applyToAll_ = answer.applyToAll;
    }
    if (!SameNameActionWrites(action_, size, timeStamp * 1000000000, destination)) return kUnpackSkipped;
  }
  const int r = ExtractArchiveMember(decoders_, archiveDecoderIndex, archivePath, position, destination, size,
                                     timeStamp);
  if (r != 0) return r;
  if (::stat(destination.c_str(), &st) == 0) written_.insert({st.st_dev, st.st_ino});
  if (written) *written = destination;
  return 0;
}

int UnpackRun::Archive(const std::string &archivePath, const std::string &folder) {
  std::vector<unsigned char> head = ReadHead(archivePath);
  int plugin = decoders_.FindArchiveDecoder(archivePath, head.data(), head.size(), 0);
  if (plugin < 0) return 0;
  std::vector<ArchiveMember> members;
  if (decoders_.ListArchive(plugin, archivePath, members) != 0) return 0;
  for (const ArchiveMember &m : members) {
    const int r = Member(plugin, archivePath, m.position, m.name, m.fileSize, m.timeStamp, folder);
    if (r != 0 && r != kUnpackSkipped) return r;
  }
  return 0;
}

int ExtractArchiveFile(PictureDecoders &decoders, const std::string &archivePath,
                       const std::string &destinationFolder) {
  UnpackRun run(decoders);
  return run.Archive(archivePath, destinationFolder);
}

bool CanUnpackEntry(const CPicEntry *e) {
  return e && (e->IsArchiveMember() || e->facts.decoder == -1) && e->size > 0;
}

bool CanUnpackSelected(CRXDoc &doc) { return doc.CountSelected(false) > 0; }

int UnpackSelected(CRXDoc &doc) {
  DocBusy busy(doc);
  MonitorIgnoreScope ignore;
  Profile &profile = Profile::App();
  std::string typed = profile.GetString(kUnpackSection, kUnpackKey, "");
  if (!Ui().InputFolder(kUnpackCaption, "解凍先フォルダを入力してください", typed)) return -1;
  // A relative destination is taken under the folder shown.
  const std::string destination = ResolveUnder(doc.Folder(), typed);
  if (destination.empty() || !EnsureFolder(destination, true)) return -1;
  profile.WriteString(kUnpackSection, kUnpackKey, typed);

  PictureDecoders *decoders = doc.Decoders();
  std::optional<UnpackRun> run;
  if (decoders) run.emplace(*decoders);
  int selected = 0;
  for (int i = 0; i < doc.GetEntryCount(); ++i)
    if (const CPicEntry *e = doc.GetEntry(i); e && e->IsSelected()) ++selected;
  std::unique_ptr<ProgressWindow> progress = Ui().OpenProgress("書庫の解凍");
  progress->SetText("書庫ファイルから解凍しています...");
  progress->SetRange(0, selected);
  int result = 0;
  for (int i = 0; i < doc.GetEntryCount(); ++i) {
    if (progress->Aborted()) break;
    const CPicEntry *e = doc.GetEntry(i);
    if (e && e->IsSelected()) {
      if (run) result = UnpackOne(*run, *e, destination, progress.get());
      progress->Step(1);
    }
    if (result == kUnpackSkipped) result = 0;
    if (result == kUnpackCancelled) return -1;
    if (ShowFileError(result)) break;
  }
  return result;
}

int UnpackEntry(CRXDoc &doc, int visibleIndex) {
  const CPicEntry *e = doc.GetEntry(visibleIndex);
  if (!e || (!e->IsArchiveMember() && e->facts.decoder >= 0)) return -1;
  Profile &profile = Profile::App();
  std::string chosen = profile.GetString(kUnpackSection, kUnpackKey, "");
  if (!Ui().BrowseFolder("解凍先の選択", chosen) || chosen.empty()) return -1;
  profile.WriteString(kUnpackSection, kUnpackKey, chosen);
  PictureDecoders *decoders = doc.Decoders();
  if (!decoders) return 0;
  UnpackRun run(*decoders);
  const int result = UnpackOne(run, *e, ResolveUnder(doc.Folder(), chosen), nullptr);
  if (result == kUnpackCancelled) return -1;
  if (result == kUnpackSkipped) return 0;
  ShowFileError(result);
  return result;
}

}  // namespace tamro
