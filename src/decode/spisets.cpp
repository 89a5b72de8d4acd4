// Plug-in sets and switches: the "SPI" section, the stored sets with their ViewSPI lists,
// and the use and file-input-only bits of each decoder.
#include <algorithm>
#include <cstdlib>

#include "decode/spiguard.h"
#include "decode/spihostimpl.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace tamro {

using namespace spidetail;

void CSpiHost::Impl::ApplySwitches(const SpiSwitches &s) {
  macBinCheck = s.macBinCheck;
  fastJpeg = s.fastJpeg;
  pluginExt = s.pluginExt;
  dynamicLoading = s.dynamicLoading;
  const int use[kBuiltinCount] = {s.useBmp, s.useJpeg, s.useGif, s.useTiff, s.useText, s.useAvi, s.useMpeg};
  const int file[kBuiltinCount] = {s.fileBmp,  s.fileJpeg, s.fileGif, s.fileTiff,
                                   s.fileText, s.fileAvi,  s.fileMpeg};
  for (int i = 0; i < kBuiltinCount; ++i) {
    builtinUse[i] = use[i];
    builtinFileOnly[i] = file[i];
  }
}

SpiSwitches CSpiHost::Impl::CurrentSwitches() const {
  SpiSwitches s;
  s.macBinCheck = macBinCheck;
  s.fastJpeg = fastJpeg;
  s.pluginExt = pluginExt;
  s.dynamicLoading = dynamicLoading;
  auto use = [&](int pos) { return builtinUse[pos - builtin::kFirst].load(); };
  auto file = [&](int pos) { return builtinFileOnly[pos - builtin::kFirst].load(); };
  s.useBmp = use(builtin::kBmp), s.fileBmp = file(builtin::kBmp);
  s.useJpeg = use(builtin::kJpeg), s.fileJpeg = file(builtin::kJpeg);
  s.useGif = use(builtin::kGif), s.fileGif = file(builtin::kGif);
  s.useTiff = use(builtin::kTiff), s.fileTiff = file(builtin::kTiff);
  s.useText = use(builtin::kText), s.fileText = file(builtin::kText);
  s.useAvi = use(builtin::kAvi), s.fileAvi = file(builtin::kAvi);
  s.useMpeg = use(builtin::kMpeg), s.fileMpeg = file(builtin::kMpeg);
  return s;
}

int CSpiHost::Impl::FindPictureByName(std::string_view name) const {
  for (const auto &p : pictures)
    if (EqualsNoCase(p->Name(), name)) return p->position;
  return -1;
}

void CSpiHost::Impl::AddViewSpi(CSpiPlugin *archive, CSpiPlugin *picture) {
  archive->allUse = 1;
  if (std::find(archive->viewSpi.begin(), archive->viewSpi.end(), picture) != archive->viewSpi.end()) return;
  archive->viewSpi.push_back(picture);
  ++picture->refCount;
}

void CSpiHost::Impl::ClearViewSpi(CSpiPlugin *archive) {
  for (CSpiPlugin *p : archive->viewSpi) --p->refCount;
  archive->viewSpi.clear();
}

uint32_t spidetail::StoredFlags(const Profile &profile, const std::string &section, const std::string &name) {
  return static_cast<uint32_t>(profile.GetInt(section, name, kSpiUse));
}

namespace {

std::string JoinNumbers(const std::vector<int> &numbers) {
  std::string text;
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    if (i) text += ',';
    text += std::to_string(numbers[i]);
  }
  return text;
}

std::vector<int> ParseNumbers(std::string_view text) {
  std::vector<int> numbers;
  std::size_t i = 0;
  while (i < text.size() && numbers.size() < 400) {
    const std::size_t comma = std::min(text.find(',', i), text.size());
    const std::string field(TrimBlanks(text.substr(i, comma - i)));
    if (!field.empty()) {
      char *end = nullptr;
      const long v = std::strtol(field.c_str(), &end, 10);
      if (end != field.c_str()) numbers.push_back(static_cast<int>(v));
    }
    i = comma + 1;
  }
  return numbers;
}

std::vector<std::string> SplitNames(std::string_view text) {
  std::vector<std::string> names;
  std::size_t i = 0;
  while (i <= text.size()) {
    const std::size_t comma = std::min(text.find(',', i), text.size());
    const std::string_view name = TrimBlanks(text.substr(i, comma - i));
    if (!name.empty()) names.emplace_back(name);
    i = comma + 1;
  }
  return names;
}

}  // namespace

