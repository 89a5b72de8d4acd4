#pragma once

// Editing one picture's note ("コメント入力(&N)" of the views and the picture window).

#include <string>

#include "catalogue/entryid.h"

namespace tamro {

class CRXDoc;

// The note dialog's state: the text of the entry's note, stored back on OK. It names the
// picture, not the entry: the listing may be refreshed while the dialog is open.
class CNoteOption {
 public:
  static constexpr const char *kCaption = "コメント入力";

  // Reads the note of the entry at `visibleIndex` (once, as the views do) into `text`.
  CNoteOption(CRXDoc &doc, int visibleIndex);

  // OK: stores `text` as the note (an empty text deletes it) and keeps it in the entry. A
  // note that came with CR LF line ends keeps them, whatever line ends the editor hands back.
  // False, after a message, when the note file cannot be written; the entry keeps its old note.
  // The note goes under the picture's own name even when the listing no longer shows it.
  bool Accept();
  const EntryId &Picture() const { return picture_; }

  std::string text;

 private:
  CRXDoc &doc_;
  EntryId picture_;
  int hint_;
  bool crlf_ = false;
};

}  // namespace tamro
