#pragma once

// The picture windows as the grid and the details list see them: a list of top-level windows
// showing entries of the document. The views open entries through it and let the window that
// was active last follow the selection; the picture window code implements it.

namespace tamro {

class PictureWindowList {
 public:
  virtual ~PictureWindowList() = default;

  // Shows the displayed entry at `visibleIndex`: in the first window of the list, or in a new
  // one when `newWindow` is set (Ctrl held, MultiPicView on) or none is open. False when
  // nothing could be shown.
  virtual bool Show(int visibleIndex, bool newWindow) = 0;
  // With Synchronous on: the window that was active last (or the first) shows the entry.
  virtual void Synchronise(int visibleIndex) = 0;
  // Closes every picture window (a new listing without Stay, the view going away).
  virtual void CloseAll() = 0;
  // Places the windows side by side over the screen.
  virtual void Tile() {}
  // A new listing while the windows stay open (Stay): they no longer step through it.
  virtual void Unbind() {}
  virtual int Count() const = 0;
};

}  // namespace tamro
