#pragma once

// The contact sheet: the selected pictures drawn as the thumbnail view draws its cells,
// laid out as a grid on one picture and saved as BMP or JPEG; several numbered sheets
// when one grid cannot hold them all.

#include <cstdint>
#include <string>

#include "output/history.h"

namespace tamro {

class CCellPainter;
class CDibCanvas;
class CPicEntry;
class CRXDoc;

struct SheetGrid {
  int columns = 0, rows = 0;
  bool operator==(const SheetGrid &) const = default;
};

// The grid for `count` pictures: both 0 gives the integer square root of the count as
// columns and enough rows; one of them 0 is computed from the other. Negative values
// count as 0; a count below 1 gives 0 x 0.
SheetGrid ContactSheetGrid(int count, int columns, int rows);

// The file of sheet `index` (from 0). With `numbered` the bare name gets the index with at
// least two digits (name00.jpg, name01.jpg); without, the output path itself. The name
// is never used as a format pattern, so "%" in it is just a character.
std::string ContactSheetName(const std::string &outputPath, bool numbered, int index);

enum SheetFileType : int { kSheetBmp = 0, kSheetJpeg = 1 };

// Draws one entry's cell into the sheet, as the thumbnail view draws it when it builds
// thumbnails. Answers false when the drawing failed.
class SheetCellPainter {
 public:
  virtual ~SheetCellPainter() = default;
  virtual bool PaintCell(CDibCanvas &sheet, CPicEntry &entry, int x, int y, int width, int height) = 0;
};

// The thumbnail view's own cell painting in its building mode. The caller gives the cell
// painter the document's caption lines. A cell whose picture could not be decoded counts
// as failed, so the next picture takes its place.
class CellSheetPainter : public SheetCellPainter {
 public:
  explicit CellSheetPainter(CCellPainter &cells) : cells_(cells) {}
  bool PaintCell(CDibCanvas &sheet, CPicEntry &entry, int x, int y, int width, int height) override;

 private:
  CCellPainter &cells_;
};

// The logic of the "コンタクトシートの作成" dialog, section "Catalog".
class CContactSheetOption {
 public:
  CContactSheetOption();
  void Load();
  // "作成": false (the dialog stays open) for an empty folder or name, or a folder that
  // cannot be made absolute. Otherwise moves the texts as typed to the top of their
  // histories, writes histories and numbers, and sets the output folder (absolute) and
  // name (with ".bmp" or ".jpg" added when it has no extension).
  bool Accept();
  // Output folder joined with the output name; valid after Accept.
  std::string OutputPath() const;

  const TextHistory &Folders() const { return folders_; }
  const TextHistory &FileNames() const { return fileNames_; }

  std::string folder, fileName;  // as typed
  std::string currentFolder;     // the folder shown; a relative folder is taken from it
  std::string outputFolder, outputName;
  int columns = 0, rows = 0;  // 0: computed
  int fileType = kSheetBmp;
  int jpegQuality = 95;  // 0 to 100

 private:
  TextHistory folders_, fileNames_;
};

// Background of the thumbnail view (`RXView`/`colBackground`), the sheet's fill.
uint32_t ViewBackgroundColour();

// Writes the sheets of the selected entries of `doc` with cells of the document's cell
// size. A sheet too large for memory ends quietly; an abort keeps the sheets already
// saved and drops the partly filled one. Sheets that could not be written (each leaves the
// file that was there as it was) are named in one message at the end. Answers the number
// of sheets saved.
int WriteContactSheets(CRXDoc &doc, SheetCellPainter &painter, int columns, int rows,
                       const std::string &outputPath, int fileType, int jpegQuality, uint32_t background);

}  // namespace tamro
