#include "catalogue/thumbcursor.h"

#include "catalogue/cellpainter.h"
#include "catalogue/picturedecoders.h"
#include "catalogue/rxdoc.h"
#include "catalogue/thumbbuilder.h"
#include "catalogue/updatehint.h"
#include "picture/dibcanvas.h"

namespace tamro {

void CThumbCursor::Reset() {
  index_ = 0;
  x_ = 0;
  y_ = 0;
}

int CThumbCursor::Percent() const {
  const int count = doc_.GetEntryCount();
  if (count <= 0) return 100;
  return static_cast<int>(static_cast<int64_t>(index_) * 100 / count);
}

int CThumbCursor::Step(const CursorGrid &grid, CDibCanvas *page, std::vector<uint8_t> *marks,
                       UpdateObserver *sender) {
  const int count = doc_.GetEntryCount();
  if (index_ >= count) return kStepEnd;
  CThumbBuilder *builder = painter_.Builder();
  ProgressPause quiet(builder ? builder->Decoders() : nullptr);
  CPicEntry *e = doc_.GetEntry(index_);
  if (e && e->IsBusy()) return kStepBusy;
  const int w = grid.cellWidth, h = grid.cellHeight;
  if (e && w > 0 && h > 0) {
    e->cellX = x_;
    e->cellY = y_;
    if (page && page->IsValid()) {
      painter_.PaintCell(*e, *page, x_, y_, w, h, kCellBuild);
      if (marks && static_cast<std::size_t>(index_) < marks->size())
        (*marks)[static_cast<std::size_t>(index_)] |= 2;
    } else {
      painter_.BuildCell(*e, w, h);
    }
    if (e->justBuilt) doc_.UpdateAllViews(sender, kHintEntryChanged, UpdateArgument{index_, 0, {}});
  }
  ++index_;
  x_ += w;
  const int columns = grid.columns < 1 ? 1 : grid.columns;
  if (static_cast<int64_t>(x_) + w > static_cast<int64_t>(columns) * w) {
    x_ = 0;
    y_ += h;
  }
  if (progress_) progress_(3, Percent());
  return kStepDone;
}

}  // namespace tamro
