#include "tools/tamro-batch/commands.h"

#include <sys/stat.h>

#include <QPdfWriter>
#include <cstdio>
#include <filesystem>
#include <set>

#include "catalogue/macros.h"
#include "catalogue/thumbscheduler.h"
#include "catalogue/workerpool.h"
#include "fileops/folders.h"
#include "fileops/rename.h"
#include "fileops/saveformat.h"
#include "fileops/unpack.h"
#include "output/contactsheet.h"
#include "output/htmlcatalog.h"
#include "output/printdevice.h"
#include "output/printdocsource.h"
#include "output/printlayout.h"
#include "output/printoption.h"
#include "output/report.h"
#include "platform/fileio.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "tools/tamro-batch/session.h"
#include "tools/tamro-batch/terminalui.h"

namespace fs = std::filesystem;

namespace tamro::batch {

namespace {

std::string AbsolutePath(const std::string &path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec);
  return ec ? path : p.lexically_normal().string();
}

// The one folder or set of files an output subcommand works on.
bool SingleTarget(Session &session, Target &target, int &status) {
  const Args &args = session.Arguments();
  if (args.operands.empty()) {
    status = UsageError(args.command + ": フォルダまたはファイルを指定してください");
    return false;
  }
  std::vector<Target> targets = CollectTargets(session, args.operands, true);
  if (targets.size() > 1) {
    status = UsageError(args.command + ": 対象は一つのフォルダ、または同じフォルダのファイルにしてください");
    return false;
  }
  if (targets.empty()) {
    status = kExitFailed;
    return false;
  }
  target = targets.front();
  return true;
}

// The listing of the one target, when it holds pictures to work on; null and the exit
// status otherwise.
CRXDoc *OpenPictures(Session &session, Target &target, int &status) {
  if (!SingleTarget(session, target, status)) return nullptr;
  CRXDoc *doc = session.Open(target);
  if (doc->CountSelected(true) == 0) {
    session.Fail(target.folder, "対象の画像がありません");
    status = kExitFailed;
    return nullptr;
  }
  return doc;
}

int Quality(const Args &args, int fallback, bool &ok) {
  ok = true;
  auto q = args.Value("quality");
  if (!q) return fallback;
  auto v = ParseInt(*q, 0, 100);
  if (!v) {
    ok = false;
    return 0;
  }
  return static_cast<int>(*v);
}

bool HasExtension(const std::string &path) {
  const std::string name = fs::path(path).filename().string();
  const auto dot = name.rfind('.');
  return dot != std::string::npos && dot > 0;
}

// An output file operand that names a folder (or ends in "/") is a usage error.
bool NamesFolder(const std::string &path) {
  std::error_code ec;
  return path.empty() || path.back() == '/' || fs::is_directory(path, ec);
}

int Finish(Session &session) { return session.Failures() > 0 ? kExitFailed : kExitOk; }

// Builds and stores the thumbnails of every displayed entry of the document; one write of
// the store per folder at the end.
void BuildThumbs(Session &session, CRXDoc &doc, const std::string &caption) {
  CThumbStore &store = session.Store();
  CThumbScheduler &thumbs = session.Engine().Thumbs();
  const int count = doc.GetEntryCount();
  if (count == 0) return;
  auto progress = Ui().OpenProgress(caption);
  progress->SetRange(0, count);
  const CellSize cell = doc.ThumbsSize();
  std::set<std::string> folders;
  auto label = [](const CPicEntry &e) {
    return e.IsArchiveMember() ? e.ArchivePath() + ":" + e.name : e.FullPath();
  };
  // A picture is let go once made: its record is what the run is for.
  thumbs.SetStoreEverything(true);
  thumbs.SetFinished([&](int, CPicEntry &e, int result) {
    if (result != 0) session.Fail(label(e), "画像を読み込めません");
    e.FreePictures();
    progress->SetText(e.name);
    progress->Step(1);
  });
  // Only a few requests wait at a time, so that an abort is quick and memory stays small.
  const int most = 4 * session.Engine().Pool().Threads();
  CellRect rect{};
  bool haveRect = false;
  for (int i = 0; i < count; ++i) {
    if (progress->Aborted()) {
      session.Fail(caption, "中断しました");
      break;
    }
    CPicEntry *e = doc.GetEntry(i);
    // Only the selected entries (named files); the others keep whatever records they have.
    if (!e || !e->IsSelected()) {
      progress->Step(1);
      continue;
    }
    // The picture area of a cell is the same for every entry of one listing.
    if (!haveRect) {
      rect = session.Cells().Layout(*e, 0, 0, cell.width, cell.height).picture;
      haveRect = true;
    }
    folders.insert(e->Folder());
    // A record made for this cell with switches at least as good stays as it is; the
    // builder judges that by the same rule as the window.
    e->useCache = true;
    if (thumbs.Ask(i, rect, WorkerPool::kBackground) == CThumbScheduler::kReady) {
      if (!e->stored && store.Add(*e, CThumbStore::kQuality) != 1)
        session.Fail(label(*e), "サムネイルを保存できません");
      e->FreePictures();
      progress->Step(1);
    }
    while (thumbs.InFlight() >= most) thumbs.WaitAndDrain();
  }
  thumbs.Finish();
  thumbs.SetFinished(nullptr);
  thumbs.SetStoreEverything(false);
  store.Flush();
  for (const std::string &folder : folders)
    if (store.GetFolder(folder).Changed()) session.Fail(CThumbStore::FilePath(folder), "書き込めません");
}

}  // namespace

