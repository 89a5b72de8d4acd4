// Built-in text decoder: plain Shift-JIS or UTF-8 text drawn into a picture.
#include <algorithm>
#include <mutex>
#include <string>

#include "decode/builtin/builtin.h"
#include "decode/builtin/common.h"
#include "decode/builtin/decoders.h"
#include "platform/listfield.h"
#include "platform/profile.h"
#include "platform/text.h"

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
        if (c >= 0x20 && c != 0x7F) {
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

int TextGetPicture(const char *, long, unsigned, HDIB *, intptr_t) { return SPI_NO_FUNCTION; }

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
