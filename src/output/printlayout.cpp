#include "output/printlayout.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "output/printdevice.h"
#include "picture/dibcanvas.h"
#include "picture/dibdraw.h"
#include "platform/globalhandle.h"
#include "platform/listfield.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace tamro {

namespace {

constexpr const char *kCaption = "Tamro";
// Larger definition files are taken as unreadable rather than read into memory per page.
constexpr std::uintmax_t kMaxDefinitionBytes = 16u << 20;
// Device coordinates beyond this (about 7 m at 600 dpi) are clamped: the raster engine
// misbehaves far outside its fixed-point range.
constexpr int kCoordinateLimit = 1 << 22;

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Rounds a * b / c to the nearest whole number, halves away from zero.
int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  long long n = static_cast<long long>(a) * b;
  long long q = (std::llabs(n) + std::llabs(c) / 2) / std::llabs(c);
  return static_cast<int>((n < 0) != (c < 0) ? -q : q);
}

QColor FromColourRef(uint32_t ref) {
  return QColor(static_cast<int>(ref & 0xFF), static_cast<int>((ref >> 8) & 0xFF),
                static_cast<int>((ref >> 16) & 0xFF));
}

// The whole image stretched into `target` (nearest pixel); a negative width or height
// mirrors it, as the platform's stretching does. With `reduce` (a preview) a larger image is
// first made the size it covers.
void DrawImageInto(QPainter &painter, QRect target, const QImage &image, bool reduce) {
  if (image.isNull() || target.width() == 0 || target.height() == 0) return;
  bool flipX = target.width() < 0, flipY = target.height() < 0;
  // A mirrored rectangle covers the same pixels as the plain one between its two edges.
  QRect rect(flipX ? target.left() + target.width() : target.left(),
             flipY ? target.top() + target.height() : target.top(), std::abs(target.width()),
             std::abs(target.height()));
  QImage drawn =
      reduce && (image.width() > rect.width() || image.height() > rect.height())
          ? image.scaled(std::min(image.width(), rect.width()), std::min(image.height(), rect.height()),
                         Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
          : image;
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  if (flipX || flipY) drawn = drawn.mirrored(flipX, flipY);
  painter.drawImage(rect, drawn);
  painter.restore();
}

// The face as the font system knows it (the Windows Japanese faces through their IPA
// stand-ins); a face nobody has gives the system font.
QFont PrintFont(const std::string &face, int pixels, bool bold, bool italic) {
  QFont font = CanvasFont(face, -pixels, bold, italic);
  if (face.empty() || !QFontDatabase::hasFamily(font.family())) {
    font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setItalic(italic);
  }
  return font;
}

const char *PageEndMessage(int result) {
  switch (result) {
    case SP_APPABORT:
      return "アプリケーションのアボート関数が 0 を返したために、ジョブを終了したことを示します";
    case SP_USERABORT:
      return "ユーザーが、プリント マネージャを使ってジョブを終了させたことを示します";
    case SP_OUTOFDISK:
      return "現在、スプールに必要なディスク領域が十分でなく、領域が回復される見込みがないことを示します";
    case SP_OUTOFMEMORY:
      return "スプールに必要なメモリが十分にないことを示します";
    default:
      return "一般的なエラーです";
  }
}

class BusyScope {
 public:
  explicit BusyScope(CPrintSource &source) : source_(source) { source_.SetBusy(true); }
  ~BusyScope() { source_.SetBusy(false); }
  BusyScope(const BusyScope &) = delete;
  BusyScope &operator=(const BusyScope &) = delete;

 private:
  CPrintSource &source_;
};

}  // namespace

int CPrintSource::CountSelected() const {
  int n = 0;
  for (int i = 0, count = EntryCount(); i < count; ++i) n += IsSelected(i) ? 1 : 0;
  return n;
}

struct CPrintLayout::Page {
  QPainter &painter;
  PrintMeasures measures;
  bool preview;
  int &index;
  bool current = false;  // an entry is current (its picture may still have failed to load)
  GlobalHandle picture;

