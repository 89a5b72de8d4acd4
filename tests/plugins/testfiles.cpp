#include "plugins/testfiles.h"

#include <archive.h>
#include <archive_entry.h>
#include <gif_lib.h>
#include <libheif/heif.h>
#include <locale.h>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>
#include <webp/encode.h>
#include <webp/mux.h>
#include <zlib.h>
#ifdef TAMRO_TEST_JXL
#include <jxl/encode.h>
#endif

#include <csetjmp>
#include <cstring>
#include <ctime>
#include <memory>

#include "support/bytes.h"
#include "support/sandbox.h"

namespace tamro::test {

RgbaImage Quadrants(int width, int height, uint8_t alpha) {
  RgbaImage image{width, height, std::vector<Rgba>(static_cast<size_t>(width) * height)};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const bool right = x >= width / 2, bottom = y >= height / 2;
      image.at(x, y) = !bottom ? (!right ? Rgba{255, 0, 0, alpha} : Rgba{0, 255, 0, alpha})
                               : (!right ? Rgba{0, 0, 255, alpha} : Rgba{255, 255, 255, alpha});
    }
  return image;
}

uint32_t Crc32(const std::string &data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef *>(data.data()), static_cast<uInt>(data.size())));
}

uint32_t OnWhite(Rgba c) {
  auto over = [&](unsigned v) { return (v * c.a + 255u * (255u - c.a) + 127u) / 255u; };
  return (over(c.r) << 16) | (over(c.g) << 8) | over(c.b);
}

namespace {

// The pixels as bytes red, green, blue and, with `alpha`, alpha; rows top first.
std::vector<uint8_t> Packed(const RgbaImage &image, bool alpha) {
  std::vector<uint8_t> bytes;
  for (const Rgba &p : image.pixels) {
    bytes.insert(bytes.end(), {p.r, p.g, p.b});
    if (alpha) bytes.push_back(p.a);
  }
  return bytes;
}

// The writers' output callbacks append to the std::string they are handed.
void PngWriteToString(png_structp png, png_bytep data, png_size_t length) {
  static_cast<std::string *>(png_get_io_ptr(png))->append(reinterpret_cast<const char *>(data), length);
}
heif_error HeifWrite(heif_context *, const void *data, size_t size, void *user) {
  static_cast<std::string *>(user)->append(static_cast<const char *>(data), size);
  return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}
la_ssize_t ArchiveToString(struct archive *, void *client, const void *buffer, size_t length) {
  static_cast<std::string *>(client)->append(static_cast<const char *>(buffer), length);
  return static_cast<la_ssize_t>(length);
}

void Put16(std::string &s, std::initializer_list<uint32_t> values) {
  for (uint32_t v : values) PutLe16(s, v);
}
void Put32(std::string &s, std::initializer_list<uint32_t> values) {
  for (uint32_t v : values) PutLe32(s, v);
}

uint16_t Crc16(const std::string &data) {
  uint16_t crc = 0;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = static_cast<uint16_t>((crc >> 1) ^ (0xA001u & (0u - (crc & 1u))));
  }
  return crc;
}

// A RAR 4 block: its CRC (low 16 bits of the CRC-32 of the rest of the header) in front.
void RarBlock(std::string &out, const std::string &rest) {
  PutLe16(out, Crc32(rest) & 0xFFFF);
  out += rest;
}

// Exposure tags LibRaw reads from a DNG's first directory, unknown to libtiff there.
const TIFFFieldInfo kExposureTags[] = {
    {33434, 1, 1, TIFF_RATIONAL, FIELD_CUSTOM, 1, 0, const_cast<char *>("ExposureTime")},
    {33437, 1, 1, TIFF_RATIONAL, FIELD_CUSTOM, 1, 0, const_cast<char *>("FNumber")},
    {37386, 1, 1, TIFF_RATIONAL, FIELD_CUSTOM, 1, 0, const_cast<char *>("FocalLength")},
};

