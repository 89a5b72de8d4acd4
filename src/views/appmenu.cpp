#include "views/appmenu.h"

#include <QMenu>

#include "fileops/appcall.h"

namespace tamro {

int FillApplicationMenu(QMenu *menu, const std::function<void(int command)> &run, Profile *profile) {
  menu->clear();
  menu->setTitle(QStringLiteral("アプリケーションで開く(&G)"));
  const std::vector<CAppEntry> apps = LoadApplications(profile);
  for (std::size_t n = 0; n < apps.size(); ++n) {
    const int command = kFirstAppCommand + static_cast<int>(n);
    QAction *action = menu->addAction(QString::fromStdString(apps[n].title));
    action->setData(command);
    QObject::connect(action, &QAction::triggered, menu, [run, command] {
      if (run) run(command);
    });
  }
  return static_cast<int>(apps.size());
}

}  // namespace tamro
