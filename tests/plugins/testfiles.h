#pragma once

// Test files made in the tests: pictures through the formats' own encoders, archives through
// libarchive's writer, and the archive kinds nothing here can write (ZIP with CP932 names,
// LHA, RAR) built byte by byte.

#include <cstdint>
#include <string>
#include <vector>

namespace tamro::test {

struct Rgba {
  uint8_t r, g, b, a;
};
// A picture as the encoders take it: rows top first, 4 bytes per pixel.
struct RgbaImage {
  int width = 0, height = 0;
  std::vector<Rgba> pixels;
  Rgba &at(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
  Rgba at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
// Four quadrants: red, green, blue, and white, with the given alpha.
RgbaImage Quadrants(int width, int height, uint8_t alpha = 255);
// 0xRRGGBB of `c` composited on white, as the plug-ins must deliver it.
uint32_t OnWhite(Rgba c);

// PNG written by libpng. `rows` are the packed rows of the given colour type and depth.
struct PngDesc {
  int width = 0, height = 0, colorType = 0, bitDepth = 8;
  bool interlace = false;
  std::vector<uint8_t> palette{};  // r,g,b triples
  std::vector<uint8_t> trns{};     // palette alphas
  int dpi = 0;
  std::string iccProfile{};  // an iCCP chunk when not empty
  std::vector<std::vector<uint8_t>> rows{};
};
std::string WritePng(const PngDesc &desc);
// The picture as RGBA, or as RGB without its alpha.
std::string PngFromRgba(const RgbaImage &image, bool interlace = false, const std::string &iccProfile = {},
                        bool alpha = true);

// GIF written by giflib: a logical screen with a global colour table and its images.
struct GifFrame {
  int left = 0, top = 0, width = 0, height = 0;
  bool interlace = false;
  int transparent = -1;
  std::vector<uint8_t> indices;  // width x height, rows top first
};
std::string WriteGif(int screenWidth, int screenHeight, const std::vector<Rgba> &palette,
                     const std::vector<GifFrame> &frames);

// WebP: lossless, or lossy at `quality` when it is above 0; with an ICCP chunk when
// `iccProfile` is not empty.
std::string Webp(const RgbaImage &image, float quality = 0, const std::string &iccProfile = {});
// An animation of solid frames of the given colours.
std::string WebpAnimation(int width, int height, const std::vector<Rgba> &frames);

// HEIF through libheif's encoder; `av1` picks AVIF. Empty when no encoder is available.
std::string HeifEncode(const RgbaImage &image, bool av1, bool alpha, const std::string &iccProfile = {});
// JPEG XL through libjxl, lossless. Empty when libjxl is not built in.
std::string JxlEncode(const RgbaImage &image, bool alpha);

// A DNG written by libtiff as cameras lay them out: the first directory an 8-bit RGB
// preview, its sub-directory a 12-bit RGGB mosaic of the sensor; camera "Tamro Testcam",
// 1/250 s F5.6 at 50 mm. In both pictures the top left quarter is bright, the rest dark.
struct DngDesc {
  int width = 64, height = 48;  // the sensor's, even
  int previewWidth = 160, previewHeight = 120;
  int orientation = 1;  // as TIFF states it
  bool jpegPreview = false;
};
std::string WriteDng(const DngDesc &desc);

struct ArchiveItem {
  std::string name;  // "/" separated; ends in "/" for a folder
  std::string data;
  int64_t mtime = 1000000000;
};
// An archive written by libarchive: format "zip", "7zip", "ustar", "pax", "iso9660";
// filter "none", "gzip", "bzip2", "xz"; `options` as archive_write_set_options takes them.
std::string WriteArchive(const std::string &format, const std::string &filter,
                         const std::vector<ArchiveItem> &items, const std::string &options = "",
                         const std::string &passphrase = "");

uint32_t Crc32(const std::string &data);

// A stored ZIP whose names are written as given (`utf8Flag` sets general-purpose bit 11).
struct RawZipItem {
  std::string rawName;
  std::string data;
  bool utf8Flag = false;
  uint16_t dosTime = 0, dosDate = 0x21;  // 1980-01-01
};
std::string RawZip(const std::vector<RawZipItem> &items);

// LHA level-0 archive of stored ("-lh0-") members with the raw names given.
std::string RawLzh(const std::vector<RawZipItem> &items);
// RAR 1.5-4.x archive of stored members with the raw names given.
std::string RawRar(const std::vector<RawZipItem> &items);

// Seconds since 1970 of a DOS date and time read as local time (as archivers store them).
int64_t DosToUnix(uint16_t dosDate, uint16_t dosTime);

}  // namespace tamro::test