bool WritePngRows(png_structp png, png_infop info, const PngDesc &desc, std::string &out) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, &out, &PngWriteToString, nullptr);
  png_set_IHDR(png, info, desc.width, desc.height, desc.bitDepth, desc.colorType,
               desc.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!desc.palette.empty())
    png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(desc.palette.data()),
                 static_cast<int>(desc.palette.size() / 3));
  if (!desc.trns.empty())
    png_set_tRNS(png, info, desc.trns.data(), static_cast<int>(desc.trns.size()), nullptr);
  if (desc.dpi > 0) {
    png_uint_32 ppm = static_cast<png_uint_32>(desc.dpi * 10000.0 / 254.0 + 0.5);
    png_set_pHYs(png, info, ppm, ppm, PNG_RESOLUTION_METER);
  }
  if (!desc.iccProfile.empty())
    png_set_iCCP(png, info, "icc", PNG_COMPRESSION_TYPE_BASE,
                 reinterpret_cast<png_const_bytep>(desc.iccProfile.data()),
                 static_cast<png_uint_32>(desc.iccProfile.size()));
  png_write_info(png, info);
  std::vector<png_bytep> rows;
  for (const auto &r : desc.rows) rows.push_back(const_cast<png_bytep>(r.data()));
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

std::string WritePng(const PngDesc &desc) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::string out;
  bool ok = WritePngRows(png, info, desc, out);
  png_destroy_write_struct(&png, &info);
  return ok ? out : std::string();
}

std::string PngFromRgba(const RgbaImage &image, bool interlace, const std::string &iccProfile, bool alpha) {
  PngDesc desc{.width = image.width,
               .height = image.height,
               .colorType = alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
               .interlace = interlace,
               .iccProfile = iccProfile};
  const std::vector<uint8_t> packed = Packed(image, alpha);
  const size_t rowBytes = packed.size() / image.height;
  for (auto row = packed.begin(); row != packed.end(); row += rowBytes)
    desc.rows.emplace_back(row, row + rowBytes);
  return WritePng(desc);
}

std::string WriteGif(int screenWidth, int screenHeight, const std::vector<Rgba> &palette,
                     const std::vector<GifFrame> &frames) {
  std::string out;
  int error = 0;
  GifFileType *gif = EGifOpen(
      &out,
      [](GifFileType *g, const GifByteType *data, int length) {
        static_cast<std::string *>(g->UserData)
            ->append(reinterpret_cast<const char *>(data), static_cast<size_t>(length));
        return length;
      },
      &error);
  if (gif == nullptr) return {};
  int bits = 1;
  while ((1 << bits) < static_cast<int>(palette.size())) ++bits;
  std::vector<GifColorType> colours(static_cast<size_t>(1) << bits, GifColorType{0, 0, 0});
  for (size_t i = 0; i < palette.size(); ++i) colours[i] = {palette[i].r, palette[i].g, palette[i].b};
  ColorMapObject *map = GifMakeMapObject(1 << bits, colours.data());
  EGifSetGifVersion(gif, true);
  bool ok = EGifPutScreenDesc(gif, screenWidth, screenHeight, bits, 0, map) == GIF_OK;
  for (const GifFrame &f : frames) {
    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 10, f.transparent};
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    ok = ok && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_OK &&
         EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlace, nullptr) == GIF_OK;
    // giflib takes the rows in the order they are stored: four passes for an interlaced image,
    // the last one alone for a plain one.
    static constexpr int kStart[] = {0, 4, 2, 1, 0}, kStep[] = {8, 8, 4, 2, 1};
    for (int pass = f.interlace ? 0 : 4; pass < (f.interlace ? 4 : 5); ++pass)
      for (int y = kStart[pass]; y < f.height; y += kStep[pass])
        ok = ok && EGifPutLine(gif, const_cast<GifPixelType *>(&f.indices[static_cast<size_t>(y) * f.width]),
                               f.width) == GIF_OK;
  }
  GifFreeMapObject(map);
  ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
  return ok ? out : std::string();
}

