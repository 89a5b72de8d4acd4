#include "catalogue/thumboption.h"

#include <algorithm>

#include "catalogue/rxdoc.h"
#include "catalogue/updatehint.h"

namespace tamro {

void CThumbOption::Load(const CRXDoc &doc) {
  const DocSettings &s = doc.Settings();
  thumbsSize = s.thumbsSize;
  thumbsLimitSize = s.thumbsLimitSize;
  frame = s.frame;
  name = s.name;
  nameFrame = s.nameFrame;
  unsharp = s.unsharp;
  scaleMode = s.scaleMode;
  scaleStep = s.scaleStep;
  limitCheck = s.limitCheck;
  embeddedPreview = s.embeddedPreview;
  sharedThumbCache = s.sharedThumbCache;
  colBackGround = s.colours.backGround;
  colText = s.colours.text;
  colNormalDraw = s.colours.normalDraw;
  colArcDraw = s.colours.arcDraw;
  colCantDraw = s.colours.cantDraw;
  fontFaceName = s.fontFaceName;
  fontHeight = s.fontHeight;
  fontWidth = s.fontWidth;
  fontWeight = s.fontWeight;
  fontItalic = s.fontItalic;
  nameFormat = s.nameFormat;
}

ThumbChanges CThumbOption::Confirm(CRXDoc &doc, UpdateObserver *sender) {
  const DocSettings old = doc.Settings();
  DocSettings s = old;
  s.thumbsSize = thumbsSize;
  s.thumbsLimitSize = thumbsLimitSize;
  ClampCellSizes(s.thumbsLimitSize, s.thumbsSize);
  s.frame = frame;
  s.name = name;
  s.nameFrame = nameFrame;
  s.unsharp = unsharp;
  s.scaleMode = scaleMode;
  // A step of 0 or less would make enlarging and shrinking do nothing or the reverse.
  s.scaleStep = std::max(1, scaleStep);
  s.limitCheck = limitCheck;
  s.embeddedPreview = embeddedPreview;
  s.sharedThumbCache = sharedThumbCache;
  s.colours.backGround = colBackGround;
  s.colours.text = colText;
  s.colours.normalDraw = colNormalDraw;
  s.colours.arcDraw = colArcDraw;
  s.colours.cantDraw = colCantDraw;
  s.fontFaceName = fontFaceName;
  s.fontHeight = fontHeight;
  s.fontWidth = fontWidth;
  s.fontWeight = fontWeight;
  s.fontItalic = fontItalic;
  s.nameFormat = nameFormat;

  const bool madeDifferently = s.frame != old.frame || s.name != old.name || s.nameFrame != old.nameFrame ||
                               s.unsharp != old.unsharp || s.scaleMode != old.scaleMode ||
                               s.nameFormat != old.nameFormat;
  ThumbChanges changes;
  changes.rebuild = madeDifferently;
  changes.cellSize = !(s.thumbsSize == old.thumbsSize) || !(s.thumbsLimitSize == old.thumbsLimitSize);
  const bool changed =
      madeDifferently || changes.cellSize || s.scaleStep != old.scaleStep || s.limitCheck != old.limitCheck ||
      s.embeddedPreview != old.embeddedPreview ||
      !(s.colours == old.colours) || s.fontFaceName != old.fontFaceName || s.fontHeight != old.fontHeight ||
      s.fontWidth != old.fontWidth || s.fontWeight != old.fontWeight || s.fontItalic != old.fontItalic;
  doc.ApplySettings(s);
  if (madeDifferently) doc.SetUseInfo(false);
  if (changed) doc.UpdateAllViews(sender, kHintRedrawAll);
  changes.any = changed;
  return changes;
}

}  // namespace tamro
