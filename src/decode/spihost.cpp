#include "decode/spihost.h"

#include "decode/spiguard.h"
#include "decode/spihostimpl.h"
#include "platform/text.h"

// The host itself: construction and the read-only accessors. Loading is in spiload.cpp,
// sets and switches in spisets.cpp, the search in spisearch.cpp, decoder calls in
// spicall.cpp, archive members in archivemember.cpp.

namespace tamro {

using namespace spidetail;

CSpiHost::CSpiHost() : impl_(std::make_unique<Impl>()), progress_(&DefaultProgress) {}

CSpiHost::~CSpiHost() { FreeDLL(); }

// ---- accessors ----

int CSpiHost::Count(int kind) const {
  SharedHold hold(impl_->lock);
  return static_cast<int>(impl_->List(kind).size());
}

std::string CSpiHost::GetDecoderName(int position, int kind) const {
  if (kind == kSpiPicture && IsAccessibleBuiltin(position)) return builtin::Name(position);
  SharedHold hold(impl_->lock);
  const CSpiPlugin *p = impl_->Plugin(position, kind);
  return p ? p->Name() : std::string();
}

int CSpiHost::FindDecoderByName(std::string_view name, int kind) const {
  if (kind == kSpiPicture)
    for (int pos = builtin::kFirst; IsAccessibleBuiltin(pos); ++pos)
      if (EqualsNoCase(builtin::Name(pos), name)) return pos;
  SharedHold hold(impl_->lock);
  for (const auto &p : impl_->List(kind))
    if (EqualsNoCase(p->Name(), name)) return p->position;
  return -1;
}

std::string CSpiHost::GetInfoString(int position, int kind, int entry) const {
  SharedHold hold(impl_->lock);
  const CSpiPlugin *p = impl_->Plugin(position, kind);
  return p ? InfoEntry(*p, entry) : std::string();
}

std::string CSpiHost::GetDecoderFilter(int position, int kind) const {
  if (kind == kSpiPicture && IsAccessibleBuiltin(position)) return builtin::Patterns(position);
  SharedHold hold(impl_->lock);
  const CSpiPlugin *p = impl_->Plugin(position, kind);
  return p ? p->filter : std::string();
}

std::string CSpiHost::GetModulePath(int position, int kind) const {
  SharedHold hold(impl_->lock);
  const CSpiPlugin *p = impl_->Plugin(position, kind);
  return p ? p->modulePath : std::string();
}

bool CSpiHost::IsLoaded(int position, int kind) const {
  SharedHold hold(impl_->lock);
  const CSpiPlugin *p = impl_->Plugin(position, kind);
  return p && p->Loaded();
}

std::vector<int> CSpiHost::RecentOrder(int kind) const {
  SharedHold hold(impl_->lock);
  std::vector<int> positions;
  for (const CSpiPlugin *p : impl_->RecentSnapshot(kind)) positions.push_back(p->position);
  return positions;
}

std::string CSpiHost::BuildPictureFilter(int kind) const {
  SharedHold hold(impl_->lock);
  std::string filter;
  auto append = [&](std::string_view part) {
    if (part.empty()) return;
    if (!filter.empty()) filter += ';';
    filter += part;
  };
  for (const auto &p : impl_->List(kind))
    if (p->flags.load() & kSpiUse) append(p->filter);
  for (int pos = builtin::kFirst; pos <= builtin::kLast; ++pos)
    if (impl_->builtinUse[pos - builtin::kFirst]) append(builtin::Patterns(pos));
  return filter;
}

std::string CSpiHost::BuildArchiveMemberFilter(int archivePosition) const {
  SharedHold hold(impl_->lock);
  std::string filter;
  auto append = [&](std::string_view part) {
    if (part.empty()) return;
    if (!filter.empty()) filter += ';';
    filter += part;
  };
  if (const CSpiPlugin *a = impl_->Plugin(archivePosition, kSpiArchive))
    for (const CSpiPlugin *p : a->viewSpi) append(p->filter);
  for (int pos = builtin::kFirst; pos <= builtin::kLast; ++pos)
    if (impl_->builtinUse[pos - builtin::kFirst]) append(builtin::Patterns(pos));
  return filter;
}

void CSpiHost::SetAlert(bool on) { SetSpiAlert(on); }
bool CSpiHost::Alert() { return SpiAlert(); }

}  // namespace tamro
