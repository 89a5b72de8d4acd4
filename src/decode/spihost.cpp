#include "decode/spihost.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <new>
#include <thread>

#include "decode/builtin/builtin.h"
#include "decode/fileimagemap.h"
#include "decode/spiguard.h"
#include "platform/globalhandle.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace tamro {

namespace {

constexpr const char *kSection = "SPI";
constexpr int kBuiltinCount = builtin::kLast - builtin::kFirst + 1;
constexpr int kMacBinarySkip = 128;
constexpr int kMacBinaryTries = 4;
constexpr int kInfoBuffer = 256;
// A plug-in that never stops answering extension patterns is cut off here.
constexpr int kMaxInfoEntries = 256;
constexpr std::size_t kMaxResultName = 260;

// Built-ins in the order the search tries them.
constexpr int kBuiltinSearchOrder[] = {builtin::kBmp, builtin::kTiff, builtin::kJpeg, builtin::kText,
                                       builtin::kAvi, builtin::kMpeg, builtin::kGif};

int DefaultProgress(int, int, long) { return 0; }

bool IsBuiltin(int position) { return position >= builtin::kFirst && position <= builtin::kLast; }

// Built-ins the accessors know; MPEG is governed by its switch alone.
bool IsAccessibleBuiltin(int position) { return position >= builtin::kFirst && position < builtin::kMpeg; }

bool IsFd(uintptr_t data) { return SPI_DATA_IS_FD(data); }

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
  if (void *m = std::exchange(module, nullptr)) SpiGuarded("FreeDLL", [m] { return dlclose(m); });
}

// ---- calls into one module ----

namespace {

// Holds the module's own lock for one call, unless the module runs calls side by side.
class ModuleCall {
 public:
  explicit ModuleCall(CSpiPlugin &p) : lock_(p.threadSafe ? nullptr : &p.callLock) {
    if (lock_) lock_->lock();
  }
  ~ModuleCall() {
    if (lock_) lock_->unlock();
  }
  ModuleCall(const ModuleCall &) = delete;
  ModuleCall &operator=(const ModuleCall &) = delete;

 private:
  std::recursive_mutex *lock_;
};

}  // namespace

// ---- host lock ----

namespace {

// Readers and writers, re-entrant for one thread: a thread that holds it exclusively may
// also read, and readers nest. A reader cannot become a writer (it would wait for itself),
// so a change requested from inside a running call is refused instead. A waiting writer
// stops new readers from coming in, so a busy decoding thread cannot starve a change.
class HostLock {
 public:
  void LockShared() {
    if (owner_.load() == std::this_thread::get_id()) {
      ++exclusiveDepth_;
      return;
    }
    if (Adjust(+1) > 1) return;  // already reading on this thread
    std::unique_lock<std::mutex> hold(mutex_);
    changed_.wait(hold, [&] { return !writing_ && writersWaiting_ == 0; });
    ++readers_;
  }
  void UnlockShared() {
    if (owner_.load() == std::this_thread::get_id()) {
      --exclusiveDepth_;
      return;
    }
    if (Adjust(-1) > 0) return;
    std::lock_guard<std::mutex> hold(mutex_);
    if (--readers_ == 0) changed_.notify_all();
  }
  bool LockExclusive() {
    const auto me = std::this_thread::get_id();
    if (owner_.load() == me) {
      ++exclusiveDepth_;
      return true;
    }
    if (Adjust(0) > 0) return false;
    std::unique_lock<std::mutex> hold(mutex_);
    ++writersWaiting_;
    changed_.wait(hold, [&] { return !writing_ && readers_ == 0; });
    --writersWaiting_;
    writing_ = true;
    owner_.store(me);
    exclusiveDepth_ = 1;
    return true;
  }
  void UnlockExclusive() {
    if (--exclusiveDepth_ > 0) return;
    std::lock_guard<std::mutex> hold(mutex_);
    owner_.store(std::thread::id());
    writing_ = false;
    changed_.notify_all();
  }

 private:
  // This thread's reader depth on this lock after adding `delta`.
  int Adjust(int delta) {
    thread_local std::vector<std::pair<const HostLock *, int>> held;
    for (auto it = held.begin(); it != held.end(); ++it) {
      if (it->first != this) continue;
      const int depth = it->second += delta;
      if (depth == 0) held.erase(it);
      return depth;
    }
    if (delta <= 0) return 0;
    held.emplace_back(this, delta);
    return delta;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  int readers_ = 0;
  int writersWaiting_ = 0;
  bool writing_ = false;
  std::atomic<std::thread::id> owner_{};
  int exclusiveDepth_ = 0;
};

class SharedHold {
 public:
  explicit SharedHold(HostLock &lock) : lock_(lock) { lock_.LockShared(); }
  ~SharedHold() { lock_.UnlockShared(); }
  SharedHold(const SharedHold &) = delete;
  SharedHold &operator=(const SharedHold &) = delete;

 private:
  HostLock &lock_;
};

class ExclusiveHold {
 public:
  explicit ExclusiveHold(HostLock &lock) : lock_(lock), held_(lock.LockExclusive()) {}
  ~ExclusiveHold() {
    if (held_) lock_.UnlockExclusive();
  }
  explicit operator bool() const { return held_; }
  ExclusiveHold(const ExclusiveHold &) = delete;
  ExclusiveHold &operator=(const ExclusiveHold &) = delete;

