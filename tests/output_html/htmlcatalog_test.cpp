#include "output/htmlcatalog.h"

#include <gtest/gtest.h>

#include <map>
#include <algorithm>

#include "catalogue/notestore.h"
#include "output_macros/testfolder.h"
#include "picture/dib.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "support/mounts.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

bool Contains(const std::vector<std::string> &lines, const std::string &line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(HtmlTemplate, BuiltInSections) {
  CHtmlTemplate t;
  EXPECT_EQ(std::tuple(t.thumbsWidth, t.thumbsHeight), std::tuple(160, 120));
  const auto &header = t.Lines(CHtmlTemplate::kHeader);
  ASSERT_FALSE(header.empty());
  EXPECT_EQ(header.front(), "<BODY BGCOLOR=\"#000000\" TEXT=\"#ffffff\">");
  EXPECT_TRUE(Contains(header, "Original Directory: $FOLDER$") &&
              Contains(header, "<A HREF=\"$PREV_PAGE$\">前の頁へ</A>") &&
              Contains(t.Lines(CHtmlTemplate::kOne), "$ORGFILENAME$") &&
              Contains(t.Lines(CHtmlTemplate::kFooter), "<A HREF=\"$NEXT_PAGE$\">次の頁へ</A>"));
  EXPECT_EQ(t.Lines(CHtmlTemplate::kFooter).back(), "</BODY>");
  for (const auto &line : header) EXPECT_NE(line.rfind("#THUMBS", 0), 0u);  // settings are not text
}

TEST(HtmlTemplate, FilesReplaceTheSectionsTheyNameAndTheSizesTheyGive) {
  using Lines = std::vector<std::string>;
  const CHtmlTemplate builtIn;
  const Lines header = builtIn.Lines(CHtmlTemplate::kHeader), footer = builtIn.Lines(CHtmlTemplate::kFooter);
  struct Row {
    const char *name;
    std::string text;
    Lines header, one, footer;
    int width, height;
  } rows[] = {
      {"no markers: only the picture section", "<P>$FILENAME$</P>\r\n#thumbs_width=200\n<HR>",
       header, {"<P>$FILENAME$</P>", "<HR>"}, footer, 200, 120},
      // Earlier lines of a section named twice are dropped; no size of zero or less.
      {"markers in any case, rest of the line ignored",
       "*footer of the page\nF1\n*HEADER\nH1\n*One\nO1\n*header again\nH2\n#THUMBS_HEIGHT=90\n"
       "#THUMBS_WIDTH=-5\n#thumbs_height=abc\n",
       {"H2"}, {"O1"}, {"F1"}, 160, 90},
      {"old code page", "*One\n" + Utf8ToCp932("名前 $FILENAME$"), header, {"名前 $FILENAME$"}, footer, 160, 120},
  };
  test::Sandbox box;
  CHtmlTemplate t;
  for (const Row &row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(t.LoadHtmlTemplate(box.write("t.rxm", row.text).string()), 0);
    EXPECT_EQ(std::tuple(t.Lines(CHtmlTemplate::kHeader), t.Lines(CHtmlTemplate::kOne),
                         t.Lines(CHtmlTemplate::kFooter), t.thumbsWidth, t.thumbsHeight),
              std::tuple(row.header, row.one, row.footer, row.width, row.height));
  }
  // A file that cannot be read leaves the built-in template, not the last file's.
  EXPECT_EQ(t.LoadHtmlTemplate(box.path("missing.rxm").string()), -1);
  EXPECT_EQ(t.Lines(CHtmlTemplate::kOne), builtIn.Lines(CHtmlTemplate::kOne));
}

TEST(HtmlPaths, RelativePathsLinksAndTextAreEncoded) {
  test::Sandbox box;
  for (const char *folder : {"a/b/c", "a/x"}) fs::create_directories(box.path(folder));
  std::string a = box.path("a").string();
  EXPECT_EQ(
      (std::vector{RelativePath(a, a), RelativePath(a + "/b/c", a + "/x"), RelativePath(a, a + "/b/c"),
                   RelativePath(a + "/b/c/", a + "/b"), RelativePath(box.root().parent_path().string(), a)}),
      (std::vector<std::optional<std::string>>{"", "../../x/", "b/c/", "../",
                                               box.root().filename().string() + "/a/"}));
  EXPECT_EQ(RelativePath("", a), std::nullopt);
  // Another file system has no relative path: PictureOnAnotherFileSystemIsLinkedByItsFullPath below.
  EXPECT_EQ(EncodeLinkPath("../写真/a b#1&2%.jpg"), "../%E5%86%99%E7%9C%9F/a%20b%231%262%25.jpg");
  EXPECT_EQ(EscapeHtml("<a href=\"x\">&'"), "&lt;a href=&quot;x&quot;&gt;&amp;&#39;");
  EXPECT_EQ((std::vector<std::string>{HtmlPageName("/out/catalog.htm", 1),
                                      HtmlPageName("/out/catalog.htm", 2), HtmlPageName("/o.d/cat", 12)}),
            (std::vector<std::string>{"/out/catalog.htm", "/out/catalog-2.htm", "/o.d/cat-12"}));
}

// A catalogue over a listed folder whose entries get the given picture sizes, all selected.
class HtmlRun : public ::testing::Test {
 protected:
  void List(const std::map<std::string, std::pair<int, int>> &pictures, const fs::path &folder) {
    for (const auto &[name, size] : pictures) box.write((folder / name).string(), "x");
    doc = test::ListFolder(folder);
    for (const auto &[name, size] : pictures) {
      CPicEntry *e = doc->GetEntry(test::FindEntry(*doc, name));
      e->facts.width = size.first, e->facts.height = size.second, e->facts.bitCount = 24;
    }
    for (int i = 0; i < doc->GetEntryCount(); ++i) doc->SetEntryFlags(i, CPicEntry::kSelected);
    catalog = std::make_unique<CHtmlCatalog>(*doc, [this](CPicEntry &e, int bw, int bh) -> HDIB {
      loads.push_back({bw, bh});
      if (e.facts.width == 0) return nullptr;
      return CreateDib(e.facts.width, e.facts.height, 24);
    });
  }
  std::vector<std::string> PageLines(const std::string &name) {
    const std::string text = test::ReadFile(out / name);
    EXPECT_FALSE(text.empty()) << name;
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; at <= text.size(); at = end + 2) {
      end = std::min(text.find("\r\n", at), text.size());
      lines.push_back(text.substr(at, end - at));
    }
    EXPECT_EQ(lines.back(), "");  // every line ends in CR LF
    lines.pop_back();
    return lines;
  }
  // Writes the catalogue with the template `text`; its first page.
  std::vector<std::string> Page(const std::string &text, const std::string &name = "c.htm") {
    EXPECT_EQ(catalog->tmpl.LoadHtmlTemplate(box.write("t.rxm", text).string()), 0);
    fs::create_directories(out);
    EXPECT_TRUE(catalog->WriteHtmlCatalogue((out / name).string()));
    return PageLines(name);
  }

  test::Sandbox box;
  fs::path out = box.path("out");
  std::unique_ptr<CRXDoc> doc;
  std::unique_ptr<CHtmlCatalog> catalog;
  std::vector<std::pair<int, int>> loads;
  ScriptedUi ui;
  ScopedUi scope{ui};
};