int UsageError(const std::string &why) {
  std::fprintf(stderr, "tamro-batch: %s\n(tamro-batch --help で使い方を表示します)\n", why.c_str());
  return kExitUsage;
}

int RunThumbs(Session &session) {
  const Args &args = session.Arguments();
  if (args.operands.empty()) return UsageError("thumbs: フォルダを指定してください");
  const bool recursive = args.Has("recursive");
  std::vector<Target> targets;
  for (const Target &t : CollectTargets(session, args.operands, true)) {
    if (t.kind != Target::kFolder) {
      targets.push_back(t);
      continue;
    }
    targets.push_back(t);
    if (!recursive) continue;
    // Every folder below gets its own store; links are not followed, so a loop cannot form.
    std::error_code ec;
    std::vector<std::string> below;
    for (fs::recursive_directory_iterator it(t.folder, fs::directory_options::skip_permission_denied, ec),
         end;
         !ec && it != end; it.increment(ec)) {
      std::error_code sec;
      if (it->is_directory(sec) && !it->is_symlink(sec)) below.push_back(it->path().string());
    }
    std::sort(below.begin(), below.end());
    for (const std::string &folder : below) targets.push_back(Target{Target::kFolder, folder, {}});
  }
  for (const Target &t : targets) {
    if (TerminalUi::AbortRequested()) break;
    CRXDoc *doc = session.Open(t, recursive);
    if (!doc) continue;
    BuildThumbs(session, *doc, t.folder);
    session.Store().Clear();
  }
  return Finish(session);
}

int RunHtml(Session &session) {
  const Args &args = session.Arguments();
  auto out = args.Value("out");
  if (!out || out->empty()) return UsageError("html: --out で出力先フォルダを指定してください");
  CHtmlOption option;
  option.Load();
  if (auto name = args.Value("name")) option.fileName = *name;
  if (option.fileName.empty() || option.fileName.find('/') != std::string::npos)
    return UsageError("html: --name にはファイル名を指定してください");
  if (!HasExtension(option.fileName)) option.fileName += ".html";
  if (auto t = args.Value("template")) {
    if (!fs::is_regular_file(*t)) return UsageError("html: HTML形式定義ファイルがありません: " + *t);
    option.templateFile = AbsolutePath(*t);  // a relative one is the shell's, as --out is
  }
  if (auto n = args.Value("page-count")) {
    auto v = ParseInt(*n, 0, 100);
    if (!v) return UsageError("html: --page-count は 0 から 100 です");
    option.pageCount = static_cast<int>(*v);
  }
  bool ok = true;
  option.jpegQuality = Quality(args, option.jpegQuality, ok);
  if (!ok) return UsageError("html: --quality は 0 から 100 です");
  if (args.Has("jpeg")) option.jpegSave = true;
  if (args.Has("resize")) option.jpegResize = true;

  Target target;
  int status = kExitOk;
  CRXDoc *doc = OpenPictures(session, target, status);
  if (!doc) return status;
  const std::string folder = AbsolutePath(*out);
  if (!EnsureFolder(folder, false)) {
    session.Fail(folder, "出力先フォルダがありません");
    return kExitFailed;
  }
  CHtmlCatalog catalog(*doc, [&session](CPicEntry &e, int w, int h) { return session.LoadPicture(e, w, h); });
  catalog.Configure(option);
  if (!catalog.WriteHtmlCatalogue(folder + "/" + option.fileName))
    session.Fail(folder + "/" + option.fileName, "HTMLファイルの書き込みに失敗しました");
  return Finish(session);
}

