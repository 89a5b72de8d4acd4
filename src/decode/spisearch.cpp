// Choosing a decoder: the plug-ins in most-recently-successful order (or the archive's
// ViewSPI list), then the built-ins in their fixed order, with the MacBinary retries.
#include <unistd.h>

#include <algorithm>

#include "decode/spiguard.h"
#include "decode/spihostimpl.h"

namespace tamro {

using namespace spidetail;

namespace {

constexpr std::size_t kMaxResultName = 260;

// Built-ins in the order the search tries them.
constexpr int kBuiltinSearchOrder[] = {builtin::kBmp, builtin::kTiff, builtin::kJpeg, builtin::kText,
                                       builtin::kAvi, builtin::kMpeg, builtin::kGif};

}  // namespace

// ---- searches ----

int CSpiHost::IsSupportedSub(SpiQuery &query) {
  SharedHold hold(impl_->lock);
  query.resultName.clear();
  const bool fdForm = IsFd(query.data);
  const int fd = static_cast<int>(query.data);
  const bool extCheck = query.extensionCheck || impl_->pluginExt;

  // Every candidate gets 2048 readable bytes, even from a short memory image.
  SpiHead padded;
  uintptr_t data = query.data;
  if (!fdForm && query.length < SPI_HEAD_BYTES) {
    padded = HeadOf(reinterpret_cast<const void *>(query.data),
                    static_cast<std::size_t>(std::max<long>(query.length, 0)));
    data = reinterpret_cast<uintptr_t>(padded.bytes);
  }

  std::vector<CSpiPlugin *> candidates;
  bool viewList = false;
  bool registrationOrder = false;
  if (query.kind == kSpiArchive) {
    if (query.start == 0) {
      candidates = impl_->RecentSnapshot(kSpiArchive);
    } else {
      registrationOrder = true;
      for (const auto &p : impl_->archives) candidates.push_back(p.get());
    }
  } else {
    CSpiPlugin *archive = impl_->Plugin(query.archivePosition, kSpiArchive);
    if (archive && archive->allUse == 1) {
      viewList = true;
      candidates = archive->viewSpi;
    } else if (query.start == 0) {
      candidates = impl_->RecentSnapshot(kSpiPicture);
    } else {
      registrationOrder = true;
      for (const auto &p : impl_->pictures) candidates.push_back(p.get());
    }
  }

  // Where a continued search picks up: after the decoder that failed.
  std::size_t first = 0;
  if (query.start > 0) {
    if (registrationOrder) {
      first = static_cast<std::size_t>(query.start);
    } else {
      first = candidates.size();
      for (std::size_t i = 0; i < candidates.size(); ++i)
        if (candidates[i]->position >= query.start) {
          first = i;
          break;
        }
      for (std::size_t i = 0; i < candidates.size(); ++i)
        if (candidates[i]->position == query.start - 1) first = i + 1;
    }
  }

  int result = -1;
  bool seekFailed = false;
  for (std::size_t i = first; i < candidates.size(); ++i) {
    CSpiPlugin *p = candidates[i];
    if (!viewList && !(p->flags.load() & kSpiUse)) continue;
    if (extCheck && !MatchExtensionList(query.fileName, p->filter)) continue;
    const std::string name = p->Name();
    if (query.notify) query.notify(p->position, name, query.data);
    if (fdForm && lseek(fd, query.offset, SEEK_SET) < 0) {
      seekFailed = true;
      break;
    }
    SPI_IsSupported fn = p->isSupported;
    if (!fn) continue;
    int answer;
    {
      ModuleCall lock(*p);
      const char *file = query.fileName.c_str();
      answer = SpiGuarded(
          "IsSupportedSub", [&] { return fn(file, data); }, 0);
    }
    if (answer != 0) {
      result = p->position;
      query.resultName = name.substr(0, kMaxResultName);
      impl_->MoveToFront(p, query.kind == kSpiArchive ? kSpiArchive : kSpiPicture);
      break;
    }
  }

  if (query.notify) query.notify(result, query.resultName, query.data);
  if (fdForm && lseek(fd, query.offset, SEEK_SET) < 0) return 6;
  if (seekFailed || result >= 0 || query.kind != kSpiPicture) return result;

  for (int pos : kBuiltinSearchOrder) {
    if (!impl_->builtinUse[pos - builtin::kFirst] || query.start > pos) continue;
    if (extCheck && !MatchExtensionList(query.fileName, builtin::Patterns(pos))) continue;
    if (fdForm && lseek(fd, query.offset, SEEK_SET) < 0) return 6;
    if (builtin::IsSupported(pos, query.fileName.c_str(), data) != 0) {
      query.resultName = builtin::Name(pos);
      if (query.notify) query.notify(pos, query.resultName, query.data);
      return pos;
    }
  }
  return -1;
}

int CSpiHost::FindDecoder(SpiQuery &query) {
  if (query.length <= 0) return -1;
  SpiQuery q = query;
  int result = IsSupportedSub(q);
  if (result < 0 && impl_->macBinCheck) {
    for (int attempt = 0; attempt < kMacBinaryTries && result < 0; ++attempt) {
      if (IsFd(q.data)) {
        q.offset += kMacBinarySkip;
      } else {
        q.data += kMacBinarySkip;
        q.length -= kMacBinarySkip;
        if (q.length <= 0) break;
      }
      result = IsSupportedSub(q);
    }
  }
  query.resultName = q.resultName;
  return result;
}

}  // namespace tamro
