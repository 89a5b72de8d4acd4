#include "catalogue/hostdecoders.h"

#include <cstring>

#include "decode/spihost.h"
#include "platform/text.h"

namespace tamro {

int QuietProgress(int, int, long) { return 0; }

// Fakes answer "none" for whatever they leave out.
int PictureDecoders::FindPictureDecoder(const std::string &, const unsigned char *, std::size_t, int, int) {
  return -1;
}
int PictureDecoders::FindArchiveDecoder(const std::string &, const unsigned char *, std::size_t, int) {
  return -1;
}
bool PictureDecoders::HasArchiveDecoders() { return false; }
int PictureDecoders::GetPictureInfo(int, const PictureSource &, SpiPictureInfo &, std::string &) {
  return -1;
}
int PictureDecoders::GetPicture(int, const PictureSource &, long, GlobalHandle &, ProgressProc) { return -1; }
int PictureDecoders::GetPreview(int, const PictureSource &, int, int, GlobalHandle &) { return -1; }
bool PictureDecoders::OrientsPictures(int) { return false; }
int PictureDecoders::GetColorProfile(int, const PictureSource &, std::string &profile) {
  profile.clear();
  return -1;
}
int PictureDecoders::ListArchive(int, const std::string &, std::vector<ArchiveMember> &) { return -1; }
int PictureDecoders::ExtractMember(int, const std::string &, uint32_t, GlobalHandle &) { return -1; }
std::string PictureDecoders::PictureFilter() { return {}; }
std::string PictureDecoders::ArchiveFilter() { return {}; }
std::string PictureDecoders::ArchiveMemberFilter(int) { return {}; }
int PictureDecoders::FindDecoderByName(std::string_view, int) { return -1; }
std::string PictureDecoders::DecoderName(int, int) { return {}; }
bool PictureDecoders::IsInUse(int, int) { return false; }
ProgressProc PictureDecoders::SetProgressCallback(ProgressProc) { return nullptr; }

namespace {

// The longest decoder name the thumbnail store keeps.
constexpr std::size_t kStoredNameBytes = 15;

const char *SourceOf(const PictureSource &s) {
  return s.memory ? reinterpret_cast<const char *>(s.memory) : s.path.c_str();
}
unsigned FlagsOf(const PictureSource &s) { return s.memory ? SPI_SOURCE_MEMORY : SPI_SOURCE_FILE; }
long LengthOf(const PictureSource &s) { return s.memory ? static_cast<long>(s.length) : 0; }

}  // namespace

int HostDecoders::FindPictureDecoder(const std::string &name, const unsigned char *head, std::size_t length,
                                     int start, int archivePosition) {
  if (!head || length == 0) return -1;
  if (archivePosition >= 0) return FindMemberDecoder(host_, archivePosition, name, head, length, start);
  SpiQuery query;
  query.fileName = name;
  query.kind = kSpiPicture;
  query.start = start;
  query.data = reinterpret_cast<uintptr_t>(head);
  query.length = static_cast<long>(length);
  return host_.FindDecoder(query);
}

int HostDecoders::FindArchiveDecoder(const std::string &path, const unsigned char *head, std::size_t length,
                                     int start) {
  if (!head || length == 0) return -1;
  SpiQuery query;
  query.fileName = path;
  query.kind = kSpiArchive;
  query.start = start;
  query.data = reinterpret_cast<uintptr_t>(head);
  query.length = static_cast<long>(length);
  return host_.FindDecoder(query);
}

bool HostDecoders::HasArchiveDecoders() { return host_.Count(kSpiArchive) > 0; }

int HostDecoders::GetPictureInfo(int position, const PictureSource &source, SpiPictureInfo &info,
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

int HostDecoders::GetPicture(int position, const PictureSource &source, long reduction, GlobalHandle &picture,
                             ProgressProc progress) {
  HDIB out = nullptr;
  const int r = host_.GetPicture(position, SourceOf(source), &out, 0, reduction, FlagsOf(source),
                                 LengthOf(source), progress, 0);
  picture.reset(out);
  if (r != 0) picture.reset();
  return r;
}

int HostDecoders::GetPreview(int position, const PictureSource &source, int wantWidth, int wantHeight,
                             GlobalHandle &picture) {
  HDIB out = nullptr;
  const int r = host_.GetPreview(position, SourceOf(source), &out, wantWidth, wantHeight, FlagsOf(source),
                                 LengthOf(source));
  picture.reset(out);
  if (r != 0) picture.reset();
  return r;
}

bool HostDecoders::OrientsPictures(int position) { return host_.OrientsPictures(position); }

int HostDecoders::GetColorProfile(int position, const PictureSource &source, std::string &profile) {
  return host_.GetColorProfile(position, SourceOf(source), FlagsOf(source), LengthOf(source), profile);
}

int HostDecoders::ListArchive(int position, const std::string &archivePath,
                              std::vector<ArchiveMember> &members) {
  members.clear();
  return ListArchiveMembers(host_, position, archivePath, [&](const ArchiveMember &m) {
    members.push_back(m);
    return true;
  });
}

int HostDecoders::ExtractMember(int archivePosition, const std::string &archivePath, uint32_t memberPosition,
                                GlobalHandle &block) {
  return ExtractMemberToMemory(host_, archivePosition, archivePath, memberPosition, &block);
}

std::string HostDecoders::PictureFilter() { return host_.BuildPictureFilter(kSpiPicture); }
std::string HostDecoders::ArchiveFilter() { return host_.BuildPictureFilter(kSpiArchive); }
std::string HostDecoders::ArchiveMemberFilter(int archivePosition) {
  return host_.BuildArchiveMemberFilter(archivePosition);
}

int HostDecoders::FindDecoderByName(std::string_view name, int kind) {
  if (name.empty()) return -1;
  const int found = host_.FindDecoderByName(name, kind);
  if (found >= 0 || name.size() != kStoredNameBytes) return found;
  for (int i = 0; i < host_.Count(kind); ++i)
    if (StartsWithNoCase(host_.GetDecoderName(i, kind), name)) return i;
  return -1;
}

std::string HostDecoders::DecoderName(int position, int kind) { return host_.GetDecoderName(position, kind); }

bool HostDecoders::IsInUse(int position, int kind) {
  return position >= 0 && !host_.GetDecoderName(position, kind).empty() && host_.GetUse(position, kind);
}

ProgressProc HostDecoders::SetProgressCallback(ProgressProc callback) {
  return host_.SetProgressCallback(callback);
}

}  // namespace tamro
