#include <QApplication>
#include <string>
#include <vector>

#include "app/rxapp.h"
#include "app/uilanguage.h"
#include "platform/profile.h"

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tamro"));
  tamro::InstallJapaneseTranslations(app);
  std::vector<std::string> args(argv + 1, argv + argc);
  tamro::CRXApp tamroApp(tamro::Profile::App());
  if (!tamroApp.InitInstance(args)) return 1;
  const int status = app.exec();
  tamroApp.ExitInstance();
  return status;
}