void CSpiHost::SaveSettings() {
  if (impl_->switchesLoaded) {
    Profile &profile = Profile::App();
    // Every write replaces the file, so values the store already holds are left alone.
    auto writeInt = [&](const char *key, int value) {
      if (!profile.Has(kSection, key) || profile.GetInt(kSection, key, ~value) != value)
        profile.WriteInt(kSection, key, value);
    };
    auto writeString = [&](const char *key, const std::string &value) {
      if (!profile.Has(kSection, key) || profile.GetString(kSection, key, "") != value)
        profile.WriteString(kSection, key, value);
    };
    const SpiSwitches s = impl_->CurrentSwitches();
    writeInt("#MacbinCheck", s.macBinCheck);
    writeInt("#InnerBMP", s.useBmp);
    writeInt("#InnerJPEG", s.useJpeg);
    writeInt("#InnerJPEG_FAST", s.fastJpeg);
    writeInt("#InnerGIF", s.useGif);
    writeInt("#InnerTIFF", s.useTiff);
    writeInt("#InnerTEXT", s.useText);
    writeInt("#InnerAVI", s.useAvi);
    writeInt("#InnerMPG", s.useMpeg);
    writeInt("#PluginEXT", s.pluginExt);
    writeInt("DynamicSPI", s.dynamicLoading);
    writeInt("SpiAlert", SpiAlert() ? 1 : 0);
    writeString("SkipErrJPEG", JoinNumbers(builtin::JpegGetSkipList()));
    writeString("SPISet", setName_);
  }
}

void CSpiHost::SetShiftQuery(std::function<bool()> query) {
  ExclusiveHold hold(impl_->lock);
  if (hold) impl_->shiftQuery = std::move(query);
}

void CSpiHost::LoadSwitches() {
  ExclusiveHold hold(impl_->lock);
  if (!hold) return;
  const Profile &profile = Profile::App();
  SpiSwitches s = impl_->CurrentSwitches();
  s.macBinCheck = profile.GetInt(kSection, "#MacbinCheck", 0);
  s.useBmp = profile.GetInt(kSection, "#InnerBMP", 1);
  s.useJpeg = profile.GetInt(kSection, "#InnerJPEG", 1);
  s.fastJpeg = profile.GetInt(kSection, "#InnerJPEG_FAST", 0);
  s.useGif = profile.GetInt(kSection, "#InnerGIF", 0);
  s.useTiff = profile.GetInt(kSection, "#InnerTIFF", 1);
  s.useText = profile.GetInt(kSection, "#InnerTEXT", 0);
  s.useAvi = profile.GetInt(kSection, "#InnerAVI", 0);
  s.useMpeg = profile.GetInt(kSection, "#InnerMPG", 0);
  s.pluginExt = profile.GetInt(kSection, "#PluginEXT", 0);
  s.dynamicLoading = profile.GetInt(kSection, "DynamicSPI", 0);
  impl_->ApplySwitches(s);
  builtin::JpegSetHeadScan(profile.GetInt(kSection, "#ScanHeadJPEG", 0));
  builtin::JpegSetSkipList(ParseNumbers(profile.GetString(kSection, "SkipErrJPEG", "")));
  SetSpiAlert(profile.GetInt(kSection, "SpiAlert", 1) != 0);
  impl_->switchesLoaded = true;
}

std::string CSpiHost::CurrentSetName() const {
  SharedHold hold(impl_->lock);
  return setName_;
}

std::string CSpiHost::SetSection(std::string_view setName) {
  return setName.empty() ? std::string("SPISET\\_Default") : "SPISET\\" + std::string(setName);
}

// ---- plug-in sets ----

void CSpiHost::LoadPluginSet(const std::string &name) {
  ExclusiveHold hold(impl_->lock);
  if (!hold) return;
  setName_ = name;
  const std::string section = SetSection(name);
  const Profile &profile = Profile::App();
  // A stored word may switch the use bit either way; file-input-only, once learnt, stays.
  for (const auto &p : impl_->pictures)
    p->flags = StoredFlags(profile, section, p->Name()) | (p->flags.load() & kSpiFileOnly);
  for (const auto &a : impl_->archives) {
    a->flags = StoredFlags(profile, section, a->Name()) | (a->flags.load() & kSpiFileOnly);
    const std::string sub = section + "\\" + a->Name();
    for (const std::string &member : SplitNames(profile.GetString(sub, "ViewSPI", ""))) {
      const int pos = impl_->FindPictureByName(member);
      if (pos >= 0) impl_->AddViewSpi(a.get(), impl_->pictures[static_cast<std::size_t>(pos)].get());
    }
    a->allUse = profile.GetInt(sub, "AllUseFlags", 0);
  }
}

void CSpiHost::SavePluginSet(const std::string &name) {
  SharedHold hold(impl_->lock);
  const std::string section = SetSection(name);
  Profile &profile = Profile::App();
  for (const auto &p : impl_->pictures)
    profile.WriteInt(section, p->Name(), static_cast<int>(p->flags.load()));
  for (const auto &a : impl_->archives) {
    profile.WriteInt(section, a->Name(), static_cast<int>(a->flags.load()));
    std::string names;
    for (const CSpiPlugin *v : a->viewSpi) {
      if (!names.empty()) names += ',';
      names += v->Name();
    }
    const std::string sub = section + "\\" + a->Name();
    profile.WriteString(sub, "ViewSPI", names);
    profile.WriteInt(sub, "AllUseFlags", a->allUse);
  }
}

