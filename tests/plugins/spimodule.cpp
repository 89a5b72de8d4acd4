#include "plugins/spimodule.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "picture/dibtypes.h"

namespace tamro::test {

SpiModule::SpiModule(const std::string &fileName) {
  std::string path = std::string(TAMRO_BIN_DIR) + "/" + fileName;
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    error_ = dlerror();
    return;
  }
  getPluginInfo = reinterpret_cast<SPI_GetPluginInfo>(dlsym(handle_, "GetPluginInfo"));
  isSupported = reinterpret_cast<SPI_IsSupported>(dlsym(handle_, "IsSupported"));
  getPictureInfo = reinterpret_cast<SPI_GetPictureInfo>(dlsym(handle_, "GetPictureInfo"));
  getPicture = reinterpret_cast<SPI_GetPicture>(dlsym(handle_, "GetPicture"));
  getPreview = reinterpret_cast<SPI_GetPreview>(dlsym(handle_, "GetPreview"));
  getArchiveInfo = reinterpret_cast<SPI_GetArchiveInfo>(dlsym(handle_, "GetArchiveInfo"));
  getFile = reinterpret_cast<SPI_GetFile>(dlsym(handle_, "GetFile"));
  getColorProfile = reinterpret_cast<SPI_GetColorProfile>(dlsym(handle_, "GetColorProfile"));
}

SpiModule::~SpiModule() {
  if (handle_ != nullptr) dlclose(handle_);
}

std::string SpiModule::Info(int n, bool *exists, int bufferSize) const {
  std::vector<char> buffer(static_cast<size_t>(bufferSize) + 8, '\x7F');
  int got = getPluginInfo(n, buffer.data(), bufferSize);
  if (exists != nullptr) *exists = got != 0;
  if (got == 0) return {};
  EXPECT_LT(got, bufferSize);
  EXPECT_EQ(buffer[static_cast<size_t>(got)], '\0');
  EXPECT_EQ(buffer[static_cast<size_t>(bufferSize)], '\x7F') << "wrote past the buffer";
  return std::string(buffer.data(), static_cast<size_t>(got));
}

void SpiModule::ExpectPatterns(const std::string &kind, std::initializer_list<const char *> patterns) const {
  EXPECT_EQ(Info(0), kind);
  EXPECT_FALSE(Info(1).empty());
  std::string all;
  bool exists = true;
  for (int n = 2;; n += 2) {
    std::string p = Info(n, &exists);
    if (!exists) break;
    EXPECT_FALSE(Info(n + 1).empty()) << "pattern " << n << " has no description";
    all += p + ";";
  }
  for (const char *p : patterns) EXPECT_NE(all.find(p), std::string::npos) << p << " not in " << all;
}

int SpiModule::IsSupportedHead(const std::string &name, const std::string &bytes) const {
  std::vector<char> head(SPI_HEAD_BYTES, 0);
  std::memcpy(head.data(), bytes.data(), std::min(bytes.size(), head.size()));
  return isSupported(name.c_str(), reinterpret_cast<uintptr_t>(head.data()));
}

int SpiModule::IsSupportedFd(const std::filesystem::path &file, off_t offset) const {
  int fd = ::open(file.c_str(), O_RDONLY);
  if (fd < 0) return -100;
  ::lseek(fd, offset, SEEK_SET);
  int answer = isSupported(file.c_str(), static_cast<uintptr_t>(fd));
  off_t after = ::lseek(fd, 0, SEEK_CUR);
  ::close(fd);
  EXPECT_EQ(after, offset) << "IsSupported moved the descriptor";
  return answer;
}

uint32_t Picture::At(int x, int y) const {
  size_t i = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3u;
  return (uint32_t{bgr[i + 2]} << 16) | (uint32_t{bgr[i + 1]} << 8) | bgr[i];
}

namespace {

// Takes `info` and `bits` by reference, so that a call filling them may be the first argument.
int Join(int rc, const HLOCAL &info, const HLOCAL &bits, Picture &out) {
  if (rc != SPI_OK) {
    EXPECT_EQ(std::pair(info, bits), std::pair(HLOCAL{}, HLOCAL{})) << "a failed call handed back a block";
    if (info != nullptr) GlobalFree(info);
    if (bits != nullptr) GlobalFree(bits);
    return rc;
  }
  EXPECT_TRUE(info != nullptr && bits != nullptr) << "a successful call handed back no block";
  if (info == nullptr || bits == nullptr) return -100;
  EXPECT_EQ(GlobalSize(info), 40u);
  const auto *h = static_cast<const BitmapInfoHeader *>(GlobalLock(info));
  const auto *p = static_cast<const uint8_t *>(GlobalLock(bits));
  // 40-byte header, one plane, 24 bits, uncompressed.
  EXPECT_EQ(std::tuple(h->size, h->planes, h->bitCount, h->compression), std::tuple(40u, 1, 24, 0u));
  EXPECT_GT(h->height, 0) << "rows are bottom-up";
  out = {h->width, h->height, h->xPelsPerMeter, {}};
  const size_t stride = (static_cast<size_t>(out.width) * 3 + 3) & ~size_t{3};
  EXPECT_EQ(GlobalSize(bits), stride * static_cast<size_t>(out.height));
  EXPECT_EQ(h->sizeImage, stride * static_cast<size_t>(out.height));
  if (GlobalSize(bits) >= stride * static_cast<size_t>(out.height)) {
    out.bgr.resize(static_cast<size_t>(out.width) * out.height * 3u);
    for (int y = 0; y < out.height; ++y)
      std::memcpy(&out.bgr[static_cast<size_t>(y) * out.width * 3u],
                  p + static_cast<size_t>(out.height - 1 - y) * stride, static_cast<size_t>(out.width) * 3u);
  }
  GlobalUnlock(info);
  GlobalUnlock(bits);
  EXPECT_EQ(GlobalFree(info), nullptr);
  EXPECT_EQ(GlobalFree(bits), nullptr);
  return rc;
}

}  // namespace

