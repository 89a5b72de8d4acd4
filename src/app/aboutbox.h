#pragma once

// The About box: version, memory figures from the system, the Qt and kernel versions and the
// home page; and the help menu's commands that open the user guide and the home page.

#include <QDialog>
#include <QString>
#include <cstdint>

namespace tamro {

struct MemoryFigures {
  uint64_t totalPhysical = 0, freePhysical = 0, totalVirtual = 0, freeVirtual = 0;
};
// From /proc/meminfo (virtual = RAM + swap); zeros where unknown.
MemoryFigures ReadMemoryFigures();
// "1,234,567 KB"
QString FormatKilobytes(uint64_t bytes);

class CAboutBox : public QDialog {
 public:
  explicit CAboutBox(QWidget *parent = nullptr);
};

// The project's home page, the one address the About box, the help menu and the package use.
QString HomePageAddress();
// Open the user guide's contents page, or the home page, in the desktop's browser; a guide
// that is not there or a browser that does not start is said in a message box over `parent`.
void OpenHelpContents(QWidget *parent);
void OpenHomePage(QWidget *parent);

}  // namespace tamro