  int X(double mm) const { return ClampToInt(mm * measures.logPixelsX / 25.4, kCoordinateLimit); }
  int Y(double mm) const { return ClampToInt(mm * measures.logPixelsY / 25.4, kCoordinateLimit); }
};

int CPrintLayout::PrintSelected(CPrintDevice &device, const std::string &definitionFile) {
  static const struct {
    unsigned bit;
    const char *message;
  } kNeeds[] = {
      {RC_BITBLT, "デバイスがビットマップ転送を未サポート"},
      {RC_BITMAP64, "64KB を超えるビットマップがデバイスで未サポート"},
      {RC_DIBTODEV, "Windows 関数 SetDIBitsToDevice と getDIBitsToDevice がデバイスで未サポート"},
      {RC_STRETCHDIB, "デバイスが Windows 関数 StretchDIBits を未サポート"},
  };
  unsigned caps = device.RasterCaps();
  for (const auto &need : kNeeds) {
    if (!(caps & need.bit)) {
      Ui().MessageBox(need.message, kCaption, MB_OK | MB_ICONEXCLAMATION);
      return -1;
    }
  }

  BusyScope busy(source_);
  std::string error;
  if (!device.StartDoc(kDocName, error)) {
    Ui().MessageBox("印刷開始できませんでした\n\n" + error, kCaption, MB_OK | MB_ICONINFORMATION);
    return -1;
  }

  int pages = 0, lastEnd = 0;
  {
    std::unique_ptr<ProgressWindow> progress = Ui().OpenProgress(kProgressTitle);
    progress->SetRange(0, source_.CountSelected());
    progress_ = progress.get();
    int pageNumber = 1;
    for (int i = 0; i < source_.EntryCount(); ++i) {
      if (!source_.IsSelected(i)) continue;
      progress->SetText(source_.EntryName(i));
      if (device.StartPage()) {
        PrintPage(device, definitionFile, i, pageNumber);
        ++pageNumber;
      }
      lastEnd = device.EndPage();
      progress->Step(1);
      if (lastEnd < 0) {
        // A spooler that failed once fails for every later page; one message is enough,
        // and the job is thrown away below.
        Ui().MessageBox(PageEndMessage(lastEnd), kCaption, MB_OK | MB_ICONEXCLAMATION);
        break;
      }
      ++pages;
      if (progress->Aborted()) break;
    }
    progress_ = nullptr;
  }

  int result = pages;
  if (lastEnd > 0) {
    if (!device.EndDoc()) {
      Ui().MessageBox(PageEndMessage(SP_ERROR), kCaption, MB_OK | MB_ICONEXCLAMATION);
      result = -1;
    }
  } else {
    device.AbortDoc();
    result = lastEnd < 0 ? -1 : 0;
  }
  if (QCoreApplication::instance()) QCoreApplication::processEvents();
  return result;
}

void CPrintLayout::PrintPage(CPrintDevice &device, const std::string &definitionFile, int &entryIndex,
                             int pageNumber) {
  std::error_code ec;
  if (!definitionFile.empty() && std::filesystem::exists(definitionFile, ec)) {
    std::string text;
    // A file that cannot be read still gives its page, without commands.
    ReadPrintDefinition(definitionFile, text);
    PrintDefinitionPage(device, text, entryIndex, pageNumber);
    return;
  }
  QPainter *painter = device.Painter();
  if (!painter || entryIndex < 0 || entryIndex >= source_.EntryCount()) return;
  GlobalHandle picture(source_.LoadPicture(entryIndex));
  QImage image = DibToImage(picture.get());
  if (image.isNull()) return;
  const PrintMeasures m = device.Measures();
  painter->save();
  DrawImageInto(*painter, FitPictureRect(image.width(), image.height(), m.horzRes, m.vertRes), image,
                device.Preview());
  painter->restore();
}

