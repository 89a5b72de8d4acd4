#pragma once

// The decoder plug-in host: finds, loads and calls the ".spi" plug-ins and the built-in
// decoders, and keeps the plug-in sets of the settings store.
//
// Positions: external plug-ins are numbered by their index in the picture list (kind 0)
// or the archive list (kind 1); 1000 to 1006 are the built-in decoders (picture kind only).
// Results: 0 success, -1 not supported / no such decoder / fault inside a plug-in,
// 1 format error, 2 data ended early, 3 no picture, 4 out of memory, 6 read error.
//
// Threads. Searches and decodes (IsSupportedSub, FindDecoder, GetPictureInfo, GetPicture,
// GetArchiveInfo, GetFile, the read-only accessors) may be called from several threads at
// once; they take the host lock shared. Built-in decoders run concurrently. Calls into one
// external module are serialised by that module's own lock (recursive, so a progress
// callback may decode again on the same thread). Flag and use-bit setters are atomic and
// may be called at any time. Loading, unloading and structural changes (ScanPlugins,
// LoadPluginSet, ApplyDynamicLoading, FreeDLL, SetSwitches, the ViewSPI list edits) take
// the host lock exclusively and wait for running calls to end; asked for from inside a
// progress or notification callback (the thread already holds the lock shared) they are
// refused and change nothing, instead of waiting for themselves. A waiting change holds
// back new searches, so a thread inside a host call must not wait for another thread that
// is about to call the host.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "decode/spi.h"
#include "picture/dibtypes.h"
#include "platform/globalhandle.h"

namespace tamro {

enum SpiKind : int { kSpiPicture = 0, kSpiArchive = 1 };

// Bits of a plug-in's flags word.
enum SpiFlag : uint32_t {
  kSpiUse = 0x1,       // takes part in searches
  kSpiFileOnly = 0x4,  // must be given the file name, never a memory image
};

// Result of the module load when the module's start-up faulted.
inline constexpr int kLoadFaulted = -2;

// Called during a search with (position, decoder name, data value): once before each
// candidate is asked and once at the end with the final position and the found name.
using SpiNotifyProc = std::function<void(int position, std::string_view name, uintptr_t data)>;

// Status lines of ScanPlugins: code 0 on success, -1 on failure, and the text.
using SpiStatusSink = std::function<void(int code, std::string_view text)>;

// The decoder search request.
struct SpiQuery {
  std::string fileName;      // path of the file, or the archive member's name
  int kind = kSpiPicture;    // 0 picture, 1 archive
  int start = 0;             // 0 for a new search; previous result + 1 to continue
  int archivePosition = -1;  // archive plug-in of a member, -1 for a plain file
  SpiNotifyProc notify;      // may be empty
  uintptr_t data = 0;        // first bytes of the file, or (below 0x10000) a file descriptor
  long length = 0;           // number of bytes at `data`
  long offset = 0;           // where the data begins in the file (descriptor form)
  int extensionCheck = 0;    // try a decoder only when the name matches its filter
  std::string resultName;    // out: name of the decoder found, empty when none
};

// One external plug-in. Owned by the host; the module is unloaded when it is destroyed.
class CSpiPlugin {
 public:
  CSpiPlugin(std::string modulePath, void *module);
  virtual ~CSpiPlugin();
  CSpiPlugin(const CSpiPlugin &) = delete;
  CSpiPlugin &operator=(const CSpiPlugin &) = delete;

  // File name without folder and extension: ABC.spi is "ABC".
  std::string Name() const;
  // File name with its extension.
  std::string FileName() const;
  bool Loaded() const { return module != nullptr; }

  std::atomic<uint32_t> flags{0};  // kSpiUse, kSpiFileOnly
  std::string modulePath;
  void *module = nullptr;             // dlopen handle, null while unloaded
  std::vector<CSpiPlugin *> viewSpi;  // picture plug-ins used for this archive's members
  int position = -1;                  // index in its primary list
  int refCount = 0;                   // number of ViewSPI lists this plug-in stands in
  std::atomic<int> allUse{0};         // 1: members searched only among viewSpi
  std::vector<std::string> info;      // information strings by entry number
  std::string filter;                 // entries 2, 4, 6, ... joined with ";"

  SPI_GetPluginInfo getPluginInfo = nullptr;
  SPI_IsSupported isSupported = nullptr;
  SPI_GetPictureInfo getPictureInfo = nullptr;
  SPI_GetPicture getPicture = nullptr;
  SPI_GetPreview getPreview = nullptr;
  SPI_GetFile getFile = nullptr;
  SPI_GetArchiveInfo getArchiveInfo = nullptr;
  SPI_ConfigurationDlg configurationDlg = nullptr;

  // Serialises calls into this module, unless it declared itself safe for several threads.
  std::recursive_mutex callLock;
  bool threadSafe = false;
  // The optional colour-profile export (null when the module has none).
  SPI_GetColorProfile getColorProfile = nullptr;
  SPI_GetPreviewSized getPreviewSized = nullptr;
  bool orientsPictures = false;

