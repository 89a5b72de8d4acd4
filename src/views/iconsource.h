#pragma once

// File icons for cells that show no picture, from the desktop's icon theme.

#include <QHash>
#include <QIcon>

#include "catalogue/cellpainter.h"

namespace tamro {

class QtIconSource : public FileIconSource {
 public:
  bool DrawIcon(QPainter &painter, const QRect &rect, const CPicEntry &entry) override;

 private:
  QIcon IconFor(const CPicEntry &entry);
  QHash<QString, QIcon> bySuffix_;  // looking icons up per file is slow in large folders
  GlyphIconSource fallback_;
};

}  // namespace tamro