 private:
  HostLock &lock_;
  bool held_;
};

// The source a decoder gets: what the caller passed, or a memory image of the file.
struct Source {
  const char *data;
  long lengthOrOffset;
  unsigned flags;
};

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

}  // namespace

// ---- host state ----

struct CSpiHost::Impl {
  mutable HostLock lock;
  std::vector<std::unique_ptr<CSpiPlugin>> pictures, archives;
  mutable std::mutex recentMutex;
  std::vector<CSpiPlugin *> pictureRecent, archiveRecent;

  std::atomic<int> macBinCheck{0}, fastJpeg{0}, pluginExt{0}, dynamicLoading{0};
  std::atomic<int> builtinUse[kBuiltinCount];
  std::atomic<int> builtinFileOnly[kBuiltinCount];
  bool switchesLoaded = false;

  std::function<bool()> shiftQuery;

  Impl() { ApplySwitches(SpiSwitches{}); }

  void ApplySwitches(const SpiSwitches &s) {
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

  SpiSwitches CurrentSwitches() const {
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

  const std::vector<std::unique_ptr<CSpiPlugin>> &List(int kind) const {
    return kind == kSpiArchive ? archives : pictures;
  }
  CSpiPlugin *Plugin(int position, int kind) const {
    const auto &list = List(kind);
    if (position < 0 || static_cast<std::size_t>(position) >= list.size()) return nullptr;
    return list[static_cast<std::size_t>(position)].get();
  }

  void MoveToFront(CSpiPlugin *plugin, int kind) {
    std::lock_guard<std::mutex> hold(recentMutex);
    auto &recent = kind == kSpiArchive ? archiveRecent : pictureRecent;
    auto it = std::find(recent.begin(), recent.end(), plugin);
    if (it != recent.end()) std::rotate(recent.begin(), it, it + 1);
  }
  std::vector<CSpiPlugin *> RecentSnapshot(int kind) const {
    std::lock_guard<std::mutex> hold(recentMutex);
    return kind == kSpiArchive ? archiveRecent : pictureRecent;
  }

  // The file-input-only bit of a decoder; a missing one counts as set.
  bool FileOnly(int position, int kind) const {
    if (kind == kSpiPicture && IsBuiltin(position)) return builtinFileOnly[position - builtin::kFirst] != 0;
    const CSpiPlugin *p = Plugin(position, kind);
    return !p || (p->flags.load() & kSpiFileOnly);
  }
  void MarkFileOnly(int position, int kind) {
    if (kind == kSpiPicture && IsBuiltin(position)) {
      builtinFileOnly[position - builtin::kFirst] = 1;
    } else if (CSpiPlugin *p = Plugin(position, kind)) {
      p->flags.fetch_or(kSpiFileOnly);
    }
  }

  int FindPictureByName(std::string_view name) const {
    for (const auto &p : pictures)
      if (EqualsNoCase(p->Name(), name)) return p->position;
    return -1;
  }

  void AddViewSpi(CSpiPlugin *archive, CSpiPlugin *picture) {
    archive->allUse = 1;
    if (std::find(archive->viewSpi.begin(), archive->viewSpi.end(), picture) != archive->viewSpi.end())
      return;
    archive->viewSpi.push_back(picture);
    ++picture->refCount;
  }
  void ClearViewSpi(CSpiPlugin *archive) {
    for (CSpiPlugin *p : archive->viewSpi) --p->refCount;
    archive->viewSpi.clear();
  }

  // Steps shared by the decoder calls: map the file when the decoder takes memory, retry past
  // a MacBinary header, and fall back to the file (for good) when memory did not work.
  // `call(source, &faulted)` sets `faulted` when the plug-in faulted: a plug-in that faulted
  // is not called again for the same request (it was reported once; the next call would
  // most likely fault again), and its file-input-only bit stays as it was.
  template <class Call>
  int CallWithSource(int position, int kind, const Source &given, bool macBinaryRetry, Call &&call) {
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
};

namespace {

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
  return true;
}

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

// A stored flags word; a plug-in the set does not mention is used.
uint32_t StoredFlags(const Profile &profile, const std::string &section, const std::string &name) {
  return static_cast<uint32_t>(profile.GetInt(section, name, kSpiUse));
}

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

// ---- construction ----

CSpiHost::CSpiHost() : impl_(std::make_unique<Impl>()), progress_(&DefaultProgress) {}

CSpiHost::~CSpiHost() { FreeDLL(); }

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

// ---- decoder calls ----

namespace {

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

// ---- accessors ----

int CSpiHost::Count(int kind) const {
  SharedHold hold(impl_->lock);
  return static_cast<int>(impl_->List(kind).size());
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

std::vector<int> CSpiHost::RecentOrder(int kind) const {
  SharedHold hold(impl_->lock);
  std::vector<int> positions;
  for (const CSpiPlugin *p : impl_->RecentSnapshot(kind)) positions.push_back(p->position);
  return positions;
}

SpiSwitches CSpiHost::Switches() const { return impl_->CurrentSwitches(); }

void CSpiHost::SetSwitches(const SpiSwitches &switches) {
  ExclusiveHold hold(impl_->lock);
  if (hold) impl_->ApplySwitches(switches);
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