int DecodeMemory(const SpiModule &spi, const std::string &bytes, Picture &out, SPI_PROGRESS progress,
                 long user) {
  HLOCAL info = nullptr, bits = nullptr;
  return Join(spi.getPicture(bytes.data(), static_cast<long>(bytes.size()), SPI_SOURCE_MEMORY, &info, &bits,
                             progress, user),
              info, bits, out);
}

int PreviewMemory(const SpiModule &spi, const std::string &bytes, Picture &out) {
  HLOCAL info = nullptr, bits = nullptr;
  return Join(spi.getPreview(bytes.data(), static_cast<long>(bytes.size()), SPI_SOURCE_MEMORY, &info, &bits,
                             nullptr, 0),
              info, bits, out);
}

int DecodeFile(const SpiModule &spi, const std::filesystem::path &file, long offset, Picture &out) {
  HLOCAL info = nullptr, bits = nullptr;
  return Join(spi.getPicture(file.c_str(), offset, SPI_SOURCE_FILE, &info, &bits, nullptr, 0), info, bits,
              out);
}

int RecordProgress(int done, int total, long user) {
  reinterpret_cast<std::vector<std::pair<int, int>> *>(user)->emplace_back(done, total);
  return 0;
}

int ListArchive(const SpiModule &spi, const std::filesystem::path &file, std::vector<MemberRecord> &out) {
  out.clear();
  HLOCAL block = nullptr;
  int rc = spi.getArchiveInfo(file.c_str(), 0, SPI_SOURCE_FILE, &block);
  if (rc != SPI_OK) {
    EXPECT_EQ(block, nullptr) << "a failed listing handed back a block";
    if (block != nullptr) GlobalFree(block);
    return rc;
  }
  EXPECT_NE(block, nullptr);
  if (block == nullptr) return -100;
  const size_t count = GlobalSize(block) / sizeof(SpiArchiveInfo);
  EXPECT_EQ(GlobalSize(block) % sizeof(SpiArchiveInfo), 0u);
  const auto *records = static_cast<const SpiArchiveInfo *>(GlobalLock(block));
  size_t i = 0;
  for (; i < count && records[i].method[0] != 0; ++i) {
    const SpiArchiveInfo &r = records[i];
    EXPECT_NE(memchr(r.path, 0, sizeof r.path), nullptr) << "path not terminated";
    EXPECT_NE(memchr(r.filename, 0, sizeof r.filename), nullptr) << "file name not terminated";
    const auto *method = reinterpret_cast<const char *>(r.method);
    out.push_back({std::string(method, strnlen(method, 8)), r.position, r.compsize, r.filesize, r.timestamp,
                   std::string(r.path, strnlen(r.path, sizeof r.path)),
                   std::string(r.filename, strnlen(r.filename, sizeof r.filename))});
  }
  EXPECT_LT(i, count) << "no empty record ends the block";
  GlobalUnlock(block);
  EXPECT_EQ(GlobalFree(block), nullptr);
  return rc;
}

int ExtractMember(const SpiModule &spi, const std::filesystem::path &file, uint32_t position,
                  std::string &bytes, SPI_PROGRESS progress, long user) {
  bytes.clear();
  HLOCAL block = reinterpret_cast<HLOCAL>(uintptr_t{0xDEAD});
  int rc = spi.getFile(file.c_str(), static_cast<long>(position), reinterpret_cast<char *>(&block),
                       SPI_SOURCE_FILE | SPI_DEST_MEMORY, progress, user);
  if (rc != SPI_OK) {
    EXPECT_EQ(block, nullptr) << "a failed extraction left a handle";
    return rc;
  }
  EXPECT_NE(block, nullptr);
  if (block == nullptr) return -100;
  const auto *p = static_cast<const char *>(GlobalLock(block));
  bytes.assign(p, GlobalSize(block));
  GlobalUnlock(block);
  EXPECT_EQ(GlobalFree(block), nullptr);
  return rc;
}

}  // namespace tamro::test