std::string Webp(const RgbaImage &image, float quality, const std::string &iccProfile) {
  uint8_t *encoded = nullptr;
  const auto *rgba = reinterpret_cast<const uint8_t *>(image.pixels.data());
  const size_t size =
      quality > 0 ? WebPEncodeRGBA(rgba, image.width, image.height, image.width * 4, quality, &encoded)
                  : WebPEncodeLosslessRGBA(rgba, image.width, image.height, image.width * 4, &encoded);
  const WebPData in = {encoded, size};
  std::unique_ptr<WebPMux, void (*)(WebPMux *)> mux(WebPMuxCreate(&in, 1), WebPMuxDelete);
  WebPFree(encoded);
  const WebPData chunk = {reinterpret_cast<const uint8_t *>(iccProfile.data()), iccProfile.size()};
  WebPData out = {nullptr, 0};
  if (!mux || (!iccProfile.empty() && WebPMuxSetChunk(mux.get(), "ICCP", &chunk, 1) != WEBP_MUX_OK) ||
      WebPMuxAssemble(mux.get(), &out) != WEBP_MUX_OK)
    return {};
  std::string bytes(reinterpret_cast<const char *>(out.bytes), out.size);
  WebPDataClear(&out);
  return bytes;
}

std::string WebpAnimation(int width, int height, const std::vector<Rgba> &frames) {
  WebPAnimEncoder *enc = WebPAnimEncoderNew(width, height, nullptr);
  WebPConfig config;
  WebPConfigInit(&config);
  config.lossless = 1;
  int timestamp = 0;
  for (const Rgba &c : frames) {
    const std::vector<Rgba> solid(static_cast<size_t>(width) * height, c);
    WebPPicture pic;
    WebPPictureInit(&pic);
    pic.width = width;
    pic.height = height;
    WebPPictureImportRGBA(&pic, reinterpret_cast<const uint8_t *>(solid.data()), width * 4);
    WebPAnimEncoderAdd(enc, &pic, timestamp, &config);
    WebPPictureFree(&pic);
    timestamp += 100;
  }
  WebPAnimEncoderAdd(enc, nullptr, timestamp, nullptr);
  WebPData data = {nullptr, 0};
  WebPAnimEncoderAssemble(enc, &data);
  std::string bytes(reinterpret_cast<const char *>(data.bytes), data.size);
  WebPDataClear(&data);
  WebPAnimEncoderDelete(enc);
  return bytes;
}

std::string HeifEncode(const RgbaImage &image, bool av1, bool alpha, const std::string &iccProfile) {
  heif_compression_format format = av1 ? heif_compression_AV1 : heif_compression_HEVC;
  if (!heif_have_encoder_for_format(format)) return {};
  std::unique_ptr<heif_context, void (*)(heif_context *)> ctx(heif_context_alloc(), heif_context_free);
  heif_encoder *encoder = nullptr;
  if (heif_context_get_encoder_for_format(ctx.get(), format, &encoder).code != heif_error_Ok) return {};
  std::unique_ptr<heif_encoder, void (*)(heif_encoder *)> enc(encoder, heif_encoder_release);
  heif_encoder_set_lossy_quality(encoder, 95);
  heif_image *raw = nullptr;
  heif_image_create(image.width, image.height, heif_colorspace_RGB,
                    alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, &raw);
  std::unique_ptr<heif_image, void (*)(const heif_image *)> img(raw, heif_image_release);
  heif_image_add_plane(raw, heif_channel_interleaved, image.width, image.height, 8);
  if (!iccProfile.empty())
    heif_image_set_raw_color_profile(raw, "prof", iccProfile.data(), iccProfile.size());
  int stride = 0;
  uint8_t *plane = heif_image_get_plane(raw, heif_channel_interleaved, &stride);
  const std::vector<uint8_t> packed = Packed(image, alpha);
  const size_t rowBytes = packed.size() / image.height;
  for (int y = 0; y < image.height; ++y) std::memcpy(plane + y * stride, &packed[y * rowBytes], rowBytes);
  if (heif_context_encode_image(ctx.get(), raw, encoder, nullptr, nullptr).code != heif_error_Ok) return {};
  std::string bytes;
  heif_writer writer{1, &HeifWrite};
  if (heif_context_write(ctx.get(), &writer, &bytes).code != heif_error_Ok) return {};
  return bytes;
}

