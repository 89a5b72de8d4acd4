#pragma once

// The desktop's shared thumbnail cache ($XDG_CACHE_HOME/thumbnails): PNG files named by the
// MD5 of the picture's file URI, in folders by size ("normal" 128, "large" 256, "x-large"
// 512, "xx-large" 1024), each saying which file it shows (Thumb::URI) and the file's
// modification time when it was made (Thumb::MTime). File managers and other viewers keep
// them too, so a folder seen by any of them, or one nobody may write into, opens without
// decoding. Failures are remembered under fail/tamro-<version>/.
//
// Every call is safe on any thread: the object holds only its root folder, and files are
// written under a temporary name and renamed into place.

#include <cstdint>
#include <string>

#include <QImage>

namespace tamro {

class FdThumbCache {
 public:
  // `root` is the "thumbnails" folder itself.
  explicit FdThumbCache(std::string root);
  // $XDG_CACHE_HOME/thumbnails, or ~/.cache/thumbnails.
  static std::string DefaultRoot();
  const std::string &Root() const { return root_; }
  // Where this version of Tamro remembers the files it could not decode.
  const std::string &FailFolder() const { return failFolder_; }

  // "file://" and the absolute path, every byte outside the path's safe set escaped as %XX.
  static std::string FileUri(const std::string &path);
  // The hex MD5 of the URI and ".png".
  static std::string EntryName(const std::string &uri);
  // The size folder a thumbnail for a cell of width x height goes into: the smallest whose
  // edge is at least the cell's longer side (128, 256, 512, 1024).
  static int EdgeFor(int width, int height);
  static const char *FolderFor(int edge);

  enum Lookup { kMiss, kHit, kFailed };
  // A thumbnail of `path` made when the file's time was `mtime` (seconds), large enough that
  // fitting it into width x height (enlarging only without `limitCheck`) never enlarges it,
  // unless it is the whole picture. kFailed: the file was found undecodable at that time.
  // An entry made for another time is stale and deleted.
  Lookup Find(const std::string &path, int64_t mtime, int width, int height, bool limitCheck,
              QImage &image) const;
  // Saves `image` (at most `edge` each way) for `path` with its time and size; the picture's
  // own width and height go with it. False when it could not be written.
  bool Save(const std::string &path, int64_t mtime, uint64_t size, const QImage &image, int edge,
            int pictureWidth, int pictureHeight) const;
  // Remembers that `path` at time `mtime` could not be decoded.
  bool SaveFailure(const std::string &path, int64_t mtime) const;

 private:
  bool Write(const std::string &folder, const std::string &uri, int64_t mtime, uint64_t size,
             const QImage &image, int pictureWidth, int pictureHeight) const;

  std::string root_;
  std::string failFolder_;
};

}  // namespace tamro
