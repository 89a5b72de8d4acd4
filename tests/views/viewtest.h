#pragma once

#include <QApplication>
#include <QImage>
#include <filesystem>
#include <string>

namespace tamro::test {

inline void EnsureWidgetApp() {
  if (!QApplication::instance()) {
    static int argc = 1;
    static char name[] = "views_tests";
    static char *argv[] = {name, nullptr};
    // Never destroyed: tearing it down among the exit handlers crashes in Qt.
    new QApplication(argc, argv);
  }
}

// A plain picture of one colour, written as BMP so the built-in decoder reads it.
inline std::filesystem::path WriteColourPicture(const std::filesystem::path &path, int w, int h, QColor colour) {
  std::filesystem::create_directories(path.parent_path());
  QImage image(w, h, QImage::Format_RGB888);
  image.fill(colour);
  image.save(QString::fromStdString(path.string()), "BMP");
  return path;
}

inline QColor TestColour(int i) { return QColor::fromHsv((i * 47) % 360, 200, 220); }

}  // namespace tamro::test
