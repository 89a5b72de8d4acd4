// Finding and loading plug-ins: the module of each, its entry points and information
// strings, the folder scan, loading on demand and unloading.
#include <dlfcn.h>

#include <algorithm>
#include <filesystem>
#include <new>

#include "decode/spiguard.h"
#include "decode/spihostimpl.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace tamro {

using namespace spidetail;

namespace {

constexpr int kInfoBuffer = 256;
// A plug-in that never stops answering extension patterns is cut off here.
constexpr int kMaxInfoEntries = 256;

}  // namespace

// ---- CSpiPlugin ----

CSpiPlugin::CSpiPlugin(std::string path, void *handle) : modulePath(std::move(path)), module(handle) {}

CSpiPlugin::~CSpiPlugin() { Unload(); }

std::string CSpiPlugin::FileName() const { return std::filesystem::path(modulePath).filename().string(); }

std::string CSpiPlugin::Name() const { return std::filesystem::path(modulePath).stem().string(); }

void CSpiPlugin::Unload() {
  getPluginInfo = nullptr;
  isSupported = nullptr;
  getPictureInfo = nullptr;
  getPicture = nullptr;
  getPreview = nullptr;
  getFile = nullptr;
  getArchiveInfo = nullptr;
  configurationDlg = nullptr;
  getColorProfile = nullptr;
  getPreviewSized = nullptr;
  if (void *m = std::exchange(module, nullptr)) SpiGuarded("FreeDLL", [m] { return dlclose(m); });
}

namespace spidetail {

// Loads a module under the guard. Null with *faulted set when its start-up faulted.
void *LoadDLL(const std::string &path, bool *faulted, std::string *error) {
  void *module = nullptr;
  const char *message = nullptr;
  const int r = SpiGuarded(
      "LoadDLL",
      [&] {
        module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) message = dlerror();
        return 0;
      },
      kLoadFaulted);
  *faulted = r == kLoadFaulted;
  if (*faulted) module = nullptr;
  if (!module && error) *error = message ? message : "";
  return module;
}

// Resolves the entry points. False when the module faulted (it is then unloaded).
bool SetInstance(CSpiPlugin &p) {
  void *m = p.module;
  if (!m) return false;
  void *sym[8] = {};
  static const char *const kNames[8] = {"GetPluginInfo", "IsSupported", "GetPictureInfo", "GetPicture",
                                        "GetPreview",    "GetFile",     "GetArchiveInfo", "ConfigurationDlg"};
  const int r = SpiGuarded("SetInstance", [&] {
    for (int i = 0; i < 8; ++i) sym[i] = dlsym(m, kNames[i]);
    return 0;
  });
  if (r != 0) {
    p.Unload();
    return false;
  }
  p.getPluginInfo = reinterpret_cast<SPI_GetPluginInfo>(sym[0]);
  p.isSupported = reinterpret_cast<SPI_IsSupported>(sym[1]);
  p.getPictureInfo = reinterpret_cast<SPI_GetPictureInfo>(sym[2]);
  p.getPicture = reinterpret_cast<SPI_GetPicture>(sym[3]);
  p.getPreview = reinterpret_cast<SPI_GetPreview>(sym[4]);
  p.getFile = reinterpret_cast<SPI_GetFile>(sym[5]);
  p.getArchiveInfo = reinterpret_cast<SPI_GetArchiveInfo>(sym[6]);
  p.configurationDlg = reinterpret_cast<SPI_ConfigurationDlg>(sym[7]);
  p.threadSafe = false;
  if (auto safe = reinterpret_cast<SPI_ThreadSafe>(dlsym(m, "SpiThreadSafe")))
    p.threadSafe = SpiGuarded("SetInstance", [&] { return safe(); }) > 0;
  p.getColorProfile = reinterpret_cast<SPI_GetColorProfile>(dlsym(m, "GetColorProfile"));
  p.getPreviewSized = reinterpret_cast<SPI_GetPreviewSized>(dlsym(m, "GetPreviewSized"));
  p.orientsPictures = false;
  if (auto orients = reinterpret_cast<SPI_OrientsPictures>(dlsym(m, "SpiOrientsPictures")))
    p.orientsPictures = SpiGuarded("SetInstance", [&] { return orients(); }) > 0;
  return true;
}

namespace {

// One information string; false when the plug-in has no such entry.
bool ReadInfoEntry(CSpiPlugin &p, int entry, std::string *out) {
  out->clear();
  SPI_GetPluginInfo fn = p.getPluginInfo;
  if (!fn) return false;
  // Room beyond the size we announce, for plug-ins that write their terminator past it.
  char buf[kInfoBuffer + 16] = {};
  int r;
  {
    ModuleCall hold(p);
    r = SpiGuarded(
        "GetPluginInfo", [&] { return fn(entry, buf, kInfoBuffer); }, 0);
  }
  buf[kInfoBuffer - 1] = '\0';
  if (r == 0) return false;
  out->assign(buf);
  return true;
}

void SetInfo(CSpiPlugin &p, int entry, std::string text) {
  if (p.info.size() <= static_cast<std::size_t>(entry)) p.info.resize(static_cast<std::size_t>(entry) + 1);
  p.info[static_cast<std::size_t>(entry)] = std::move(text);
}

}  // namespace

// Entries 1, 0 and 3, then 2, 4, 6, ... until the plug-in answers 0.
void ReadInfoStrings(CSpiPlugin &p) {
  p.info.clear();
  p.filter.clear();
  std::string text;
  for (int entry : {1, 0, 3}) {
    ReadInfoEntry(p, entry, &text);
    SetInfo(p, entry, text);
  }
  for (int entry = 2; entry < kMaxInfoEntries; entry += 2) {
    if (!ReadInfoEntry(p, entry, &text)) break;
    if (!p.filter.empty()) p.filter += ';';
    p.filter += text;
    SetInfo(p, entry, text);
  }
}

