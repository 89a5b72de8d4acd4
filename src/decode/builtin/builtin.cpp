// Dispatch of the host's calls to the built-in decoders by position.
#include "decode/builtin/builtin.h"

#include <new>

#include "decode/builtin/decoders.h"

namespace tamro::builtin {

namespace {
struct Info {
  const char *name, *patterns;
};
const Info kInfo[] = {{"--BMP--", "*.BMP;*.RLE"}, {"--JPG--", "*.JPG;*.JPEG;*.JPE;*.JIFF"},
                      {"--GIF--", "*.GIF"},       {"--TIF--", "*.TIF;*.TIFF"},
                      {"--TXT--", "*.TXT"},       {"--AVI--", "*.AVI"},
                      {"--MPG--", "*.MPG;*.MPEG"}};
// The built-ins answer result codes as plug-ins do: memory running out inside one is answered
// as such, not thrown at the host's caller.
template <class Call>
int Answer(Call &&call, int outOfMemory) {
  try {
    return call();
  } catch (const std::bad_alloc &) {
    return outOfMemory;
  }
}

int Supported(int position, const char *fileName, uintptr_t data) {
  switch (position) {
    case kBmp:
      return BmpIsSupported(data);
    case kJpeg:
      return JpegIsSupported(fileName, data);
    case kGif:
      return GifIsSupported(data);
    case kTiff:
      return TiffIsSupported(data);
    case kText:
      return TextIsSupported(fileName, data);
    case kAvi:
      return AviIsSupported(data);
    default:
      return 0;  // MPEG never claims a file
  }
}

int Information(int position, const char *source, long lengthOrOffset, unsigned flags, SpiPictureInfo *info,
                uint32_t *extra) {
  switch (position) {
    case kBmp:
      return BmpGetPictureInfo(source, lengthOrOffset, flags, info);
    case kJpeg:
      return JpegGetPictureInfo(source, lengthOrOffset, flags, info, extra);
    case kGif:
      return GifGetPictureInfo(source, lengthOrOffset, flags, info);
    case kTiff:
      return TiffGetPictureInfo(source, lengthOrOffset, flags, info);
    case kText:
      return TextGetPictureInfo(source, lengthOrOffset, flags, info);
    case kAvi:
      return AviGetPictureInfo(source, lengthOrOffset, flags, info);
    default:
      return SPI_NO_FUNCTION;
  }
}

int Picture(int position, const char *source, long lengthOrOffset, unsigned flags, HDIB *out, intptr_t value1,
            long value2, ProgressProc progress, long user) {
  switch (position) {
    case kBmp:
      return BmpGetPicture(source, lengthOrOffset, flags, out);
    case kJpeg:
      return JpegGetPicture(source, lengthOrOffset, flags, out, value2, progress, user);
    case kGif:
      return GifGetPicture(source, lengthOrOffset, flags, out);
    case kTiff:
      return TiffGetPicture(source, lengthOrOffset, flags, out);
    case kText:
      return TextGetPicture(source, lengthOrOffset, flags, out, value1);
    case kAvi:
      return AviGetPicture(source, lengthOrOffset, flags, out);
    case kMpeg:
      return MpegGetPicture(flags);
    default:
      return SPI_NO_FUNCTION;
  }
}

}  // namespace

const char *Name(int position) {
  return position >= kFirst && position <= kLast ? kInfo[position - kFirst].name : nullptr;
}
const char *Patterns(int position) {
  return position >= kFirst && position <= kLast ? kInfo[position - kFirst].patterns : nullptr;
}

int IsSupported(int position, const char *fileName, uintptr_t data) {
  if (!data) return 0;
  return Answer([&] { return Supported(position, fileName, data); }, 0);
}

int GetPictureInfo(int position, const char *source, long lengthOrOffset, unsigned flags,
                   SpiPictureInfo *info, uint32_t *extra) {
  if (extra) *extra = 0;
  return Answer([&] { return Information(position, source, lengthOrOffset, flags, info, extra); },
                SPI_OUT_OF_MEMORY);
}

int GetPicture(int position, const char *source, long lengthOrOffset, unsigned flags, HDIB *out,
               intptr_t value1, long value2, ProgressProc progress, long user) {
  if (!out) return SPI_NO_FUNCTION;
  *out = nullptr;
  return Answer(
      [&] { return Picture(position, source, lengthOrOffset, flags, out, value1, value2, progress, user); },
      SPI_OUT_OF_MEMORY);
}

int GetColorProfile(int position, const char *source, long lengthOrOffset, unsigned flags,
                    std::string &profile) {
  profile.clear();
  if (position != kJpeg) return position >= kFirst && position <= kLast ? SPI_OK : SPI_NO_FUNCTION;
  return Answer([&] { return JpegGetColorProfile(source, lengthOrOffset, flags, profile); },
                SPI_OUT_OF_MEMORY);
}

}  // namespace tamro::builtin