std::string JxlEncode([[maybe_unused]] const RgbaImage &image, [[maybe_unused]] bool alpha) {
#ifdef TAMRO_TEST_JXL
  std::unique_ptr<JxlEncoder, void (*)(JxlEncoder *)> enc(JxlEncoderCreate(nullptr), JxlEncoderDestroy);
  JxlBasicInfo info;
  JxlEncoderInitBasicInfo(&info);
  info.xsize = static_cast<uint32_t>(image.width);
  info.ysize = static_cast<uint32_t>(image.height);
  info.bits_per_sample = 8;
  info.num_color_channels = 3;
  info.alpha_bits = alpha ? 8 : 0;
  info.num_extra_channels = alpha ? 1 : 0;
  info.uses_original_profile = JXL_TRUE;
  if (JxlEncoderSetBasicInfo(enc.get(), &info) != JXL_ENC_SUCCESS) return {};
  JxlColorEncoding color;
  JxlColorEncodingSetToSRGB(&color, JXL_FALSE);
  if (JxlEncoderSetColorEncoding(enc.get(), &color) != JXL_ENC_SUCCESS) return {};
  JxlEncoderFrameSettings *settings = JxlEncoderFrameSettingsCreate(enc.get(), nullptr);
  JxlEncoderSetFrameLossless(settings, JXL_TRUE);
  const std::vector<uint8_t> pixels = Packed(image, alpha);
  JxlPixelFormat format = {alpha ? 4u : 3u, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  if (JxlEncoderAddImageFrame(settings, &format, pixels.data(), pixels.size()) != JXL_ENC_SUCCESS) return {};
  JxlEncoderCloseInput(enc.get());
  // Lossless output of these small pictures takes less room than their pixels and the headers.
  std::string out(pixels.size() + 65536, '\0');
  uint8_t *next = reinterpret_cast<uint8_t *>(out.data());
  size_t avail = out.size();
  if (JxlEncoderProcessOutput(enc.get(), &next, &avail) != JXL_ENC_SUCCESS) return {};
  out.resize(out.size() - avail);
  return out;
#else
  return {};
#endif
}

std::string WriteDng(const DngDesc &desc) {
  const std::string path = "/tmp/tamro-dng-" + std::to_string(getpid());
  TIFF *tif = TIFFOpen(path.c_str(), "w");
  if (tif == nullptr) return {};
  TIFFMergeFieldInfo(tif, kExposureTags, 3);
  const auto common = [&](int width, int height) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, desc.orientation);
  };
  const auto bright = [](int x, int y, int width, int height) { return x < width / 2 && y < height / 2; };
  // The preview, with the camera's description.
  const float toCamera[9] = {3.2406f, -1.5372f, -0.4986f, -0.9689f, 1.8758f,
                             0.0415f, 0.0557f,  -0.2040f, 1.0570f};
  const float neutral[3] = {1, 1, 1};
  uint64_t subIfd = 0;
  common(desc.previewWidth, desc.previewHeight);
  TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_MAKE, "Tamro");
  TIFFSetField(tif, TIFFTAG_MODEL, "Testcam");
  TIFFSetField(tif, TIFFTAG_UNIQUECAMERAMODEL, "Tamro Testcam");
  TIFFSetField(tif, TIFFTAG_DNGVERSION, "\1\4\0\0");
  TIFFSetField(tif, TIFFTAG_DNGBACKWARDVERSION, "\1\1\0\0");
  TIFFSetField(tif, TIFFTAG_COLORMATRIX1, 9, toCamera);
  TIFFSetField(tif, TIFFTAG_CALIBRATIONILLUMINANT1, 21);
  TIFFSetField(tif, TIFFTAG_ASSHOTNEUTRAL, 3, neutral);
  TIFFSetField(tif, 33434, 1.0 / 250);
  TIFFSetField(tif, 33437, 5.6);
  TIFFSetField(tif, 37386, 50.0);
  TIFFSetField(tif, TIFFTAG_SUBIFD, 1, &subIfd);
  if (desc.jpegPreview) {
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
    TIFFSetField(tif, TIFFTAG_JPEGTABLESMODE, 0);  // a whole JPEG stream, as cameras store it
  }
  std::vector<uint8_t> rgb(static_cast<size_t>(desc.previewWidth) * 3u);
  for (int y = 0; y < desc.previewHeight; ++y) {
    for (int x = 0; x < desc.previewWidth; ++x)
      std::memset(&rgb[static_cast<size_t>(x) * 3u],
                  bright(x, y, desc.previewWidth, desc.previewHeight) ? 255 : 0, 3);
    TIFFWriteScanline(tif, rgb.data(), static_cast<uint32_t>(y), 0);
  }
  TIFFWriteDirectory(tif);
  // The sensor's data, black at 0 and white at 4095.
  common(desc.width, desc.height);
  TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_CFA);
  const uint16_t repeat[2] = {2, 2};
  const uint8_t rggb[4] = {0, 1, 1, 2};
  const uint32_t white = 4095;
  TIFFSetField(tif, TIFFTAG_CFAREPEATPATTERNDIM, repeat);
  TIFFSetField(tif, TIFFTAG_CFAPATTERN, 4, rggb);
  TIFFSetField(tif, TIFFTAG_WHITELEVEL, 1, &white);
  std::vector<uint16_t> row(static_cast<size_t>(desc.width));
  for (int y = 0; y < desc.height; ++y) {
    for (int x = 0; x < desc.width; ++x)
      row[static_cast<size_t>(x)] = bright(x, y, desc.width, desc.height) ? 3800 : 200;
    TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0);
  }
  TIFFWriteDirectory(tif);
  TIFFClose(tif);
  std::string bytes = ReadFile(path);
  unlink(path.c_str());
  return bytes;
}

