#pragma once

// Helpers of the thumbnail tests: a scriptable set of decoders, picture files and entries.

#include <sys/stat.h>

#include <QBuffer>
#include <QImage>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/picentry.h"
#include "catalogue/picturedecoders.h"
#include "picture/dib.h"
#include "picture/dibdraw.h"
#include "platform/globalhandle.h"
#include "support/guiapp.h"  // fonts and painting need a QGuiApplication
#include "support/sandbox.h"

namespace tamro::test {

// One pretend decoder. It accepts a file whose name ends with `suffix` (when set) or whose
// data starts with `magic`, and decodes only data that starts with `magic`.
struct FakeDecoder {
  int position = 0;
  std::string name;
  std::string suffix;
  std::string magic;
  bool inUse = true;
  int kind = PictureDecoders::kPicture;
  std::string info;       // information text handed back with the facts
  int failFactsWith = 0;  // non-zero: the facts call answers this
};

// Decoders that read pictures through QImage, remember what they were asked, and hand out
// archive members from a table.
class FakeDecoders : public PictureDecoders {
 public:
  std::vector<FakeDecoder> decoders = {{1000, "--BMP--", ".bmp", "BM", true, kPicture, "", 0},
                                       {1001, "--PNG--", ".png", "\x89PNG", true, kPicture, "", 0}};
  std::map<std::pair<std::string, uint32_t>, std::string> members;  // (archive path, position)
  std::vector<std::pair<int, long>> pictureCalls;                   // (position, reduction)
  std::vector<int> infoCalls;
  std::vector<std::string> searchedNames;
  int extractCalls = 0;
  std::function<void()> duringPicture;  // called inside every picture request

  FakeDecoder *Find(int position, int kind = -1) {
    for (auto &d : decoders)
      if (d.position == position && (kind < 0 || d.kind == kind)) return &d;
    return nullptr;
  }

  int FindPictureDecoder(const std::string &name, const unsigned char *head, std::size_t length, int start,
                         int) override {
    searchedNames.push_back(name);
    std::vector<FakeDecoder *> order;
    for (auto &d : decoders)
      if (d.kind == kPicture && d.inUse && d.position >= start) order.push_back(&d);
    std::sort(order.begin(), order.end(), [](auto *a, auto *b) { return a->position < b->position; });
    for (FakeDecoder *d : order) {
      const bool byName = !d->suffix.empty() && name.size() >= d->suffix.size() &&
                          name.compare(name.size() - d->suffix.size(), d->suffix.size(), d->suffix) == 0;
      const bool byMagic =
          length >= d->magic.size() && std::memcmp(head, d->magic.data(), d->magic.size()) == 0;
      if (byName || byMagic) return d->position;
    }
    return -1;
  }

  int GetPictureInfo(int position, const PictureSource &source, SpiPictureInfo &info,
                     std::string &text) override {
    infoCalls.push_back(position);
    FakeDecoder *d = Find(position);
    if (!d) return -1;
    if (d->failFactsWith) return d->failFactsWith;
    QImage image;
    if (!Decode(*d, source, image)) return 1;
    info = SpiPictureInfo{};
    info.width = image.width();
    info.height = image.height();
    info.colorDepth = 24;
    text = d->info;
    return 0;
  }

  int GetPicture(int position, const PictureSource &source, long reduction, GlobalHandle &picture,
                 ProgressProc = nullptr) override {
    pictureCalls.emplace_back(position, reduction);
    if (duringPicture) duringPicture();
    FakeDecoder *d = Find(position);
    if (!d) return -1;
    QImage image;
    if (!Decode(*d, source, image)) return 1;
    if (reduction > 1)
      image = image.scaled(std::max(1, static_cast<int>((image.width() + reduction - 1) / reduction)),
                           std::max(1, static_cast<int>((image.height() + reduction - 1) / reduction)));
    picture.reset(BitmapToDib(image.convertToFormat(QImage::Format_RGB888)));
    return picture ? 0 : 4;
  }

  int ExtractMember(int, const std::string &archivePath, uint32_t memberPosition,
                    GlobalHandle &block) override {
    ++extractCalls;
    auto it = members.find({archivePath, memberPosition});
    if (it == members.end()) return 6;
    block = GlobalHandle::Allocate(it->second.size());
    GlobalLockGuard lock(block.get());
    std::memcpy(lock.get(), it->second.data(), it->second.size());
    return 0;
  }

  int FindDecoderByName(std::string_view name, int kind) override {
    for (auto &d : decoders)
      if (d.kind == kind && d.name == name) return d.position;
    return -1;
  }
  std::string DecoderName(int position, int kind) override {
    const FakeDecoder *d = Find(position, kind);
    return d ? d->name : std::string();
  }
  bool IsInUse(int p, int kind) override { return Find(p, kind) && Find(p, kind)->inUse; }

 private:
  static bool Decode(const FakeDecoder &d, const PictureSource &source, QImage &image) {
    const std::string all = source.memory
                                ? std::string(reinterpret_cast<const char *>(source.memory), source.length)
                                : ReadFile(source.path);
    const QByteArray bytes(all.data(), static_cast<qsizetype>(all.size()));
    if (!bytes.startsWith(QByteArray(d.magic.data(), static_cast<qsizetype>(d.magic.size())))) return false;
    image = QImage::fromData(bytes);
    return !image.isNull();
  }
};

// A picture in a file format QImage writes ("PNG", "BMP"), painted by f(x, y) -> QColor.
template <class F>
std::string PictureBytes(int width, int height, const char *format, F f) {
  QImage image(width, height, QImage::Format_RGB888);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image.setPixelColor(x, y, f(x, y));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

inline std::string PlainPicture(int width, int height, QColor colour, const char *format = "PNG") {
  return PictureBytes(width, height, format, [&](int, int) { return colour; });
}

// A plain-file entry with the file's own size and last-write time.
inline std::unique_ptr<CPicEntry> FileEntry(const std::filesystem::path &file) {
  auto e = std::make_unique<CPicEntry>();
  e->SetFolder(file.parent_path().string());
  e->name = file.filename().string();
  struct stat st {};
  if (::stat(file.c_str(), &st) == 0) {
    e->size = static_cast<uint64_t>(st.st_size);
    e->lastWriteTime = static_cast<FileTime>(st.st_mtim.tv_sec) * kNanosPerSecond + st.st_mtim.tv_nsec;
    e->creationTime = e->lastWriteTime;
  }
  return e;
}

// An entry of a member of box.zip in `folder`, read by the archive decoder at position 0.
inline std::unique_ptr<CPicEntry> MemberEntry(const std::filesystem::path &folder, const std::string &name,
                                              uint32_t position, uint64_t size, int64_t stampSeconds) {
  auto e = std::make_unique<CPicEntry>();
  e->SetFolder(folder.string());
  e->SetArchiveName("box.zip");
  e->name = name;
  e->position = position;
  e->size = size;
  e->lastWriteTime = e->creationTime = stampSeconds * kNanosPerSecond;
  e->archiveDecoderIndex = 0;
  return e;
}

inline CellRect Rect(int left, int top, int right, int bottom) { return CellRect{left, top, right, bottom}; }

inline int WidthOf(HDIB h) { return DibWidth(h); }
inline int HeightOf(HDIB h) { return std::abs(DibHeight(h)); }

}  // namespace tamro::test
