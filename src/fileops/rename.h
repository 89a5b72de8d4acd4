#pragma once

// Renaming the selected pictures: the numbered rename with its pattern and history, and the
// rename that asks for each file's new name.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/picentry.h"

namespace tamro {

class CRXDoc;
class Profile;

// A pattern split up. Between the first and the second "#" stands the digit count; the
// number slot counts only with two "#" at least, the date codes only with a "%".
struct RenamePattern {
  std::string text;
  bool useNumber = false;
  bool useDate = false;
  std::string prefix, suffix;  // around the number slot; a third "#" stays in the suffix
  int digits = 0;              // at least this many digits, zero-filled; 0: plain number
};

RenamePattern ParseRenamePattern(std::string_view text);
// Exactly zero or exactly two "#", or any "%".
bool IsValidRenamePattern(std::string_view text);
// The number with at least `digits` digits ("%0Nd"), or plain ("%d") for 0 and below.
std::string FormatRenameNumber(int number, int digits);
// The strftime codes of `format` applied to a time (nanoseconds since 1970) in local time.
// Empty when the result would be longer than 127 bytes.
std::string FormatFileDate(std::string_view format, FileTime time);
// `oldName` without its extension, ".", and `extension`.
std::string ReplaceExtension(std::string_view oldName, std::string_view extension);
// The new name of one file: the number slot filled with `number`, then the date codes,
// or the extension mode when the pattern has neither.
std::string SequentialName(const RenamePattern &pattern, int number, FileTime lastWrite,
                           std::string_view oldName);

// Lines of the dialog's "補足説明" list, in order, the date codes last.
const std::vector<std::string> &RenameHelpLines();

inline constexpr char kRenameSection[] = "RXDoc";
inline constexpr char kRenameFormatKey[] = "RenameFormat";
inline constexpr char kRenameFirstKey[] = "First#";
inline constexpr char kBadRenamePattern[] = "連番ファイル名形式が正しくありません";

// The numbered rename dialog's state: the pattern, its history and the start number.
class CRenameOption {
 public:
  explicit CRenameOption(Profile *profile = nullptr);
  void Load();
  // OK with the typed pattern and the number field's text. An invalid pattern shows the
  // refusal and answers false (the dialog stays); otherwise the pattern goes to the top of
  // the history and both keys are written.
  bool Accept(std::string_view pattern, std::string_view firstNumberText);

  std::string pattern;
  int firstNumber = 1;
  const std::vector<std::string> &History() const { return history_; }

 private:
  Profile &profile_;
  std::vector<std::string> history_;
};

// What a numbered run did.
struct RenameRun {
  int renamed = 0;
  std::vector<std::string> failures;  // "%s -> %s :failed rename"
};

// Renames the selected plain files that exist, in list order, with `pattern` counting from
// `firstNumber`. Each renamed entry is redrawn (hint 10); failures are collected and, when
// there are any, shown in the "Report" box, one line each.
RenameRun RenameSequential(CRXDoc &doc, std::string_view pattern, int firstNumber);

// The question for one file of the single rename: the prompt, the name box (in: the
// current name; out: the typed one), and whether more files follow (the face then offers
// "スキップ" and "中止"). Answers 1 for OK, 0 for cancel or skip, -1 for abort.
using RenameQuestion = std::function<int(std::string_view prompt, std::string &name, bool moreFollow)>;
// The question through UiServices::InputText; a cancelled input skips the file.
int AskNewNameByInput(std::string_view prompt, std::string &name, bool moreFollow);

// Asks a new name for each selected plain file that exists, in list order. An empty name
// asks again; a failed rename shows "名前の変更に失敗しました" and goes on. Answers the
// number of files renamed.
int RenameEach(CRXDoc &doc, const RenameQuestion &ask = AskNewNameByInput);

}  // namespace tamro