std::string WriteArchive(const std::string &format, const std::string &filter,
                         const std::vector<ArchiveItem> &items, const std::string &options,
                         const std::string &passphrase) {
  // Names are UTF-8; the writer converts from the thread's locale.
  locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  locale_t previous = utf8 != static_cast<locale_t>(0) ? uselocale(utf8) : static_cast<locale_t>(0);
  std::string out;
  struct archive *a = archive_write_new();
  bool ok = archive_write_set_format_by_name(a, format.c_str()) == ARCHIVE_OK;
  if (ok && filter != "none") ok = archive_write_add_filter_by_name(a, filter.c_str()) == ARCHIVE_OK;
  if (ok && !options.empty()) ok = archive_write_set_options(a, options.c_str()) == ARCHIVE_OK;
  if (ok && !passphrase.empty()) ok = archive_write_set_passphrase(a, passphrase.c_str()) == ARCHIVE_OK;
  if (ok) archive_write_set_bytes_in_last_block(a, 1);
  if (ok) ok = archive_write_open(a, &out, nullptr, &ArchiveToString, nullptr) == ARCHIVE_OK;
  for (const ArchiveItem &item : items) {
    if (!ok) break;
    struct archive_entry *e = archive_entry_new();
    archive_entry_copy_pathname(e, item.name.c_str());
    bool folder = !item.name.empty() && item.name.back() == '/';
    archive_entry_set_filetype(e, folder ? AE_IFDIR : AE_IFREG);
    archive_entry_set_perm(e, folder ? 0755 : 0644);
    archive_entry_set_size(e, folder ? 0 : static_cast<la_int64_t>(item.data.size()));
    archive_entry_set_mtime(e, item.mtime, 0);
    ok = archive_write_header(a, e) == ARCHIVE_OK;
    if (ok && !folder && !item.data.empty())
      ok = archive_write_data(a, item.data.data(), item.data.size()) ==
           static_cast<la_ssize_t>(item.data.size());
    archive_entry_free(e);
  }
  if (archive_write_close(a) != ARCHIVE_OK) ok = false;
  archive_write_free(a);
  if (previous != static_cast<locale_t>(0)) uselocale(previous);
  if (utf8 != static_cast<locale_t>(0)) freelocale(utf8);
  return ok ? out : std::string();
}

