#pragma once

// The report file: one line per selected picture, each the report format with its name
// macros expanded for that picture.

#include <string>
#include <string_view>
#include <vector>

#include "output/history.h"

namespace tamro {

class CRXDoc;
class CThumbBuilder;
class WorkerPool;

// Used when the history is empty: name, bytes, date and time, size and depth, information,
// note, separated by tabs.
inline constexpr std::string_view kDefaultReportFormat = "$(PN)\t$(S)\t$(D) $(T)\t$(W)x$(H) $(C)bit\t$(I)\t$(N)";

// A format box edit: the selection [selStart, selEnd) of `text` replaced by `macro`.
// Positions are byte offsets, clamped to the text and ordered. `caret` (when given)
// receives the position just after the inserted macro.
std::string InsertMacro(std::string_view text, int selStart, int selEnd, std::string_view macro, int *caret = nullptr);

// The logic of the report dialog: the format history in section "ReportFile", keys "0"
// to "99", most recent first.
class CReportOption {
 public:
  CReportOption();
  void Load();
  // The format box's starting text: the first history item, else the built-in format.
  std::string InitialFormat() const;
  const std::vector<std::string> &History() const { return history_.items(); }
  // Closing with OK: `format` goes to the top of the history and all 100 keys are written.
  void Accept(const std::string &format);

  std::string format;

 private:
  TextHistory history_;
};

// Where a report reads the picture facts its format asks for and an entry does not hold
// yet: the decoders, decode switches and description lookup of `builder`, on `pool`'s
// workers (on the calling thread without a pool). Without a builder the entries' facts are
// written as they are.
struct ReportFacts {
  CThumbBuilder *builder = nullptr;
  WorkerPool *pool = nullptr;
};

// Writes one line per selected entry of `doc`, in list order, each ending in CR LF, with
// a progress window "レポートファイル作成中..." that can stop the run (lines already
// written stay). No selection writes an empty file. Answers false, quietly, when the file
// cannot be created. Picture files are opened only when the format needs their facts.
bool WriteReportFile(CRXDoc &doc, const std::string &path, const std::string &format,
                     const ReportFacts &facts = {});

}  // namespace tamro
