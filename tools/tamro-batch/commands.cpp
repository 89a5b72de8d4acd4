#include "tools/tamro-batch/commands.h"

#include <QPdfWriter>
#include <cstdio>
#include <filesystem>
#include <set>

#include "output/contactsheet.h"
#include "output/htmlcatalog.h"
#include "output/printdevice.h"
#include "output/printdocsource.h"
#include "output/printlayout.h"
#include "output/printoption.h"
#include "output/report.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "tools/tamro-batch/session.h"

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
  std::vector<Target> targets = CollectTargets(session, args.operands, false);
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

int Finish(Session &session) { return session.Failures() > 0 ? kExitFailed : kExitOk; }

// Whether a record of the store was made for this cell area with switches at least as
// good as the entry's, so that it can stay as it is.
bool RecordFits(CThumbStore &store, const CPicEntry &e, const CellRect &rect) {
  const CThumbFolder &folder = store.GetFolder(e.Folder());
  const ThumbRecord *r = folder.Find(e.name, e.ArchiveName());
  if (!r) return false;
  const ThumbRecordHeader &h = r->header;
  return h.boxWidth == rect.right - rect.left && h.boxHeight == rect.bottom - rect.top &&
         h.scaleMode >= e.switches.scaleMode && (h.unsharp != 0) == (e.switches.unsharp != 0);
}

// Builds and stores the thumbnails of every displayed entry of the document; one write of
// the store per folder at the end.
void BuildThumbs(Session &session, CRXDoc &doc, const std::string &caption) {
  CThumbBuilder &builder = session.Builder();
  CThumbStore &store = session.Store();
  const int count = doc.GetEntryCount();
  if (count == 0) return;
  auto progress = Ui().OpenProgress(caption);
  progress->SetRange(0, count);
  const CellSize cell = doc.ThumbsSize();
  std::set<std::string> folders;
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
    progress->SetText(e->name);
    folders.insert(e->Folder());
    e->useCache = RecordFits(store, *e, rect);
    if (builder.EnsureThumbnail(*e, nullptr, rect, true) != 0 || !e->thumbnail) {
      session.Fail(e->IsArchiveMember() ? e->ArchivePath() + ":" + e->name : e->FullPath(),
                   "画像を読み込めません");
    } else if (!e->stored) {
      if (store.Add(*e, CThumbStore::kQuality) == 1)
        e->stored = true;
      else
        session.Fail(e->FullPath(), "サムネイルを保存できません");
    }
    e->FreePictures();
    progress->Step(1);
  }
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
  for (const Target &t : CollectTargets(session, args.operands, false)) {
    if (t.kind != Target::kFolder) {
      targets.push_back(t);
      continue;
    }
    targets.push_back(t);
    if (!recursive) continue;
    // Every folder below gets its own store; links are not followed, so a loop cannot form.
    std::error_code ec;
    std::vector<std::string> below;
    for (fs::recursive_directory_iterator it(t.folder, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
      std::error_code sec;
      if (it->is_directory(sec) && !it->is_symlink(sec)) below.push_back(it->path().string());
    }
    std::sort(below.begin(), below.end());
    for (const std::string &folder : below) targets.push_back(Target{Target::kFolder, folder, {}});
  }
  for (const Target &t : targets) {
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
    option.templateFile = *t;
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
  if (!SingleTarget(session, target, status)) return status;
  CRXDoc *doc = session.Open(target);
  if (doc->CountSelected(true) == 0) {
    session.Fail(target.folder, "対象の画像がありません");
    return kExitFailed;
  }
  const std::string folder = AbsolutePath(*out);
  if (!EnsureOutputFolder(folder)) {
    session.Fail(folder, "出力先フォルダがありません");
    return kExitFailed;
  }
  CHtmlCatalog catalog(*doc, [&session](CPicEntry &e, int w, int h) { return session.LoadPicture(e, w, h); });
  catalog.Configure(option);
  if (!catalog.WriteHtmlCatalogue(folder + "/" + option.fileName)) session.Fail(folder + "/" + option.fileName, "HTMLファイルの書き込みに失敗しました");
  return Finish(session);
}

int RunSheet(Session &session) {
  const Args &args = session.Arguments();
  auto out = args.Value("out");
  if (!out || out->empty()) return UsageError("sheet: --out で出力ファイルを指定してください");
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
  if (!SingleTarget(session, target, status)) return status;
  CRXDoc *doc = session.Open(target);
  if (doc->CountSelected(true) == 0) {
    session.Fail(target.folder, "対象の画像がありません");
    return kExitFailed;
  }
  if (!EnsureOutputFolder(fs::path(path).parent_path().string())) {
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
  if (!out || out->empty()) return UsageError("report: --out で出力ファイルを指定してください");
  CReportOption option;
  option.Load();
  const std::string format = args.Value("format").value_or(option.format);
  Target target;
  int status = kExitOk;
  if (!SingleTarget(session, target, status)) return status;
  CRXDoc *doc = session.Open(target);
  // The main window knows the picture facts once it has seen the thumbnails; here they come
  // from the thumbnail store when it has a record, else from building the thumbnail.
  const CellSize cell = doc->ThumbsSize();
  for (int i = 0; i < doc->GetEntryCount(); ++i) {
    CPicEntry *e = doc->GetEntry(i);
    if (!e || !e->IsSelected() || (e->pictureWidth > 0 && e->pictureHeight > 0)) continue;
    const CellRect rect = session.Cells().Layout(*e, 0, 0, cell.width, cell.height).picture;
    e->useCache = RecordFits(session.Store(), *e, rect);
    session.Builder().EnsureThumbnail(*e, nullptr, rect, true);
    e->FreePictures();
  }
  const std::string path = AbsolutePath(*out);
  if (!WriteReportFile(*doc, path, format)) session.Fail(path, "レポートファイルを作成できません");
  return Finish(session);
}

int RunPrint(Session &session) {
  const Args &args = session.Arguments();
  auto pdf = args.Value("pdf");
  if (!pdf || pdf->empty()) return UsageError("print: --pdf で出力するPDFファイルを指定してください");
  CPrintOption option;
  option.Load();
  std::string definition = option.definitionFile;
  if (auto d = args.Value("definition")) {
    if (!fs::is_regular_file(*d)) return UsageError("print: 印刷定義ファイルがありません: " + *d);
    definition = *d;
  }
  Target target;
  int status = kExitOk;
  if (!SingleTarget(session, target, status)) return status;
  CRXDoc *doc = session.Open(target);
  if (doc->CountSelected(true) == 0) {
    session.Fail(target.folder, "対象の画像がありません");
    return kExitFailed;
  }
  const std::string path = AbsolutePath(*pdf);
  CPdfPrintDevice device(path);
  CPrintDocSource source(*doc, [&session](CPicEntry &e) { return session.LoadPicture(e, 0, 0); }, &session.Icons());
  CPrintLayout layout(source);
  if (layout.PrintSelected(device, definition) <= 0) session.Fail(path, "印刷できません");
  return Finish(session);
}

int RunConvert(Session &) {
  std::fprintf(stderr, "tamro-batch: convert: この版では使用できません (画像形式で保存する機能がありません)\n");
  return kExitUsage;
}

int RunRename(Session &) {
  std::fprintf(stderr, "tamro-batch: rename: この版では使用できません (連番で名前を変更する機能がありません)\n");
  return kExitUsage;
}

int RunUnpack(Session &) {
  std::fprintf(stderr, "tamro-batch: unpack: この版では使用できません (書庫から取り出す機能がありません)\n");
  return kExitUsage;
}

}  // namespace tamro::batch
