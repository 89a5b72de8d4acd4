#pragma once

// Running tamro-batch as a process, and the folders of pictures it works on.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/thumbstore.h"
#include "support/sandbox.h"

namespace fs = std::filesystem;

namespace tamro::test {


inline void EnsureGuiApp() {
  static int argc = 1;
  static char name[] = "batch_tests", *argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (!QCoreApplication::instance()) new QGuiApplication(argc, argv);
}

struct Result {
  int exit = -1;
  std::string out, err;
  bool finished = false;
};

using Environment = std::vector<std::pair<std::string, std::string>>;

inline Result RunBatch(const std::vector<std::string> &args, const Environment &env = {}) {
  QProcess p;
  QStringList list;
  for (const std::string &a : args) list << QString::fromStdString(a);
  if (!env.empty()) {
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const auto &[name, value] : env) e.insert(QString::fromStdString(name), QString::fromStdString(value));
    p.setProcessEnvironment(e);
  }
  p.start(QStringLiteral(TAMRO_BIN_DIR "/tamro-batch"), list);
  p.closeWriteChannel();  // standard input at its end, as from a script
  Result r;
  // A question nobody can answer must not leave the tool waiting.
  r.finished = p.waitForStarted(30000) && p.waitForFinished(120000);
  if (!r.finished) {
    p.kill();
    p.waitForFinished(5000);
  }
  r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.out = p.readAllStandardOutput().toStdString();
  r.err = p.readAllStandardError().toStdString();
  return r;
}

// A German locale, whose numbers have a decimal comma, made in `folder` (none where the
// system cannot make one).
inline Environment CommaDecimalLocale(const fs::path &folder) {
  fs::create_directories(folder);
  QProcess p;
  p.start(QStringLiteral("localedef"), {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                                        QStringLiteral("UTF-8"),
                                        QString::fromStdString((folder / "de_DE.UTF-8").string())});
  if (!p.waitForFinished(60000) || p.exitCode() != 0) return {};
  return {{"LOCPATH", folder.string()}, {"LC_ALL", "de_DE.UTF-8"}};
}

// A picture with some detail, so encoders and scalers have real work.
inline void MakePicture(const fs::path &path, int w, int h, const char *format = nullptr) {
  fs::create_directories(path.parent_path());
  QImage image(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.setPixel(x, y, qRgb(x * 255 / w, y * 255 / h, (x ^ y) & 0xFF));
  ASSERT_TRUE(image.save(QString::fromStdString(path.string()), format)) << path;
}

inline QSize PictureSize(const fs::path &path) {
  QImageReader reader(QString::fromStdString(path.string()));
  return reader.size();
}

inline std::vector<ThumbRecord> StoreRecords(const fs::path &folder) {
  const std::string bytes = ReadFile(folder / CThumbStore::kFileName);
  auto file = std::make_shared<ThumbBytes>(bytes.begin(), bytes.end());
  return ParseThumbFile(file).records;
}

inline std::set<std::string> Names(const fs::path &folder) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto &f : fs::directory_iterator(folder, ec)) names.insert(f.path().filename().string());
  return names;
}

inline std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureGuiApp(); }
  // Five pictures in three formats, named with blanks, quotes, "%" and Japanese.
  fs::path MakeFolder(const std::string &name = "pics") {
    const fs::path dir = box.path(name);
    MakePicture(dir / "a one.jpg", 400, 300);
    MakePicture(dir / "b'q%.png", 300, 400);
    MakePicture(dir / "c.bmp", 64, 48);
    MakePicture(dir / "写真.jpg", 640, 480);
    MakePicture(dir / "e.jpg", 200, 100);
    return dir;
  }
  void WriteSettings(const std::string &text) { box.write("config/QEV/Tamro.ini", text); }

  Sandbox box;
};

}  // namespace tamro::test