uint32_t CSpiHost::GetFlags(int position, int kind) const {
  SharedHold hold(impl_->lock);
  if (kind == kSpiPicture && IsAccessibleBuiltin(position)) {
    const int i = position - builtin::kFirst;
    return (impl_->builtinUse[i] ? kSpiUse : 0u) | (impl_->builtinFileOnly[i] ? kSpiFileOnly : 0u);
  }
  const CSpiPlugin *p = impl_->Plugin(position, kind);
  return p ? p->flags.load() : 0;
}

void CSpiHost::SetFlags(int position, int kind, uint32_t flags) {
  SharedHold hold(impl_->lock);
  if (kind == kSpiPicture && IsAccessibleBuiltin(position)) {
    const int i = position - builtin::kFirst;
    impl_->builtinUse[i] = (flags & kSpiUse) ? 1 : 0;
    impl_->builtinFileOnly[i] = (flags & kSpiFileOnly) ? 1 : 0;
  } else if (CSpiPlugin *p = impl_->Plugin(position, kind)) {
    p->flags = flags;
  }
}

bool CSpiHost::GetUse(int position, int kind) const { return GetFlags(position, kind) & kSpiUse; }

void CSpiHost::SetUse(int position, int kind, bool use) {
  SharedHold hold(impl_->lock);
  if (kind == kSpiPicture && IsAccessibleBuiltin(position)) {
    impl_->builtinUse[position - builtin::kFirst] = use ? 1 : 0;
  } else if (CSpiPlugin *p = impl_->Plugin(position, kind)) {
    if (use)
      p->flags.fetch_or(kSpiUse);
    else
      p->flags.fetch_and(~static_cast<uint32_t>(kSpiUse));
  }
}

bool CSpiHost::GetFileOnly(int position, int kind) const { return GetFlags(position, kind) & kSpiFileOnly; }

void CSpiHost::SetFileOnly(int position, int kind, bool on) {
  SharedHold hold(impl_->lock);
  if (kind == kSpiPicture && IsAccessibleBuiltin(position)) {
    impl_->builtinFileOnly[position - builtin::kFirst] = on ? 1 : 0;
  } else if (CSpiPlugin *p = impl_->Plugin(position, kind)) {
    if (on)
      p->flags.fetch_or(kSpiFileOnly);
    else
      p->flags.fetch_and(~static_cast<uint32_t>(kSpiFileOnly));
  }
}

void CSpiHost::AddViewSpi(int archivePosition, int picturePosition) {
  ExclusiveHold hold(impl_->lock);
  if (!hold) return;
  CSpiPlugin *a = impl_->Plugin(archivePosition, kSpiArchive);
  CSpiPlugin *p = impl_->Plugin(picturePosition, kSpiPicture);
  if (a && p) impl_->AddViewSpi(a, p);
}

void CSpiHost::RemoveViewSpi(int archivePosition, int picturePosition) {
  ExclusiveHold hold(impl_->lock);
  if (!hold) return;
  CSpiPlugin *a = impl_->Plugin(archivePosition, kSpiArchive);
  CSpiPlugin *p = impl_->Plugin(picturePosition, kSpiPicture);
  if (!a || !p) return;
  auto it = std::find(a->viewSpi.begin(), a->viewSpi.end(), p);
  if (it == a->viewSpi.end()) return;
  a->viewSpi.erase(it);
  --p->refCount;
}

void CSpiHost::ClearViewSpi(int archivePosition) {
  ExclusiveHold hold(impl_->lock);
  if (!hold) return;
  if (CSpiPlugin *a = impl_->Plugin(archivePosition, kSpiArchive)) impl_->ClearViewSpi(a);
}

std::vector<int> CSpiHost::GetViewSpi(int archivePosition) const {
  SharedHold hold(impl_->lock);
  std::vector<int> positions;
  if (const CSpiPlugin *a = impl_->Plugin(archivePosition, kSpiArchive))
    for (const CSpiPlugin *p : a->viewSpi) positions.push_back(p->position);
  return positions;
}

int CSpiHost::GetAllUse(int archivePosition) const {
  SharedHold hold(impl_->lock);
  const CSpiPlugin *a = impl_->Plugin(archivePosition, kSpiArchive);
  return a ? a->allUse.load() : 0;
}

void CSpiHost::SetAllUse(int archivePosition, int allUse) {
  SharedHold hold(impl_->lock);
  if (CSpiPlugin *a = impl_->Plugin(archivePosition, kSpiArchive)) a->allUse = allUse;
}

SpiSwitches CSpiHost::Switches() const { return impl_->CurrentSwitches(); }

void CSpiHost::SetSwitches(const SpiSwitches &switches) {
  ExclusiveHold hold(impl_->lock);
  if (hold) impl_->ApplySwitches(switches);
}

}  // namespace tamro
