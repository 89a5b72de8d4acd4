#include "output/printdevice.h"

#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <cstdio>

namespace tamro {

CPagedPrintDevice::CPagedPrintDevice(QPagedPaintDevice &device) : device_(device) {}

CPagedPrintDevice::~CPagedPrintDevice() {
  if (painter_ && painter_->isActive()) painter_->end();
}

PrintMeasures CPagedPrintDevice::Measures() const {
  PrintMeasures m;
  m.horzSizeMm = device_.widthMM();
  m.vertSizeMm = device_.heightMM();
  m.horzRes = device_.width();
  m.vertRes = device_.height();
  m.logPixelsX = device_.logicalDpiX();
  m.logPixelsY = device_.logicalDpiY();
  QPageLayout layout = device_.pageLayout();
  QRect full = layout.fullRectPixels(m.logPixelsX);
  QRect paint = layout.paintRectPixels(m.logPixelsX);
  m.physicalWidth = full.width();
  m.physicalHeight = full.height();
  m.physicalOffsetX = paint.left();
  m.physicalOffsetY = paint.top();
  return m;
}

bool CPagedPrintDevice::StartDoc(std::string_view docName, std::string &error) {
  error.clear();
  if (painter_) return false;
  if (!CanStart(error)) return false;
  SetDocName(QString::fromUtf8(docName.data(), static_cast<qsizetype>(docName.size())));
  painter_ = std::make_unique<QPainter>();
  if (!painter_->begin(&device_)) {
    painter_.reset();
    if (error.empty()) error = "The print device could not be opened.";
    return false;
  }
  pages_ = 0;
  pageOpen_ = false;
  return true;
}

bool CPagedPrintDevice::StartPage() {
  if (!painter_ || !painter_->isActive() || pageOpen_) return false;
  // The painter opened the first page when it began.
  if (pages_ > 0 && !device_.newPage()) return false;
  ++pages_;
  pageOpen_ = true;
  painter_->resetTransform();
  painter_->setClipping(false);
  return true;
}

QPainter *CPagedPrintDevice::Painter() { return pageOpen_ ? painter_.get() : nullptr; }

int CPagedPrintDevice::EndPage() {
  if (!pageOpen_) return SP_ERROR;
  pageOpen_ = false;
  return painter_ && painter_->isActive() ? 1 : SP_ERROR;
}

bool CPagedPrintDevice::EndDoc() {
  if (!painter_) return false;
  pageOpen_ = false;
  bool ok = painter_->end();
  painter_.reset();
  return ok;
}

void CPagedPrintDevice::AbortDoc() {
  AbortDevice();
  pageOpen_ = false;
  if (painter_ && painter_->isActive()) painter_->end();
  painter_.reset();
}

namespace detail {

PdfWriterHolder::PdfWriterHolder(const std::string &path, int dpi)
    : writer_(std::make_unique<QPdfWriter>(QString::fromStdString(path))) {
  writer_->setResolution(dpi > 0 ? dpi : 300);
  writer_->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
}

PdfWriterHolder::~PdfWriterHolder() = default;

}  // namespace detail

CPdfPrintDevice::CPdfPrintDevice(const std::string &path, int dpi)
    : detail::PdfWriterHolder(path, dpi), CPagedPrintDevice(*writer_), path_(path) {}

CPdfPrintDevice::~CPdfPrintDevice() = default;

void CPdfPrintDevice::SetDocName(const QString &name) { writer_->setTitle(name); }

bool CPdfPrintDevice::CanStart(std::string &error) {
  // The writer only says that it failed; opening the file first gives the reason.
  QFile probe(QString::fromStdString(path_));
  if (!probe.open(QIODevice::WriteOnly)) {
    error = probe.errorString().toStdString();
    return false;
  }
  return true;
}

void CPdfPrintDevice::AbortDoc() {
  CPagedPrintDevice::AbortDoc();
  std::remove(path_.c_str());
}

}  // namespace tamro
