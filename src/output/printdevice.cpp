#include "output/printdevice.h"

#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <cerrno>
#include <cstring>

#include "platform/fileio.h"

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

PdfWriterHolder::PdfWriterHolder(int dpi)
    : file_(std::make_unique<QFile>()), writer_(std::make_unique<QPdfWriter>(file_.get())) {
  writer_->setResolution(dpi > 0 ? dpi : 300);
  writer_->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
}

PdfWriterHolder::~PdfWriterHolder() = default;

}  // namespace detail

CPdfPrintDevice::CPdfPrintDevice(const std::string &path, int dpi)
    : detail::PdfWriterHolder(dpi), CPagedPrintDevice(*writer_), path_(path) {}

CPdfPrintDevice::~CPdfPrintDevice() {
  // The painter must let go of the file before it closes; an unended job is thrown away.
  if (out_) CPdfPrintDevice::AbortDoc();
}

void CPdfPrintDevice::SetDocName(const QString &name) { writer_->setTitle(name); }

bool CPdfPrintDevice::CanStart(std::string &error) {
  // What a start that failed after this point left open is dropped.
  file_->close();
  out_.reset();
  if (!MayReplace(path_)) {
    error = std::strerror(errno);
    return false;
  }
  auto out = std::make_unique<AtomicFile>(path_);
  if (!out->ok()) {
    error = std::strerror(errno);
    return false;
  }
  if (!file_->open(out->fd(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
    error = file_->errorString().toStdString();
    return false;
  }
  out_ = std::move(out);
  return true;
}

bool CPdfPrintDevice::EndDoc() {
  // The writer reports no write errors of its own; the file it wrote through does.
  bool ok = CPagedPrintDevice::EndDoc();
  ok = file_->flush() && file_->error() == QFileDevice::NoError && ok;
  file_->close();
  ok = out_ && ok && out_->Commit();
  out_.reset();
  return ok;
}

void CPdfPrintDevice::AbortDoc() {
  CPagedPrintDevice::AbortDoc();
  file_->close();
  out_.reset();
}

}  // namespace tamro
