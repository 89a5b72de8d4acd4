// Pictures through Qt's image readers, for the formats that Qt reads and no other decoder of
// Tamro does: BMP files the built-in BMP decoder leaves alone (other header sizes, 16 and 32
// bits), Windows icons and cursors, Apple icons, Targa, PNM, XPM, XBM, WBMP, MNG and BigTIFF
// (classic TIFF of any depth, floating-point samples included, is the TIFF plug-in's). Plug-ins are asked before the built-in decoders, so the
// claim is kept to exactly these; everything else is left to the decoder made for it.


#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "common/pictureplugin.h"
#include "platform/fileio.h"

namespace tamro::plugin {
namespace {

const char *const kInfo[] = {"00IN",
                             "Tamro Qt image reader decoder (Qt " QT_VERSION_STR ")",
                             "*.bmp;*.dib;*.rle",
                             "BMP 画像 (Qt)",
                             "*.ico;*.cur",
                             "Windows アイコン",
                             "*.icns",
                             "Apple アイコン",
                             "*.tga;*.icb;*.vda;*.vst",
                             "Targa 画像",
                             "*.pnm;*.pbm;*.pgm;*.ppm",
                             "PNM 画像",
                             "*.xpm;*.xbm",
                             "X11 画像",
                             "*.wbmp",
                             "WBMP 画像",
                             "*.mng",
                             "MNG 画像",
                             "*.tif;*.tiff",
                             "TIFF 画像 (BigTIFF)",
                             nullptr};

bool Is(const uint8_t *head, size_t size, std::string_view magic) {
  return size >= magic.size() && std::memcmp(head, magic.data(), magic.size()) == 0;
}

unsigned Le16(const uint8_t *p) { return p[0] | p[1] << 8u; }
uint32_t Le32(const uint8_t *p) { return Le16(p) | static_cast<uint32_t>(Le16(p + 2)) << 16u; }

// True when the extension of `name` is one of `extensions` (lower case), whatever its case.
bool HasExtension(std::string_view name, std::initializer_list<std::string_view> extensions) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || name.find('/', dot) != std::string_view::npos) return false;
  std::string ext(name.substr(dot + 1));
  for (char &c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return std::find(extensions.begin(), extensions.end(), ext) != extensions.end();
}

// The BMP files the built-in decoder reads: a 40-byte information header, 0, 1, 4, 8 or 24
// bits per pixel, and no run-length coding of rows stored top row first.
bool BuiltInReadsBmp(const uint8_t *head, size_t size) {
  if (size < 34) return false;
  const unsigned bits = Le16(head + 28);
  const uint32_t compression = Le32(head + 30);
  const bool topDown = (Le32(head + 22) & 0x80000000u) != 0;
  return Le32(head + 14) == 40 && (bits == 0 || bits == 1 || bits == 4 || bits == 8 || bits == 24) &&
         !(topDown && (compression == 1 || compression == 2));
}

// The name of Qt's reader for data that carries the mark of one of this plug-in's formats, or
// null.
const char *MarkedFormat(const uint8_t *head, size_t size) {
  if (Is(head, size, "BM")) return BuiltInReadsBmp(head, size) ? nullptr : "bmp";
  if (size >= 6 && head[0] == 0 && head[1] == 0 && (head[2] == 1 || head[2] == 2) && head[3] == 0 &&
      Le16(head + 4) > 0)
    return head[2] == 1 ? "ico" : "cur";
  if (Is(head, size, "icns")) return "icns";
  if (size >= 3 && head[0] == 'P' && head[1] >= '1' && head[1] <= '6' &&
      (head[2] == ' ' || head[2] == '\t' || head[2] == '\n' || head[2] == '\r' || head[2] == '#'))
    return head[1] == '1' || head[1] == '4' ? "pbm" : head[1] == '2' || head[1] == '5' ? "pgm" : "ppm";
  if (Is(head, size, "/* XPM */")) return "xpm";
  if (Is(head, size, "#define ") &&
      std::string_view(reinterpret_cast<const char *>(head), std::min<size_t>(size, 512)).find("_width") !=
          std::string_view::npos)
    return "xbm";
  if (Is(head, size, "\x8aMNG\r\n\x1a\n")) return "mng";
  if (Is(head, size, std::string_view("II+\0", 4)) || Is(head, size, std::string_view("MM\0+", 4)))
    return "tiff";
  return nullptr;
}

// A Targa header of a picture type and depth Qt's reader knows. (That reader also wants the
// footer, at the end of the file and so past the head bytes.)
bool IsTargaHeader(const uint8_t *head, size_t size) {
  if (size < 18 || head[1] > 1) return false;
  const unsigned type = head[2] & ~8u, depth = head[16];
  return type >= 1 && type <= 3 && (depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32);
}

// Targa and WBMP files carry no mark; only their names tell them.
const char *NamedFormat(std::string_view name) {
  if (HasExtension(name, {"tga", "icb", "vda", "vst"})) return "tga";
  if (HasExtension(name, {"wbmp"})) return "wbmp";
  return nullptr;
}

// A reader over bytes that stay where they are while it is used.
class Reader {
 public:
  Reader(const uint8_t *data, size_t size, const char *format)
      : bytes_(QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size))) {
    buffer_.setBuffer(&bytes_);
    buffer_.open(QIODevice::ReadOnly);
    reader_.setDevice(&buffer_);
    reader_.setFormat(format);
    reader_.setAutoTransform(false);
    reader_.setDecideFormatFromContent(false);
  }
  QImageReader &operator*() { return reader_; }
  QImageReader *operator->() { return &reader_; }

 private:
  QByteArray bytes_;
  QBuffer buffer_;
  QImageReader reader_;
};

