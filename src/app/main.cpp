#include <QApplication>
#include <QIcon>
#include <clocale>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "app/rxapp.h"
#include "app/uilanguage.h"
#include "platform/profile.h"

namespace {

constexpr const char *kUsage =
    "使い方: tamro [-nologo] [フォルダ | ファイル... | file:URL...]\n"
    "\n"
    "フォルダの画像をサムネイルで一覧表示します。\n"
    "画像ファイルを指定したときはそのフォルダを開き、その画像を選んで画像ウィンドウに表示します。\n"
    "画像ファイルを複数指定したときはすべて選び、8枚までをそれぞれの画像ウィンドウに表示します。\n"
    "書庫ファイルを指定したときはその中の画像を一覧表示します。\n"
    "指定がないときは前回表示したフォルダを開きます。\n"
    "\n"
    "  -nologo       起動画面を表示しない\n"
    "  -h, --help    この説明を表示する\n"
    "  --version     版数を表示する\n";

}  // namespace

int main(int argc, char **argv) {
  // Answered before Qt starts, so that they work without a display.
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--version") {
      std::printf("Tamro %s\n", TAMRO_VERSION);
      return 0;
    }
  }
  QApplication app(argc, argv);
  // Qt takes the user's locale for the C library too; numbers in settings, layouts and on
  // the command line are written with a decimal point whatever the language.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName(QStringLiteral("Tamro"));
  QApplication::setApplicationVersion(QStringLiteral(TAMRO_VERSION));
  // The desktop entry's name, by which Wayland compositors find the icon and the entry.
  QGuiApplication::setDesktopFileName(QStringLiteral("tamro"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tamro")));
  tamro::InstallJapaneseTranslations(app);
  std::vector<std::string> args(argv + 1, argv + argc);
  tamro::CRXApp tamroApp(tamro::Profile::App());
  if (!tamroApp.InitInstance(args)) return 1;
  const int status = app.exec();
  tamroApp.ExitInstance();
  return status;
}
