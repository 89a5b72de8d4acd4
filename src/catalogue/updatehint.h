#pragma once

#include <string_view>

namespace tamro {

// The numbered notices the document and the views send each other.
enum UpdateHint : int {
  kHintRedrawAll = 0,
  kHintCleared = 1,       // a listing starts (folder)
  kHintListed = 2,        // the listing finished (folder)
  kHintOpenFromList = 3,  // visible index
  kHintFromList = 4,
  kHintStopDrawing = 5,
  kHintSelection = 6,  // visible index, selected flag
  kHintContinueDrawing = 7,
  kHintSelectionAll = 8,
  kHintFirstVisible = 9,     // visible index
  kHintEntryChanged = 10,    // visible index
  kHintEntryAdded = 11,      // visible index
  kHintShowFolder = 12,      // folder path
  kHintCurrentChanged = 13,  // visible index
  kHintOpenEntry = 14,       // visible index
  kHintDrivesChanged = 15,
  kHintStartupDone = 16,
  kHintEntryRemoved = 17,  // visible index
  kHintTreeCreate = 18,
  kHintTreeRename = 19,
  kHintTreeDelete = 20,
};

struct UpdateArgument {
  long value = 0;         // visible index (or folder for none)
  long extra = 0;         // selected flag of hint 6
  std::string_view text;  // folder path of hints 1, 2, 12
};

// A view of the document: told of every hint but its own.
class UpdateObserver {
 public:
  virtual ~UpdateObserver() = default;
  virtual void OnUpdate(UpdateObserver *sender, int hint, const UpdateArgument &arg) = 0;
};

}  // namespace tamro