int RunSheet(Session &session) {
  const Args &args = session.Arguments();
  auto out = args.Value("out");
  if (!out || NamesFolder(*out)) return UsageError("sheet: --out で出力ファイルを指定してください");
  if (args.Has("jpeg") && args.Has("bmp")) return UsageError("sheet: --jpeg と --bmp は同時に指定できません");
  CContactSheetOption option;
  option.Load();
  for (const char *key : {"cols", "rows"}) {
    if (auto v = args.Value(key)) {
      auto n = ParseInt(*v, 0, 1000);
      if (!n) return UsageError(std::string("sheet: --") + key + " は 0 から 1000 です");
      (std::string(key) == "cols" ? option.columns : option.rows) = static_cast<int>(*n);
    }
  }
  bool ok = true;
  option.jpegQuality = Quality(args, option.jpegQuality, ok);
  if (!ok) return UsageError("sheet: --quality は 0 から 100 です");
  std::string path = AbsolutePath(*out);
  if (args.Has("jpeg"))
    option.fileType = kSheetJpeg;
  else if (args.Has("bmp"))
    option.fileType = kSheetBmp;
  else if (EndsWithNoCase(path, ".jpg") || EndsWithNoCase(path, ".jpeg"))
    option.fileType = kSheetJpeg;
  else if (EndsWithNoCase(path, ".bmp"))
    option.fileType = kSheetBmp;
  if (!HasExtension(path)) path += option.fileType == kSheetJpeg ? ".jpg" : ".bmp";

  Target target;
  int status = kExitOk;
  CRXDoc *doc = OpenPictures(session, target, status);
  if (!doc) return status;
  if (!EnsureFolder(fs::path(path).parent_path().string(), false)) {
    session.Fail(path, "出力先フォルダがありません");
    return kExitFailed;
  }
  CellSheetPainter painter(session.Cells());
  const int sheets = WriteContactSheets(*doc, painter, option.columns, option.rows, path, option.fileType,
                                        option.jpegQuality, ViewBackgroundColour());
  if (sheets <= 0) session.Fail(path, "コンタクトシートを作成できません");
  return Finish(session);
}

int RunReport(Session &session) {
  const Args &args = session.Arguments();
  auto out = args.Value("out");
  if (!out || NamesFolder(*out)) return UsageError("report: --out で出力ファイルを指定してください");
  CReportOption option;
  option.Load();
  const std::string format = args.Value("format").value_or(option.format);
  Target target;
  int status = kExitOk;
  if (!SingleTarget(session, target, status)) return status;
  // Names alone are listed without a lookup per file and without the plug-ins. A name that
  // inserts a macro may ask for more after all: the folder is then listed again with
  // everything (files named on the command line are listed once, since each one missing is
  // reported).
  const unsigned needs = MacroNeeds(format);
  ListingNeeds reads;
  reads.fileFacts = (needs & kNeedsFileFacts) || target.kind == Target::kFiles;
  reads.decoders = (needs & (kNeedsPictureFacts | kReadsPicture)) || target.kind == Target::kFiles;
  CRXDoc *doc = session.Open(target, false, reads);
  bool inserts = false;
  for (int i = 0; !(reads.fileFacts && reads.decoders) && !inserts && i < doc->GetEntryCount(); ++i)
    inserts = MayInsertMacros(*doc->GetEntry(i), format);
  if (inserts) doc = session.Open(target);
  const std::string path = AbsolutePath(*out);
  // The picture facts the format needs are read on the workers as the lines are written.
  if (!WriteReportFile(*doc, path, format, {&session.Builder(), &session.Engine().Pool()}))
    session.Fail(path, "レポートファイルを作成できません");
  return Finish(session);
}