std::string RawZip(const std::vector<RawZipItem> &items) {
  std::string out, central;
  for (const RawZipItem &item : items) {
    const uint32_t offset = static_cast<uint32_t>(out.size());
    // From "version needed" to the name length, alike in the local and the central header.
    const auto size = static_cast<uint32_t>(item.data.size());
    auto common = [&](std::string &s) {
      Put16(s, {20u, item.utf8Flag ? 0x0800u : 0u, 0u, item.dosTime, item.dosDate});
      Put32(s, {Crc32(item.data), size, size});
      Put16(s, {static_cast<uint32_t>(item.rawName.size())});
    };
    Put32(out, {0x04034b50});
    common(out);
    Put16(out, {0});
    out += item.rawName + item.data;
    Put32(central, {0x02014b50});
    Put16(central, {20});  // made by MS-DOS
    common(central);
    Put16(central, {0, 0, 0, 0});  // extra, comment, disk, internal attributes
    Put32(central, {0x20, offset});
    central += item.rawName;
  }
  const uint32_t centralOffset = static_cast<uint32_t>(out.size()),
                 count = static_cast<uint32_t>(items.size());
  out += central;
  Put32(out, {0x06054b50});
  Put16(out, {0, 0, count, count});
  Put32(out, {static_cast<uint32_t>(central.size()), centralOffset});
  Put16(out, {0});
  return out;
}

std::string RawLzh(const std::vector<RawZipItem> &items) {
  std::string out;
  for (const RawZipItem &item : items) {
    std::string h;  // from the method on; size and checksum go in front
    h += "-lh0-";
    Put32(h, {static_cast<uint32_t>(item.data.size()), static_cast<uint32_t>(item.data.size())});
    Put16(h, {item.dosTime, item.dosDate});
    h += std::string("\x20\0", 2) + static_cast<char>(item.rawName.size()) +
         item.rawName;  // attribute, level 0
    Put16(h, {Crc16(item.data)});
    unsigned sum = 0;
    for (unsigned char c : h) sum += c;
    out += std::string{static_cast<char>(h.size()), static_cast<char>(sum & 0xFF)} + h + item.data;
  }
  out += '\0';
  return out;
}

std::string RawRar(const std::vector<RawZipItem> &items) {
  std::string out("Rar!\x1A\x07\x00", 7);
  std::string main = "\x73";
  Put16(main, {0, 13, 0});
  Put32(main, {0});
  RarBlock(out, main);
  for (const RawZipItem &item : items) {
    const auto size = static_cast<uint32_t>(item.data.size());
    std::string h = "\x74";
    Put16(h, {0x8000, static_cast<uint32_t>(32 + item.rawName.size())});
    Put32(h, {size, size});  // packed, unpacked
    h += '\x02';             // made on Windows
    Put32(h, {Crc32(item.data)});
    Put16(h, {item.dosTime, item.dosDate});
    h += "\x14\x30";  // version 2.0, stored
    Put16(h, {static_cast<uint32_t>(item.rawName.size())});
    Put32(h, {0x20});
    RarBlock(out, h + item.rawName);
    out += item.data;
  }
  std::string end = "\x7B";
  Put16(end, {0x4000, 7});
  RarBlock(out, end);
  return out;
}

int64_t DosToUnix(uint16_t dosDate, uint16_t dosTime) {
  std::tm t{};
  t.tm_year = ((dosDate >> 9) & 0x7F) + 80;
  t.tm_mon = ((dosDate >> 5) & 0x0F) - 1;
  t.tm_mday = dosDate & 0x1F;
  t.tm_hour = (dosTime >> 11) & 0x1F;
  t.tm_min = (dosTime >> 5) & 0x3F;
  t.tm_sec = (dosTime & 0x1F) * 2;
  t.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&t));
}

}  // namespace tamro::test
