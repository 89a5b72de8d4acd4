#include "catalogue/fdthumbcache.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QByteArray>
#include <QCryptographicHash>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/fileio.h"

#ifndef TAMRO_VERSION
#define TAMRO_VERSION "0"
#endif

namespace tamro {

namespace {

constexpr int kEdges[] = {128, 256, 512, 1024};
constexpr const char *kFolders[] = {"normal", "large", "x-large", "xx-large"};

// Bytes a file URI's path keeps as they are; everything else is escaped, as the desktop's
// own libraries do, so that the names (the MD5 of the URI) agree with theirs.
bool PathSafe(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::strchr("!$&'()*+,-./:=@_~", c) != nullptr && c != 0;
}

// Makes each missing folder of `path` below the root, private to the user.
bool MakeFolders(const std::string &path) {
  std::string sofar;
  std::size_t at = 0;
  while (at != std::string::npos) {
    at = path.find('/', at + 1);
    sofar = path.substr(0, at);
    if (sofar.empty()) continue;
    if (::mkdir(sofar.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool IsInt(const QString &text, int64_t &value) {
  bool ok = false;
  value = text.trimmed().toLongLong(&ok);
  return ok;
}

}  // namespace

FdThumbCache::FdThumbCache(std::string root)
    : root_(std::move(root)), failFolder_(root_ + "/fail/tamro-" TAMRO_VERSION) {}

std::string FdThumbCache::DefaultRoot() {
  const char *cache = std::getenv("XDG_CACHE_HOME");
  if (cache && cache[0] == '/') return std::string(cache) + "/thumbnails";
  const char *home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.cache/thumbnails";
}

std::string FdThumbCache::FileUri(const std::string &path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  uri.reserve(uri.size() + path.size() * 3);
  for (unsigned char c : path) {
    if (PathSafe(c)) {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri;
}

std::string FdThumbCache::EntryName(const std::string &uri) {
  const QByteArray md5 = QCryptographicHash::hash(QByteArray(uri.data(), static_cast<qsizetype>(uri.size())),
                                                  QCryptographicHash::Md5);
  return md5.toHex().toStdString() + ".png";
}

int FdThumbCache::EdgeFor(int width, int height) {
  const int longer = std::max(width, height);
  for (int edge : kEdges)
    if (longer <= edge) return edge;
  return kEdges[std::size(kEdges) - 1];
}

const char *FdThumbCache::FolderFor(int edge) {
  for (std::size_t i = 0; i < std::size(kEdges); ++i)
    if (kEdges[i] == edge) return kFolders[i];
  return kFolders[0];
}

FdThumbCache::Lookup FdThumbCache::Find(const std::string &path, int64_t mtime, int width, int height,
                                        bool limitCheck, QImage &image) const {
  const std::string uri = FileUri(path), name = EntryName(uri);
  const QString wantUri = QString::fromStdString(uri);
  // An entry of this file made at another time is stale and deleted (the standard's pruning:
  // only entries met on the way).
  auto read = [&](const std::string &file, QImage &out) {
    if (::access(file.c_str(), F_OK) != 0) return false;
    QImageReader reader(QString::fromStdString(file), "png");
    if (!reader.read(&out) || out.isNull() || out.text(QStringLiteral("Thumb::URI")) != wantUri) return false;
    int64_t stamp = 0;
    if (IsInt(out.text(QStringLiteral("Thumb::MTime")), stamp) && stamp == mtime) return true;
    ::unlink(file.c_str());
    return false;
  };
  QImage found;
  if (read(failFolder_ + "/" + name, found)) return kFailed;
  // The smallest size that serves first: it is the quickest to read and scale.
  for (const char *folder : kFolders) {
    if (!read(root_ + "/" + folder + "/" + name, found)) continue;
    int64_t pw = 0, ph = 0;
    const bool whole = IsInt(found.text(QStringLiteral("Thumb::Image::Width")), pw) &&
                       IsInt(found.text(QStringLiteral("Thumb::Image::Height")), ph) &&
                       ((pw == found.width() && ph == found.height()) || (pw == found.height() && ph == found.width()));
    // A thumbnail the cell would enlarge is left for a larger size, unless it is the whole picture.
    double s = std::min(static_cast<double>(width) / found.width(), static_cast<double>(height) / found.height());
    if (limitCheck) s = std::min(s, 1.0);
    if (s > 1.0 + 1e-9 && !whole) continue;
    if (found.hasAlphaChannel()) {
      // Transparent thumbnails (of PNG or SVG files) are shown on white, as a viewer would.
      QImage flat(found.size(), QImage::Format_RGB888);
      flat.fill(Qt::white);
      QPainter p(&flat);
      p.drawImage(0, 0, found);
      p.end();
      image = std::move(flat);
    } else {
      image = found.convertToFormat(QImage::Format_RGB888);
    }
    return kHit;
  }
  return kMiss;
}

bool FdThumbCache::Write(const std::string &folder, const std::string &uri, int64_t mtime, uint64_t size,
                         const QImage &image, int pictureWidth, int pictureHeight) const {
  if (!MakeFolders(folder)) return false;
  QImage out = image;
  out.setText(QStringLiteral("Thumb::URI"), QString::fromStdString(uri));
  out.setText(QStringLiteral("Thumb::MTime"), QString::number(mtime));
  out.setText(QStringLiteral("Thumb::Size"), QString::number(size));
  if (pictureWidth > 0 && pictureHeight > 0) {
    out.setText(QStringLiteral("Thumb::Image::Width"), QString::number(pictureWidth));
    out.setText(QStringLiteral("Thumb::Image::Height"), QString::number(pictureHeight));
  }
  out.setText(QStringLiteral("Software"), QStringLiteral("Tamro " TAMRO_VERSION));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "png");
  if (!writer.write(out)) return false;
  AtomicFile file(folder + "/" + EntryName(uri));
  file.SetMode(0600);
  return file.Write(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))) && file.Commit();
}

bool FdThumbCache::Save(const std::string &path, int64_t mtime, uint64_t size, const QImage &image, int edge,
                        int pictureWidth, int pictureHeight) const {
  if (image.isNull() || image.width() > edge || image.height() > edge) return false;
  return Write(root_ + "/" + FolderFor(edge), FileUri(path), mtime, size, image, pictureWidth, pictureHeight);
}

bool FdThumbCache::SaveFailure(const std::string &path, int64_t mtime) const {
  QImage dot(1, 1, QImage::Format_ARGB32);
  dot.fill(Qt::transparent);
  return Write(failFolder_, FileUri(path), mtime, 0, dot, 0, 0);
}

}  // namespace tamro