  // Closes the module and clears the entry points (not the lists or flags).
  void Unload();
};

// The switches of section "SPI", in their stored order.
struct SpiSwitches {
  int macBinCheck = 0;
  int useMpeg = 0, fileMpeg = 1;
  int useAvi = 0, fileAvi = 1;
  int useText = 0, fileText = 0;
  int useTiff = 1, fileTiff = 0;
  int useGif = 0, fileGif = 0;
  int useJpeg = 1, fileJpeg = 0;
  int fastJpeg = 0;
  int useBmp = 1, fileBmp = 0;
  int pluginExt = 0;
  int dynamicLoading = 0;
};

class CSpiHost {
 public:
  CSpiHost();
  // FreeDLL; writes nothing (SaveSettings does).
  virtual ~CSpiHost();
  CSpiHost(const CSpiHost &) = delete;
  CSpiHost &operator=(const CSpiHost &) = delete;

  // Reads the switches, loads every module matching `pattern` (a folder joined with a
  // wildcard name such as "*.SPI"; the extension matches in any case) and registers it.
  void ScanPlugins(const std::string &pattern, const SpiStatusSink &status, const std::string &setName);
  // Reads the switches of section "SPI" (done by ScanPlugins).
  void LoadSwitches();
  // Held-Shift test of ScanPlugins (unload every module at once); default: never held.
  void SetShiftQuery(std::function<bool()> query);
  // Writes the switches of section "SPI" (SkipErrJPEG included) and the current set (at
  // shutdown); values the store already holds are left alone.
  void SaveSettings();

  void LoadPluginSet(const std::string &setName);
  void SavePluginSet(const std::string &setName);
  std::string CurrentSetName() const;
  // "SPISET\_Default" or "SPISET\<name>".
  static std::string SetSection(std::string_view setName);
  void ApplyDynamicLoading();
  void FreeDLL();

  // Searches.
  int IsSupportedSub(SpiQuery &query);
  int FindDecoder(SpiQuery &query);

  // Decoder calls. `flags & 7` is the source form (0 file name with `lengthOrOffset` the
  // offset, 1 memory image of that length); bits 8 to 10 are passed through.
  // `extra` receives the JPEG decoder's APP1 copy (a handle the caller frees) when given.
  int GetPictureInfo(int position, const char *source, unsigned flags, long lengthOrOffset,
                     SpiPictureInfo *info, uint32_t *extra = nullptr);
  // On success *picture is a new HDIB owned by the caller. value1/value2 are read by the
  // built-ins only (value2: JPEG size reduction).
  int GetPicture(int position, const char *source, HDIB *picture, intptr_t value1, long value2,
                 unsigned flags, long lengthOrOffset, ProgressProc progress = nullptr, long user = 0);
  int GetFile(int position, const char *source, char *destination, unsigned flags, long lengthOrOffset,
              ProgressProc progress = nullptr, long user = 0);
  // A picture plug-in's embedded preview for a thumbnail of wantWidth x wantHeight (as
  // shown): GetPreviewSized when the plug-in has it, else GetPreview. -1 for the built-ins
  // and plug-ins with neither; otherwise as GetPicture.
  int GetPreview(int position, const char *source, HDIB *picture, int wantWidth, int wantHeight,
                 unsigned flags, long lengthOrOffset, ProgressProc progress = nullptr, long user = 0);
  // The plug-in's pictures come turned by the file's orientation already.
  bool OrientsPictures(int position) const;
  // The ICC profile embedded in the picture (empty when there is none, or the decoder cannot
  // tell): from the built-in JPEG decoder, or a plug-in exporting GetColorProfile. 0 or the
  // decoder's failure.
  int GetColorProfile(int position, const char *source, unsigned flags, long lengthOrOffset,
                      std::string &profile);
  int GetArchiveInfo(int position, const char *source, unsigned flags, long lengthOrOffset, HLOCAL *info);
  int ConfigurationDlg(int position, int kind, void *parent, int function);
  bool HasConfigurationDlg(int position, int kind) const;

  // Previous callback answered. Null restores the default one (always answers 0).
  ProgressProc SetProgressCallback(ProgressProc callback);
  ProgressProc ProgressCallback() const { return progress_.load(); }

  // Joins a plug-in's information and pixel blocks into one HDIB: the pixel block itself,
  // grown to take the header and colour table in front of the rows. Both blocks are gone
  // afterwards (the information block freed, the pixel block handed over or freed).
  // 0 on success, 1 when the blocks do not describe a picture, 4 when the picture exceeds
  // the decode budget or memory ran out.
  static int AppendHandle(HLOCAL info, HLOCAL pixels, HDIB *picture);

