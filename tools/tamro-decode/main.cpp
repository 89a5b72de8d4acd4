// tamro-decode: decodes a picture, or lists and decodes archive members, through the same
// decoder search as the browser, and prints the outcome as JSON lines.
//
//   tamro-decode [--plugin-dir DIR] [--reduce N] FILE [--out OUT.bmp]
//   tamro-decode [--plugin-dir DIR] --list ARCHIVE
//   tamro-decode [--plugin-dir DIR] [--reduce N] --member POSITION ARCHIVE [--out OUT.bmp]
//
// Exit status: 0 decoded or listed, 1 nothing could decode it, 2 usage error.
#include <QGuiApplication>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "decode/spihost.h"
#include "picture/dib.h"
#include "platform/globalhandle.h"
#include "platform/profile.h"
#include "platform/startup.h"

namespace {

using namespace tamro;

constexpr int kExitOk = 0, kExitFailed = 1, kExitUsage = 2;

struct Options {
  std::string pluginDir;
  long reduce = 1;
  std::string file, out;
  bool list = false;
  bool member = false;
  uint32_t memberPosition = 0;
};

int Usage(const char *why) {
  std::fprintf(
      stderr,
      "tamro-decode: %s\n"
      "usage: tamro-decode [--plugin-dir DIR] [--reduce N] FILE [--out OUT.bmp]\n"
      "       tamro-decode [--plugin-dir DIR] --list ARCHIVE\n"
      "       tamro-decode [--plugin-dir DIR] [--reduce N] --member POSITION ARCHIVE [--out OUT.bmp]\n",
      why);
  return kExitUsage;
}

bool ParseNumber(const char *text, long lo, long hi, long *out) {
  errno = 0;
  char *end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (errno || end == text || *end || v < lo || v > hi) return false;
  *out = v;
  return true;
}

// A JSON string literal; bytes that are not valid UTF-8 are not expected (names arrive as
// UTF-8), control characters are escaped.
std::string Json(std::string_view s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

void PrintPicture(int result, int decoder, const std::string &name, HDIB dib) {
  std::printf("{\"result\":%d,\"decoder\":%d,\"name\":%s,\"width\":%d,\"height\":%d,\"bits\":%d}\n", result,
              decoder, Json(name).c_str(), dib ? DibWidth(dib) : 0, dib ? std::abs(DibHeight(dib)) : 0,
              dib ? DibBitCount(dib) : 0);
}

int Save(const std::string &out, HDIB dib) {
  if (out.empty()) return kExitOk;
  if (SaveDibFile(out, dib) == 1) return kExitOk;
  std::fprintf(stderr, "tamro-decode: cannot write %s\n", out.c_str());
  return kExitFailed;
}

// The archive plug-in that takes the file, or -1.
int FindArchive(CSpiHost &host, const std::string &path) {
  SpiHead head;
  if (ReadHead(path, 0, &head) != 0) return -1;
  SpiQuery query;
  query.fileName = path;
  query.kind = kSpiArchive;
  query.data = reinterpret_cast<uintptr_t>(head.bytes);
  query.length = head.length;
  return host.FindDecoder(query);
}

int DecodeFile(CSpiHost &host, const Options &o) {
  SpiHead head;
  if (ReadHead(o.file, 0, &head) != 0) {
    std::fprintf(stderr, "tamro-decode: cannot read %s\n", o.file.c_str());
    PrintPicture(6, -1, "", nullptr);
    return kExitFailed;
  }
  int result = -1;
  for (int start = 0;;) {
    SpiQuery query;
    query.fileName = o.file;
    query.start = start;
    query.data = reinterpret_cast<uintptr_t>(head.bytes);
    query.length = head.length;
    const int decoder = host.FindDecoder(query);
    if (decoder < 0) break;
    HDIB dib = nullptr;
    result = host.GetPicture(decoder, o.file.c_str(), &dib, 0, o.reduce, SPI_SOURCE_FILE, 0);
    GlobalHandle picture(dib);
    if (result == 0 && picture) {
      PrintPicture(0, decoder, host.GetDecoderName(decoder, kSpiPicture), picture.get());
      return Save(o.out, picture.get());
    }
    start = decoder + 1;
  }
  PrintPicture(result, -1, "", nullptr);
  return kExitFailed;
}

int ListArchive(CSpiHost &host, const Options &o) {
  const int archive = FindArchive(host, o.file);
  if (archive < 0) {
    std::fprintf(stderr, "tamro-decode: no archive plug-in takes %s\n", o.file.c_str());
    return kExitFailed;
  }
  const int r = ListArchiveMembers(host, archive, o.file, [](const ArchiveMember &m) {
    std::printf(
        "{\"position\":%u,\"name\":%s,\"path\":%s,\"size\":%u,\"compressed\":%u,\"time\":%lld,"
        "\"method\":%s}\n",
        m.position, Json(m.name).c_str(), Json(m.path).c_str(), m.fileSize, m.compressedSize,
        static_cast<long long>(m.timeStamp), Json(m.method).c_str());
    return true;
  });
  if (r != 0) {
    std::fprintf(stderr, "tamro-decode: listing failed (%d)\n", r);
    return kExitFailed;
  }
  return kExitOk;
}

int DecodeMember(CSpiHost &host, const Options &o) {
  const int archive = FindArchive(host, o.file);
  if (archive < 0) {
    std::fprintf(stderr, "tamro-decode: no archive plug-in takes %s\n", o.file.c_str());
    return kExitFailed;
  }
  // The member's name, for the decoders' extension checks.
  std::string name;
  ListArchiveMembers(host, archive, o.file, [&](const ArchiveMember &m) {
    if (m.position != o.memberPosition) return true;
    name = m.name;
    return false;
  });
  HDIB dib = nullptr;
  int decoder = -1;
  const int r = GetMemberPicture(host, archive, o.file, o.memberPosition, name, -1, &dib, o.reduce, nullptr,
                                 0, &decoder);
  GlobalHandle picture(dib);
  if (r != 0 || !picture) {
    PrintPicture(r != 0 ? r : -1, -1, "", nullptr);
    return kExitFailed;
  }
  PrintPicture(0, decoder, host.GetDecoderName(decoder, kSpiPicture), picture.get());
  return Save(o.out, picture.get());
}

}  // namespace

int main(int argc, char **argv) {
  Options o;
  std::vector<std::string> rest;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    auto value = [&]() -> const char * { return i + 1 < argc ? argv[++i] : nullptr; };
    if (a == "--plugin-dir") {
      const char *v = value();
      if (!v) return Usage("--plugin-dir needs a folder");
      o.pluginDir = v;
    } else if (a == "--reduce") {
      const char *v = value();
      if (!v || !ParseNumber(v, 1, 1 << 16, &o.reduce)) return Usage("--reduce needs a number from 1");
    } else if (a == "--out") {
      const char *v = value();
      if (!v) return Usage("--out needs a file name");
      o.out = v;
    } else if (a == "--list") {
      o.list = true;
    } else if (a == "--member") {
      const char *v = value();
      long position = 0;
      if (!v || !ParseNumber(v, 0, UINT32_MAX, &position)) return Usage("--member needs a member position");
      o.member = true;
      o.memberPosition = static_cast<uint32_t>(position);
    } else if (a.size() > 1 && a[0] == '-') {
      return Usage("unknown option");
    } else {
      rest.emplace_back(a);
    }
  }
  if (rest.size() != 1) return Usage("exactly one file is needed");
  if (o.list && (o.member || !o.out.empty())) return Usage("--list takes no --member or --out");
  o.file = rest[0];

  // Text pictures are drawn with fonts, which need a GUI application; without a display the
  // offscreen platform serves.
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);
  // Qt takes the user's locale for the C library too; numbers in settings, layouts and on
  // the command line are written with a decimal point whatever the language.
  std::setlocale(LC_NUMERIC, "C");

  const Profile &profile = Profile::App();
  if (o.pluginDir.empty()) o.pluginDir = LookupPluginFolder(profile, ExecutableFolder());

  CSpiHost host;
  // A command-line run leaves the user's settings as they are.
  const std::string setName = profile.GetString("SPI", "SPISet", "");
  host.ScanPlugins(o.pluginDir + "/*.spi", nullptr, setName);
  host.LoadPluginSet(setName);
  host.ApplyDynamicLoading();

  if (o.list) return ListArchive(host, o);
  if (o.member) return DecodeMember(host, o);
  return DecodeFile(host, o);
}