TEST_F(HtmlRun, PagesOfTwoPictures) {
  List({{"p1.jpg", {10, 10}}, {"p2.jpg", {10, 10}}, {"p3.jpg", {10, 10}}, {"p4.jpg", {10, 10}}, {"p5.jpg", {10, 10}}},
       box.path("pics"));
  catalog->pageCount = 2;
  auto page1 =
      Page("*Header\nP=$PREV_PAGE$ N=$NEXT_PAGE$ $PAGENO$/$MAXPAGENO$\n*One\n$FILENAME$\n*Footer\nEND\n",
           "catalog.htm");
  auto names = test::EntryNames(*doc);
  auto page2 = PageLines("catalog-2.htm"), page3 = PageLines("catalog-3.htm");
  EXPECT_FALSE(fs::exists(out / "catalog-4.htm"));
  EXPECT_EQ(std::vector<std::string>(page1.begin(), page1.begin() + 6),
            (std::vector<std::string>{"<HTML>", "<HEAD>", "<META NAME=\"GENERATOR\" CONTENT=\"QEV Tamro\">",
                                      "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html;CHARSET=UTF-8\">",
                                      "<TITLE>Tamro Catalog</TITLE>", "</HEAD>"}));
  EXPECT_EQ(std::vector<std::string>(page1.begin() + 6, page1.end()),
            (std::vector<std::string>{"P= N=catalog-2.htm 1/3", names[0], names[1], "END", "</HTML>"}));
  EXPECT_EQ(std::vector<std::string>(page2.begin() + 6, page2.end()),
            (std::vector<std::string>{"P=catalog.htm N=catalog-3.htm 2/3", names[2], names[3], "END", "</HTML>"}));
  EXPECT_EQ(std::vector<std::string>(page3.begin() + 6, page3.end()),
            (std::vector<std::string>{"P=catalog-2.htm N= 3/3", names[4], "END", "</HTML>"}));
  EXPECT_EQ(std::tuple(ui.Messages().empty(), ui.progress.front()), std::tuple(true, "open:HTMLの作成中"));
}

