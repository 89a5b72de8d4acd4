#include "output/htmlcatalog.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "catalogue/macros.h"
#include "catalogue/notestore.h"
#include "catalogue/picentry.h"
#include "catalogue/rxdoc.h"
#include "picture/dib.h"
#include "picture/dibjpeg.h"
#include "platform/fileio.h"
#include "platform/globalhandle.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/startup.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace tamro {

namespace fs = std::filesystem;

// ---------------------------------------------------------------- template

namespace {

// A neutral page of the program stands in the footer as the maker's link.
constexpr const char *kMakerLink = "<A HREF=\"https://tamro.example/\">https://tamro.example/</A>";

void AddNavigationRow(std::vector<std::string> &lines) {
  for (const char *line : {
           "<TR>",
           "<TD WIDTH=\"33%\" ALIGN=\"CENTER\" BGCOLOR=\"#8080ff\" HEIGHT=\"24\">",
           "<FONT COLOR=\"#000000\">",
           "<A HREF=\"$PREV_PAGE$\">前の頁へ</A>",
           "</FONT>",
           "</TD>",
           "<TD WIDTH=\"34%\" ALIGN=\"CENTER\" BGCOLOR=\"#80ffff\">",
           "<FONT COLOR=\"#000000\">",
           "$PAGENO$頁目/$MAXPAGENO$頁中",
           "</FONT>",
           "</TD>",
           "<TD WIDTH=\"33%\" ALIGN=\"CENTER\" BGCOLOR=\"#8080ff\">",
           "<FONT COLOR=\"#000000\">",
           "<A HREF=\"$NEXT_PAGE$\">次の頁へ</A>",
           "</FONT>",
           "</TD>",
           "</TR>",
       })
    lines.push_back(line);
}

std::vector<std::string> MakeBuiltIn() {
  std::vector<std::string> l = {
      "*Header",
      "#THUMBS_WIDTH=160",
      "#THUMBS_HEIGHT=120",
      "<BODY BGCOLOR=\"#000000\" TEXT=\"#ffffff\">",
      "<P></P>",
      "<CENTER>",
      "<P>",
      "<TABLE WIDTH=\"100%\" HEIGHT=\"47\" BORDER=\"0\" CELLSPACING=\"3\" CELLPADDING=\"0\">",
      "<TR>",
      "<TD COLSPAN=\"3\" BGCOLOR=\"#ffffff\">",
      "<FONT COLOR=\"#000000\">",
      "Original Directory: $FOLDER$",
      "</FONT>",
      "</TD>",
      "</TR>",
  };
  AddNavigationRow(l);
  for (const char *line :
       {"</TABLE>",
        "<BR>",
        "</P>",
        "*One",
        "<TABLE WIDTH=\"640\" HEIGHT=\"137\" BORDER=\"1\" CELLSPACING=\"0\" CELLPADDING=\"3\">",
        "<TR>",
        "<TD WIDTH=\"172\" ROWSPAN=\"6\">",
        "<CENTER>",
        "<A HREF=\"$ORGPATHNAME$\">",
        "<IMG SRC=\"$THUMBSNAME$\" WIDTH=\"$WIDTH$\" HEIGHT=\"$HEIGHT$\" ALIGN=\"BOTTOM\" "
        "NATURALSIZEFLAG=\"0\" BORDER=\"0\"></A>",
        "</CENTER>",
        "</TD>",
        "<TD WIDTH=\"109\" HEIGHT=\"20\">名前</TD><TD WIDTH=\"348\" HEIGHT=\"20\">",
        "$ORGFILENAME$",
        "</TD>",
        "</TR>",
        "<TR><TD HEIGHT=\"20\">解像度</TD><TD>$PIXEL$</TD></TR>",
        "<TR><TD HEIGHT=\"20\">情報</TD><TD>$INFO$</TD></TR>",
        "<TR><TD HEIGHT=\"20\">文書</TD><TD>$DOC$</TD></TR>",
        "<TR><TD HEIGHT=\"20\">NOTE</TD><TD>$NOTE$</TD></TR>",
        "<TR><TD HEIGHT=\"20\">　</TD><TD>　</TD></TR>",
        "</TABLE>",
        "*Footer",
        "<P>",
        "<TABLE WIDTH=\"100%\" HEIGHT=\"47\" BORDER=\"0\" CELLSPACING=\"3\" CELLPADDING=\"0\">"})
    l.push_back(line);
  AddNavigationRow(l);
  for (const char *line :
       {"<TR>", "<TD ALIGN=\"right\" COLSPAN=\"3\" BGCOLOR=\"#ffffff\">", "<FONT COLOR=\"#000000\">",
        kMakerLink, "</FONT>", "</TD>", "</TR>", "</TABLE>", "<BR>", "</P>", "</CENTER>", "</BODY>"})
    l.push_back(line);
  return l;
}

// The whole number after "=", saturated; nullopt when there is none.
std::optional<int> NumberAfterEquals(std::string_view line) {
  std::size_t eq = line.find('=');
  std::string digits(TrimBlanks(line.substr(eq + 1)));
  if (digits.empty()) return std::nullopt;
  errno = 0;
  char *end = nullptr;
  long v = std::strtol(digits.c_str(), &end, 10);
  if (end == digits.c_str()) return std::nullopt;
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  return static_cast<int>(v);
}

}  // namespace

