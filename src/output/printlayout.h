#pragma once

// Printing of the selected pictures: one fitted picture per page, or pages drawn by a print
// definition (".dps"): a line-per-command language of lines, boxes, pictures and texts
// placed in millimetres, with expressions, variables and name macros.

#include <QRect>
#include <string>
#include <string_view>

#include "output/printexpression.h"
#include "picture/dibtypes.h"

class QPainter;

namespace tamro {

class CPrintDevice;
class ProgressWindow;
struct PrintMeasures;

// What printing needs from the folder document, by visible index.
class CPrintSource {
 public:
  virtual ~CPrintSource() = default;
  virtual int EntryCount() const = 0;
  virtual bool IsSelected(int index) const = 0;
  virtual int CountSelected() const;
  // Shown in the progress window.
  virtual std::string EntryName(int index) const = 0;
  // The full picture, owned by the caller; null when it cannot be decoded.
  virtual HDIB LoadPicture(int index) = 0;
  // The name macros expanded for the entry; index -1 stands for no entry.
  virtual std::string ExpandText(int index, std::string_view format) const = 0;
  // Draws the entry's file icon into the 32 x 32 `rect`; false when there is none.
  virtual bool DrawFileIcon(QPainter &painter, const QRect &rect, int index) = 0;
  // The document is busy (and its folder monitor ignores changes) while a job runs.
  virtual void SetBusy(bool) {}
};

class CPrintLayout {
 public:
  explicit CPrintLayout(CPrintSource &source) : source_(source) {}

  // Prints every selected entry, a page each, or as many per page as the definition's
  // Next picture commands take. -1 when the device lacks a capability or the job cannot
  // start (both reported to the user), else the number of pages that went out.
  int PrintSelected(CPrintDevice &device, const std::string &definitionFile);

  // Draws one page on the device's open page from the entry at `entryIndex`; Next picture
  // moves `entryIndex` on to the next selected entry (or to the entry count when there is
  // none). A definition file that does not exist gives the fitted picture.
  void PrintPage(CPrintDevice &device, const std::string &definitionFile, int &entryIndex, int pageNumber);
  // The same with the definition's text at hand (a preview, an edited definition).
  void PrintDefinitionPage(CPrintDevice &device, std::string_view definition, int &entryIndex,
                           int pageNumber);

  // The variables of the page being drawn (or of the last page).
  CPrintVariables &Variables() { return vars_; }
  double EvaluateExpression(std::string_view text) const { return vars_.EvaluateExpression(text); }
  std::string SubstituteVariables(std::string_view text) const { return vars_.SubstituteVariables(text); }

  // The program's texts.
  static constexpr const char *kDocName = "Tamro:印刷";
  static constexpr const char *kProgressTitle = "ファイル印刷中...";

 private:
  struct Page;
  void RunCommand(Page &page, std::string_view line);
  void NextPicture(Page &page);
  void DrawLine(Page &page, std::string_view line, bool box);
  void DrawPictureCommand(Page &page, std::string_view line);
  void DrawTextCommand(Page &page, std::string_view line);

  CPrintSource &source_;
  CPrintVariables vars_;
  ProgressWindow *progress_ = nullptr;
};

// A definition file's lines (UTF-8, or code page 932 from older installations); false when
// the file cannot be read.
bool ReadPrintDefinition(const std::string &path, std::string &text);

// The picture scaled to fit the area, keeping its proportions, centred.
QRect FitPictureRect(int pictureWidth, int pictureHeight, int areaWidth, int areaHeight);

}  // namespace tamro
