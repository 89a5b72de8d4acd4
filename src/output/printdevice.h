#pragma once

// Where printed pages go. The printing code asks a device for its measures and draws each
// page through the device's QPainter, so the same code serves a CUPS printer (the
// application wraps its QPrinter), a PDF file and the QImage pages of the tests.

#include <QString>
#include <memory>
#include <string>
#include <string_view>

class QFile;
class QPainter;
class QPagedPaintDevice;
class QPdfWriter;

namespace tamro {

class AtomicFile;

// The measures printing reads once per page.
struct PrintMeasures {
  int horzSizeMm = 0, vertSizeMm = 0;            // printable area, millimetres
  int horzRes = 0, vertRes = 0;                  // printable area, device pixels
  int logPixelsX = 0, logPixelsY = 0;            // device pixels per inch
  int physicalWidth = 0, physicalHeight = 0;     // whole sheet, device pixels
  int physicalOffsetX = 0, physicalOffsetY = 0;  // printable area's corner on the sheet
};

// Raster capabilities printing needs from a device.
enum PrintRasterCaps : unsigned {
  RC_BITBLT = 0x0001,
  RC_BITMAP64 = 0x0008,
  RC_DIBTODEV = 0x0200,
  RC_STRETCHDIB = 0x2000,
  RC_PRINTING_NEEDS = RC_BITBLT | RC_BITMAP64 | RC_DIBTODEV | RC_STRETCHDIB,
};

// Page-end results below 0, as a print spooler reports them.
enum PrintPageError : int {
  SP_ERROR = -1,
  SP_APPABORT = -2,
  SP_USERABORT = -3,
  SP_OUTOFDISK = -4,
  SP_OUTOFMEMORY = -5,
};

class CPrintDevice {
 public:
  virtual ~CPrintDevice() = default;

  virtual PrintMeasures Measures() const = 0;
  // Every Qt paint device draws pictures of any size, so only test devices lack some.
  virtual unsigned RasterCaps() const { return RC_PRINTING_NEEDS; }
  // A print preview keeps every page it is given: pictures go to it reduced to the device
  // pixels they cover rather than whole.
  virtual bool Preview() const { return false; }

  // Opens the job under `docName`; false with the reason in `error`.
  virtual bool StartDoc(std::string_view docName, std::string &error) = 0;
  virtual bool StartPage() = 0;
  // The open page's painter: device pixels, origin at the printable area's top-left
  // corner. Null when no page is open.
  virtual QPainter *Painter() = 0;
  // Above 0 when the page went out, else one of PrintPageError.
  virtual int EndPage() = 0;
  virtual bool EndDoc() = 0;
  // Throws the job away.
  virtual void AbortDoc() = 0;
};

// A Qt paged device (not owned): a QPdfWriter here, the application's QPrinter. The job
// is the painter's life; pages after the first are opened with newPage().
class CPagedPrintDevice : public CPrintDevice {
 public:
  explicit CPagedPrintDevice(QPagedPaintDevice &device);
  ~CPagedPrintDevice() override;
  CPagedPrintDevice(const CPagedPrintDevice &) = delete;
  CPagedPrintDevice &operator=(const CPagedPrintDevice &) = delete;

  PrintMeasures Measures() const override;
  bool StartDoc(std::string_view docName, std::string &error) override;
  bool StartPage() override;
  QPainter *Painter() override;
  int EndPage() override;
  bool EndDoc() override;
  void AbortDoc() override;

 protected:
  // Hooks for the concrete device: the job's title, a check before the job opens (with the
  // reason on failure), and what aborting tells the device before the painter ends.
  virtual void SetDocName(const QString &) {}
  virtual bool CanStart(std::string &) { return true; }
  virtual void AbortDevice() {}

  QPagedPaintDevice &device_;

 private:
  std::unique_ptr<QPainter> painter_;
  int pages_ = 0;
  bool pageOpen_ = false;
};

namespace detail {
// Owns the writer and the file it writes ahead of the base that refers to them, so they are
// made first and go last.
struct PdfWriterHolder {
  explicit PdfWriterHolder(int dpi);
  ~PdfWriterHolder();
  std::unique_ptr<QFile> file_;
  std::unique_ptr<QPdfWriter> writer_;
};
}  // namespace detail

// A PDF file, written under a temporary name and put in place when the job ends with every
// byte written. A failed or aborted job leaves no file, and a file of that name that was
// there before stays as it was.
class CPdfPrintDevice : private detail::PdfWriterHolder, public CPagedPrintDevice {
 public:
  // A4 portrait with 10 mm margins at `dpi`.
  explicit CPdfPrintDevice(const std::string &path, int dpi = 300);
  ~CPdfPrintDevice() override;

  QPdfWriter &writer() { return *writer_; }
  bool EndDoc() override;
  void AbortDoc() override;

 protected:
  void SetDocName(const QString &name) override;
  bool CanStart(std::string &error) override;

 private:
  std::string path_;
  std::unique_ptr<AtomicFile> out_;
};

}  // namespace tamro
