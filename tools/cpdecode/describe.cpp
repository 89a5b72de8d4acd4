#include "describe.h"

#include <libexif/exif-data.h>
#include <libexif/exif-loader.h>
#include <libexif/exif-utils.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace cpdecode {

namespace {

struct LoaderFree {
  void operator()(ExifLoader *l) const { exif_loader_unref(l); }
};
struct DataFree {
  void operator()(ExifData *d) const { exif_data_unref(d); }
};
using LoaderPtr = std::unique_ptr<ExifLoader, LoaderFree>;
using DataPtr = std::unique_ptr<ExifData, DataFree>;

// Parses what the loader collected. The library's fix-up option would invent missing
// mandatory tags (a date of today among them), so it is switched off.
DataPtr Parse(ExifLoader *loader) {
  const unsigned char *buffer = nullptr;
  unsigned int bytes = 0;
  exif_loader_get_buf(loader, &buffer, &bytes);
  if (!buffer || bytes == 0) return nullptr;
  DataPtr data(exif_data_new());
  if (!data) return nullptr;
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_load_data(data.get(), buffer, bytes);
  return data;
}

bool ValidUtf8(const std::string &s) {
  std::size_t i = 0, n = s.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int extra = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : -1;
    if (extra < 0 || (extra == 1 && c < 0xC2) || (extra == 3 && c > 0xF4)) return false;
    for (int k = 1; k <= extra; ++k)
      if (i + k >= n || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

// Text fit for one field: no separators, quotes or control characters, blanks collapsed.
std::string Clean(std::string raw) {
  bool utf8 = ValidUtf8(raw);
  std::string out;
  for (char ch : raw) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F || ch == ':' || ch == ',' || ch == '"') ch = ' ';
    else if (c >= 0x80 && !utf8) ch = '?';
    if (ch == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += ch;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

ExifEntry *Find(ExifData *data, ExifIfd ifd, ExifTag tag) {
  ExifContent *content = data->ifd[ifd];
  return content ? exif_content_get_entry(content, tag) : nullptr;
}

std::string Ascii(ExifData *data, ExifIfd ifd, ExifTag tag) {
  ExifEntry *e = Find(data, ifd, tag);
  if (!e || !e->data || e->size == 0 || e->format != EXIF_FORMAT_ASCII) return {};
  const char *text = reinterpret_cast<const char *>(e->data);
  return std::string(text, strnlen(text, e->size));
}

bool Rational(ExifData *data, ExifTag tag, double &value) {
  ExifEntry *e = Find(data, EXIF_IFD_EXIF, tag);
  if (!e || !e->data || e->components < 1 || e->size < 8 || e->format != EXIF_FORMAT_RATIONAL) return false;
  ExifRational r = exif_get_rational(e->data, exif_data_get_byte_order(data));
  if (r.denominator == 0 || r.numerator == 0) return false;
  value = static_cast<double>(r.numerator) / r.denominator;
  return std::isfinite(value);
}

// "%g" with at most three significant digits.
std::string Short(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3g", v);
  return buffer;
}

std::string Exposure(ExifData *data) {
  double t;
  if (!Rational(data, EXIF_TAG_EXPOSURE_TIME, t)) return {};
  if (t < 1.0) {
    double inverse = std::floor(1.0 / t + 0.5);
    if (inverse > 1e9) return {};
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "1/%.0fs", inverse);
    return buffer;
  }
  if (t > 1e6) return {};
  return Short(t) + "s";
}

std::string FNumber(ExifData *data) {
  double f;
  if (!Rational(data, EXIF_TAG_FNUMBER, f) || f > 1e4) return {};
  return "F" + Short(f);
}

std::string Iso(ExifData *data) {
  ExifEntry *e = Find(data, EXIF_IFD_EXIF, EXIF_TAG_ISO_SPEED_RATINGS);
  if (!e || !e->data || e->components < 1) return {};
  unsigned long value = 0;
  ExifByteOrder order = exif_data_get_byte_order(data);
  if (e->format == EXIF_FORMAT_SHORT && e->size >= 2) value = exif_get_short(e->data, order);
  else if (e->format == EXIF_FORMAT_LONG && e->size >= 4) value = exif_get_long(e->data, order);
  if (value == 0) return {};
  return "ISO" + std::to_string(value);
}

// "YYYY:MM:DD HH:MM:SS" as "YYYY/MM/DD HH.MM.SS"; the colons would split the field.
std::string TakenDate(ExifData *data) {
  std::string raw = Ascii(data, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL);
  if (raw.empty()) raw = Ascii(data, EXIF_IFD_0, EXIF_TAG_DATE_TIME);
  static const char kShape[] = "dddd:dd:dd dd:dd:dd";
  if (raw.size() < sizeof kShape - 1) return {};
  bool nonZero = false;
  for (std::size_t i = 0; i + 1 < sizeof kShape; ++i) {
    char want = kShape[i], got = raw[i];
    if (want == 'd') {
      if (got < '0' || got > '9') return {};
      if (got != '0') nonZero = true;
    } else if (got != want) {
      return {};
    }
  }
  if (!nonZero) return {};
  std::string out = raw.substr(0, 19);
  out[4] = out[7] = '/';
  out[13] = out[16] = '.';
  return out;
}

std::string Describe(ExifData *data) {
  if (!data) return {};
  std::vector<std::string> fields = {
      Clean(Ascii(data, EXIF_IFD_0, EXIF_TAG_MAKE)),  Clean(Ascii(data, EXIF_IFD_0, EXIF_TAG_MODEL)),
      Exposure(data), FNumber(data), Iso(data), TakenDate(data)};
  std::string line;
  for (const std::string &f : fields) {
    if (f.empty()) continue;
    if (!line.empty()) line += ':';
    line += f;
  }
  return line;
}

}  // namespace

std::string DescribeExif(const unsigned char *bytes, std::size_t size) {
  if (!bytes || size == 0) return {};
  LoaderPtr loader(exif_loader_new());
  if (!loader) return {};
  // The loader answers 0 once it has what it needs (or has given up).
  std::vector<unsigned char> chunk;
  for (std::size_t at = 0; at < size;) {
    std::size_t n = std::min<std::size_t>(size - at, 4096);
    chunk.assign(bytes + at, bytes + at + n);
    if (!exif_loader_write(loader.get(), chunk.data(), static_cast<unsigned int>(n))) break;
    at += n;
  }
  DataPtr data = Parse(loader.get());
  return Describe(data.get());
}

std::string DescribeFile(const char *path) {
  if (!path || !*path) return {};
  LoaderPtr loader(exif_loader_new());
  if (!loader) return {};
  exif_loader_write_file(loader.get(), path);
  DataPtr data = Parse(loader.get());
  return Describe(data.get());
}

int Answer(const std::string &line, char *buffer, int size) {
  if (!buffer || size <= 0) return 0;
  buffer[0] = '\0';
  std::size_t room = static_cast<std::size_t>(size) - 1;
  std::string out;
  std::size_t start = 0;
  while (start < line.size()) {
    std::size_t end = line.find(':', start);
    if (end == std::string::npos) end = line.size();
    std::string field = line.substr(start, end - start);
    std::size_t need = field.size() + (out.empty() ? 0 : 1);
    if (out.size() + need > room) {
      if (out.empty()) {
        // A lone field longer than the buffer is cut at a character boundary.
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(field[cut]) & 0xC0) == 0x80) --cut;
        out = field.substr(0, cut);
      }
      break;
    }
    if (!out.empty()) out += ':';
    out += field;
    start = end + 1;
  }
  if (out.empty()) return 0;
  std::memcpy(buffer, out.data(), out.size());
  buffer[out.size()] = '\0';
  return 1;
}

}  // namespace cpdecode