// The format of the data a decoding call is given, or null. Qt's reader must exist here and
// take the data; without a name to go by, the formats without a mark are tried in turn.
const char *FormatOfData(const uint8_t *data, size_t size) {
  const char *marked = MarkedFormat(data, size);
  for (const char *format : {marked, IsTargaHeader(data, size) ? "tga" : nullptr, "wbmp"}) {
    if (format == nullptr) continue;
    Reader reader(data, size, format);
    if (reader->canRead()) return format;
    if (marked != nullptr) break;
  }
  return nullptr;
}

// Icons hold several pictures; the largest makes the best thumbnail and picture.
void JumpToLargest(QImageReader &reader) {
  const int count = reader.imageCount();
  if (count <= 1) return;
  int best = 0;
  qint64 bestArea = -1;
  for (int i = 0; i < count; ++i) {
    if (!reader.jumpToImage(i)) break;
    const QSize s = reader.size();
    const qint64 area = s.isValid() ? qint64{s.width()} * s.height() : 0;
    if (area > bestArea) {
      best = i;
      bestArea = area;
    }
  }
  reader.jumpToImage(best);
}

int BitsOf(QImage::Format format) {
  if (format == QImage::Format_Invalid) return 24;
  const QPixelFormat pixel = QImage::toPixelFormat(format);
  const int bits = pixel.bitsPerPixel();
  return bits == 32 && pixel.alphaUsage() == QPixelFormat::IgnoresAlpha ? 24 : bits;
}

bool Recognise(const uint8_t *head, size_t size) { return FormatOfData(head, size) != nullptr; }

int ReadFacts(const uint8_t *data, size_t size, PictureFacts &facts) {
  const char *format = FormatOfData(data, size);
  if (format == nullptr) return SPI_FORMAT_ERROR;
  Reader reader(data, size, format);
  JumpToLargest(*reader);
  QSize s = reader->size();
  if (!s.isValid()) {
    const QImage image = reader->read();
    if (image.isNull()) return SPI_FORMAT_ERROR;
    s = image.size();
  }
  facts.width = s.width();
  facts.height = s.height();
  facts.bitCount = BitsOf(reader->imageFormat());
  return SPI_OK;
}

int Decode(const uint8_t *data, size_t size, DibOutput &out, Progress &progress) {
  const char *format = FormatOfData(data, size);
  if (format == nullptr) return SPI_FORMAT_ERROR;
  if (progress.Report(0, 1)) return SPI_FORMAT_ERROR;
  Reader reader(data, size, format);
  JumpToLargest(*reader);
  QImage image;
  if (!reader->read(&image) || image.isNull())
    return reader->error() == QImageReader::InvalidDataError || reader->error() == QImageReader::UnknownError
               ? SPI_FORMAT_ERROR
               : SPI_READ_ERROR;
  if (!image.hasAlphaChannel() || image.format() != QImage::Format_RGBA8888)
    image.convertTo(image.hasAlphaChannel() ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
  if (image.isNull()) return SPI_OUT_OF_MEMORY;
  const int rc = out.Create(image.width(), image.height());
  if (rc != SPI_OK) return rc;
  const bool alpha = image.format() == QImage::Format_RGBA8888;
  for (int y = 0; y < image.height(); ++y) {
    if (alpha)
      out.PutRgba(y, image.constScanLine(y));
    else
      out.PutRgb(y, image.constScanLine(y));
  }
  progress.Report(1, 1);
  return SPI_OK;
}

const PictureFormat kFormat = {kInfo, &Recognise, &ReadFacts, &Decode};

}  // namespace
}  // namespace tamro::plugin

// IsSupported is the plug-in's own: Targa and WBMP files have no mark and are known by their
// names.
TAMRO_SPI_EXPORT int GetPluginInfo(int infono, char *buf, int buflen) {
  return ::tamro::plugin::PictureGetPluginInfo(::tamro::plugin::kFormat, infono, buf, buflen);
}
TAMRO_SPI_EXPORT int IsSupported(const char *filename, uintptr_t dw) {
  using namespace ::tamro::plugin;
  unsigned char head[SPI_HEAD_BYTES];
  if (!ReadHead(dw, head)) return 0;
  try {
    const char *format = MarkedFormat(head, sizeof head);
    if (format == nullptr && filename != nullptr) {
      format = NamedFormat(filename);
      if (format != nullptr && std::strcmp(format, "tga") == 0)
        return IsTargaHeader(head, sizeof head) && QImageReader::supportedImageFormats().contains("tga") ? 1
                                                                                                         : 0;
    }
    if (format == nullptr) return 0;
    Reader reader(head, sizeof head, format);
    return reader->canRead() ? 1 : 0;
  } catch (...) {
    return 0;
  }
}
TAMRO_SPI_EXPORT int GetPictureInfo(const char *buf, long len, unsigned int flag, SpiPictureInfo *info) {
  return ::tamro::plugin::PictureGetPictureInfo(::tamro::plugin::kFormat, buf, len, flag, info);
}
TAMRO_SPI_EXPORT int GetPicture(const char *buf, long len, unsigned int flag, HLOCAL *pHBInfo, HLOCAL *pHBm,
                                SPI_PROGRESS progress, long lData) {
  return ::tamro::plugin::PictureGetPicture(::tamro::plugin::kFormat, buf, len, flag, pHBInfo, pHBm, progress,
                                            lData);
}
// Every call reads through its own reader, so several threads may decode at once.
TAMRO_SPI_EXPORT int SpiThreadSafe(void) { return 1; }
