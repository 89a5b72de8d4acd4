// Writes an HTML catalogue and a contact sheet of every picture in a folder, decoding with
// Qt's image readers, so the output can be looked at by eye:
//   output_html_preview <picture folder> <output folder> [jpeg]
// With a third argument the catalogue gets JPEG thumbnails.
#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <filesystem>

#include "catalogue/cellpainter.h"
#include "catalogue/macros.h"
#include "catalogue/rxdoc.h"
#include "output/contactsheet.h"
#include "output/htmlcatalog.h"
#include "picture/dibcanvas.h"
#include "picture/dibdraw.h"

using namespace tamro;

namespace {

QImage Load(const CPicEntry &e, int boxWidth, int boxHeight) {
  QImage image(QString::fromStdString(e.FullPath()));
  if (image.isNull() || boxWidth <= 0 || boxHeight <= 0) return image;
  return image.scaled(boxWidth, boxHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

int main(int argc, char **argv) {
  QGuiApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <picture folder> <output folder>\n", argv[0]);
    return 2;
  }
  std::filesystem::create_directories(argv[2]);
  CRXDoc doc;
  doc.ChangeFolder(argv[1], nullptr, false);
  for (int i = 0; i < doc.GetEntryCount(); ++i) {
    doc.SetEntryFlags(i, CPicEntry::kSelected);
    CPicEntry *e = doc.GetEntry(i);
    QImage image(QString::fromStdString(e->FullPath()));
    e->pictureWidth = image.width();
    e->pictureHeight = image.height();
    e->bitCount = image.depth() == 32 ? 24 : image.depth();
  }
  CHtmlCatalog catalog(doc, [](CPicEntry &e, int w, int h) -> HDIB {
    QImage image = Load(e, w, h);
    return image.isNull() ? nullptr : BitmapToDib(image);
  });
  catalog.pageCount = 4;
  catalog.jpegSave = argc > 3;
  catalog.jpegResize = true;
  std::string out = std::string(argv[2]) + "/catalog.htm";
  bool html = catalog.WriteHtmlCatalogue(out);
  // Thumbnails made here stand in for the builder's, so the shared cell painter draws them.
  const CellSize cell = doc.ThumbsSize();
  for (int i = 0; i < doc.GetEntryCount(); ++i) {
    CPicEntry *e = doc.GetEntry(i);
    QImage thumb = Load(*e, cell.width - 4, cell.height - 24);
    if (!thumb.isNull()) e->thumbnail.reset(BitmapToDib(thumb.convertToFormat(QImage::Format_RGB32)));
  }
  GlyphIconSource icons;
  CCellPainter cells(nullptr, &icons);
  cells.SetCaptionLines(&doc.CaptionItems());
  CellSheetPainter painter(cells);
  int sheets = WriteContactSheets(doc, painter, 4, 0, std::string(argv[2]) + "/sheet.jpg", kSheetJpeg, 90,
                                  ViewBackgroundColour());
  std::printf("html %s, %d sheet(s), %d pictures\n", html ? "written" : "failed", sheets,
              doc.GetEntryCount());
  return html ? 0 : 1;
}
