#pragma once

// Test doubles for printing: a device whose pages are QImages, and a document of pictures
// of one colour (or two halves).

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "output/printdevice.h"
#include "output/printlayout.h"
#include "picture/dib.h"
#include "support/guiapp.h"  // text needs the GUI application

namespace tamro::test {

// A printable area of `width` x `height` pixels at `dpi`.
inline PrintMeasures MeasuresFor(int width, int height, int dpi) {
  PrintMeasures m;
  m.horzRes = m.physicalWidth = width, m.vertRes = m.physicalHeight = height;
  m.logPixelsX = m.logPixelsY = dpi;
  m.horzSizeMm = static_cast<int>(width * 25.4 / dpi), m.vertSizeMm = static_cast<int>(height * 25.4 / dpi);
  return m;
}

class ImagePrintDevice : public CPrintDevice {
 public:
  explicit ImagePrintDevice(PrintMeasures m) : measures(m) {}
  PrintMeasures measures;
  unsigned caps = RC_PRINTING_NEEDS;
  bool failStart = false, ended = false, aborted = false;
  std::deque<int> endResults;  // page-end results to give; 1 when empty
  std::vector<QImage> pages;   // white pages of the printable area
  std::string docName;

  PrintMeasures Measures() const override { return measures; }
  unsigned RasterCaps() const override { return caps; }
  bool StartDoc(std::string_view name, std::string &error) override {
    docName = name, error = failStart ? "no paper" : "";
    return !failStart;
  }
  bool StartPage() override { return (painter_ = std::make_unique<QPainter>(NextPage()))->isActive(); }
  // Where the next page is drawn.
  virtual QPaintDevice *NextPage() {
    pages.emplace_back(measures.horzRes, measures.vertRes, QImage::Format_RGB32);
    pages.back().fill(Qt::white);
    return &pages.back();
  }
  QPainter *Painter() override { return painter_.get(); }
  int EndPage() override {
    painter_.reset();
    int r = endResults.empty() ? 1 : endResults.front();
    if (!endResults.empty()) endResults.pop_front();
    return r;
  }
  bool EndDoc() override { return ended = true; }
  void AbortDoc() override { aborted = true; }

 private:
  std::unique_ptr<QPainter> painter_;
};

// A 24-bit picture of one colour, or of two halves when `right` is valid.
inline HDIB SolidDib(int width, int height, QColor left, QColor right = QColor()) {
  HDIB h = CreateDib(width, height, 24);
  DibLock lock(h);
  for (int y = 0; lock && y < height; ++y)
    for (int x = 0; x < width; ++x) {
      QColor c = right.isValid() && x >= width / 2 ? right : left;
      SetDibPixel(lock.header(), x, y, static_cast<uint32_t>(c.red() | c.green() << 8 | c.blue() << 16));
    }
  return h;
}

class FakeSource : public CPrintSource {
 public:
  struct Entry {
    std::string name;
    bool selected = true;
    int width = 20, height = 10;
    QColor colour = Qt::green, right = QColor();
    bool decodable = true;
  };
  std::vector<Entry> entries;
  QImage icon;
  std::vector<std::string> log;  // "load:i", "busy:0/1"

  int EntryCount() const override { return static_cast<int>(entries.size()); }
  bool IsSelected(int i) const override { return entries.at(static_cast<std::size_t>(i)).selected; }
  std::string EntryName(int i) const override { return entries.at(static_cast<std::size_t>(i)).name; }
  HDIB LoadPicture(int i) override {
    log.push_back("load:" + std::to_string(i));
    const Entry &e = entries.at(static_cast<std::size_t>(i));
    return e.decodable ? SolidDib(e.width, e.height, e.colour, e.right) : nullptr;
  }
  // Knows "$(PicName)" only.
  std::string ExpandText(int i, std::string_view format) const override {
    std::string s(format), token = "$(PicName)";
    for (std::size_t p; (p = s.find(token)) != std::string::npos;)
      s.replace(p, token.size(), i >= 0 ? entries.at(static_cast<std::size_t>(i)).name : "");
    return s;
  }
  bool DrawFileIcon(QPainter &painter, const QRect &rect, int) override {
    if (!icon.isNull()) painter.drawImage(rect.topLeft(), icon);
    return !icon.isNull();
  }
  void SetBusy(bool busy) override { log.push_back(busy ? "busy:1" : "busy:0"); }
};

inline bool IsColour(QRgb p, QColor c) { return QColor(p).rgb() == c.rgb(); }
inline bool IsWhite(QRgb p) { return (p & 0xFFFFFF) == 0xFFFFFF; }
inline bool IsInk(QRgb p) { return !IsWhite(p); }
// Strongly red, as the cores of anti-aliased text are.
inline bool IsReddish(QRgb p) { return qRed(p) > 180 && qGreen(p) < 90 && qBlue(p) < 90; }

// Bounding box of the pixels that pass `test`; empty when none do.
template <class Test>
QRect InkBox(const QImage &image, Test test) {
  int left = image.width(), top = image.height(), right = -1, bottom = -1;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (test(reinterpret_cast<const QRgb *>(image.constScanLine(y))[x])) {
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
      }
  return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

}  // namespace tamro::test