TEST_F(HtmlRun, NoLimitIsOnePageOfTheSelection) {
  List({{"a.jpg", {10, 10}}, {"b.jpg", {10, 10}}, {"c.jpg", {10, 10}}}, box.path("pics"));
  doc->SetEntryFlags(test::FindEntry(*doc, "b.jpg"), 0);
  auto page = Page("*Header\n[$PREV_PAGE$][$NEXT_PAGE$] $MAXPAGENO$ [$FILENAME$][$NOTE$]\n*One\n$FILENAME$\n*Footer\n", "catalog.htm");
  auto names = test::EntryNames(*doc);  // in the listing's order
  std::erase(names, "b.jpg");
  EXPECT_EQ(std::vector<std::string>(page.begin() + 6, page.end()),
            (std::vector<std::string>{"[][] 1 [][]", names[0], names[1], "</HTML>"}));
  EXPECT_FALSE(fs::exists(out / "catalog-2.htm"));
}

TEST_F(HtmlRun, DisplayedSizeFitsTheBoxEitherWay) {
  List({{"big.bmp", {640, 480}}, {"small.bmp", {100, 50}}, {"broken.bmp", {0, 0}}}, box.path("pics"));
  auto page = Page("*Header\n*One\n$FILENAME$ $WIDTH$x$HEIGHT$ $PIXEL$\n*Footer\n");
  EXPECT_TRUE(Contains(page, "big.bmp 160x120 640x480 24bit"));
  EXPECT_TRUE(Contains(page, "small.bmp 160x80 100x50 24bit"));  // scaled up
  for (const auto &line : page) EXPECT_EQ(line.find("broken"), std::string::npos);  // nothing for it
  for (const auto &load : loads) EXPECT_EQ(load, std::make_pair(0, 0));  // full size without JpegResize
}

TEST_F(HtmlRun, PictureTextIsEscapedAndNotesKeepTheirLines) {
  List({{"a&b <c>.jpg", {10, 10}}, {"n.jpg", {10, 10}}}, box.path("pics"));
  // Read from the note file: nothing has read the notes before the catalogue asks.
  ASSERT_TRUE(WriteNote(box.path("pics").string(), "", "n.jpg", "a\r\nb\nc $NOTE$ $FILENAME$"));
  doc->GetEntry(test::FindEntry(*doc, "n.jpg"))->SetDescription("<i>");
  auto page = Page("*Header\n*One\nF=$FILENAME$ N=$NOTE$ D=$DOC$\n*Footer\n");
  EXPECT_TRUE(Contains(page, "F=a&amp;b &lt;c&gt;.jpg N=　 D=　"));
  EXPECT_TRUE(Contains(page, "F=n.jpg N=a<BR>b<BR>c $NOTE$ $FILENAME$ D=&lt;i&gt;"));
}

TEST_F(HtmlRun, LinksFromThePageFolder) {
  List({{"写 真#1 & 2.jpg", {10, 10}}}, box.path("pics"));
  auto page = Page("*Header\n*One\n$ORGPATHNAME$|$THUMBSNAME$|$PATHNAME$\n*Footer\n");
  std::string link = "../pics/%E5%86%99%20%E7%9C%9F%231%20%26%202.jpg";
  EXPECT_EQ(page[6], link + "|" + link + "|" + EscapeHtml(box.path("pics/写 真#1 & 2.jpg").string()));
  // The link leads to the file.
  EXPECT_TRUE(fs::exists(out / "../pics/写 真#1 & 2.jpg"));
}

TEST_F(HtmlRun, PictureOnAnotherFileSystemIsLinkedByItsFullPath) {
  if (!fs::is_directory("/dev/shm") || test::SameDevice(box.root(), "/dev/shm"))
    GTEST_SKIP() << "no second file system to try";
  const fs::path other = fs::path("/dev/shm") / ("tamro-html-" + box.root().filename().string());
  List({{"far away.jpg", {10, 10}}}, other);
  auto page = Page("*Header\n*One\n$ORGPATHNAME$\n*Footer\n");
  fs::remove_all(other);
  ASSERT_GT(page.size(), 6u);
  EXPECT_EQ(page[6], "file://" + EncodeLinkPath(other.string()) + "/far%20away.jpg");
}

