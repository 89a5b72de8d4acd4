#include "catalogue/hostdecoders.h"

#include <cstring>

#include "decode/spihost.h"
#include "platform/text.h"

namespace tamro {

namespace {

// The longest decoder name the thumbnail store keeps.
constexpr std::size_t kStoredNameBytes = 15;

const char *SourceOf(const PictureSource &s) {
  return s.memory ? reinterpret_cast<const char *>(s.memory) : s.path.c_str();
}
unsigned FlagsOf(const PictureSource &s) { return s.memory ? SPI_SOURCE_MEMORY : SPI_SOURCE_FILE; }
long LengthOf(const PictureSource &s) { return s.memory ? static_cast<long>(s.length) : 0; }

}  // namespace

int HostPictureDecoders::FindPictureDecoder(const std::string &name, const unsigned char *head, std::size_t length,
                                        int start, int archivePosition) {
  if (archivePosition >= 0) return FindMemberDecoder(host_, archivePosition, name, head, length, start);
  SpiQuery query;
  query.fileName = name;
  query.kind = kSpiPicture;
  query.start = start;
  query.data = reinterpret_cast<uintptr_t>(head);
  query.length = static_cast<long>(length);
  return host_.FindDecoder(query);
}

int HostPictureDecoders::GetPictureInfo(int position, const PictureSource &source, SpiPictureInfo &info,
                                    std::string &text) {
  info = SpiPictureInfo{};
  const int r = host_.GetPictureInfo(position, SourceOf(source), FlagsOf(source), LengthOf(source), &info);
  // The text block is ours whatever the answer.
  GlobalHandle block(reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(info.hInfo)));
  info.hInfo = 0;
  text.clear();
  if (r == 0 && block) {
    GlobalLockGuard lock(block.get());
    if (lock) {
      const char *p = lock.as<const char>();
      text = LegacyToUtf8(std::string_view(p, strnlen(p, block.size())));
    }
  }
  return r;
}

int HostPictureDecoders::GetPicture(int position, const PictureSource &source, long reduction, GlobalHandle &picture) {
  HDIB out = nullptr;
  const int r =
      host_.GetPicture(position, SourceOf(source), &out, 0, reduction, FlagsOf(source), LengthOf(source), nullptr, 0);
  picture.reset(out);
  if (r != 0) picture.reset();
  return r;
}

int HostPictureDecoders::ExtractMember(int archivePosition, const std::string &archivePath, uint32_t memberPosition,
                                   GlobalHandle &block) {
  return ExtractMemberToMemory(host_, archivePosition, archivePath, memberPosition, &block);
}

int HostPictureDecoders::FindDecoderByName(std::string_view name, int kind) {
  if (name.empty()) return -1;
  const int found = host_.FindDecoderByName(name, kind);
  if (found >= 0 || name.size() != kStoredNameBytes) return found;
  for (int i = 0; i < host_.Count(kind); ++i)
    if (StartsWithNoCase(host_.GetDecoderName(i, kind), name)) return i;
  return -1;
}

std::string HostPictureDecoders::DecoderName(int position, int kind) { return host_.GetDecoderName(position, kind); }

bool HostPictureDecoders::IsInUse(int position, int kind) {
  return position >= 0 && !host_.GetDecoderName(position, kind).empty() && host_.GetUse(position, kind);
}

ProgressProc HostPictureDecoders::SetProgressCallback(ProgressProc callback) {
  return host_.SetProgressCallback(callback);
}

}  // namespace tamro
