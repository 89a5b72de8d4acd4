#pragma once

// The HTML catalogue: the selected pictures of the folder as HTML pages built from a
// template of three sections (Header once per page, One per picture, Footer once per
// page), optionally with a JPEG thumbnail of every picture beside the pages.

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/picturefacts.h"
#include "output/history.h"
#include "picture/dibtypes.h"

namespace tamro {

class CPicEntry;
class CRXDoc;

class CHtmlTemplate {
 public:
  enum Section { kHeader, kOne, kFooter };

  CHtmlTemplate();  // the built-in template

  // Rebuilds the template: the built-in lines, then the file's lines (UTF-8, or CP932
  // from older installations). -1 when the file cannot be read; the built-in template
  // then stands.
  int LoadHtmlTemplate(const std::string &path);
  // One line by the template rules: "*Header", "*One", "*Footer" (any case, rest of the
  // line ignored) switch the section and drop its earlier lines; "#THUMBS_WIDTH=" and
  // "#THUMBS_HEIGHT=" set the thumbnail box; anything else joins the current section.
  void AddTemplateLine(std::string_view line);
  void LoadBuiltIn();

  const std::vector<std::string> &Lines(Section s) const { return lines_[s]; }
  int thumbsWidth = 160, thumbsHeight = 120;

 private:
  std::vector<std::string> lines_[3];
  Section current_ = kOne;
  bool replaceOne_ = false;  // the next text line starts One afresh (file text before any marker)
};

// The example template shipped with Tamro ("sample.rxm" in its shared data folder), or
// empty when it is not there.
std::string ExampleHtmlTemplate();

// The lines of the built-in template, markers included.
const std::vector<std::string> &BuiltInHtmlTemplate();

// The facts of one picture that the template tokens show.
struct HtmlPicture {
  std::string folder;  // folder of the file (of the archive for a member)
  std::string name;    // file name (member name for a member)
  std::string path;    // full path: folder + "/" + name, or the member name
  PictureFacts facts;
  std::time_t lastWrite = 0;
  uint64_t size = 0;
  std::string info, note;
};
HtmlPicture HtmlPictureOf(const CPicEntry &entry);

// The relative path from one folder to another: "../" steps up to the common folder, then
// the names down from it, each followed by "/" ("" for the same folder). None when the
// folders lie on different file systems or a path cannot be made absolute.
std::optional<std::string> RelativePath(const std::string &fromFolder, const std::string &toFolder);

// Percent-encodes everything but unreserved characters and "/", so a link to a name with
// blanks, "#", "&", "%" or Japanese characters still works.
std::string EncodeLinkPath(std::string_view path);
// "&", "<", ">", '"' and "'" as character references.
std::string EscapeHtml(std::string_view text);

// The file of page `page` (from 1): the output file itself, then "catalog-2.htm" ...
std::string HtmlPageName(const std::string &outputFile, int page);

// Decodes an entry's picture with the automatic scaling method, fitted into a box of
// width x height, or at full size for 0 x 0. The caller owns the result; null on failure.
using EntryPictureLoader = std::function<HDIB(CPicEntry &entry, int boxWidth, int boxHeight)>;

// The logic of the "HTMLの作成" dialog, section "Html".
class CHtmlOption {
 public:
  CHtmlOption();
  // Histories and numbers from the settings; the texts start as the first history items
  // ("catalog.htm" for an empty name history).
  void Load();
  // "作成": false (the dialog stays open and says Refusal()) for an empty folder or name,
  // or a folder that cannot be made absolute. An empty template means the built-in one.
  // Otherwise moves each text as typed to the top of its history (an empty template stays
  // out of it), writes the histories and numbers, and sets the output folder (absolute) and
  // name (with ".html" added when it has no extension).
  bool Accept();
  // Why Accept refuses the texts as they are; empty when it would take them.
  std::string Refusal() const;
  // The template history followed by the example template shipped with Tamro, when it is
  // there and not in the history already.
  std::vector<std::string> TemplateChoices() const;
  // Output folder joined with the output name; valid after Accept.
  std::string OutputFile() const;

  const TextHistory &Folders() const { return folders_; }
  const TextHistory &FileNames() const { return fileNames_; }
  const TextHistory &Templates() const { return templates_; }

  std::string folder, fileName, templateFile;  // as typed
  std::string currentFolder;  // the folder shown; relative folder and template are taken from it
  std::string outputFolder, outputName;
  int pageCount = 0;  // pictures per page, 0 to 100; 0 means no limit
  bool jpegSave = false;
  int jpegQuality = 95;  // 0 to 100
  bool jpegResize = false;

 private:
  TextHistory folders_, fileNames_, templates_;
};

class CHtmlCatalog {
 public:
  CHtmlCatalog(CRXDoc &doc, EntryPictureLoader loader);

  // Takes the numbers of the dialog and loads its template.
  void Configure(const CHtmlOption &option);

  // Writes the pages (and thumbnails) under temporary names and puts them in place together
  // once all are written. On a page or thumbnail that cannot be written, or an abort,
  // nothing of the run is put in place, so the catalogue that was there stays as it was;
  // "HTMLファイルの書き込みに失敗しました" is shown and the answer is false.
  bool WriteHtmlCatalogue(const std::string &outputFile);

  // The line with every token replaced. Values are never searched again, so a name or a
  // note that holds a token is shown as it is. Tokens that need a picture are empty
  // without one.
  std::string SubstituteTokens(std::string_view line, const HtmlPicture *picture, const std::string &pageFolder) const;

  CHtmlTemplate tmpl;
  int pageCount = 0;
  bool jpegSave = false;
  int jpegQuality = 95;
  bool jpegResize = false;

  // State of the run, also shown by the tokens.
  int pageNo = 1, maxPageNo = 1;
  int displayWidth = 0, displayHeight = 0;
  std::string outputFile;
  std::string thumbName;  // "Tm-name.jpg" of the current picture with JPEG thumbnails

 private:
  class Pending;
  // Adds the picture's block to the page text and writes its thumbnail; false on a failed write.
  bool WritePictureBlock(std::string &page, Pending &pending, CPicEntry &entry,
                         const std::string &pageFolder);
  std::string LinkTo(const HtmlPicture &picture, const std::string &pageFolder) const;

  CRXDoc &doc_;
  EntryPictureLoader loader_;
};

}  // namespace tamro
