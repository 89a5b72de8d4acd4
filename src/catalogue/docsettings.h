#pragma once

#include <string>
#include <vector>

#include "catalogue/entrylook.h"

namespace tamro {

class Profile;

struct CellSize {
  int width = 0, height = 0;
  bool operator==(const CellSize &) const = default;
};

// Everything the folder document reads from the settings store when it is created and writes
// back when its contents go and when it is destroyed. Field names follow the keys.
struct DocSettings {
  // RXDoc
  CellSize thumbsLimitSize{40, 40};
  CellSize thumbsSize{110, 110};
  int delQA = 0, trashCan = 1, synchronous = 0, syncJump = 0, syncFind = 0;
  int archive = 0, downScan = 0;
  int frame = 0, nameFrame = 1, name = 1, scaleMode = 10, unsharp = 1, scaleStep = 25, limitCheck = 1;
  int sleepDraw = 100, restoreFolder = 1;
  std::string pathMask = "*.*";
  int scanSpi = 0, idViewer = 32782, cp = 0, thumbsCreate = 1;
  std::string homeFolder;
  int cacheFolder = 0, autoCacheFolder = 0, dadMove = 0;
  // Tamro's own: worker count (0 = all cores), numbers in names in natural order, turning
  // pictures by their Exif orientation, converting embedded colour profiles to sRGB.
  int threads = 0, naturalSort = 0, exifRotate = 1, colorManage = 1;
  // Thumbnails made from the preview a camera embeds in the file, when it will do.
  int embeddedPreview = 1;
  // Thumbnails the folder's store does not keep go to and come from the desktop's shared cache.
  int sharedThumbCache = 1;
  // DrvView, RXView, MainFrame, DriveView, OnePic
  int displayName = 0, shellTree = 1;
  int memDraw = 0, overMem = 70, wheelScrollCount = 0;
  int folderMonitor = 0, flatBar = 1;
  int monitoring = 0, arcTree = 1;
  int topMost = 1, multiPicView = 0, stay = 0;
  // SPI: the document's copies of the decoder switches
  CellSize txtSize{40, 40};  // read only
  int innerBmp = 1, innerAvi = 0, innerMpeg = 0, innerText = 0, innerTiff = 1, innerJpeg = 1,
      innerJpegFast = 0;
  int innerGif = 0, pluginExt = 0, dynamicSpi = 0;
  std::string spiSet, spiDir;
  // QEVxFile
  EntryColours colours;
  std::string fontFaceName = "ＭＳ ゴシック";
  int fontWidth = 0, fontHeight = -12, fontItalic = 0, fontWeight = 0;
  std::string nameFormat = "\"$(PicName)\"";
  // Filter switches (read only here; the filter dialog writes them)
  int filterFileName = 0, filterFileDate = 0, filterFileSize = 0;

  // Reads every key with its default; sizes are raised to their lower limits.
  void Load(const Profile &p);
  // Writes every key back in the form it was read in (sizes as "%d,%d"), except TXTSize and
  // the filter switches. A key whose value the store already answers (stored, or as the
  // default when absent) is not rewritten.
  bool Save(Profile &p) const;
};

// Raises the limit to at least 10 each way and the cell size to at least the limit.
void ClampCellSizes(CellSize &limit, CellSize &size);

// The caption items of a name format: fields 0, 1, ... up to the first empty or missing one.
std::vector<std::string> SplitNameFormat(const std::string &format);

// Reads "%d,%d" (missing fields read as 0).
CellSize ParseCellSize(const std::string &text);
std::string FormatCellSize(const CellSize &s);

}  // namespace tamro