int RunPrint(Session &session) {
  const Args &args = session.Arguments();
  auto pdf = args.Value("pdf");
  if (!pdf || NamesFolder(*pdf)) return UsageError("print: --pdf で出力するPDFファイルを指定してください");
  CPrintOption option;
  option.Load();
  std::string definition = option.definitionFile;
  if (auto d = args.Value("definition")) {
    if (!fs::is_regular_file(*d)) return UsageError("print: 印刷定義ファイルがありません: " + *d);
    definition = *d;
  }
  Target target;
  int status = kExitOk;
  CRXDoc *doc = OpenPictures(session, target, status);
  if (!doc) return status;
  const std::string path = AbsolutePath(*pdf);
  CPdfPrintDevice device(path);
  CPrintDocSource source(
      *doc, [&session](CPicEntry &e) { return session.LoadPicture(e, 0, 0); }, &session.Icons());
  CPrintLayout layout(source);
  if (layout.PrintSelected(device, definition) <= 0) session.Fail(path, "印刷できません");
  return Finish(session);
}

namespace {

// The session's decoders, noting which files gave a picture, so that a conversion can
// name the pictures it could not read (the engine only counts what it wrote).
class RecordingDecoders : public PictureDecoders {
 public:
  explicit RecordingDecoders(PictureDecoders &inner) : inner_(inner) {}
  int FindPictureDecoder(const std::string &name, const unsigned char *head, std::size_t length, int start,
                         int archivePosition) override {
    return inner_.FindPictureDecoder(name, head, length, start, archivePosition);
  }
  int GetPictureInfo(int position, const PictureSource &source, SpiPictureInfo &info,
                     std::string &text) override {
    return inner_.GetPictureInfo(position, source, info, text);
  }
  int GetPicture(int position, const PictureSource &source, long reduction, GlobalHandle &picture,
                 ProgressProc progress) override {
    const int r = inner_.GetPicture(position, source, reduction, picture, progress);
    if (r == 0 && picture) decoded.insert(source.path);
    return r;
  }
  int ExtractMember(int archivePosition, const std::string &archivePath, uint32_t memberPosition,
                    GlobalHandle &block) override {
    return inner_.ExtractMember(archivePosition, archivePath, memberPosition, block);
  }
  int FindDecoderByName(std::string_view name, int kind) override {
    return inner_.FindDecoderByName(name, kind);
  }
  std::string DecoderName(int position, int kind) override { return inner_.DecoderName(position, kind); }
  bool IsInUse(int position, int kind) override { return inner_.IsInUse(position, kind); }
  ProgressProc SetProgressCallback(ProgressProc callback) override {
    return inner_.SetProgressCallback(callback);
  }

  std::set<std::string> decoded;