TEST_F(HtmlRun, JpegThumbnailsShareTheBareName) {
  List({{"x.bmp", {300, 150}}, {"x.jpg", {40, 30}}}, box.path("pics"));
  catalog->jpegSave = true, catalog->jpegResize = true;
  auto page = Page("*Header\n*One\n$THUMBSNAME$ $WIDTH$\n*Footer\n");
  EXPECT_EQ(std::count(page.begin(), page.end(), "Tm-x.jpg 160"), 2);
  EXPECT_EQ(test::ReadFile(out / "Tm-x.jpg").substr(0, 2), "\xFF\xD8");
  for (const auto &load : loads) EXPECT_EQ(load, std::make_pair(160, 120));  // loaded into the box
}

TEST_F(HtmlRun, FailedRunLeavesTheOldCatalogueAsItWas) {
  List({{"a.jpg", {10, 10}}, {"b.jpg", {10, 10}}, {"c.jpg", {10, 10}}}, box.path("pics"));
  catalog->pageCount = 1, catalog->jpegSave = true;
  box.write("out/catalog.htm", "old page");
  box.write("out/Tm-b.jpg", "old thumbnail");
  fs::create_symlink(box.path("nowhere"), out / "catalog-2.htm");
  fs::create_directories(out / "catalog-3.htm");  // page 3 cannot be created
  EXPECT_FALSE(catalog->WriteHtmlCatalogue((out / "catalog.htm").string()));
  EXPECT_EQ(test::ReadFile(out / "catalog.htm") + "|" + test::ReadFile(out / "Tm-b.jpg"),
            "old page|old thumbnail");
  EXPECT_TRUE(fs::is_symlink(out / "catalog-2.htm") && !fs::exists(box.path("nowhere")) &&
              fs::is_directory(out / "catalog-3.htm"));
  EXPECT_EQ(test::FileNames(out),
            (std::vector<std::string>{"Tm-b.jpg", "catalog-2.htm", "catalog-3.htm", "catalog.htm"}))
      << "nothing new, no temporary file";
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0]->text, "HTMLファイルの書き込みに失敗しました");

  // An abort part-way changes nothing either.
  fs::remove(out / "catalog-3.htm");
  ui.abortAfter = 2;
  EXPECT_FALSE(catalog->WriteHtmlCatalogue((out / "catalog.htm").string()));
  EXPECT_EQ(test::ReadFile(out / "catalog.htm"), "old page");
  EXPECT_EQ(test::FileNames(out), (std::vector<std::string>{"Tm-b.jpg", "catalog-2.htm", "catalog.htm"}));
}

TEST_F(HtmlRun, FullDiskKeepsTheOldCatalogueAndAFreedOneIsReplaced) {
  test::TmpfsMount mount(out, "256k");
  if (!mount.ok()) GTEST_SKIP() << mount.reason();
  List({{"a.jpg", {10, 10}}, {"b.jpg", {10, 10}}}, box.path("pics"));
  catalog->jpegSave = true;
  box.write("out/catalog.htm", "old page");
  test::FillUp(out);
  EXPECT_FALSE(catalog->WriteHtmlCatalogue((out / "catalog.htm").string()));
  EXPECT_EQ(test::ReadFile(out / "catalog.htm"), "old page");
  EXPECT_EQ(test::FileNames(out), (std::vector<std::string>{"catalog.htm", "filler"}));

  fs::remove(out / "filler");
  ASSERT_TRUE(catalog->WriteHtmlCatalogue((out / "catalog.htm").string()));
  EXPECT_EQ(PageLines("catalog.htm")[0], "<HTML>");
  EXPECT_EQ(test::FileNames(out), (std::vector<std::string>{"Tm-a.jpg", "Tm-b.jpg", "catalog.htm"}));
}

TEST(HtmlOption, DefaultsValidationAndHistories) {
  test::Sandbox box;
  CHtmlOption option;
  option.Load();
  EXPECT_EQ(std::tuple(option.fileName, option.folder, option.jpegQuality),
            std::tuple("catalog.htm", "", 95));
  EXPECT_FALSE(option.Accept());  // no folder, no template

  option.folder = box.root().string() + "/web/", option.fileName = "index";
  option.templateFile = "Default.rxm", option.pageCount = 500, option.jpegSave = true;
  ASSERT_TRUE(option.Accept());
  EXPECT_EQ(std::tuple(option.outputName, option.OutputFile(), option.pageCount),
            std::tuple("index.html", box.root().string() + "/web/index.html", 100));

  CHtmlOption again;
  again.Load();
  // The folder as it was typed.
  EXPECT_EQ(std::tuple(again.folder, again.fileName, again.pageCount, again.jpegSave),
            std::tuple(box.root().string() + "/web/", "index", 100, true));
  EXPECT_EQ(Profile::App().GetString("Html", "HtmlFile9", "?"), "");
}

}  // namespace
}  // namespace tamro
