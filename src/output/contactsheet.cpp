#include "output/contactsheet.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "catalogue/cellpainter.h"
#include "catalogue/macros.h"
#include "catalogue/picentry.h"
#include "catalogue/rxdoc.h"
#include "picture/dib.h"
#include "picture/dibcanvas.h"
#include "picture/dibjpeg.h"
#include "platform/globalhandle.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/ui.h"

namespace tamro {

namespace {

int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Larger sheets are taken as "too large for memory" rather than tried.
constexpr int64_t kLargestSheetBytes = int64_t{1} << 30;

}  // namespace

SheetGrid ContactSheetGrid(int count, int columns, int rows) {
  if (count < 1) return {};
  columns = columns < 0 ? 0 : columns;
  rows = rows < 0 ? 0 : rows;
  if (columns == 0 && rows == 0) {
    columns = static_cast<int>(std::sqrt(static_cast<double>(count)));
    if (columns < 1) columns = 1;
    rows = (count + columns - 1) / columns;
  } else if (rows == 0) {
    rows = (count + columns - 1) / columns;
  } else if (columns == 0) {
    columns = (count + rows - 1) / rows;
  }
  return {columns, rows};
}

std::string ContactSheetName(const std::string &outputPath, bool numbered, int index) {
  if (!numbered) return outputPath;
  char number[16];
  std::snprintf(number, sizeof number, "%02d", index);
  return PathPart(outputPath, kPathFolder | kPathName) + number + PathPart(outputPath, kPathExt);
}

bool CellSheetPainter::PaintCell(CDibCanvas &sheet, CPicEntry &entry, int x, int y, int width, int height) {
  return cells_.PaintCell(entry, sheet, x, y, width, height, kCellBuild) >= 0;
}

uint32_t ViewBackgroundColour() {
  constexpr uint32_t kButtonFace = 0xF0F0F0;
  return static_cast<uint32_t>(
      Profile::App().GetInt("RXView", "colBackground", static_cast<int>(kButtonFace)));
}

CContactSheetOption::CContactSheetOption()
    : folders_("Catalog", "Folder", 10), fileNames_("Catalog", "FileName", 10) {}

void CContactSheetOption::Load() {
  folders_.Load();
  fileNames_.Load();
  folder = folders_.First();
  fileName = fileNames_.First();
  const Profile &p = Profile::App();
  columns = std::max(0, p.GetInt("Catalog", "Width", 0));
  rows = std::max(0, p.GetInt("Catalog", "Height", 0));
  fileType = p.GetInt("Catalog", "Filetype", 0) == 0 ? kSheetBmp : kSheetJpeg;
  jpegQuality = Clamp(p.GetInt("Catalog", "JpgQuality", 95), 0, 100);
}

bool CContactSheetOption::Accept() {
  if (folder.empty() || fileName.empty()) return false;
  const std::string absolute = ResolvePath(folder, currentFolder);
  if (absolute.empty()) return false;
  folders_.Promote(folder);
  fileNames_.Promote(fileName);
  folders_.Save();
  fileNames_.Save();
  columns = std::max(0, columns);
  rows = std::max(0, rows);
  jpegQuality = Clamp(jpegQuality, 0, 100);
  Profile &p = Profile::App();
  p.WriteInt("Catalog", "Width", columns);
  p.WriteInt("Catalog", "Height", rows);
  p.WriteInt("Catalog", "Filetype", fileType);
  p.WriteInt("Catalog", "JpgQuality", jpegQuality);
  outputName = fileName;
  if (PathPart(outputName, kPathExt).empty()) outputName += fileType == kSheetBmp ? ".bmp" : ".jpg";
  outputFolder = absolute;
  return true;
}

std::string CContactSheetOption::OutputPath() const {
  if (outputFolder.empty() || outputFolder.back() == '/') return outputFolder + outputName;
  return outputFolder + "/" + outputName;
}

namespace {

bool SaveSheet(const CDibCanvas &sheet, const std::string &path, int fileType, int jpegQuality) {
  GlobalHandle picture(sheet.GetDib());
  if (!picture) return false;
  if (fileType == kSheetBmp) return SaveDibFile(path, picture.get()) == 1;
  HDIB bgr = DibTo24Bit(picture.get());
  GlobalHandle converted(bgr != picture.get() ? bgr : nullptr);
  return bgr && SaveDibAsJpeg(bgr, path, 1, jpegQuality, nullptr, 0) == 1;
}

}  // namespace

int WriteContactSheets(CRXDoc &doc, SheetCellPainter &painter, int columns, int rows,
                       const std::string &outputPath, int fileType, int jpegQuality, uint32_t background) {
  const int count = doc.GetEntryCount();
  int selected = 0;
  for (int i = 0; i < count; ++i)
    if (CPicEntry *e = doc.GetEntry(i); e && e->IsSelected()) ++selected;
  if (selected == 0) return 0;

  SheetGrid grid = ContactSheetGrid(selected, columns, rows);
  const int cellWidth = doc.ThumbsSize().width, cellHeight = doc.ThumbsSize().height;
  const bool numbered = static_cast<int64_t>(grid.columns) * grid.rows < selected;
  int64_t width = static_cast<int64_t>(cellWidth) * grid.columns,
          height = static_cast<int64_t>(cellHeight) * grid.rows;
  if (cellWidth <= 0 || cellHeight <= 0 || width > INT32_MAX || height > INT32_MAX ||
      width * height * 3 > kLargestSheetBytes)
    return 0;
  CDibCanvas sheet;
  if (!sheet.Create(static_cast<int>(width), static_cast<int>(height), background)) return 0;

  std::unique_ptr<ProgressWindow> progress = Ui().OpenProgress("カタログファイル保存");
  progress->SetRange(0, selected);

  int saved = 0, sheets = 0, column = 0, row = 0;
  bool aborted = false;
  // A sheet that cannot be written keeps whatever file was there; the walk goes on and the
  // user is told which sheets are missing.
  std::vector<std::string> unwritten;
  auto save = [&] {
    const std::string path = ContactSheetName(outputPath, numbered, sheets++);
    if (SaveSheet(sheet, path, fileType, jpegQuality))
      ++saved;
    else
      unwritten.push_back(path);
  };
  for (int i = 0; i < count; ++i) {
    CPicEntry *entry = doc.GetEntry(i);
    if (!entry || !entry->IsSelected()) continue;
    if (progress->Aborted()) {
      aborted = true;
      break;
    }
    progress->SetText(entry->name);
    // Drawn without selection marks, with the document's drawing settings and the
    // automatic scaling method; the entry gets its own back afterwards.
    const int flags = entry->flags;
    const DrawSwitches switches = entry->switches;
    const CellRect cellRect = entry->cellRect;
    const int x = column * cellWidth, y = row * cellHeight;
    entry->flags = 0;
    entry->switches = doc.Switches();
    entry->switches.scaleMode = 10;
    entry->cellRect = {x, y, x + cellWidth, y + cellHeight};
    bool drawn = painter.PaintCell(sheet, *entry, x, y, cellWidth, cellHeight);
    entry->flags = flags;
    entry->switches = switches;
    entry->cellRect = cellRect;
    progress->Step(1);
    if (!drawn) {
      // The next picture takes the same cell; what the failed one left must not show when
      // none comes.
      sheet.Fill(QRect(x, y, cellWidth, cellHeight), background);
      continue;
    }
    if (++column < grid.columns) continue;
    column = 0;
    if (++row < grid.rows) continue;
    row = 0;
    save();
    sheet.Fill(background);
  }
  if (!aborted && (column > 0 || row > 0)) save();
  progress.reset();
  if (!unwritten.empty()) {
    std::string names;
    for (const std::string &name : unwritten) names += "\n" + name;
    Ui().MessageBox("コンタクトシートを保存できませんでした\n" + names, "Tamro", MB_OK | MB_ICONEXCLAMATION);
  }
  return saved;
}

}  // namespace tamro
