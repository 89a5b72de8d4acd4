#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "catalogue/entrylook.h"
#include "catalogue/picturefacts.h"
#include "platform/globalhandle.h"

namespace tamro {

// Nanoseconds since 1970-01-01 00:00 UTC.
using FileTime = int64_t;
constexpr FileTime kNanosPerSecond = 1000000000;

// Drawing switches an entry takes from the document when it is added.
struct DrawSwitches {
  int32_t scaleMode = 10;
  int8_t limitCheck = 1, frame = 0, nameFrame = 1, name = 1, unsharp = 1;
  // How pictures are decoded: turned by their orientation tag, colours converted to sRGB
  // from their embedded profile.
  int8_t exifRotate = 1, colorManage = 1;
  // Thumbnails may be made from the preview the file embeds.
  int8_t embeddedPreview = 1;
  bool operator==(const DrawSwitches &) const = default;
};

// What a thumbnail was made with beyond scaling, as a bit set: the decoding switches, and
// whether it was made from the file's embedded preview (not a switch: a thumbnail made so
// stands only while the switch allows it).
enum ThumbTreatment : int { kTreatOrientation = 1, kTreatColour = 2, kTreatPreview = 4 };
inline int TreatmentOf(const DrawSwitches &s) {
  return (s.exifRotate ? kTreatOrientation : 0) | (s.colorManage ? kTreatColour : 0);
}

struct CellRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// One listed file or archive member: its file facts, picture facts, thumbnail and display
// state. Texts that most entries share (the folder, the archive name) or rarely have (the
// description, the note) are held so that an entry without a thumbnail stays small.
class CPicEntry {
 public:
  enum Flag : int { kCurrent = 1, kSelected = 2 };
  static constexpr int kNotPlaced = 32767;

  CPicEntry();
  virtual ~CPicEntry();
  CPicEntry(const CPicEntry &) = delete;
  CPicEntry &operator=(const CPicEntry &) = delete;

  // --- file facts
  const std::string &Folder() const;
  void SetFolder(std::shared_ptr<const std::string> folder) { folder_ = std::move(folder); }
  void SetFolder(std::string_view folder);
  const std::shared_ptr<const std::string> &FolderRef() const { return folder_; }
  std::string name;  // for a member, the member's name as the archive gives it
  uint64_t size = 0;
  FileTime creationTime = 0, lastWriteTime = 0;

  // --- archive member facts; a plain file has an empty archive name
  const std::string &ArchiveName() const;
  void SetArchiveName(std::shared_ptr<const std::string> archive) { archive_ = std::move(archive); }
  void SetArchiveName(std::string_view archive);
  bool IsArchiveMember() const { return archive_ && !archive_->empty(); }
  int archiveDecoderIndex = -1;
  uint32_t position = 0;

  // Folder + "/" + name for a plain file; the member name for a member.
  std::string FullPath() const;
  // Folder + "/" + archive name (empty for a plain file).
  std::string ArchivePath() const;
  // The file to open: the plain file, or the archive holding the member.
  std::string FilePath() const;

  // --- picture facts
  PictureFacts facts;
  const std::string &Description() const;
  void SetDescription(std::string text);
  // The note as read from the folder's note file (ReadEntryNote) or set; empty until then.
  const std::string &Note() const;
  // The note is known from now on: it is not read from the note file over it.
  void SetNote(std::string text);
  // What the description library said about the file ("$(CP)"), once asked.
  const std::string &CameraText() const;
  void SetCameraText(std::string text);

  // --- thumbnail; the two working pictures belong to the thumbnail builder
  GlobalHandle thumbnail;
  GlobalHandle work1, work2;
  int32_t thumbWidth = 0, thumbHeight = 0;
  int32_t sizeBoxWidth = 0, sizeBoxHeight = 0;
  int32_t rotation = 0;
  int32_t thumbScaleMode = 0;  // what the thumbnail was made with
  int8_t thumbUnsharp = 0;
  uint16_t thumbTreatment = 0;  // TreatmentOf the switches it was made with
  // The thumbnail again at the screen's device pixels, for display only (never stored); made
  // for `displayRatio` (0: the thumbnail came from the store at its own size, none was made).
  GlobalHandle displayThumbnail;
  float displayRatio = 0;

  // --- display state
  int flags = 0;
  int32_t cellX = kNotPlaced, cellY = 0;
  CellRect cellRect;
  int32_t iconIndex = -1;
  DrawSwitches switches;
  bool useCache = false;     // look in the thumbnail store first
  bool rebuild = false;      // made again from the picture: the shared cache is not read
  bool stored = false;       // the thumbnail has a record in the thumbnail store
  bool decodingNow = false;  // set while this entry is being decoded
  bool justBuilt = false;
  bool noteRead = false;    // the note has been read or set
  bool cameraRead = false;  // the description library has been asked about the file
  uint32_t pendingJob = 0;  // the thumbnail worker job under way for this entry, 0 for none

  // --- the last paint of the entry's cell
  CellRect captionRect;  // relative to the cell
  int32_t captionLineHeight = 0;
  int8_t drawnMode = -1;
  bool paintingNow = false;
  // Being decoded or painted: drawing passes leave such an entry for later.
  bool IsBusy() const { return decodingNow || paintingNow; }

  // Colours and caption font, shared with the document that handed them over.
  const EntryColours &Colours() const { return look_->colours; }
  const FontDescription &Font() const { return look_->font; }
  const EntryLookPtr &Look() const { return look_; }
  void SetLook(EntryLookPtr look);

  bool IsSelected() const { return (flags & kSelected) != 0; }
  bool IsCurrent() const { return (flags & kCurrent) != 0; }

  // Forget what was read from the picture: decoder -1, picture size and bit count 0,
  // description emptied, pictures freed.
  void Reset();
  void FreePictures();

  // Heap bytes this entry holds beyond its own object, shared texts not counted.
  std::size_t OwnHeapBytes() const;

 private:
  struct Texts {
    std::string description, note, camera;
  };
  std::shared_ptr<const std::string> folder_;
  std::shared_ptr<const std::string> archive_;
  std::unique_ptr<Texts> texts_;
  EntryLookPtr look_;
};

// The look a new entry starts with before the document hands over its own.
const EntryLookPtr &DefaultEntryLook();

}  // namespace tamro
