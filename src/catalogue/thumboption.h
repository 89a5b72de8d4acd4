#pragma once

// The logic of the "サムネイル設定" dialog: what it shows, and what confirming it changes.

#include <cstdint>
#include <string>

#include "catalogue/docsettings.h"

namespace tamro {

class CRXDoc;
class UpdateObserver;

// What a confirmation changed.
struct ThumbChanges {
  bool any = false;       // hint 0 was sent
  bool cellSize = false;  // ThumbsSize or ThumbsLimitSize
  bool rebuild = false;   // Frame, Name, NameFrame, Unsharp, ScaleMode or NameFormat: the folder cache is off
  explicit operator bool() const { return any; }
};

class CThumbOption {
 public:
  // The scale modes the dialog offers, in its order.
  static constexpr int kScaleModes[] = {0, 1, 2, 3, 10};

  CThumbOption() = default;
  // Takes the document's current values.
  explicit CThumbOption(const CRXDoc &doc) { Load(doc); }
  void Load(const CRXDoc &doc);

  // Confirms: the values go into the document (which re-splits the name format, copies the
  // drawing switches into every displayed entry and writes the settings). A change of
  // Frame, Name, NameFrame, Unsharp, ScaleMode or NameFormat stops the document using the
  // folder cache; any change sends hint 0. Answers what changed. Thumbnails are rebuilt
  // later by their validity test where size, scale mode or Unsharp differ.
  ThumbChanges Confirm(CRXDoc &doc, UpdateObserver *sender);

  CellSize thumbsSize, thumbsLimitSize;
  int frame = 0, name = 1, nameFrame = 1, unsharp = 1, scaleMode = 10, scaleStep = 25, limitCheck = 1;
  // Off: thumbnails made from embedded previews are made again from the pictures.
  int embeddedPreview = 1;
  // Off: thumbnails are neither taken from nor put into the desktop's shared cache.
  int sharedThumbCache = 1;
  uint32_t colBackGround = 0, colText = 0, colNormalDraw = 0, colArcDraw = 0, colCantDraw = 0;
  std::string fontFaceName;
  int fontHeight = -12, fontWidth = 0, fontWeight = 0, fontItalic = 0;
  std::string nameFormat;
};

}  // namespace tamro
