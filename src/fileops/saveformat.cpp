#include "fileops/saveformat.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale>
#include <memory>
#include <sstream>
#include <vector>

#include "catalogue/macros.h"
#include "catalogue/pathutil.h"
#include "catalogue/picentry.h"
#include "catalogue/rxdoc.h"
#include "catalogue/thumbbuilder.h"
#include "fileops/folders.h"
#include "fileops/samename.h"
#include "fileops/transfer.h"
#include "picture/dib.h"
#include "picture/dibjpeg.h"
#include "picture/transform.h"
#include "platform/globalmem.h"
#include "platform/profile.h"
#include "platform/ui.h"

namespace tamro {

namespace {

constexpr const char *kSection = "FileSave";

bool Exists(const std::string &path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool KnownScaleMode(int mode) {
  return mode == 0 || mode == 1 || mode == 2 || mode == 3 || mode == kScaleAuto;
}

double ParseScale(const std::string &text) {
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  double value = 0;
  if (!(in >> value) || !std::isfinite(value)) return 1.0;
  return value;
}

// The writers replace `path` only with a complete file, so a failed write never costs the
// file that was there.
bool WritePicture(HDIB picture, const std::string &path, const CFileSaveOption &option) {
  if (option.format != CFileSaveOption::kJpeg) return SaveDibFile(path, picture) == 1;
  HDIB rgb = DibTo24Bit(picture);
  if (!rgb) return false;
  const bool written = SaveDibAsJpeg(rgb, path, 1, option.jpegQuality, nullptr, 0) == 1;
  if (rgb != picture) GlobalFree(rgb);
  return written;
}

}  // namespace

CFileSaveOption::CFileSaveOption() : folders_(kSection, "Folder", 10) {}

void CFileSaveOption::Load() {
  const Profile &p = Profile::App();
  folders_.Load();
  folder = folders_.First();
  format = p.GetInt(kSection, "Format", 0) == 1 ? kJpeg : kBmp;
  sizeMode = std::clamp(p.GetInt(kSection, "SizeMode", 0), 0, 2);
  width = p.GetInt(kSection, "Width", 0);
  height = p.GetInt(kSection, "Height", 0);
  aspect = p.GetInt(kSection, "Aspect", 1);
  scale = ParseScale(p.GetString(kSection, "Scale", "1"));
  scaleMode = p.GetInt(kSection, "ScaleMode", 0);
  if (!KnownScaleMode(scaleMode)) scaleMode = 0;
  unsharp = p.GetInt(kSection, "Unsharp", 0) ? 1 : 0;
  jpegQuality = std::clamp(p.GetInt(kSection, "JpegQuality", 80), 0, 100);
  rotateAngle = std::clamp(p.GetInt(kSection, "RotateAngle", 0), 0, 360);
}

std::string CFileSaveOption::ScaleText() const {
  char text[64];
  std::snprintf(text, sizeof text, "%g", scale);
  return text;
}

int CFileSaveOption::RotationButton() const {
  switch (rotateAngle) {
    case 0:
    case 360:
      return 0;
    case 90:
      return 1;
    case 180:
      return 2;
    case 270:
      return 3;
    default:
      return 4;
  }
}

void CFileSaveOption::SetRotationButton(int button) {
  static const int angles[] = {0, 90, 180, 270};
  if (button >= 0 && button < 4) rotateAngle = angles[button];
}

bool CFileSaveOption::Accept() {
  if (!folder.empty()) {
    folders_.Promote(folder);
    folders_.Save();
  }
  if (!KnownScaleMode(scaleMode)) scaleMode = 0;
  jpegQuality = std::clamp(jpegQuality, 0, 100);
  rotateAngle = std::clamp(rotateAngle, 0, 360);
  Profile &p = Profile::App();
  p.WriteInt(kSection, "Format", format);
  p.WriteInt(kSection, "SizeMode", sizeMode);
  p.WriteInt(kSection, "Width", width);
  p.WriteInt(kSection, "Height", height);
  p.WriteInt(kSection, "Aspect", aspect);
  p.WriteString(kSection, "Scale", ScaleText());
  p.WriteInt(kSection, "ScaleMode", scaleMode);
  p.WriteInt(kSection, "Unsharp", unsharp);
  p.WriteInt(kSection, "JpegQuality", jpegQuality);
  p.WriteInt(kSection, "RotateAngle", rotateAngle);

  if (folder.empty()) return false;
  const std::string absolute = AbsoluteFolder(folder, currentFolder);
  if (absolute.empty()) return false;
  folder = absolute;
  if (sizeMode == kGivenSize && (width < 1 || height < 1)) return false;
  if (sizeMode == kScaleFactor && !(scale > 0)) return false;
  return true;
}

std::string CFileSaveOption::OutputPath(const CPicEntry &entry) const {
  // A member may carry its folder inside the archive with either separator.
  std::string name = entry.name;
  const auto cut = name.find_last_of("/\\");
  if (cut != std::string::npos) name = name.substr(cut + 1);
  std::string bare = PathPart(name, kPathName);
  if (bare.empty()) bare = name.empty() ? "picture" : name;
  return JoinPath(folder, bare + (format == kJpeg ? ".jpg" : ".bmp"));
}

HDIB ConvertEntryPicture(PictureDecoders &decoders, const CPicEntry &entry, const CFileSaveOption &option) {
  // A copy of the entry carries this conversion's settings; the listed entry stays as it is.
  CPicEntry copy;
  copy.SetFolder(entry.FolderRef());
  copy.name = entry.name;
  copy.size = entry.size;
  copy.creationTime = entry.creationTime;
  copy.lastWriteTime = entry.lastWriteTime;
  copy.SetArchiveName(entry.ArchiveName());
  copy.archiveDecoderIndex = entry.archiveDecoderIndex;
  copy.position = entry.position;
  copy.facts.decoder = entry.facts.decoder;
  copy.switches = entry.switches;
  copy.switches.scaleMode = KnownScaleMode(option.scaleMode) ? option.scaleMode : 0;
  copy.switches.unsharp = option.unsharp ? 1 : 0;
  copy.rotation = std::clamp(option.rotateAngle, 0, 360);

  CThumbBuilder builder(&decoders, nullptr, nullptr);
  GlobalHandle picture = builder.DecodeEntry(copy, nullptr);
  if (!picture) return nullptr;
  const int pw = DibWidth(picture.get()), ph = std::abs(DibHeight(picture.get()));
  if (pw <= 0 || ph <= 0) return nullptr;
  const DibSize turned = RotatedSize(pw, ph, copy.rotation);

  int width = turned.width, height = turned.height;
  if (option.sizeMode == CFileSaveOption::kScaleFactor) {
    // The factor applies to the picture as it comes out, so a turned picture keeps its shape.
    width = std::max(1, static_cast<int>(turned.width * option.scale));
    height = std::max(1, static_cast<int>(turned.height * option.scale));
  } else {
    CellRect box{0, 0, turned.width, turned.height};
    if (option.sizeMode == CFileSaveOption::kGivenSize) box = {0, 0, option.width, option.height};
    const CellRect fit = FitThumbnailRect(turned.width, turned.height, box, copy.switches.limitCheck != 0);
    width = fit.right - fit.left;
    height = fit.bottom - fit.top;
  }
  HDIB out = ScaleThumbnail(copy, width, height, picture.get());
  if (out == picture.get()) return picture.release();
  return out;
}

int SaveSelectedInFormat(CRXDoc &doc, PictureDecoders &decoders, const CFileSaveOption &option) {
  DocBusy busy(doc);

  if (!EnsureFolder(option.folder, true)) {
    // Quietly made folders still fail out loud: every picture would otherwise go missing unseen.
    Ui().MessageBox(option.folder + " \nフォルダの作成に失敗しました", "Tamro", MB_OK | MB_ICONSTOP);
    return 0;
  }
  std::unique_ptr<ProgressWindow> progress = Ui().OpenProgress("ファイル保存中...");
  if (progress) progress->SetRange(0, doc.CountSelected(true));

  CSameNameLogic logic = CSameNameLogic::ForOverwrite();
  bool applyToAll = false, cancelled = false;
  int action = kSameOverwrite;
  int written = 0;
  std::vector<std::string> unwritten;
  for (int i = 0; i < doc.GetEntryCount() && !cancelled; ++i) {
    CPicEntry *e = doc.GetEntry(i);
    if (!e || !e->IsSelected()) continue;
    if (progress && progress->Aborted()) break;
    if (progress) progress->SetText(e->name);
    std::string target = option.OutputPath(*e);
    bool skip = false;
    if (Exists(target)) {
      if (!applyToAll) {
        for (;;) {
          SameNameQuestion q = logic.Open(e->FilePath(), target);
          if (!Ui().AskSameName(q)) {
            cancelled = true;  // cancel ends the command
            break;
          }
          std::string name = q.name.empty() ? target : q.name;
          if (name.front() != '/') name = JoinPath(option.folder, name);
          if (NamePart(name).empty() || IsDirectory(name)) continue;
          if (q.action == kSameRename && Exists(name)) continue;
          if (q.action < 0 || q.action > 5) continue;
          logic.Store(q.action);
          action = q.action;
          applyToAll = q.applyToAll;
          target = name;
          break;
        }
        if (cancelled) break;
      }
      if (Exists(target)) {
        if (action == kSameSkip)
          skip = true;
        else if (action == kSameNumbered)
          target = NumberedFreeName(target);
      }
    }
    if (!skip) {
      HDIB picture = ConvertEntryPicture(decoders, *e, option);
      if (picture) {
        if (WritePicture(picture, target, option))
          ++written;
        else
          unwritten.push_back(target);
        GlobalFree(picture);
      }
    }
    if (progress) progress->Step(1);
  }
  progress.reset();
  if (!unwritten.empty()) {
    std::string names;
    for (const std::string &name : unwritten) names += "\n" + name;
    Ui().MessageBox("次のファイルを保存できませんでした\n" + names, "Tamro", MB_OK | MB_ICONEXCLAMATION);
  }
  return written;
}

}  // namespace tamro
