#pragma once

// Editing one picture's note ("コメント入力(&N)" of the views and the picture window).

#include <string>

namespace tamro {

class CPicEntry;

// The note dialog's state: the text of the entry's note, stored back on OK.
class CNoteOption {
 public:
  static constexpr const char *kCaption = "コメント入力";

  // Reads the entry's note (once, as the views do) into `text`.
  explicit CNoteOption(CPicEntry &entry);

  // OK: stores `text` as the note (an empty text deletes it) and keeps it in the entry. A
  // note that came with CR LF line ends keeps them, whatever line ends the editor hands back.
  // False, after a message, when the note file cannot be written; the entry keeps its old note.
  bool Accept();

  std::string text;

 private:
  CPicEntry &entry_;
  bool crlf_ = false;
};

}  // namespace tamro