void CPrintLayout::PrintDefinitionPage(CPrintDevice &device, std::string_view definition, int &entryIndex,
                                       int pageNumber) {
  QPainter *painter = device.Painter();
  if (!painter) return;
  Page page{*painter, device.Measures(), device.Preview(), entryIndex, false, GlobalHandle()};
  page.current = entryIndex >= 0 && entryIndex < source_.EntryCount();
  if (page.current) page.picture.reset(source_.LoadPicture(entryIndex));

  painter->save();
  painter->setRenderHint(QPainter::Antialiasing, false);
  painter->setBackgroundMode(Qt::TransparentMode);
  vars_.StartPage(page.measures.horzSizeMm, page.measures.vertSizeMm, pageNumber);
  std::string_view rest = definition;
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    RunCommand(page, line);
  }
  painter->restore();
}

void CPrintLayout::RunCommand(Page &page, std::string_view line) {
  if (line.empty()) return;
  switch (AsciiUpper(line[0])) {
    case 'B':
      DrawLine(page, line, true);
      break;
    case 'L':
      if (line.size() > 1 && AsciiUpper(line[1]) == 'E') {
        std::string name(TrimBlanks(GetListField(line, 1)));
        vars_.SetNumber(name, vars_.EvaluateExpression(GetListField(line, 2)));
      } else {
        DrawLine(page, line, false);
      }
      break;
    case 'N':
      NextPicture(page);
      break;
    case 'P':
      DrawPictureCommand(page, line);
      break;
    case 'S':
      DrawTextCommand(page, line);
      break;
    default:
      break;  // anything else is a comment
  }
}

void CPrintLayout::NextPicture(Page &page) {
  page.picture.reset();
  const int count = source_.EntryCount();
  int i = std::max(page.index, -1) + 1;
  while (i < count && !source_.IsSelected(i)) ++i;
  if (i >= count) {
    page.index = count;
    page.current = false;
    return;
  }
  page.index = i;
  page.current = true;
  if (progress_) {
    progress_->SetText(source_.EntryName(i));
    progress_->Step(1);
  }
  page.picture.reset(source_.LoadPicture(i));
}

void CPrintLayout::DrawLine(Page &page, std::string_view line, bool box) {
  auto expr = [&](int n) { return vars_.EvaluateExpression(GetListField(line, n)); };
  int x1 = page.X(expr(1)), y1 = page.Y(expr(2)), x2 = page.X(expr(3)), y2 = page.Y(expr(4));
  QColor colour = FromColourRef(ParseHexColour(GetListField(line, 5)));
  int width = std::clamp(page.X(expr(6)), 1, 1 << 16);
  // The platform's solid geometric pen has round ends and joins.
  page.painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  page.painter.setBrush(Qt::NoBrush);
  if (box) {
    const QPoint outline[] = {{x1, y1}, {x2, y1}, {x2, y2}, {x1, y2}, {x1, y1}};
    page.painter.drawPolyline(outline, 5);
  } else {
    page.painter.drawLine(x1, y1, x2, y2);
  }
}

void CPrintLayout::DrawPictureCommand(Page &page, std::string_view line) {
  auto expr = [&](int n) { return vars_.EvaluateExpression(GetListField(line, n)); };
  int x1 = page.X(expr(1)), y1 = page.Y(expr(2)), x2 = page.X(expr(3)), y2 = page.Y(expr(4));
  int placement = ClampToInt(expr(5));
  double boxWidth = std::abs(static_cast<double>(x2) - x1);
  double boxHeight = std::abs(static_cast<double>(y2) - y1);

  QImage image = DibToImage(page.picture.get());
  double scale;
  if (!image.isNull()) {
    scale = std::min(boxWidth / image.width(), boxHeight / image.height());
  } else {
    // Nothing to show: a white square with the file icon stands in, at most icon size.
    image = QImage(32, 32, QImage::Format_RGB32);
    image.fill(Qt::white);
    if (page.current) {
      QPainter p(&image);
      source_.DrawFileIcon(p, QRect(0, 0, 32, 32), page.index);
    }
    scale = std::min({boxWidth / 32, boxHeight / 32, page.measures.logPixelsX / 72.0});
  }
  int width = ClampToInt(image.width() * scale, kCoordinateLimit);
  int height = ClampToInt(image.height() * scale, kCoordinateLimit);

  int left = x1, right = x2;
  switch (placement & 3) {
    case 1:
      right = x1 + width;
      break;
    case 2:
      left = x2 - width;
      break;
    case 3:
      left = x1 + ClampToInt((boxWidth - width) / 2, kCoordinateLimit);
      right = left + width;
      break;
    default:
      break;
  }
  int top = y1, bottom = y2;
  switch (placement & 12) {
    case 4:
      bottom = y1 + height;
      break;
    case 8:
      top = y2 - height;
      break;
    case 12:
      top = y1 + ClampToInt((boxHeight - height) / 2, kCoordinateLimit);
      bottom = top + height;
      break;
    default:
      break;
  }
  DrawImageInto(page.painter, QRect(left, top, right - left, bottom - top), image, page.preview);
}

