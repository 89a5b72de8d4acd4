#pragma once

// Running tamro-batch as a process, and the folders of pictures it works on.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "catalogue/thumbstore.h"
#include "support/guiapp.h"
#include "support/sandbox.h"

namespace fs = std::filesystem;

namespace tamro::test {

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
  QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
  for (const auto &[name, value] : env) e.insert(QString::fromStdString(name), QString::fromStdString(value));
  p.setProcessEnvironment(e);
  p.start(QStringLiteral(TAMRO_BIN_DIR "/tamro-batch"), list);
  p.closeWriteChannel();  // standard input at its end, as from a script
  // A question nobody can answer must not leave the tool waiting.
  const bool finished = p.waitForStarted(30000) && p.waitForFinished(120000);
  if (!finished) {
    p.kill();
    p.waitForFinished(5000);
  }
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().toStdString(),
          p.readAllStandardError().toStdString(), finished};
}

// A German locale, whose numbers have a decimal comma, made in `folder` (none where the
// system cannot make one).
inline Environment CommaDecimalLocale(const fs::path &folder) {
  fs::create_directories(folder);
  if (QProcess::execute(
          QStringLiteral("localedef"),
          {"-i", "de_DE", "-f", "UTF-8", QString::fromStdString((folder / "de_DE.UTF-8").string())}) != 0)
    return {};
  return {{"LOCPATH", folder.string()}, {"LC_ALL", "de_DE.UTF-8"}};
}

// A picture with some detail, so encoders and scalers have real work.
inline void MakePicture(const fs::path &path, int w, int h) {
  fs::create_directories(path.parent_path());
  QImage image(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.setPixel(x, y, qRgb(x * 255 / w, y * 255 / h, (x ^ y) & 0xFF));
  ASSERT_TRUE(image.save(QString::fromStdString(path.string()))) << path;
}

// Runs the tool and expects it to end by itself with `exit`; a question nobody can answer
// must not leave it waiting.
inline Result Expect(int exit, const std::vector<std::string> &args, const Environment &env = {}) {
  Result r = RunBatch(args, env);
  EXPECT_TRUE(r.finished);
  EXPECT_EQ(r.exit, exit) << r.err;
  return r;
}
inline Result Ok(const std::vector<std::string> &args, const Environment &env = {}) {
  return Expect(0, args, env);
}

inline bool Has(const std::string &text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

inline QSize PictureSize(const fs::path &path) {
  return QImageReader(QString::fromStdString(path.string())).size();
}

inline struct stat Stat(const fs::path &p) {
  struct stat st {};
  ::stat(p.c_str(), &st);
  return st;
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
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline std::set<std::string> LineSet(const fs::path &file) {
  std::vector<std::string> lines = Lines(ReadFile(file));
  return {lines.begin(), lines.end()};
}

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureGuiApp(); }
  // Five pictures in three formats, named with blanks, quotes, "%" and Japanese.
  fs::path MakeFolder() {
    for (const auto &[name, w, h] : {std::tuple{"a one.jpg", 400, 300},
                                     {"b'q%.png", 300, 400},
                                     {"c.bmp", 64, 48},
                                     {"写真.jpg", 640, 480},
                                     {"e.jpg", 200, 100}})
      MakePicture(box.path("pics") / name, w, h);
    return box.path("pics");
  }
  void WriteSettings(const std::string &text) { box.write("config/QEV/Tamro.ini", text); }
  std::string P(const std::string &relative) const { return box.path(relative).string(); }

  Sandbox box;
};

}  // namespace tamro::test
