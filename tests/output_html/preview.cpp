// Writes an HTML catalogue (with JPEG thumbnails) and a contact sheet of every picture in
// a folder, decoding with Qt's image readers, so the output can be looked at by eye:
//   output_html_preview <picture folder> <output folder>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <filesystem>

#include "catalogue/rxdoc.h"
#include "output/contactsheet.h"
#include "output/htmlcatalog.h"
#include "output/macros.h"
#include "picture/dibcanvas.h"
#include "picture/dibdraw.h"

using namespace tamro;

namespace {

QImage Load(const CPicEntry &e, int boxWidth, int boxHeight) {
  QImage image(QString::fromStdString(e.FullPath()));
  if (image.isNull() || boxWidth <= 0 || boxHeight <= 0) return image;
  return image.scaled(boxWidth, boxHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// Thumbnail and caption lines, roughly as the thumbnail view draws a cell.
class PreviewPainter : public SheetCellPainter {
 public:
  explicit PreviewPainter(CRXDoc &doc) : doc_(doc) {}
  bool PaintCell(CDibCanvas &sheet, CPicEntry &entry, int x, int y, int width, int height) override {
    QPainter p(&sheet.Image());
    p.fillRect(x + 2, y + 2, width - 4, height - 4, QColor(0xC0, 0xC0, 0xC0));
    QFont font = ToQFont(doc_.CaptionFont());
    QFontMetrics metrics(font);
    int lineHeight = metrics.height();
    int lines = static_cast<int>(doc_.CaptionItems().size());
    QRect caption(x + 2, y + height - 2 - lineHeight * lines - 4, width - 4, lineHeight * lines + 4);
    p.fillRect(caption, Qt::white);
    p.setFont(font);
    p.setClipRect(caption);
    for (int i = 0; i < lines; ++i) {
      QString text = QString::fromStdString(ExpandMacros(&entry, doc_.CaptionItems()[i]));
      int w = metrics.horizontalAdvance(text);
      int left = w <= caption.width() ? caption.left() + (caption.width() - w) / 2 : caption.left();
      p.drawText(left, caption.bottom() - 1 - i * lineHeight - metrics.descent(), text);
    }
    p.setClipping(false);
    QImage thumb = Load(entry, width - 4, caption.top() - y - 4);
    if (thumb.isNull()) return false;
    p.drawImage(x + (width - thumb.width()) / 2, y + 2 + (caption.top() - y - 4 - thumb.height()) / 2, thumb);
    return true;
  }

 private:
  CRXDoc &doc_;
};

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
  PreviewPainter painter(doc);
  int sheets = WriteContactSheets(doc, painter, 4, 0, std::string(argv[2]) + "/sheet.jpg", kSheetJpeg, 90,
                                  ViewBackgroundColour());
  std::printf("html %s, %d sheet(s), %d pictures\n", html ? "written" : "failed", sheets, doc.GetEntryCount());
  return html ? 0 : 1;
}