 private:
  PictureDecoders &inner_;
};

// What a picture source names for an entry: the file, or the member's name.
std::string SourceKey(const CPicEntry &e) { return e.IsArchiveMember() ? e.name : e.FullPath(); }

std::string EntryLabel(const CPicEntry &e) {
  return e.IsArchiveMember() ? e.ArchivePath() + ":" + e.name : e.FullPath();
}

// A member name that stays inside the destination folder as one file.
bool IsFlatName(const std::string &name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

bool FileExists(const std::string &path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

}  // namespace

int RunConvert(Session &session) {
  const Args &args = session.Arguments();
  auto out = args.Value("out");
  if (!out || out->empty()) return UsageError("convert: --out で出力先フォルダを指定してください");
  if (args.operands.empty()) return UsageError("convert: フォルダまたはファイルを指定してください");
  if (args.Has("jpeg") && args.Has("bmp"))
    return UsageError("convert: --jpeg と --bmp は同時に指定できません");
  if (args.Has("size") && args.Has("scale"))
    return UsageError("convert: --size と --scale は同時に指定できません");
  if (auto c = args.Value("on-conflict"); c && (*c == "newer" || *c == "larger"))
    return UsageError("convert: --on-conflict=" + *c + " は使えません (skip|overwrite|number)");
  CFileSaveOption option;
  option.Load();
  if (args.Has("jpeg")) option.format = CFileSaveOption::kJpeg;
  if (args.Has("bmp")) option.format = CFileSaveOption::kBmp;
  bool ok = true;
  option.jpegQuality = Quality(args, option.jpegQuality, ok);
  if (!ok) return UsageError("convert: --quality は 0 から 100 です");
  if (auto size = args.Value("size")) {
    if (!ParseSize(*size, 1, 65535, option.width, option.height))
      return UsageError("convert: --size は WxH (1 から 65535) で指定してください: " + *size);
    option.sizeMode = CFileSaveOption::kGivenSize;
  } else if (auto scale = args.Value("scale")) {
    char *end = nullptr;
    const double f = std::strtod(scale->c_str(), &end);
    if (end == scale->c_str() || *end || !(f > 0) || f > 100)
      return UsageError("convert: --scale は 0 より大きく 100 以下の数です: " + *scale);
    option.scale = f;
    option.sizeMode = CFileSaveOption::kScaleFactor;
  } else if (args.Has("size") || args.Has("scale")) {
    option.sizeMode = CFileSaveOption::kKeepSize;
  }
  if (auto mode = args.Value("scale-mode")) {
    auto m = ParseInt(*mode, 0, 10);
    if (!m || (*m > 3 && *m != 10))
      return UsageError("convert: --scale-mode は 0, 1, 2, 3, 10 のいずれかです");
    option.scaleMode = static_cast<int>(*m);
  }
  if (args.Has("unsharp")) option.unsharp = 1;
  if (auto rotate = args.Value("rotate")) {
    auto r = ParseInt(*rotate, 0, 360);
    if (!r) return UsageError("convert: --rotate は 0 から 360 の角度です");
    option.rotateAngle = static_cast<int>(*r);
  }
  option.folder = AbsolutePath(*out);

  RecordingDecoders decoders(session.Decoders());
  auto *ui = dynamic_cast<TerminalUi *>(&Ui());
  const std::vector<Target> targets = CollectTargets(session, args.operands, true);
  // Without its folder nothing can be written; that is one failure, not one per picture.
  if (!targets.empty() && !EnsureFolder(option.folder, true)) {
    session.Fail(option.folder, "出力先フォルダを作成できません");
    return kExitFailed;
  }
  for (const Target &target : targets) {
    if (TerminalUi::AbortRequested()) break;
    CRXDoc *doc = session.Open(target);
    const std::size_t skippedBefore = ui ? ui->Skipped().size() : 0;
    const int unansweredBefore = ui ? ui->Unanswered() : 0;
    const int failuresBefore = ui ? ui->Failures() : 0;
    const int written = SaveSelectedInFormat(*doc, decoders, option);
    // A refused question ended the run; it has been reported already.
    if (ui && ui->Unanswered() > unansweredBefore) continue;
    if (TerminalUi::AbortRequested()) {
      session.Fail(target.folder, "中断しました");
      break;
    }
    // The engine counts what it wrote; name the pictures that gave nothing.
    int expected = 0, unreadable = 0;
    std::set<std::string> skipped;
    if (ui)
      skipped.insert(ui->Skipped().begin() + static_cast<std::ptrdiff_t>(skippedBefore), ui->Skipped().end());
    for (int i = 0; i < doc->GetEntryCount(); ++i) {
      CPicEntry *e = doc->GetEntry(i);
      if (!e || !e->IsSelected() || skipped.count(e->FilePath())) continue;
      ++expected;
      if (!decoders.decoded.count(SourceKey(*e))) {
        session.Fail(EntryLabel(*e), "画像を読み込めません");
        ++unreadable;
      }
    }
    // The engine names the files it could not write; anything else missing is counted here.
    if (written < expected - unreadable && (!ui || ui->Failures() == failuresBefore))
      session.Fail(option.folder,
                   std::to_string(expected - unreadable - written) + " 個のファイルを書き込めません");
  }
  return Finish(session);
}

int RunRename(Session &session) {
  const Args &args = session.Arguments();
  auto pattern = args.Value("pattern");
  if (!pattern || pattern->empty()) return UsageError("rename: --pattern で名前の形式を指定してください");
  if (!IsValidRenamePattern(*pattern))
    return UsageError(std::string("rename: ") + kBadRenamePattern + ": " + *pattern);
  CRenameOption option;
  option.Load();
  int number = option.firstNumber;
  if (auto start = args.Value("start")) {
    auto n = ParseInt(*start, 0, 10000);
    if (!n) return UsageError("rename: --start は 0 から 10000 です");
    number = static_cast<int>(*n);
  }
  if (args.operands.empty()) return UsageError("rename: ファイルを指定してください");
  for (const Target &target : CollectTargets(session, args.operands, false)) {
    CRXDoc *doc = session.Open(target);
    if (target.kind == Target::kFiles) {
      // Numbers follow the order the files were named in, not the order of the folder.
      std::vector<int> order;
      std::vector<bool> placed(static_cast<std::size_t>(doc->GetAllEntryCount()), false);
      for (const std::string &file : target.files) {
        for (int i = 0; i < doc->GetEntryCount(); ++i) {
          CPicEntry *e = doc->GetEntry(i);
          const int index = doc->GetEntryIndex(i);
          if (e && index >= 0 && !placed[static_cast<std::size_t>(index)] && e->FilePath() == file) {
            order.push_back(index);
            placed[static_cast<std::size_t>(index)] = true;
          }
        }
      }
      for (int i = 0; i < doc->GetEntryCount(); ++i) {
        const int index = doc->GetEntryIndex(i);
        if (index >= 0 && !placed[static_cast<std::size_t>(index)]) order.push_back(index);
      }
      doc->WriteOrderBack(order, nullptr);
    }
    // The files that take part, as the engine counts them, so numbering goes on across folders.
    int taking = 0;
    for (int i = 0; i < doc->GetEntryCount(); ++i) {
      CPicEntry *e = doc->GetEntry(i);
      if (e && e->IsSelected() && !e->IsArchiveMember() && FileExists(e->FullPath())) ++taking;
    }
    const RenameRun run = RenameSequential(*doc, *pattern, number);
    number += taking;
    for (const std::string &line : run.failures) session.Fail(target.folder, line);
  }
  return Finish(session);
}

int RunUnpack(Session &session) {
  const Args &args = session.Arguments();
  auto out = args.Value("out");
  if (!out || out->empty()) return UsageError("unpack: --out で解凍先フォルダを指定してください");
  if (args.operands.empty()) return UsageError("unpack: 書庫ファイルを指定してください");
  const std::string folder = AbsolutePath(*out);
  auto *ui = dynamic_cast<TerminalUi *>(&Ui());
  std::vector<std::string> archives;
  for (const std::string &operand : args.operands) {
    std::error_code ec;
    if (!fs::is_regular_file(operand, ec))
      session.Fail(operand, "書庫ファイルがありません");
    else
      archives.push_back(AbsolutePath(operand));
  }
  if (archives.empty()) return kExitFailed;
  // The unpack command creates its destination without asking.
  if (!EnsureFolder(folder, true)) {
    session.Fail(folder, "解凍先フォルダを作成できません");
    return kExitFailed;
  }
  PictureDecoders &listing = session.Decoders();
  // The unpack command replaces files without asking; --on-conflict asks it to do otherwise.
  // Files this run wrote itself are always asked about (the question answered by the option).
  UnpackRun run(listing, ui && ui->Options().sameNameAction.has_value());
  bool cancelled = false;
  for (const std::string &archive : archives) {
    if (TerminalUi::AbortRequested() || cancelled) break;
    std::string head;
    ReadFileHead(archive, 2048, head);
    head.resize(2048, '\0');
    const int plugin = listing.FindArchiveDecoder(
        archive, reinterpret_cast<const unsigned char *>(head.data()), head.size(), 0);
    std::vector<ArchiveMember> members;
    if (plugin < 0 || listing.ListArchive(plugin, archive, members) != 0) {
      session.Fail(archive, "書庫として読めません");
      continue;
    }
    auto progress = Ui().OpenProgress("書庫の解凍");
    progress->SetRange(0, static_cast<int>(members.size()));
    for (const ArchiveMember &m : members) {
      if (progress->Aborted()) {
        session.Fail(archive, "中断しました");
        break;
      }
      struct StepAfter {
        ProgressWindow &p;
        ~StepAfter() { p.Step(1); }
      } stepAfter{*progress};
      // Folder records write nothing; a name that would leave the folder is refused.
      if (m.name.empty()) continue;
      if (!IsFlatName(m.name)) {
        session.Fail(archive + ":" + m.name, "このファイル名では取り出せません");
        continue;
      }
      progress->SetText(m.name);
      const int r = run.Member(plugin, archive, m.position, m.name, m.fileSize, m.timeStamp, folder);
      // A refused or cancelled question has been reported; like Cancel it ends the run.
      if (r == kUnpackCancelled) {
        cancelled = true;
        break;
      }
      if (r != 0 && r != kUnpackSkipped) {
        const char *text = UnpackErrorText(r);
        session.Fail(archive + ":" + m.name, text ? text : "ﾌｧｲﾙ操作に失敗");
      }
    }
  }
  return Finish(session);
}

}  // namespace tamro::batch
