// Built-in text decoder: plain Shift-JIS or UTF-8 text drawn into a picture.
#include "platform/text.h"

#include <QGuiApplication>
#include <QPalette>
#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "decode/builtin/builtin.h"
#include "decode/builtin/common.h"
#include "decode/builtin/decoders.h"
#include "picture/dibcanvas.h"
#include "platform/listfield.h"
#include "platform/profile.h"

namespace tamro::builtin {

namespace {

struct TextSettings {
  int columns = 40, rows = 40, fontSize = 12;
  std::string face = "ＭＳ ゴシック";
};
std::mutex gTextMutex;
TextSettings gText;

TextSettings CurrentSettings() {
  std::lock_guard lock(gTextMutex);
  return gText;
}

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool IsTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

}  // namespace

bool LooksLikeText(const unsigned char *data, std::size_t size) {
  const std::size_t n = std::min<std::size_t>(size, SPI_HEAD_BYTES);
  bool seen = false;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char c = data[i];
    if (IsLeadByte(c)) {
      // A lead byte at the very end takes the byte after it, which counts as 0.
      const unsigned char trail = i + 1 < n ? data[i + 1] : 0;
      if (!IsTrailByte(trail)) return false;
      ++i;
      seen = true;
    } else if ((c >= 0xA1 && c <= 0xDF) || (c >= 0x20 && c <= 0x7E)) {
      seen = true;
    } else if (!(c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == 0x1A || c == 0)) {
      return false;
    }
  }
  return seen;
}

int TextIsSupported(const char *fileName, uintptr_t data) {
  if (NameHasExtension(fileName, "*.html;*.htm;*.shtml")) return 0;
  const HeadBytes head = ReadHead(data);
  if (LooksLikeText(head.bytes, sizeof head.bytes)) return 1;
  // UTF-8 is this system's own code page: valid UTF-8 text is text as well. A multibyte
  // character cut at the end of the examined bytes is allowed.
  std::string_view s(reinterpret_cast<const char *>(head.bytes), head.read);
  while (!s.empty() && s.back() == 0) s.remove_suffix(1);
  for (int cut = 0; cut < 4 && !s.empty(); ++cut) {
    if (IsValidUtf8(s)) {
      bool seen = false;
      for (unsigned char c : s) {
        if (c > 0x20 && c != 0x7F) {
          seen = true;
        } else if (!(c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == 0x1A || c == 0)) {
          return 0;
        }
      }
      return seen ? 1 : 0;
    }
    if (head.read < sizeof head.bytes) break;  // only a full head may end inside a character
    s.remove_suffix(1);
  }
  return 0;
}

int TextGetPictureInfo(const char *source, long, unsigned flags, SpiPictureInfo *info) {
  if (!info || !source) return SPI_NO_FUNCTION;
  const unsigned form = flags & SPI_SOURCE_MASK;
  if (form != SPI_SOURCE_FILE && form != SPI_SOURCE_MEMORY) return SPI_NO_FUNCTION;
  const TextSettings t = CurrentSettings();
  *info = SpiPictureInfo{};
  info->width = t.columns * t.fontSize;
  info->height = t.rows * t.fontSize;
  info->colorDepth = 24;
  return SPI_OK;
}