  // Accessors. Built-in positions 1000 to 1005 are known to the flags accessors.
  int Count(int kind) const;
  uint32_t GetFlags(int position, int kind) const;
  void SetFlags(int position, int kind, uint32_t flags);
  bool GetUse(int position, int kind) const;
  void SetUse(int position, int kind, bool use);
  bool GetFileOnly(int position, int kind) const;
  void SetFileOnly(int position, int kind, bool on);
  std::string GetDecoderName(int position, int kind) const;
  // Case-insensitive; built-in names first and only for the picture kind. -1 when none.
  int FindDecoderByName(std::string_view name, int kind) const;
  std::string GetInfoString(int position, int kind, int entry) const;
  std::string GetDecoderFilter(int position, int kind) const;
  std::string GetModulePath(int position, int kind) const;
  bool IsLoaded(int position, int kind) const;
  // ViewSPI list of an archive plug-in.
  void AddViewSpi(int archivePosition, int picturePosition);
  void RemoveViewSpi(int archivePosition, int picturePosition);
  void ClearViewSpi(int archivePosition);
  std::vector<int> GetViewSpi(int archivePosition) const;
  int GetAllUse(int archivePosition) const;
  void SetAllUse(int archivePosition, int allUse);
  // Positions in most-recently-successful order.
  std::vector<int> RecentOrder(int kind) const;

  SpiSwitches Switches() const;
  void SetSwitches(const SpiSwitches &switches);

  std::string BuildPictureFilter(int kind) const;
  std::string BuildArchiveMemberFilter(int archivePosition) const;

  // Process-wide "SpiAlert": show a message box when a plug-in faults.
  static void SetAlert(bool on);
  static bool Alert();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string setName_;
  std::atomic<ProgressProc> progress_;
};

// Wildcard match ("*", "?"), ignoring ASCII case; "?" stands for one character.
bool WildcardMatch(std::string_view pattern, std::string_view text);
// True when the file name (folders ignored) matches one ";"-separated pattern; base name
// and extension after the last "." are matched separately, and a name without "." only
// matches a pattern without ".".
bool MatchExtensionList(std::string_view fileName, std::string_view patterns);

// ---- Archive members ----

// One member record, read safely from the plug-in's block.
struct ArchiveMember {
  std::string method;  // up to 8 characters
  uint32_t position = 0;
  uint32_t compressedSize = 0;
  uint32_t fileSize = 0;
  int64_t timeStamp = 0;  // seconds since 1970-01-01 UTC
  std::string path;       // inside the archive
  std::string name;
  uint32_t crc = 0;
};

// Decodes the records of a member block up to the first empty method or the block's end.
std::vector<ArchiveMember> ParseArchiveRecords(const void *block, std::size_t bytes);

// Lists the members of an archive. `onMember` answers false to stop (result 2).
// 0 when the walk completed (also for an empty archive), -1 or the plug-in's result when
// it could not be listed. The block is always freed.
int ListArchiveMembers(CSpiHost &host, int archivePosition, const std::string &archivePath,
                       const std::function<bool(const ArchiveMember &)> &onMember);

// Extracts one member into memory (GetFile with flags 0x100). 0 and *block filled, or the
// plug-in's result (then *block is empty).
int ExtractMemberToMemory(CSpiHost &host, int archivePosition, const std::string &archivePath,
                          uint32_t memberPosition, GlobalHandle *block, ProgressProc progress = nullptr,
                          long user = 0);

// The first 2048 bytes of a memory image or file, zero-filled past its end, for a search.
struct SpiHead {
  char bytes[SPI_HEAD_BYTES] = {};
  long length = 0;  // bytes taken from the source (at most 2048)
};
SpiHead HeadOf(const void *data, std::size_t bytes);
// -1 when the file cannot be read.
int ReadHead(const std::string &path, long offset, SpiHead *head);

// Picture search over an extracted member: kind 0, the member's name, its first bytes,
// restricted to the archive's ViewSPI list when its all-use flag is 1.
int FindMemberDecoder(CSpiHost &host, int archivePosition, const std::string &memberName, const void *data,
                      std::size_t bytes, int start = 0);

// Extracts a member, finds its decoder (or uses `decoder` when >= 0) and decodes it from
// memory. The member's block is always freed. *decoderFound gets the decoder used.
int GetMemberPictureInfo(CSpiHost &host, int archivePosition, const std::string &archivePath,
                         uint32_t memberPosition, const std::string &memberName, int decoder,
                         SpiPictureInfo *info, int *decoderFound = nullptr);
int GetMemberPicture(CSpiHost &host, int archivePosition, const std::string &archivePath,
                     uint32_t memberPosition, const std::string &memberName, int decoder, HDIB *picture,
                     long reduction = 1, ProgressProc progress = nullptr, long user = 0,
                     int *decoderFound = nullptr);

// Writes a member to a file (created or truncated) and gives it the member's time stamp.
struct MemberWriteResult {
  int extract = 0;      // GetFile result; non-zero: nothing was written
  int osError = 0;      // errno of the failing create, write, close or time setting; 0 when fine
  bool created = true;  // false when the destination could not be created (nothing written)
  bool ok() const { return extract == 0 && osError == 0 && created; }
};
MemberWriteResult WriteMemberToFile(CSpiHost &host, int archivePosition, const std::string &archivePath,
                                    uint32_t memberPosition, const std::string &destination,
                                    int64_t timeStamp);

}  // namespace tamro