std::string InfoEntry(const CSpiPlugin &p, int entry) {
  return entry >= 0 && static_cast<std::size_t>(entry) < p.info.size()
             ? p.info[static_cast<std::size_t>(entry)]
             : std::string();
}

}  // namespace spidetail

// ---- scanning ----

void CSpiHost::ScanPlugins(const std::string &pattern, const SpiStatusSink &status,
                           const std::string &setName) {
  LoadSwitches();
  ExclusiveHold hold(impl_->lock);
  if (!hold) return;
  const bool shift = impl_->shiftQuery && impl_->shiftQuery();
  const std::string section = SetSection(setName);
  const Profile &profile = Profile::App();
  auto say = [&](int code, const std::string &text) {
    if (status) status(code, text);
  };

  // The folder part is searched as it is; the name part matches ignoring case.
  const std::size_t slash = pattern.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : pattern.substr(0, slash));
  const std::string namePattern = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  std::vector<std::string> found;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(folder, ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    std::error_code fileEc;
    if (!it->is_regular_file(fileEc)) continue;
    const std::string name = it->path().filename().string();
    if (WildcardMatch(namePattern, name)) found.push_back(it->path().string());
  }
  // Letters in either case sort together, as a Windows folder lists them.
  std::sort(found.begin(), found.end(), [](const std::string &a, const std::string &b) {
    const int c = CompareNoCase(a, b);
    return c != 0 ? c < 0 : a < b;
  });

  for (const std::string &path : found) {
    const std::filesystem::path fsPath(path);
    const std::string name = fsPath.stem().string();
    const std::string fileName = fsPath.filename().string();
    bool already = false;
    for (const auto *list : {&impl_->pictures, &impl_->archives})
      for (const auto &p : *list) already = already || p->modulePath == path;
    if (already) continue;

    bool faulted = false;
    std::string error;
    void *module = LoadDLL(path, &faulted, &error);
    if (faulted) {
      say(-1, "[" + name + "]のロードに失敗しました（SPI内部で例外発生）");
      continue;
    }
    if (!module) {
      say(-1, "[" + name + "]:" + error);
      continue;
    }
    say(0, "[" + name + "]を調査しています");

    std::unique_ptr<CSpiPlugin> plugin(new (std::nothrow) CSpiPlugin(path, module));
    if (!plugin) {
      say(-1, "[" + fileName + "]メモリ不足");
      SpiGuarded("FreeDLL", [module] { return dlclose(module); });
      continue;
    }
    if (!SetInstance(*plugin)) {
      say(-1, "[" + name + "]のロードに失敗しました（SPI内部で例外発生）");
      continue;
    }
    ReadInfoStrings(*plugin);

    const std::string kind = InfoEntry(*plugin, 0);
    CSpiPlugin *p = plugin.get();
    if (kind == SPI_KIND_PICTURE) {
      p->position = static_cast<int>(impl_->pictures.size());
      impl_->pictures.push_back(std::move(plugin));
      std::lock_guard<std::mutex> recent(impl_->recentMutex);
      impl_->pictureRecent.push_back(p);
    } else if (kind == SPI_KIND_ARCHIVE) {
      p->position = static_cast<int>(impl_->archives.size());
      p->flags.fetch_or(kSpiFileOnly);
      impl_->archives.push_back(std::move(plugin));
      std::lock_guard<std::mutex> recent(impl_->recentMutex);
      impl_->archiveRecent.push_back(p);
    } else {
      plugin.reset();
      say(-1, "[" + fileName + "]未定義のSPI(00IN,00AM以外のSPI)");
      continue;
    }

    if (shift) {
      p->Unload();
    } else if (impl_->dynamicLoading) {
      if (!(StoredFlags(profile, section, p->Name()) & kSpiUse)) p->Unload();
    }
  }
}

void CSpiHost::ApplyDynamicLoading() {
  ExclusiveHold hold(impl_->lock);
  if (!hold || !impl_->dynamicLoading) return;
  auto load = [](CSpiPlugin &p) {
    if (p.Loaded()) return;
    bool faulted = false;
    p.module = LoadDLL(p.modulePath, &faulted, nullptr);
    if (p.module && SetInstance(p)) ReadInfoStrings(p);
  };
  for (const auto &p : impl_->pictures) {
    const bool used = p->flags.load() & kSpiUse;
    if (!used && p->Loaded() && p->refCount < 1)
      p->Unload();
    else if (used)
      load(*p);
  }
  for (const auto &a : impl_->archives) {
    if (a->flags.load() & kSpiUse) {
      load(*a);
      for (CSpiPlugin *v : a->viewSpi) load(*v);
    } else {
      a->Unload();
      for (CSpiPlugin *v : a->viewSpi)
        if (!(v->flags.load() & kSpiUse)) v->Unload();
    }
  }
}

void CSpiHost::FreeDLL() {
  ExclusiveHold hold(impl_->lock);
  if (!hold) return;
  {
    std::lock_guard<std::mutex> recent(impl_->recentMutex);
    impl_->pictureRecent.clear();
    impl_->archiveRecent.clear();
  }
  for (auto &a : impl_->archives) a->viewSpi.clear();
  impl_->pictures.clear();  // each plug-in unloads its module under the guard
  impl_->archives.clear();
}

}  // namespace tamro
