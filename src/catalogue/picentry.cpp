#include "catalogue/picentry.h"

namespace tamro {

namespace {

const std::string &EmptyText() {
  static const std::string empty;
  return empty;
}

}  // namespace

const EntryLookPtr &DefaultEntryLook() {
  static const EntryLookPtr look = [] {
    auto l = std::make_shared<EntryLook>();
    l->colours.backGround = 0xF0F0F0;  // the usual button face
    l->colours.normalDraw = 0xFFFFFF;
    l->colours.arcDraw = 0xFFF0F0;
    l->colours.cantDraw = 0xF0FFFF;
    return EntryLookPtr(std::move(l));
  }();
  return look;
}

CPicEntry::CPicEntry() : look_(DefaultEntryLook()) {}

CPicEntry::~CPicEntry() = default;

const std::string &CPicEntry::Folder() const { return folder_ ? *folder_ : EmptyText(); }

void CPicEntry::SetFolder(std::string_view folder) { folder_ = std::make_shared<const std::string>(folder); }

const std::string &CPicEntry::ArchiveName() const { return archive_ ? *archive_ : EmptyText(); }

void CPicEntry::SetArchiveName(std::string_view archive) {
  if (archive.empty())
    archive_.reset();
  else
    archive_ = std::make_shared<const std::string>(archive);
}

namespace {

std::string Join(const std::string &folder, const std::string &name) {
  std::string p;
  p.reserve(folder.size() + 1 + name.size());
  p = folder;
  if (p.empty() || p.back() != '/') p += '/';
  p += name;
  return p;
}

}  // namespace

std::string CPicEntry::FullPath() const { return IsArchiveMember() ? name : Join(Folder(), name); }

std::string CPicEntry::ArchivePath() const {
  return IsArchiveMember() ? Join(Folder(), *archive_) : std::string();
}

std::string CPicEntry::FilePath() const { return IsArchiveMember() ? ArchivePath() : Join(Folder(), name); }

const std::string &CPicEntry::Description() const { return texts_ ? texts_->description : EmptyText(); }

void CPicEntry::SetDescription(std::string text) {
  if (!texts_) {
    if (text.empty()) return;
    texts_ = std::make_unique<Texts>();
  }
  texts_->description = std::move(text);
}

const std::string &CPicEntry::Note() const { return texts_ ? texts_->note : EmptyText(); }

void CPicEntry::SetNote(std::string text) {
  noteRead = true;
  if (!texts_) {
    if (text.empty()) return;
    texts_ = std::make_unique<Texts>();
  }
  texts_->note = std::move(text);
}

const std::string &CPicEntry::CameraText() const { return texts_ ? texts_->camera : EmptyText(); }

void CPicEntry::SetCameraText(std::string text) {
  cameraRead = true;
  if (!texts_) {
    if (text.empty()) return;
    texts_ = std::make_unique<Texts>();
  }
  texts_->camera = std::move(text);
}

void CPicEntry::SetLook(EntryLookPtr look) {
  if (look && look != look_) look_ = std::move(look);
}

void CPicEntry::FreePictures() {
  thumbnail.reset();
  displayThumbnail.reset();
  displayRatio = 0;
  work1.reset();
  work2.reset();
}

void CPicEntry::Reset() {
  // The facts of a changed file are read again; old ones would reduce it by a wrong factor.
  facts = PictureFacts{};
  SetDescription(std::string());
  SetCameraText(std::string());
  cameraRead = false;
  FreePictures();
  thumbWidth = thumbHeight = 0;
  pendingJob = 0;  // a thumbnail still being made for the old file is not taken
}

std::size_t CPicEntry::OwnHeapBytes() const {
  std::size_t n = 0;
  if (name.capacity() > 15) n += name.capacity() + 1;
  if (texts_) {
    n += sizeof(Texts);
    if (texts_->description.capacity() > 15) n += texts_->description.capacity() + 1;
    if (texts_->note.capacity() > 15) n += texts_->note.capacity() + 1;
    if (texts_->camera.capacity() > 15) n += texts_->camera.capacity() + 1;
  }
  return n;
}

}  // namespace tamro
