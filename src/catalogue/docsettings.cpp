#include "catalogue/docsettings.h"

#include <cstdio>

#include "platform/listfield.h"
#include "platform/profile.h"

namespace tamro {

namespace {

struct IntKey {
  const char *section, *key;
  int DocSettings::*field;
};

// Integer keys, read and written alike. The defaults live in the member initialisers.
const IntKey kIntKeys[] = {
    {"RXDoc", "DELQA", &DocSettings::delQA},
    {"RXDoc", "TrashCan", &DocSettings::trashCan},
    {"RXDoc", "Synchronous", &DocSettings::synchronous},
    {"RXDoc", "SyncJump", &DocSettings::syncJump},
    {"RXDoc", "SyncFind", &DocSettings::syncFind},
    {"RXDoc", "Archive", &DocSettings::archive},
    {"RXDoc", "DownScan", &DocSettings::downScan},
    {"RXDoc", "Frame", &DocSettings::frame},
    {"RXDoc", "NameFrame", &DocSettings::nameFrame},
    {"RXDoc", "Name", &DocSettings::name},
    {"RXDoc", "ScaleMode", &DocSettings::scaleMode},
    {"RXDoc", "Unsharp", &DocSettings::unsharp},
    {"RXDoc", "ScaleStep", &DocSettings::scaleStep},
    {"RXDoc", "LimitCheck", &DocSettings::limitCheck},
    {"RXDoc", "SleepDraw", &DocSettings::sleepDraw},
    {"RXDoc", "RestoreFolder", &DocSettings::restoreFolder},
    {"RXDoc", "ScanSPI", &DocSettings::scanSpi},
    {"RXDoc", "IDViewer", &DocSettings::idViewer},
    {"RXDoc", "CP", &DocSettings::cp},
    {"RXDoc", "ThumbsCreate", &DocSettings::thumbsCreate},
    {"RXDoc", "CacheFolder", &DocSettings::cacheFolder},
    {"RXDoc", "AutoCacheFolder", &DocSettings::autoCacheFolder},
    {"RXDoc", "DaDMOVE", &DocSettings::dadMove},
    {"RXDoc", "Threads", &DocSettings::threads},
    {"RXDoc", "NaturalSort", &DocSettings::naturalSort},
    {"RXDoc", "ExifRotate", &DocSettings::exifRotate},
    {"RXDoc", "ColorManage", &DocSettings::colorManage},
    {"RXDoc", "EmbeddedPreview", &DocSettings::embeddedPreview},
    {"RXDoc", "SharedThumbCache", &DocSettings::sharedThumbCache},
    {"DrvView", "DisplayName", &DocSettings::displayName},
    {"DrvView", "ShellTree", &DocSettings::shellTree},
    {"RXView", "MemDraw", &DocSettings::memDraw},
    {"RXView", "OverMem", &DocSettings::overMem},
    {"RXView", "WheelScrollCount", &DocSettings::wheelScrollCount},
    {"MainFrame", "FolderMonitor", &DocSettings::folderMonitor},
    {"MainFrame", "FlatBar", &DocSettings::flatBar},
    {"DriveView", "Monitoring", &DocSettings::monitoring},
    {"DriveView", "ArcTree", &DocSettings::arcTree},
    {"OnePic", "TopMost", &DocSettings::topMost},
    {"OnePic", "MultiPicView", &DocSettings::multiPicView},
    {"OnePic", "Stay", &DocSettings::stay},
    {"SPI", "#InnerBMP", &DocSettings::innerBmp},
    {"SPI", "#InnerAVI", &DocSettings::innerAvi},
    {"SPI", "#InnerMPEG", &DocSettings::innerMpeg},
    {"SPI", "#InnerTEXT", &DocSettings::innerText},
    {"SPI", "#InnerTIFF", &DocSettings::innerTiff},
    {"SPI", "#InnerJPEG", &DocSettings::innerJpeg},
    {"SPI", "#InnerJPEG_FAST", &DocSettings::innerJpegFast},
    {"SPI", "#InnerGIF", &DocSettings::innerGif},
    {"SPI", "#PluginEXT", &DocSettings::pluginExt},
    {"SPI", "DynamicSPI", &DocSettings::dynamicSpi},
    {"QEVxFile", "fontWidth", &DocSettings::fontWidth},
    {"QEVxFile", "fontHeight", &DocSettings::fontHeight},
    {"QEVxFile", "fontItalic", &DocSettings::fontItalic},
    {"QEVxFile", "fontWeight", &DocSettings::fontWeight},
};

struct TextKey {
  const char *section, *key;
  std::string DocSettings::*field;
};

const TextKey kTextKeys[] = {
    {"RXDoc", "PathMask", &DocSettings::pathMask},
    {"RXDoc", "HomeFolder", &DocSettings::homeFolder},
    {"SPI", "SPISet", &DocSettings::spiSet},
    {"SPI", "SPIDIR", &DocSettings::spiDir},
    {"QEVxFile", "fontFaceName", &DocSettings::fontFaceName},
    {"QEVxFile", "NameFormat", &DocSettings::nameFormat},
};

struct ColourKey {
  const char *key;
  uint32_t EntryColours::*field;
};

const ColourKey kColourKeys[] = {
    {"colCheck", &EntryColours::check},
    {"colBackGround", &EntryColours::backGround},
    {"colText", &EntryColours::text},
    {"colSelectCheck", &EntryColours::selectCheck},
    {"colSelectBackGround", &EntryColours::selectBackGround},
    {"colSelectText", &EntryColours::selectText},
    {"colNormalDraw", &EntryColours::normalDraw},
    {"colArcDraw", &EntryColours::arcDraw},
    {"colCantDraw", &EntryColours::cantDraw},
};

// Every write replaces the settings file (flushed to disk), so a value the store already
// answers, stored or as the default every reader passes, is not written again.
bool WriteIntIfChanged(Profile &p, const char *section, const char *key, int value, int def) {
  if (p.Has(section, key) ? p.GetString(section, key, "") == std::to_string(value) : value == def)
    return true;
  return p.WriteInt(section, key, value);
}

bool WriteStringIfChanged(Profile &p, const char *section, const char *key, const std::string &value,
                          const std::string &def) {
  if (p.Has(section, key) ? p.GetString(section, key, "") == value : value == def) return true;
  return p.WriteString(section, key, value);
}

}  // namespace

CellSize ParseCellSize(const std::string &text) {
  CellSize s;
  GetListInt(text, 0, s.width);
  GetListInt(text, 1, s.height);
  return s;
}

std::string FormatCellSize(const CellSize &s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d,%d", s.width, s.height);
  return buf;
}

void ClampCellSizes(CellSize &limit, CellSize &size) {
  if (limit.width < 10) limit.width = 10;
  if (limit.height < 10) limit.height = 10;
  if (size.width < limit.width) size.width = limit.width;
  if (size.height < limit.height) size.height = limit.height;
}

std::vector<std::string> SplitNameFormat(const std::string &format) {
  std::vector<std::string> items;
  for (int n = 0;; ++n) {
    std::string field;
    if (GetListField(format, n, field) <= 0) break;
    items.push_back(std::move(field));
  }
  return items;
}

void DocSettings::Load(const Profile &p) {
  *this = DocSettings{};
  thumbsLimitSize = ParseCellSize(p.GetString("RXDoc", "ThumbsLimitSize", "40,40"));
  thumbsSize = ParseCellSize(p.GetString("RXDoc", "ThumbsSize", "110,110"));
  ClampCellSizes(thumbsLimitSize, thumbsSize);
  for (const auto &k : kIntKeys) this->*k.field = p.GetInt(k.section, k.key, this->*k.field);
  for (const auto &k : kTextKeys) this->*k.field = p.GetString(k.section, k.key, this->*k.field);
  for (const auto &k : kColourKeys)
    colours.*k.field = static_cast<uint32_t>(p.GetInt("QEVxFile", k.key, static_cast<int>(colours.*k.field)));
  txtSize = ParseCellSize(p.GetString("SPI", "TXTSize", "40,40"));
  filterFileName = p.GetInt("Filter", "FileName", 0);
  filterFileDate = p.GetInt("Filter", "FileDate", 0);
  filterFileSize = p.GetInt("Filter", "FileSize", 0);
}

bool DocSettings::Save(Profile &p) const {
  const DocSettings defaults;
  bool ok = WriteStringIfChanged(p, "RXDoc", "ThumbsLimitSize", FormatCellSize(thumbsLimitSize), "40,40");
  ok = WriteStringIfChanged(p, "RXDoc", "ThumbsSize", FormatCellSize(thumbsSize), "110,110") && ok;
  for (const auto &k : kIntKeys)
    ok = WriteIntIfChanged(p, k.section, k.key, this->*k.field, defaults.*k.field) && ok;
  for (const auto &k : kTextKeys)
    ok = WriteStringIfChanged(p, k.section, k.key, this->*k.field, defaults.*k.field) && ok;
  for (const auto &k : kColourKeys)
    ok = WriteIntIfChanged(p, "QEVxFile", k.key, static_cast<int>(colours.*k.field),
                           static_cast<int>(defaults.colours.*k.field)) &&
         ok;
  return ok;
}

}  // namespace tamro