const std::vector<std::string> &BuiltInHtmlTemplate() {
  static const std::vector<std::string> kLines = MakeBuiltIn();
  return kLines;
}

CHtmlTemplate::CHtmlTemplate() { LoadBuiltIn(); }

void CHtmlTemplate::LoadBuiltIn() {
  for (auto &l : lines_) l.clear();
  thumbsWidth = 160;
  thumbsHeight = 120;
  current_ = kOne;
  replaceOne_ = false;
  for (const std::string &line : BuiltInHtmlTemplate()) AddTemplateLine(line);
}

void CHtmlTemplate::AddTemplateLine(std::string_view line) {
  auto start = [&](Section s) {
    current_ = s;
    lines_[s].clear();
    replaceOne_ = false;
  };
  if (StartsWithNoCase(line, "*Header")) return start(kHeader);
  if (StartsWithNoCase(line, "*One")) return start(kOne);
  if (StartsWithNoCase(line, "*Footer")) return start(kFooter);
  // A box of no size, or of a size no picture could be scaled to, is not taken.
  constexpr int kLargestBox = 16384;
  if (StartsWithNoCase(line, "#THUMBS_WIDTH=")) {
    if (auto v = NumberAfterEquals(line); v && *v > 0 && *v <= kLargestBox) thumbsWidth = *v;
    return;
  }
  if (StartsWithNoCase(line, "#THUMBS_HEIGHT=")) {
    if (auto v = NumberAfterEquals(line); v && *v > 0 && *v <= kLargestBox) thumbsHeight = *v;
    return;
  }
  if (replaceOne_) {
    lines_[kOne].clear();
    replaceOne_ = false;
  }
  lines_[current_].emplace_back(line);
}

int CHtmlTemplate::LoadHtmlTemplate(const std::string &path) {
  LoadBuiltIn();
  std::ifstream file(path, std::ios::binary);
  if (!file) return -1;
  std::ostringstream bytes;
  bytes << file.rdbuf();
  if (file.bad()) return -1;
  std::string text = LegacyToUtf8(bytes.str());
  // Lines before the file's first marker make a new One section.
  current_ = kOne;
  replaceOne_ = true;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    AddTemplateLine(line);
    at = end + 1;
  }
  return 0;
}

std::string ExampleHtmlTemplate() {
  const std::string folder = DataFolder();
  if (folder.empty()) return {};
  std::string path = folder + "/sample.rxm";
  std::error_code ec;
  return fs::is_regular_file(path, ec) ? path : std::string();
}

// ---------------------------------------------------------------- paths and text

