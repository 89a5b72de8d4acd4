#include "views/iconsource.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QPainter>

#include "catalogue/picentry.h"

namespace tamro {

QIcon QtIconSource::IconFor(const CPicEntry &entry) {
  const QString name = QString::fromStdString(entry.name);
  const QString suffix = QFileInfo(name).suffix().toLower();
  auto it = bySuffix_.find(suffix);
  if (it != bySuffix_.end()) return *it;
  static const QMimeDatabase mimes;
  const QMimeType type = mimes.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
  QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
  bySuffix_.insert(suffix, icon);
  return icon;
}

bool QtIconSource::DrawIcon(QPainter &painter, const QRect &rect, const CPicEntry &entry) {
  const QIcon icon = IconFor(entry);
  if (icon.isNull()) return fallback_.DrawIcon(painter, rect, entry);
  icon.paint(&painter, rect);
  return true;
}

}  // namespace tamro
