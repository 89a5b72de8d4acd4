#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/ui.h"

namespace tamro {

// What to do with a file of the same name at the destination.
enum SameNameAction : int {
  kSameNewerOnly = 0,  // "新しい日付のみ(&T)": only when the source is strictly newer
  kSameOverwrite = 1,  // "上書き(&O)"
  kSameSkip = 2,       // "スキップ(&S)"
  kSameRename = 3,     // "名前変更(&R)": under the name typed in the dialog
  kSameNumbered = 4,   // "自動連番(&N)": "%s(%d)%s" with the first free n from 2
  kSameLarger = 5,     // "大きなサイズ(&B)": only when the source is strictly larger
};

// "ｻｲｽﾞ: %s ﾊﾞｲﾄ" and "日時: %s" of a file; empty texts when it cannot be looked at.
std::string SameNameSizeText(const std::string &path);
std::string SameNameDateText(const std::string &path);
// The same texts for a source that is no file of its own (an archive member).
std::string SameNameSizeText(uint64_t bytes);
std::string SameNameDateText(int64_t seconds);

// The rules of the same-name dialog (copy and move) and of the overwrite dialog (save in
// picture format), apart from their look: the starting action, the name box, which actions
// are enabled and what is stored. The Qt dialog is a face on one of these; the engines build
// the question with it and store the answer through it.
// The chosen action's verdict on a namesake at `destination` for a file of `size` bytes last
// written `nanos` after 1970: whether it is written there. A free name is written unless the
// action is skip; a numbered action moves `destination` to the first free numbered name.
bool SameNameActionWrites(int action, uint64_t size, int64_t nanos, std::string &destination);

class CSameNameLogic : public SameNameRules {
 public:
  // Copy and move: "同名ファイルが存在しています", stored in "SameOption".
  static CSameNameLogic ForTransfer();
  // Save in picture format: "重ね書き", stored in "OverWriteOption", the date and size
  // actions disabled.
  static CSameNameLogic ForOverwrite();

  // The action the dialog starts with, from the settings.
  int StartAction() const;
  // The question for `source` in the way of `target`, as the dialog opens: the starting
  // action, the name box holding the target (or its numbered name for action 4), the
  // rename action disabled until the name is edited. The question carries this object as its
  // rules, so the logic must outlive the asking.
  SameNameQuestion Open(const std::string &source, const std::string &target);

  // Choosing an action button: 0, 1, 2 and 5 put the opened name back, 4 the numbered one.
  void ChooseAction(SameNameQuestion &q, int action) override;
  // The name box was edited: a name that differs from the current destination selects (and
  // enables) the rename action and disables "以降全て(&A)"; the same name again brings the
  // previous action back. The destination details follow the name.
  void EditName(SameNameQuestion &q, const std::string &text) override;
  // Escape in the name box: the name of the chosen action again.
  void RestoreName(SameNameQuestion &q) override;
  bool ApplyToAllEnabled() const override { return !renaming_; }
  bool IsEnabled(const SameNameQuestion &q, int action) const {
    return action >= 0 && action <= 5 && (q.disabledActions & (1u << action)) == 0;
  }
  // OK or "以降全て(&A)": stores the action.
  void Store(int action) const;

  // Puts the question about `target` until its answer can be carried out: a name that is no
  // folder, in a folder that is there (or made after a question), and for a rename one that
  // is not taken. `adjust` may change what the question shows. False when cancelled;
  // otherwise the action is stored, `answer` holds it and `target` is the chosen name.
  bool Ask(const std::string &source, std::string &target, SameNameQuestion &answer,
           const std::function<void(SameNameQuestion &)> &adjust = {});

 private:
  CSameNameLogic(const char *caption, const char *key, unsigned disabled, bool overwrite)
      : caption_(caption), key_(key), disabled_(disabled), overwrite_(overwrite) {}
  void ShowDestination(SameNameQuestion &q, const std::string &path) const;

  const char *caption_;
  const char *key_;
  unsigned disabled_;  // shown disabled for good
  bool overwrite_;
  std::string source_, opened_;
  std::string base_;  // the name the chosen action gives; editing away from it means rename
  int previous_ = 0;
  bool renaming_ = false;
};

}  // namespace tamro