namespace {

bool IsLineEnd(unsigned char c) { return c == '\r' || c == '\n' || c == 0x1A; }

// Length of the line starting at `p`: up to the next line end, at most `limit` bytes, and
// never ending inside a character.
std::size_t LineLength(const unsigned char *p, std::size_t size, std::size_t limit, bool utf8) {
  std::size_t n = 0;
  while (n < size && n < limit && !IsLineEnd(p[n])) {
    std::size_t len = 1;
    if (utf8) {
      if (p[n] >= 0xF0)
        len = 4;
      else if (p[n] >= 0xE0)
        len = 3;
      else if (p[n] >= 0xC0)
        len = 2;
    } else if (IsLeadByte(p[n])) {
      len = 2;
    }
    if (n + len > limit && n > 0) break;
    n = std::min(size, n + len);
  }
  return n;
}

COLORREF ToColorRef(const QColor &c) {
  return static_cast<COLORREF>(c.red()) | static_cast<COLORREF>(c.green()) << 8 |
         static_cast<COLORREF>(c.blue()) << 16;
}

// Draws the text onto a picture of the given size; null when that fails.
HDIB Render(const unsigned char *data, std::size_t size, int width, int height, const TextSettings &t) {
  // Fonts need the GUI application; without one there is nothing to draw with.
  if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance())) return nullptr;
  // The platform's window and window-text colours.
  const QPalette palette = QGuiApplication::palette();
  const COLORREF paper = ToColorRef(palette.color(QPalette::Base));
  const COLORREF ink = ToColorRef(palette.color(QPalette::Text));
  CDibCanvas canvas;
  if (!canvas.Create(width, height, paper)) return nullptr;
  const QFont font = CanvasFont(t.face, -t.fontSize);
  const bool utf8 = IsValidUtf8(std::string_view(reinterpret_cast<const char *>(data), size));
  const std::size_t limit = static_cast<std::size_t>(std::max(1, t.columns)) * 2;
  std::size_t at = 0;
  int y = 2;
  while (at < size && y < height) {
    const std::size_t n = LineLength(data + at, size - at, limit, utf8);
    std::string line(reinterpret_cast<const char *>(data + at), n);
    std::erase(line, '\0');
    if (!utf8) line = Cp932ToUtf8(line);
    const int advance =
        canvas.DrawText(QRect(QPoint(2, y), QPoint(width - 1, height - 1)), line, font, ink, 4);
    y += std::max(1, advance);
    at += n;
    while (at < size && IsLineEnd(data[at])) ++at;  // empty lines are not drawn
  }
  return canvas.GetDib();
}

}  // namespace

int TextGetPicture(const char *source, long lengthOrOffset, unsigned flags, HDIB *out, intptr_t size) {
  if (!out || !source) return SPI_NO_FUNCTION;
  const TextSettings t = CurrentSettings();
  int width = t.columns * t.fontSize, height = t.rows * t.fontSize;
  if (size) {
    // The caller may ask for another size: a width and a height, 0 keeping the setting.
    const int *wanted = reinterpret_cast<const int *>(size);
    if (wanted[0] > 0) width = wanted[0];
    if (wanted[1] > 0) height = wanted[1];
  }
  switch (flags & SPI_SOURCE_MASK) {
    case SPI_SOURCE_FILE: {
      FileView view(source, lengthOrOffset);
      if (view.empty()) {
        *out = Render(nullptr, 0, width, height, t);
      } else {
        if (!view.ok()) return SPI_READ_ERROR;
        *out = Render(view.data(), view.size(), width, height, t);
      }
      return *out ? SPI_OK : SPI_READ_ERROR;
    }
    case SPI_SOURCE_MEMORY:
      if (lengthOrOffset < 0) return SPI_NO_FUNCTION;
      *out = Render(reinterpret_cast<const unsigned char *>(source), static_cast<std::size_t>(lengthOrOffset),
                    width, height, t);
      return *out ? SPI_OK : SPI_NO_PICTURE;
    default:
      return SPI_NO_FUNCTION;
  }
}

void TextSetSettings(int columns, int rows, int fontSize, const char *face) {
  std::lock_guard lock(gTextMutex);
  if (columns) gText.columns = columns;
  if (rows) gText.rows = rows;
  if (fontSize) gText.fontSize = fontSize;
  if (face) gText.face = face;
}

void TextLoadSettings() {
  const std::string size = Profile::App().GetString("SPI", "TXTSize", "40,40");
  int columns = 0, rows = 0;
  GetListInt(size, 0, columns);
  GetListInt(size, 1, rows);
  TextSetSettings(columns > 0 ? columns : 0, rows > 0 ? rows : 0, 0, nullptr);
}

}  // namespace tamro::builtin