std::optional<std::string> RelativePath(const std::string &fromFolder, const std::string &toFolder) {
  std::error_code ec;
  if (fromFolder.empty() || toFolder.empty()) return std::nullopt;
  fs::path from = fs::absolute(fromFolder, ec).lexically_normal();
  if (ec) return std::nullopt;
  fs::path to = fs::absolute(toFolder, ec).lexically_normal();
  if (ec) return std::nullopt;
  // A file system mounted elsewhere is the stand-in for another drive.
  struct stat a {
  }, b{};
  if (stat(from.c_str(), &a) == 0 && stat(to.c_str(), &b) == 0 && a.st_dev != b.st_dev) return std::nullopt;

  std::vector<std::string> f, t;
  for (const auto &part : from)
    if (!part.empty() && part != "/" && part != ".") f.push_back(part.string());
  for (const auto &part : to)
    if (!part.empty() && part != "/" && part != ".") t.push_back(part.string());
  std::size_t common = 0;
  while (common < f.size() && common < t.size() && f[common] == t[common]) ++common;
  std::string result;
  for (std::size_t i = common; i < f.size(); ++i) result += "../";
  for (std::size_t i = common; i < t.size(); ++i) result += t[i] + "/";
  return result;
}

std::string EncodeLinkPath(std::string_view path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : path) {
    unsigned char c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~' || c == '/') {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string HtmlPageName(const std::string &outputFile, int page) {
  if (page <= 1) return outputFile;
  return PathPart(outputFile, kPathFolder | kPathName) + "-" + std::to_string(page) +
         PathPart(outputFile, kPathExt);
}

HtmlPicture HtmlPictureOf(const CPicEntry &e) {
  HtmlPicture p;
  p.folder = e.Folder();
  p.name = e.name;
  p.path = e.FullPath();
  p.facts = e.facts;
  p.lastWrite = static_cast<std::time_t>(e.lastWriteTime / kNanosPerSecond);
  if (e.lastWriteTime % kNanosPerSecond < 0) --p.lastWrite;
  p.size = e.size;
  p.info = e.Description();
  p.note = e.Note();
  return p;
}

// ---------------------------------------------------------------- options

CHtmlOption::CHtmlOption()
    : folders_("Html", "Folder", 10),
      fileNames_("Html", "FileName", 10),
      templates_("Html", "HtmlFile", 10) {}

namespace {
int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }
}  // namespace

void CHtmlOption::Load() {
  folders_.Load();
  fileNames_.Load();
  templates_.Load();
  folder = folders_.First();
  fileName = fileNames_.First("catalog.htm");
  templateFile = templates_.First();
  const Profile &p = Profile::App();
  pageCount = Clamp(p.GetInt("Html", "PageCount", 0), 0, 100);
  jpegSave = p.GetInt("Html", "JpegSave", 0) != 0;
  jpegQuality = Clamp(p.GetInt("Html", "JpegQuality", 95), 0, 100);
  jpegResize = p.GetInt("Html", "JpegResize", 0) != 0;
}

std::string CHtmlOption::Refusal() const {
  if (folder.empty()) return "保存先フォルダを指定してください";
  if (fileName.empty()) return "ファイル名書式を指定してください";
  if (ResolvePath(folder, currentFolder).empty()) return folder + " \nフォルダの指定が正しくありません";
  return {};
}

std::vector<std::string> CHtmlOption::TemplateChoices() const {
  std::vector<std::string> choices = templates_.items();
  const std::string example = ExampleHtmlTemplate();
  if (!example.empty() && std::find(choices.begin(), choices.end(), example) == choices.end())
    choices.push_back(example);
  return choices;
}

bool CHtmlOption::Accept() {
  if (!Refusal().empty()) return false;
  folders_.Promote(folder);
  fileNames_.Promote(fileName);
  if (!templateFile.empty()) templates_.Promote(templateFile);
  folders_.Save();
  fileNames_.Save();
  templates_.Save();
  pageCount = Clamp(pageCount, 0, 100);
  jpegQuality = Clamp(jpegQuality, 0, 100);
  Profile &p = Profile::App();
  p.WriteInt("Html", "PageCount", pageCount);
  p.WriteInt("Html", "JpegSave", jpegSave ? 1 : 0);
  p.WriteInt("Html", "JpegQuality", jpegQuality);
  p.WriteInt("Html", "JpegResize", jpegResize ? 1 : 0);
  outputName = fileName;
  if (PathPart(outputName, kPathExt).empty()) outputName += ".html";
  outputFolder = ResolvePath(folder, currentFolder);
  return true;
}

