#include "fileops/samename.h"

#include <sys/stat.h>

#include <ctime>

#include "catalogue/macros.h"
#include "catalogue/pathutil.h"
#include "fileops/folders.h"
#include "platform/profile.h"

namespace tamro {

namespace {
constexpr unsigned kRenameBit = 1u << kSameRename;
}

std::string SameNameSizeText(uint64_t bytes) {
  return "ｻｲｽﾞ: " + GroupThousands(static_cast<double>(bytes)) + " ﾊﾞｲﾄ";
}

std::string SameNameDateText(int64_t seconds) {
  std::tm tm{};
  const time_t t = static_cast<time_t>(seconds);
  if (!::localtime_r(&t, &tm)) return {};
  char text[64];
  if (std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &tm) == 0) return {};
  return std::string("日時: ") + text;
}

std::string SameNameSizeText(const std::string &path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return SameNameSizeText(static_cast<uint64_t>(st.st_size));
}

std::string SameNameDateText(const std::string &path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return SameNameDateText(static_cast<int64_t>(st.st_mtime));
}

CSameNameLogic CSameNameLogic::ForTransfer() {
  return CSameNameLogic("同名ファイルが存在しています", "SameOption", 0, false);
}

CSameNameLogic CSameNameLogic::ForOverwrite() {
  return CSameNameLogic("重ね書き", "OverWriteOption", (1u << kSameNewerOnly) | (1u << kSameLarger), true);
}

int CSameNameLogic::StartAction() const {
  const int stored = Profile::App().GetInt("Filer", key_, overwrite_ ? kSameOverwrite : kSameNewerOnly);
  if (overwrite_) {
    // Only the enabled actions other than rename can start the dialog.
    return stored == kSameNewerOnly || stored == kSameSkip || stored == kSameNumbered || stored == kSameLarger
               ? ((1u << stored) & disabled_ ? kSameOverwrite : stored)
               : kSameOverwrite;
  }
  // Rename needs an edited name, so a stored 3 (or anything unknown) starts at 0.
  return stored >= 0 && stored <= 5 && stored != kSameRename ? stored : kSameNewerOnly;
}

void CSameNameLogic::ShowDestination(SameNameQuestion &q, const std::string &path) const {
  q.destinationName = path;
  q.destinationSize = SameNameSizeText(path);
  q.destinationDate = SameNameDateText(path);
}

SameNameQuestion CSameNameLogic::Open(const std::string &source, const std::string &target) {
  source_ = source;
  opened_ = target;
  renaming_ = false;
  SameNameQuestion q;
  q.caption = caption_;
  q.rules = this;
  q.sourceName = source;
  q.sourceSize = SameNameSizeText(source);
  q.sourceDate = SameNameDateText(source);
  q.disabledActions = disabled_ | kRenameBit;
  q.action = StartAction();
  previous_ = q.action;
  q.name = q.action == kSameNumbered ? NumberedFreeName(target) : target;
  base_ = q.name;
  ShowDestination(q, q.name);
  return q;
}

void CSameNameLogic::ChooseAction(SameNameQuestion &q, int action) {
  if (!IsEnabled(q, action)) return;
  q.action = action;
  if (action == kSameRename) return;
  renaming_ = false;
  q.disabledActions |= kRenameBit;
  q.name = action == kSameNumbered ? NumberedFreeName(opened_) : opened_;
  base_ = q.name;
  previous_ = action;
  ShowDestination(q, q.name);
}

void CSameNameLogic::EditName(SameNameQuestion &q, const std::string &text) {
  q.name = text;
  if (text != base_) {
    if (!renaming_) previous_ = q.action;
    renaming_ = true;
    q.disabledActions &= ~kRenameBit;
    q.action = kSameRename;
  } else if (renaming_) {
    renaming_ = false;
    q.disabledActions |= kRenameBit;
    q.action = previous_;
  }
  ShowDestination(q, text);
}

void CSameNameLogic::RestoreName(SameNameQuestion &q) { EditName(q, base_); }

void CSameNameLogic::Store(int action) const {
  if (action >= 0 && action <= 5) Profile::App().WriteInt("Filer", key_, action);
}

bool CSameNameLogic::Ask(const std::string &source, std::string &target, SameNameQuestion &answer,
                         const std::function<void(SameNameQuestion &)> &adjust) {
  std::string folder(DirPart(target));
  if (folder.empty()) folder = ".";
  for (;;) {
    answer = Open(source, target);
    if (adjust) adjust(answer);
    if (!Ui().AskSameName(answer)) return false;
    std::string name = answer.name.empty() ? target : answer.name;
    if (name.front() != '/') name = JoinPath(folder, name);
    if (NamePart(name).empty() || IsDirectory(name)) continue;
    std::string nameFolder(DirPart(name));
    if (!EnsureFolder(nameFolder.empty() ? "." : nameFolder, false)) continue;
    struct stat st {};
    if (answer.action == kSameRename && ::lstat(name.c_str(), &st) == 0) continue;
    if (answer.action < 0 || answer.action > 5) continue;
    Store(answer.action);
    target = name;
    return true;
  }
}

bool SameNameActionWrites(int action, uint64_t size, int64_t nanos, std::string &destination) {
  struct stat st {};
  if (::lstat(destination.c_str(), &st) != 0) return action != kSameSkip;
  switch (action) {
    case kSameNewerOnly:
      return ::stat(destination.c_str(), &st) == 0 &&
             nanos > static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    case kSameOverwrite:
    case kSameRename:
      return true;
    case kSameNumbered:
      destination = NumberedFreeName(destination);
      return true;
    case kSameLarger:
      return ::stat(destination.c_str(), &st) == 0 && size > static_cast<uint64_t>(st.st_size);
    default:
      return false;
  }
}

}  // namespace tamro
