#pragma once

// The About box: version, memory figures from the system, and the Qt and kernel versions.

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

}  // namespace tamro