std::string CHtmlOption::OutputFile() const {
  if (outputFolder.empty() || outputFolder.back() == '/') return outputFolder + outputName;
  return outputFolder + "/" + outputName;
}

// ---------------------------------------------------------------- the catalogue

CHtmlCatalog::CHtmlCatalog(CRXDoc &doc, EntryPictureLoader loader) : doc_(doc), loader_(std::move(loader)) {}

void CHtmlCatalog::Configure(const CHtmlOption &option) {
  pageCount = option.pageCount;
  jpegSave = option.jpegSave;
  jpegQuality = option.jpegQuality;
  jpegResize = option.jpegResize;
  // A relative template that cannot be placed counts as none: the built-in one.
  tmpl.LoadHtmlTemplate(option.templateFile.empty() ? std::string()
                                                    : ResolvePath(option.templateFile, option.currentFolder));
}

std::string CHtmlCatalog::LinkTo(const HtmlPicture &picture, const std::string &pageFolder) const {
  if (auto relative = RelativePath(pageFolder, picture.folder))
    return EncodeLinkPath(*relative + picture.name);
  std::error_code ec;
  std::string full = fs::absolute(picture.path, ec).lexically_normal().string();
  if (ec) full = picture.path;
  return "file://" + EncodeLinkPath(full);
}

