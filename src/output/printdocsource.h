#pragma once

// The folder document as printing sees it: its displayed entries, their selection, their
// full pictures, name macros and file icons.

#include <functional>

#include "output/printlayout.h"

namespace tamro {

class CPicEntry;
class CRXDoc;
class FileIconSource;

class CPrintDocSource : public CPrintSource {
 public:
  // Decodes an entry at full size (the application passes CThumbBuilder::DecodeEntry);
  // null when it cannot.
  using PictureLoader = std::function<HDIB(CPicEntry &entry)>;
  // Puts the folder change monitor into a mode: 2 ignores changes, 0 is the normal mode.
  using MonitorMode = std::function<void(int mode)>;

  // `icons` may be null (a plain glyph then); none of them owned.
  CPrintDocSource(CRXDoc &doc, PictureLoader loader, FileIconSource *icons = nullptr,
                  MonitorMode monitor = {});

  int EntryCount() const override;
  bool IsSelected(int index) const override;
  int CountSelected() const override;
  std::string EntryName(int index) const override;
  HDIB LoadPicture(int index) override;
  std::string ExpandText(int index, std::string_view format) const override;
  bool DrawFileIcon(QPainter &painter, const QRect &rect, int index) override;
  void SetBusy(bool busy) override;

 private:
  CRXDoc &doc_;
  PictureLoader loader_;
  FileIconSource *icons_;
  MonitorMode monitor_;
};

}  // namespace tamro
