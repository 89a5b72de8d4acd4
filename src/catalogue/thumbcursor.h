#pragma once

// The background pass: after the visible cells, the thumbnails of all entries are built in
// idle time, one entry per idle call, so that input never waits for more than one decode.

#include <cstdint>
#include <functional>
#include <vector>

namespace tamro {

class CCellPainter;
class CDibCanvas;
class CRXDoc;
class UpdateObserver;

// The grid the cells are laid out in.
struct CursorGrid {
  int columns = 1;
  int cellWidth = 0, cellHeight = 0;
};

// Results of one step.
enum CursorStep : int {
  kStepDone = 0,  // one entry handled; more to come
  kStepBusy = 1,  // the entry is being decoded or painted already; ask again later
  kStepEnd = 2,   // every entry is handled
};

class CThumbCursor {
 public:
  // Told after each entry: status pane 3 and the percentage done.
  using ProgressSink = std::function<void(int pane, int percent)>;

  CThumbCursor(CRXDoc &doc, CCellPainter &painter) : doc_(doc), painter_(painter) {}

  void SetProgressSink(ProgressSink sink) { progress_ = std::move(sink); }
  // Back to entry 0 at cell (0, 0).
  void Reset();

  // Handles the entry at the cursor: it is painted in build mode into `page` at its cell
  // (setting bit 1 of its byte in `marks`) when the view keeps a page, else only its
  // thumbnail is built; a thumbnail just made is announced with hint 10 (from `sender`).
  // The decoders' progress callback is quiet meanwhile.
  int Step(const CursorGrid &grid, CDibCanvas *page, std::vector<uint8_t> *marks, UpdateObserver *sender);

  int Index() const { return index_; }
  int X() const { return x_; }
  int Y() const { return y_; }
  // index x 100 / entries (100 for an empty folder).
  int Percent() const;

 private:
  CRXDoc &doc_;
  CCellPainter &painter_;
  ProgressSink progress_;
  int index_ = 0;
  int x_ = 0, y_ = 0;
};

}  // namespace tamro
