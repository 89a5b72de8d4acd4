// Built-in decoders not written yet answer "not supported".
#include "decode/builtin/builtin.h"

namespace tamro::builtin {

namespace {
struct Info {
  const char *name, *patterns;
};
const Info kInfo[] = {{"--BMP--", "*.BMP;*.RLE"}, {"--JPG--", "*.JPG;*.JPEG;*.JPE;*.JIFF"},
                      {"--GIF--", "*.GIF"},       {"--TIF--", "*.TIF;*.TIFF"},
                      {"--TXT--", "*.TXT"},       {"--AVI--", "*.AVI"},
                      {"--MPG--", "*.MPG;*.MPEG"}};
}  // namespace

const char *Name(int position) {
  return position >= kFirst && position <= kLast ? kInfo[position - kFirst].name : nullptr;
}
const char *Patterns(int position) {
  return position >= kFirst && position <= kLast ? kInfo[position - kFirst].patterns : nullptr;
}
int IsSupported(int, const char *, uintptr_t) { return 0; }
int GetPictureInfo(int, const char *, long, unsigned, SpiPictureInfo *, uint32_t *) { return SPI_NO_FUNCTION; }
int GetPicture(int, const char *, long, unsigned, HDIB *, intptr_t, long, ProgressProc, long) {
  return SPI_NO_FUNCTION;
}
int JpegDecodeThumbnail(HDIB *, const unsigned char *, std::size_t, int, ProgressProc, long) { return -1; }
int JpegSetHeadScan(int) { return 0; }
void JpegSetSkipList(const std::vector<int> &) {}
std::vector<int> JpegGetSkipList() { return {}; }
void TextSetSettings(int, int, int, const char *) {}

}  // namespace tamro::builtin
