// Calling a decoder through the fault guard: a memory image of the file for decoders that
// take one, the MacBinary retries, and the fall-back to the file name when memory failed.
#include <cstring>

#include "decode/fileimagemap.h"
#include "decode/spiguard.h"
#include "decode/spihostimpl.h"
#include "platform/globalhandle.h"

namespace tamro {

using namespace spidetail;

// The file-input-only bit of a decoder; a missing one counts as set.
bool CSpiHost::Impl::FileOnly(int position, int kind) const {
  if (kind == kSpiPicture && IsBuiltin(position)) return builtinFileOnly[position - builtin::kFirst] != 0;
  const CSpiPlugin *p = Plugin(position, kind);
  return !p || (p->flags.load() & kSpiFileOnly);
}

void CSpiHost::Impl::MarkFileOnly(int position, int kind) {
  if (kind == kSpiPicture && IsBuiltin(position)) {
    builtinFileOnly[position - builtin::kFirst] = 1;
  } else if (CSpiPlugin *p = Plugin(position, kind)) {
    p->flags.fetch_or(kSpiFileOnly);
  }
}

// Steps shared by the decoder calls: map the file when the decoder takes memory, retry past
// a MacBinary header, and fall back to the file (for good) when memory did not work.
// `call(source, &faulted)` sets `faulted` when the plug-in faulted: a plug-in that faulted
// is not called again for the same request (it was reported once; the next call would
// most likely fault again), and its file-input-only bit stays as it was.
template <class Call>
int CSpiHost::Impl::CallWithSource(int position, int kind, const Source &given, bool macBinaryRetry,
                                   Call &&call) {
  FileImageMap map;
  Source src = given;
  const bool mapped = !FileOnly(position, kind) && (given.flags & SPI_SOURCE_MASK) == SPI_SOURCE_FILE;
  if (mapped) {
    if (!given.data || !map.Open(given.data)) return -1;
    if (given.lengthOrOffset < 0 || static_cast<std::size_t>(given.lengthOrOffset) >= map.size()) return -1;
    src.data = map.data() + given.lengthOrOffset;
    src.lengthOrOffset = static_cast<long>(map.size()) - given.lengthOrOffset;
    src.flags = (given.flags & SPI_DEST_MASK) | SPI_SOURCE_MEMORY;
  }
  bool faulted = false;
  int result = call(src, &faulted);
  if (faulted) return -1;
  if (result != 0 && macBinaryRetry && macBinCheck) {
    Source retry = src;
    for (int attempt = 0; attempt < kMacBinaryTries && result != 0; ++attempt) {
      if ((retry.flags & SPI_SOURCE_MASK) == SPI_SOURCE_FILE) {
        retry.lengthOrOffset += kMacBinarySkip;
      } else {
        retry.data += kMacBinarySkip;
        retry.lengthOrOffset -= kMacBinarySkip;
        if (retry.lengthOrOffset <= 0) break;
      }
      result = call(retry, &faulted);
      if (faulted) return -1;
    }
  }
  if (mapped && result != 0) {
    MarkFileOnly(position, kind);
    result = call(given, &faulted);
    if (faulted) return -1;
  }
  return result;
}

namespace {

// The progress callback as a plug-in gets it. The plug-in calls it from inside the guard, but
// the callback is our own code, so it runs with the guard paused: a fault there is a fault of
// ours, not the plug-in's, and must not jump back over our frames.
struct ProgressRelay {
  ProgressProc progress;
  long user;
};
static_assert(sizeof(long) >= sizeof(ProgressRelay *), "the user value carries a pointer");

int RelayProgress(int done, int total, long user) {
  const auto *relay = reinterpret_cast<const ProgressRelay *>(user);
  FaultGuardPause pause;
  return relay->progress(done, total, relay->user);
}

long RelayUser(const ProgressRelay &relay) { return reinterpret_cast<long>(&relay); }

void FreeIfSet(HLOCAL *h) {
  if (h && *h) {
    GlobalFree(*h);
    *h = nullptr;
  }
}

}  // namespace

int CSpiHost::GetPictureInfo(int position, const char *source, unsigned flags, long lengthOrOffset,
                             SpiPictureInfo *info, uint32_t *extra) {
  if (!info) return -1;
  SharedHold hold(impl_->lock);
  CSpiPlugin *p = IsBuiltin(position) ? nullptr : impl_->Plugin(position, kSpiPicture);
  if (!IsBuiltin(position) && !p) return -1;
  auto call = [&](const Source &s, bool *faulted) {
    std::memset(info, 0, sizeof *info);
    if (extra) *extra = 0;
    if (IsBuiltin(position)) {
      if (position == builtin::kMpeg) return -1;
      return builtin::GetPictureInfo(position, s.data, s.lengthOrOffset, s.flags, info, extra);
    }
    SPI_GetPictureInfo fn = p->getPictureInfo;
    if (!fn) return -1;
    ModuleCall lock(*p);
    const int r = SpiGuarded(
        "GetPictureInfo", [&] { return fn(s.data, s.lengthOrOffset, s.flags, info); }, -1, faulted);
    if (r != 0 && info->hInfo) {
      // A failed call keeps nothing it handed out.
      GlobalFree(reinterpret_cast<HLOCAL>(static_cast<uintptr_t>(info->hInfo)));
      info->hInfo = 0;
    }
    return r;
  };
  return impl_->CallWithSource(position, kSpiPicture, Source{source, lengthOrOffset, flags}, true, call);
}

int CSpiHost::GetPicture(int position, const char *source, HDIB *picture, intptr_t value1, long value2,
                         unsigned flags, long lengthOrOffset, ProgressProc progress, long user) {
  if (!picture) return -1;
  *picture = nullptr;
  SharedHold hold(impl_->lock);
  CSpiPlugin *p = IsBuiltin(position) ? nullptr : impl_->Plugin(position, kSpiPicture);
  if (!IsBuiltin(position) && !p) return -1;
  if (!progress) progress = progress_.load();
  if (position == builtin::kJpeg && impl_->fastJpeg) value2 >>= 1;
  const ProgressRelay relay{progress, user};
  auto call = [&](const Source &s, bool *faulted) -> int {
    if (IsBuiltin(position)) {
      HDIB out = nullptr;
      const int r = builtin::GetPicture(position, s.data, s.lengthOrOffset, s.flags, &out, value1, value2,
                                        progress, user);
      if (r != 0) {
        FreeIfSet(&out);
        return r;
      }
      *picture = out;
      return out ? 0 : 1;
    }
    SPI_GetPicture fn = p->getPicture;
    if (!fn) return -1;
    HLOCAL info = nullptr, pixels = nullptr;
    int r;
    {
      ModuleCall lock(*p);
      const long relayUser = RelayUser(relay);
      r = SpiGuarded(
          "GetPicture",
          [&] { return fn(s.data, s.lengthOrOffset, s.flags, &info, &pixels, &RelayProgress, relayUser); },
          -1, faulted);
    }
    if (r != 0) {
      FreeIfSet(&info);
      FreeIfSet(&pixels);
      return r;
    }
    // Our own code: it reads what the plug-in wrote, checking every size against its block.
    HDIB out = nullptr;
    r = AppendHandle(info, pixels, &out);
    if (r != 0) return r;
    *picture = out;
    return 0;
  };
  return impl_->CallWithSource(position, kSpiPicture, Source{source, lengthOrOffset, flags}, true, call);
}

int CSpiHost::GetPreview(int position, const char *source, HDIB *picture, int wantWidth, int wantHeight,
                         unsigned flags, long lengthOrOffset, ProgressProc progress, long user) {
  if (!picture) return -1;
  *picture = nullptr;
  SharedHold hold(impl_->lock);
  CSpiPlugin *p = IsBuiltin(position) ? nullptr : impl_->Plugin(position, kSpiPicture);
  if (!p || (!p->getPreviewSized && !p->getPreview)) return -1;
  if (!progress) progress = progress_.load();
  const ProgressRelay relay{progress, user};
  auto call = [&](const Source &s, bool *faulted) -> int {
    SPI_GetPreviewSized sized = p->getPreviewSized;
    SPI_GetPreview plain = p->getPreview;
    if (!sized && !plain) return -1;
    HLOCAL info = nullptr, pixels = nullptr;
    int r;
    {
      ModuleCall lock(*p);
      const long relayUser = RelayUser(relay);
      r = SpiGuarded(
          "GetPreview",
          [&] {
            return sized ? sized(s.data, s.lengthOrOffset, s.flags, wantWidth, wantHeight, &info, &pixels,
                                 &RelayProgress, relayUser)
                         : plain(s.data, s.lengthOrOffset, s.flags, &info, &pixels, &RelayProgress, relayUser);
          },
          -1, faulted);
    }
    if (r != 0) {
      FreeIfSet(&info);
      FreeIfSet(&pixels);
      return r;
    }
    HDIB out = nullptr;
    r = AppendHandle(info, pixels, &out);
    if (r != 0) return r;
    *picture = out;
    return 0;
  };
  return impl_->CallWithSource(position, kSpiPicture, Source{source, lengthOrOffset, flags}, true, call);
}

bool CSpiHost::OrientsPictures(int position) const {
  SharedHold hold(impl_->lock);
  const CSpiPlugin *p = IsBuiltin(position) ? nullptr : impl_->Plugin(position, kSpiPicture);
  return p && p->orientsPictures;
}

int CSpiHost::GetFile(int position, const char *source, char *destination, unsigned flags,
                      long lengthOrOffset, ProgressProc progress, long user) {
  SharedHold hold(impl_->lock);
  CSpiPlugin *p = impl_->Plugin(position, kSpiArchive);
  if (!p) return -1;
  if (!progress) progress = progress_.load();
  const bool toMemory = (flags & SPI_DEST_MASK) == SPI_DEST_MEMORY;
  HLOCAL *block = toMemory ? reinterpret_cast<HLOCAL *>(destination) : nullptr;
  if (toMemory && !block) return -1;
  const ProgressRelay relay{progress, user};
  auto call = [&](const Source &s, bool *faulted) -> int {
    SPI_GetFile fn = p->getFile;
    if (!fn) return -1;
    if (block) *block = nullptr;
    int r;
    {
      ModuleCall lock(*p);
      const long relayUser = RelayUser(relay);
      r = SpiGuarded(
          "GetFile",
          [&] { return fn(s.data, s.lengthOrOffset, destination, s.flags, &RelayProgress, relayUser); }, -1,
          faulted);
    }
    if (r != 0) FreeIfSet(block);
    return r;
  };
  return impl_->CallWithSource(position, kSpiArchive, Source{source, lengthOrOffset, flags}, false, call);
}

int CSpiHost::GetColorProfile(int position, const char *source, unsigned flags, long lengthOrOffset,
                              std::string &profile) {
  profile.clear();
  SharedHold hold(impl_->lock);
  CSpiPlugin *p = IsBuiltin(position) ? nullptr : impl_->Plugin(position, kSpiPicture);
  if (!IsBuiltin(position) && !p) return -1;
  auto call = [&](const Source &s, bool *faulted) -> int {
    if (IsBuiltin(position))
      return builtin::GetColorProfile(position, s.data, s.lengthOrOffset, s.flags, profile);
    SPI_GetColorProfile fn = p->getColorProfile;
    if (!fn) return 0;  // a plug-in that does not tell
    HLOCAL block = nullptr;
    int r;
    {
      ModuleCall lock(*p);
      r = SpiGuarded(
          "GetColorProfile", [&] { return fn(s.data, s.lengthOrOffset, s.flags, &block); }, -1, faulted);
    }
    GlobalHandle owned(block);
    if (r != 0 || !owned) return r;
    GlobalLockGuard bytes(owned.get());
    if (!bytes) return SPI_MEMORY_ERROR;
    profile.assign(bytes.as<const char>(), owned.size());
    return 0;
  };
  return impl_->CallWithSource(position, kSpiPicture, Source{source, lengthOrOffset, flags}, true, call);
}

int CSpiHost::GetArchiveInfo(int position, const char *source, unsigned flags, long lengthOrOffset,
                             HLOCAL *info) {
  if (!info) return -1;
  *info = nullptr;
  SharedHold hold(impl_->lock);
  CSpiPlugin *p = impl_->Plugin(position, kSpiArchive);
  if (!p) return -1;
  auto call = [&](const Source &s, bool *faulted) -> int {
    SPI_GetArchiveInfo fn = p->getArchiveInfo;
    if (!fn) return -1;
    *info = nullptr;
    int r;
    {
      ModuleCall lock(*p);
      r = SpiGuarded(
          "GetArchiveInfo", [&] { return fn(s.data, s.lengthOrOffset, s.flags, info); }, -1, faulted);
    }
    if (r != 0) FreeIfSet(info);
    return r;
  };
  return impl_->CallWithSource(position, kSpiArchive, Source{source, lengthOrOffset, flags}, true, call);
}

int CSpiHost::ConfigurationDlg(int position, int kind, void *parent, int function) {
  SharedHold hold(impl_->lock);
  CSpiPlugin *p = impl_->Plugin(position, kind);
  if (!p || !p->configurationDlg) return -1;
  SPI_ConfigurationDlg fn = p->configurationDlg;
  ModuleCall lock(*p);
  return SpiGuarded("ConfigurationDlg", [&] { return fn(parent, function); });
}

bool CSpiHost::HasConfigurationDlg(int position, int kind) const {
  SharedHold hold(impl_->lock);
  const CSpiPlugin *p = impl_->Plugin(position, kind);
  return p && p->configurationDlg;
}

ProgressProc CSpiHost::SetProgressCallback(ProgressProc callback) {
  return progress_.exchange(callback ? callback : &DefaultProgress);
}

}  // namespace tamro
