#include "fileops/unpack.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <vector>

#include "catalogue/decoderaccess.h"
#include "catalogue/pathutil.h"
#include "catalogue/picentry.h"
#include "catalogue/rxdoc.h"
#include "fileops/foldermonitor.h"
#include "fileops/folders.h"
#include "platform/profile.h"
#include "platform/ui.h"

namespace tamro {

namespace {

constexpr char kUnpackCaption[] = "書庫解凍";

// Closes a descriptor and removes the temporary file unless it was handed on.
struct TempFile {
  std::string path;
  int fd = -1;
  bool keep = false;
  ~TempFile() {
    if (fd >= 0) ::close(fd);
    if (!keep && !path.empty()) ::unlink(path.c_str());
  }
};

// A new file beside `destination`, created exclusively so nothing else is touched.
int CreateTemp(const std::string &destination, TempFile &temp) {
  static std::atomic<unsigned> counter{0};
  const std::string folder(DirPart(destination));
  const std::string name(NamePart(destination));
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = JoinPath(folder.empty() ? "." : folder, "." + name + "." + std::to_string(getpid()) +
                                                                   "." + std::to_string(counter++) + ".part");
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      temp.path = path;
      temp.fd = fd;
      return 0;
    }
    if (errno != EEXIST) return FileErrorCause(errno);
  }
  return FileErrorCause(EEXIST);
}

int WriteAll(int fd, const unsigned char *data, std::size_t length) {
  while (length > 0) {
    ssize_t n = ::write(fd, data, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      return FileErrorCause(errno);
    }
    data += n;
    length -= static_cast<std::size_t>(n);
  }
  return 0;
}

// The first bytes of a file for the archive search, zero-filled to 2048.
std::vector<unsigned char> ReadHead(const std::string &path) {
  std::vector<unsigned char> head(2048, 0);
  std::ifstream in(path, std::ios::binary);
  if (in) in.read(reinterpret_cast<char *>(head.data()), static_cast<std::streamsize>(head.size()));
  return head;
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
int UnpackOne(DecoderAccess &decoders, const CPicEntry &e, const std::string &destination,
              ProgressWindow *progress) {
  if (e.IsArchiveMember()) {
    std::string name = FlatName(e.name);
    if (name.empty()) return 0;
    if (progress) progress->SetText(e.name);
    return ExtractArchiveMember(decoders, e.archiveDecoderIndex, e.ArchivePath(), e.position,
                                JoinPath(destination, name), e.size, e.lastWriteTime / kNanosPerSecond);
  }
  if (e.decoderIndex == -1 && e.size > 0) return ExtractArchiveFile(decoders, e.FullPath(), destination);
  return 0;
}

void ShowFileError(int result) {
  if (const char *text = FileErrorText(result))
    Ui().MessageBox(text, kUnpackCaption, MB_OK | MB_ICONEXCLAMATION);
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

int ExtractArchiveMember(DecoderAccess &decoders, int archiveDecoderIndex, const std::string &archivePath,
                         uint32_t position, const std::string &destination, uint64_t size,
                         int64_t timeStamp) {
  std::vector<unsigned char> bytes;
  if (decoders.ExtractMember(archiveDecoderIndex, archivePath, position, bytes) != 0) return 0;
  // Some plug-ins record a size smaller than what they deliver; a block more than 4 bytes
  // longer than the record is taken whole, a few bytes of padding are not.
  uint64_t length = bytes.size() > size + 4 ? bytes.size() : size;
  length = std::min<uint64_t>(length, bytes.size());

  TempFile temp;
  if (int r = CreateTemp(destination, temp)) return r;
  if (int r = WriteAll(temp.fd, bytes.data(), static_cast<std::size_t>(length))) return r;
  const timespec times[2] = {{static_cast<time_t>(timeStamp), 0}, {static_cast<time_t>(timeStamp), 0}};
  if (::futimens(temp.fd, times) != 0) return FileErrorCause(errno);
  int fd = temp.fd;
  temp.fd = -1;
  if (::close(fd) != 0) return FileErrorCause(errno);
  // An existing file of the name is replaced without a question, but only now, complete.
  if (::rename(temp.path.c_str(), destination.c_str()) != 0) return FileErrorCause(errno);
  temp.keep = true;
  return 0;
}

int ExtractArchiveFile(DecoderAccess &decoders, const std::string &archivePath,
                       const std::string &destinationFolder) {
  std::vector<unsigned char> head = ReadHead(archivePath);
  int plugin = decoders.FindArchiveDecoder(archivePath, head.data(), head.size(), 0);
  if (plugin < 0) return 0;
  std::vector<ArchiveMember> members;
  if (decoders.ListArchive(plugin, archivePath, members) != 0) return 0;
  int result = 0;
  for (const ArchiveMember &m : members) {
    std::string name = FlatName(m.name);  // folder records and unsafe names write nothing
    if (name.empty()) continue;
    result = ExtractArchiveMember(decoders, plugin, archivePath, m.position,
                                  JoinPath(destinationFolder, name), m.fileSize, m.timeStamp);
    if (result != 0) break;
  }
  return result;
}

bool CanUnpackEntry(const CPicEntry *e) {
  return e && (e->IsArchiveMember() || e->decoderIndex == -1) && e->size > 0;
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

  DecoderAccess *decoders = doc.Decoders();
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
      if (decoders) result = UnpackOne(*decoders, *e, destination, progress.get());
      progress->Step(1);
    }
    if (FileErrorText(result)) {
      ShowFileError(result);
      break;
    }
  }
  return result;
}

int UnpackEntry(CRXDoc &doc, int visibleIndex) {
  const CPicEntry *e = doc.GetEntry(visibleIndex);
  if (!e || (!e->IsArchiveMember() && e->decoderIndex >= 0)) return -1;
  Profile &profile = Profile::App();
  std::string chosen = profile.GetString(kUnpackSection, kUnpackKey, "");
  if (!Ui().BrowseFolder("解凍先の選択", chosen) || chosen.empty()) return -1;
  profile.WriteString(kUnpackSection, kUnpackKey, chosen);
  DecoderAccess *decoders = doc.Decoders();
  if (!decoders) return 0;
  int result = UnpackOne(*decoders, *e, ResolveUnder(doc.Folder(), chosen), nullptr);
  ShowFileError(result);
  return result;
}

}  // namespace tamro