void CPrintLayout::DrawTextCommand(Page &page, std::string_view line) {
  std::string format = GetListField(line, 5);
  std::string text = vars_.SubstituteVariables(source_.ExpandText(page.current ? page.index : -1, format));
  // After the last picture, a text that names picture or page facts has nothing to say.
  if (!page.current && text != format) return;
  // Fonts need the GUI application; a headless caller gets the lines and pictures only.
  if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance())) return;

  auto expr = [&](int n) { return vars_.EvaluateExpression(GetListField(line, n)); };
  int x1 = page.X(expr(1)), y1 = page.Y(expr(2)), x2 = page.X(expr(3)), y2 = page.Y(expr(4));
  QColor colour = FromColourRef(ParseHexColour(GetListField(line, 6)));
  int size = ClampToInt(expr(8), 1 << 16);
  if (size < 0) size = 1;
  int style = ClampToInt(expr(9));

  // A height of 0 leaves the size to the font system; 12 points is what it picks.
  int pixels = MulDiv(size > 0 ? size : 12, page.measures.logPixelsY, 72);
  QFont font = PrintFont(GetListField(line, 7), std::clamp(pixels, 1, 32767), style & 1, style & 2);

  QPainter &painter = page.painter;
  painter.save();
  painter.setFont(font);
  painter.setPen(colour);
  painter.setBackgroundMode(Qt::TransparentMode);
  QString qtext = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  QFontMetrics metrics = painter.fontMetrics();
  int x = x1;
  const int align = style & 12;
  if (align) {
    int textWidth = metrics.horizontalAdvance(qtext);
    if (textWidth <= x2 - x1) {
      if (align == 8)
        x = x2 - textWidth;
      else if (align == 12)
        x = static_cast<int>((static_cast<long long>(x1) + x2 - textWidth) / 2);
    }
    painter.setClipRect(QRect(x1, y1, x2 - x1, y2 - y1).normalized());
  }
  painter.drawText(x, y1 + metrics.ascent(), qtext);
  painter.restore();
}

bool ReadPrintDefinition(const std::string &path, std::string &text) {
  text.clear();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  auto size = std::filesystem::file_size(path, ec);
  if (ec || size > kMaxDefinitionBytes) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string raw(static_cast<std::size_t>(size), '\0');
  in.read(raw.data(), static_cast<std::streamsize>(raw.size()));
  raw.resize(static_cast<std::size_t>(in.gcount()));
  if (in.bad()) return false;
  // Editors may put a byte-order mark before the first command.
  if (raw.starts_with("\xEF\xBB\xBF")) raw.erase(0, 3);
  text = LegacyToUtf8(raw);
  return true;
}

QRect FitPictureRect(int pictureWidth, int pictureHeight, int areaWidth, int areaHeight) {
  if (pictureWidth <= 0 || pictureHeight <= 0 || areaWidth <= 0 || areaHeight <= 0) return {};
  double scale = std::min(static_cast<double>(areaWidth) / pictureWidth,
                          static_cast<double>(areaHeight) / pictureHeight);
  int width = ClampToInt(pictureWidth * scale, kCoordinateLimit);
  int height = ClampToInt(pictureHeight * scale, kCoordinateLimit);
  return QRect((areaWidth - width) / 2, (areaHeight - height) / 2, width, height);
}

}  // namespace tamro