namespace {

enum Token {
  kOrgPathName,
  kFileName,
  kWidthTok,
  kHeightTok,
  kOrgFileName,
  kPixel,
  kInfoTok,
  kDoc,
  kPrevPage,
  kPageNo,
  kNextPage,
  kFolder,
  kMaxPageNo,
  kPathNameTok,
  kThumbsName,
  kNoteTok
};

constexpr std::string_view kTokens[] = {
    "$ORGPATHNAME$", "$FILENAME$", "$WIDTH$",      "$HEIGHT$", "$ORGFILENAME$", "$PIXEL$",
    "$INFO$",        "$DOC$",      "$PREV_PAGE$",  "$PAGENO$", "$NEXT_PAGE$",   "$FOLDER$",
    "$MAXPAGENO$",   "$PATHNAME$", "$THUMBSNAME$", "$NOTE$",
};
static_assert(std::size(kTokens) == 16);

// CR LF, a lone CR and a lone LF each end one line of a note.
std::string NoteHtml(std::string_view note) {
  std::string escaped = EscapeHtml(note), out;
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    char c = escaped[i];
    if (c == '\r') {
      out += "<BR>";
      if (i + 1 < escaped.size() && escaped[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "<BR>";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string CHtmlCatalog::SubstituteTokens(std::string_view line, const HtmlPicture *picture,
                                           const std::string &pageFolder) const {
  auto value = [&](int token) -> std::string {
    std::string bareName = PathPart(outputFile, kPathName), ext = PathPart(outputFile, kPathExt);
    switch (token) {
      case kWidthTok:
        return std::to_string(displayWidth);
      case kHeightTok:
        return std::to_string(displayHeight);
      case kPrevPage:
        if (pageNo <= 1) return {};
        if (pageNo == 2) return EncodeLinkPath(PathPart(outputFile, kPathName | kPathExt));
        return EncodeLinkPath(bareName + "-" + std::to_string(pageNo - 1) + ext);
      case kPageNo:
        return std::to_string(pageNo);
      case kNextPage:
        if (pageNo >= maxPageNo) return {};
        return EncodeLinkPath(bareName + "-" + std::to_string(pageNo + 1) + ext);
      case kFolder:
        return EscapeHtml(doc_.Folder());
      case kMaxPageNo:
        return std::to_string(maxPageNo);
      default:
        break;
    }
    if (!picture) return {};
    switch (token) {
      case kOrgPathName:
        return LinkTo(*picture, pageFolder);
      case kFileName:
      case kOrgFileName:
        return EscapeHtml(picture->name);
      case kPixel:
        return std::to_string(picture->facts.width) + "x" + std::to_string(picture->facts.height) + " " +
               std::to_string(picture->facts.bitCount) + "bit";
      case kInfoTok: {
        std::tm tm{};
        char stamp[64] = "";
        if (localtime_r(&picture->lastWrite, &tm))
          std::strftime(stamp, sizeof stamp, "%Y/%m/%d %H:%M:%S", &tm);
        return std::string(stamp) + " " + std::to_string(picture->size) + " bytes";
      }
      case kDoc:
        return picture->info.empty() ? "　" : EscapeHtml(picture->info);
      case kPathNameTok:
        return EscapeHtml(picture->path);
      case kThumbsName:
        return jpegSave ? EncodeLinkPath(thumbName) : LinkTo(*picture, pageFolder);
      case kNoteTok:
        return picture->note.empty() ? "　" : NoteHtml(picture->note);
      default:
        return {};
    }
  };

  // The line as pieces of template text and inserted values; passes try the tokens in
  // table order on the template pieces only, until a pass finds none.
  struct Piece {
    std::string text;
    bool value;
  };
  std::vector<Piece> pieces{{std::string(line), false}};
  for (bool found = true; found;) {
    found = false;
    for (int t = 0; t < 16; ++t) {
      for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (pieces[i].value) continue;
        std::size_t at = pieces[i].text.find(kTokens[t]);
        if (at == std::string::npos) continue;
        std::string before = pieces[i].text.substr(0, at);
        std::string after = pieces[i].text.substr(at + kTokens[t].size());
        pieces[i] = {std::move(before), false};
        pieces.insert(pieces.begin() + static_cast<std::ptrdiff_t>(i) + 1, {value(t), true});
        pieces.insert(pieces.begin() + static_cast<std::ptrdiff_t>(i) + 2, {std::move(after), false});
        found = true;
        break;
      }
    }
  }
  std::string out;
  for (const Piece &p : pieces) out += p.text;
  return out;
}

namespace {

void AddLine(std::string &page, std::string_view line) {
  page += line;
  page += "\r\n";
}

}  // namespace

// The pages and thumbnails of one run, each written under a temporary name beside its place
// and put in place together when the whole catalogue is written. What is dropped (a failed
// run) leaves nothing behind and touches no file that was there.
class CHtmlCatalog::Pending {
 public:
  // A new temporary file for `path`; null when `path` may not be replaced (a folder, a file
  // the user may not write) or the temporary file cannot be made. Writers Finish it, so a
  // large catalogue never holds a descriptor per file.
  AtomicFile *Open(const std::string &path) {
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(path, ec)) || !MayReplace(path)) return nullptr;
    auto file = std::make_unique<AtomicFile>(path);
    if (!file->ok()) return nullptr;
    files_.push_back(std::move(file));
    return files_.back().get();
  }

  // Puts every file in place in the order written, so a later thumbnail of the same name
  // wins. Should one fail there, the files this run put where nothing was are removed again.
  bool Commit() {
    std::vector<std::string> created;
    for (const auto &file : files_) {
      struct stat st {};
      const bool isNew = ::lstat(file->path().c_str(), &st) != 0;
      if (!file->Commit()) {
        for (const std::string &path : created) ::unlink(path.c_str());
        return false;
      }
      if (isNew) created.push_back(file->path());
    }
    return true;
  }

 private:
  std::vector<std::unique_ptr<AtomicFile>> files_;  // each removes its temporary unless committed
};

bool CHtmlCatalog::WritePictureBlock(std::string &page, Pending &pending, CPicEntry &entry,
                                     const std::string &pageFolder) {
  GlobalHandle picture(
      loader_ ? loader_(entry, jpegResize ? tmpl.thumbsWidth : 0, jpegResize ? tmpl.thumbsHeight : 0)
              : nullptr);
  int w = picture ? DibWidth(picture.get()) : 0;
  int h = picture ? DibHeight(picture.get()) : 0;
  if (h < 0) h = -h;
  if (w <= 0 || h <= 0) return true;  // nothing to show for this one

  double scale =
      std::min(static_cast<double>(tmpl.thumbsWidth) / w, static_cast<double>(tmpl.thumbsHeight) / h);
  displayWidth = static_cast<int>(scale * w);
  displayHeight = static_cast<int>(scale * h);

  // The note may not have been read yet (the grid never reached the entry); only a block
  // that shows it reads it.
  const auto &block = tmpl.Lines(CHtmlTemplate::kOne);
  if (std::any_of(block.begin(), block.end(),
                  [](const std::string &line) { return line.find(kTokens[kNoteTok]) != std::string::npos; }))
    ReadEntryNote(entry);
  HtmlPicture facts = HtmlPictureOf(entry);
  thumbName.clear();
  if (jpegSave) {
    thumbName = "Tm-" + PathPart(entry.name, kPathName) + ".jpg";
    GlobalHandle converted;
    HDIB source = picture.get();
    HDIB bgr = DibTo24Bit(source);
    if (bgr && bgr != source) converted.reset(bgr);
    if (bgr) {
      // A thumbnail that cannot be written leaves the catalogue incomplete: the run fails.
      AtomicFile *thumb = pending.Open(pageFolder + "/" + thumbName);
      if (!thumb || WriteDibAsJpeg(thumb->fd(), bgr, 1, jpegQuality, nullptr, 0) != 1 || !thumb->Finish())
        return false;
    }
  }
  for (const std::string &line : tmpl.Lines(CHtmlTemplate::kOne))
    AddLine(page, SubstituteTokens(line, &facts, pageFolder));
  return true;
}

bool CHtmlCatalog::WriteHtmlCatalogue(const std::string &output) {
  outputFile = output;
  displayWidth = displayHeight = 0;
  thumbName.clear();
  std::string pageFolder = PathPart(output, kPathDrive | kPathFolder);
  if (pageFolder.empty()) pageFolder = ".";

  const int count = doc_.GetEntryCount();
  int selected = 0;
  for (int i = 0; i < count; ++i)
    if (CPicEntry *e = doc_.GetEntry(i); e && e->IsSelected()) ++selected;

  std::unique_ptr<ProgressWindow> progress = Ui().OpenProgress("HTMLの作成中");
  progress->SetRange(0, selected);
  bool wasBusy = doc_.IsBusy();
  doc_.SetBusy(true);

  int perPage = (pageCount >= 1 && pageCount < selected) ? pageCount : selected;
  // No selection still makes one page (header and footer), never a division by zero.
  maxPageNo = (pageCount > 0 && perPage > 0) ? (selected + perPage - 1) / perPage : 1;

  bool failed = false;
  {
    Pending pending;
    int next = 0;  // entry where the next page starts
    for (pageNo = 1; pageNo <= maxPageNo && !failed; ++pageNo) {
      AtomicFile *file = pending.Open(HtmlPageName(output, pageNo));
      if (!file) {
        failed = true;
        break;
      }
      std::string page;
      for (const char *line : {"<HTML>", "<HEAD>", "<META NAME=\"GENERATOR\" CONTENT=\"QEV Tamro\">",
                               "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html;CHARSET=UTF-8\">",
                               "<TITLE>Tamro Catalog</TITLE>", "</HEAD>"})
        AddLine(page, line);
      for (const std::string &line : tmpl.Lines(CHtmlTemplate::kHeader))
        AddLine(page, SubstituteTokens(line, nullptr, pageFolder));

      bool ok = true;
      int onPage = 0;
      for (; ok && next < count && onPage < perPage; ++next) {
        CPicEntry *entry = doc_.GetEntry(next);
        if (!entry || !entry->IsSelected()) continue;
        if (progress->Aborted()) {
          ok = false;
          break;
        }
        progress->SetText(entry->name);
        ok = WritePictureBlock(page, pending, *entry, pageFolder);
        progress->Step(1);
        ++onPage;
      }
      for (const std::string &line : tmpl.Lines(CHtmlTemplate::kFooter))
        AddLine(page, SubstituteTokens(line, nullptr, pageFolder));
      AddLine(page, "</HTML>");
      if (!ok || !file->Write(page) || !file->Finish()) failed = true;
    }
    if (!failed && !pending.Commit()) failed = true;
  }
  if (failed) Ui().MessageBox("HTMLファイルの書き込みに失敗しました", "Tamro", MB_OK | MB_ICONEXCLAMATION);
  doc_.SetBusy(wasBusy);
  progress.reset();
  return !failed;
}

}  // namespace tamro
