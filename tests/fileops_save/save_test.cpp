#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>
#include <memory>
#include <string>

#include "catalogue/docfixture.h"
#include "catalogue/hostdecoders.h"
#include "fileops/samename.h"
#include "fileops/saveformat.h"
#include "picture/dib.h"
#include "picture/dibtest.h"
#include "platform/fileio.h"
#include "platform/globalmem.h"
#include "platform/ui.h"
#include "support/mounts.h"

namespace fs = std::filesystem;

namespace tamro::test {
namespace {

class SaveTest : public DocTest {
 protected:
  ScriptedUi ui;
  ScopedUi scoped{ui};
  CSpiHost host;
  HostDecoders pictures{host};

  // A BMP file of width x height with a gradient, so scaling has something to do.
  std::string Picture(const std::string &relative, int width, int height) {
    GlobalHandle dib = Picture24(
        width, height, [](int x, int y) { return static_cast<uint32_t>((x * 7) & 255) | ((y * 5 & 255) << 8); });
    const std::string path = box.path(relative).string();
    fs::create_directories(fs::path(path).parent_path());
    EXPECT_EQ(SaveDibFile(path, dib.get()), 1);
    return path;
  }
  // Width and height of a BMP file, or 0 x 0.
  static std::pair<int, int> BmpSize(const std::string &path) {
    const QImage image(QString::fromStdString(path));
    return {image.width(), image.height()};
  }
  std::unique_ptr<CRXDoc> OpenAllSelected() {
    decoders.pictureFilter = "*.*";
    auto doc = ListedDoc();
    for (int i = 0; i < doc->GetEntryCount(); ++i) doc->SetEntryFlags(i, CPicEntry::kSelected);
    return doc;
  }
  CFileSaveOption Option(int format) {
    CFileSaveOption o;
    o.Load();
    o.folder = box.path("out").string(), o.format = format;
    return o;
  }
};

TEST_F(SaveTest, OptionReadsChecksAndWritesEveryKey) {
  profile.WriteInt("FileSave", "ScaleMode", 7);
  profile.WriteString("FileSave", "Scale", "abc");
  profile.WriteInt("FileSave", "RotateAngle", 45);
  CFileSaveOption o;
  o.Load();
  EXPECT_EQ(std::tuple(o.scaleMode, o.scale, o.jpegQuality, o.aspect, o.RotationButton()),
            std::tuple(0, 1.0, 80, 1, 4));
  o.SetRotationButton(3);  // "左90° 回転"
  o.scale = 0.5, o.sizeMode = CFileSaveOption::kScaleFactor, o.folder = "";
  EXPECT_FALSE(o.Accept());
  EXPECT_EQ(profile.GetInt("FileSave", "RotateAngle", -1), 270);
  EXPECT_EQ(profile.GetString("FileSave", "Scale", ""), "0.5");
  o.folder = box.path("out").string(), o.scale = 0;
  EXPECT_FALSE(o.Accept());
  o.scale = 0.5, o.sizeMode = CFileSaveOption::kGivenSize, o.width = 10;
  EXPECT_FALSE(o.Accept());  // no height
  o.height = 10;
  EXPECT_TRUE(o.Accept());
  CFileSaveOption again;
  again.Load();
  EXPECT_EQ(std::tuple(again.folder, again.RotationButton(), again.sizeMode),
            std::tuple(box.path("out").string(), 3, CFileSaveOption::kGivenSize));
  for (auto [angle, button] : {std::pair{0, 0}, {360, 0}, {90, 1}, {180, 2}, {270, 3}, {1, 4}}) {
    again.rotateAngle = angle;
    EXPECT_EQ(again.RotationButton(), button) << angle;
  }
}

TEST_F(SaveTest, ExistingTargetAsksAndNumberedWritesTheNextName) {
  Picture("pics/photo.gif", 8, 6);
  box.write("out/photo.jpg", "old picture");
  auto doc = OpenAllSelected();
  ASSERT_EQ(doc->GetEntryCount(), 1);
  ui.sameNameAnswers.push_back({kSameNumbered, "", false});
  EXPECT_EQ(SaveSelectedInFormat(*doc, pictures, Option(CFileSaveOption::kJpeg)), 1);
  ASSERT_EQ(ui.sameNameQuestions.size(), 1u);
  const SameNameQuestion &q = ui.sameNameQuestions[0];
  // "OverWriteOption" starts at 1; neither the date nor the size is offered.
  EXPECT_EQ(std::tuple(q.caption, q.action), std::tuple("重ね書き", kSameOverwrite));
  EXPECT_TRUE(q.disabledActions & (1u << kSameNewerOnly) && q.disabledActions & (1u << kSameLarger));
  const std::string jpeg = ReadFile(box.path("out/photo(2).jpg"));
  ASSERT_GE(jpeg.size(), 2u);
  EXPECT_EQ(std::tuple(ReadFile(box.path("out/photo.jpg")), jpeg.substr(0, 2),
                       fs::status(box.path("out/photo(2).jpg")).permissions() & fs::perms::all,
                       profile.GetInt("Filer", "OverWriteOption", -1)),
            std::tuple("old picture", "\xFF\xD8", static_cast<fs::perms>(NewFileMode()), kSameNumbered));
  for (const auto &e : fs::directory_iterator(box.path("out")))
    EXPECT_NE(e.path().filename().string().rfind(".tamro-", 0), 0u) << e.path();
}

TEST_F(SaveTest, ScaleFactorTruncatesAndGivenSizeKeepsProportions) {
  Picture("pics/wide.bmp", 641, 3);
  auto doc = OpenAllSelected();
  CFileSaveOption o = Option(CFileSaveOption::kBmp);
  o.scale = 0.5;
  ui.sameNameAnswers.assign(2, {kSameOverwrite, "", false});  // for the second and third save
  // Halved; turned right and fitted into 100 x 100, where 3 x 641 becomes 1 x 100 (at least 1
  // wide); turned and halved, keeping the turned shape.
  const std::tuple<int, int, std::pair<int, int>> steps[] = {{CFileSaveOption::kScaleFactor, 0, {320, 1}},
                                                             {CFileSaveOption::kGivenSize, 90, {1, 100}},
                                                             {CFileSaveOption::kScaleFactor, 90, {1, 320}}};
  for (const auto &[mode, angle, size] : steps) {
    o.sizeMode = mode, o.rotateAngle = angle;
    if (mode == CFileSaveOption::kGivenSize) o.width = o.height = 100;
    EXPECT_EQ(SaveSelectedInFormat(*doc, pictures, o), 1) << mode << " " << angle;
    EXPECT_EQ(BmpSize(box.path("out/wide.bmp").string()), size) << mode << " " << angle;
  }
}

TEST_F(SaveTest, SkipForAllAsksOnceAndCancelStops) {
  for (const char *name : {"pics/a.bmp", "pics/b.bmp", "pics/c.bmp"}) Picture(name, 4, 4);
  for (std::string n : {"a", "b"}) box.write("out/" + n + ".jpg", "old " + n);
  auto doc = OpenAllSelected();
  ASSERT_EQ(doc->GetEntryCount(), 3);
  ui.sameNameAnswers.push_back({kSameSkip, "", true});
  EXPECT_EQ(SaveSelectedInFormat(*doc, pictures, Option(CFileSaveOption::kJpeg)), 1);
  EXPECT_EQ(std::tuple(ui.sameNameQuestions.size(), ReadFile(box.path("out/a.jpg")),
                       ReadFile(box.path("out/b.jpg")), fs::exists(box.path("out/c.jpg"))),
            std::tuple(1u, "old a", "old b", true));

  // The next run asks again (starting with the stored skip); a cancel ends it.
  box.write("out/c.jpg", "old c");
  EXPECT_EQ(SaveSelectedInFormat(*doc, pictures, Option(CFileSaveOption::kJpeg)), 0);
  ASSERT_EQ(ui.sameNameQuestions.size(), 2u);
  EXPECT_EQ(std::tuple(ui.sameNameQuestions[1].action, ReadFile(box.path("out/c.jpg"))),
            std::tuple(kSameSkip, "old c"));
}

TEST_F(SaveTest, WhatCannotBeWrittenIsNamedAndKeepsWhatWasThere) {
  for (const char *name : {"pics/a.bmp", "pics/b.bmp"}) Picture(name, 40, 40);
  const fs::path out = box.path("out");
  TmpfsMount mount(out, "256k");
  if (!mount.ok()) GTEST_SKIP() << mount.reason();
  box.write("out/a.bmp", "old a");
  FillUp(out);
  auto doc = OpenAllSelected();
  ui.sameNameAnswers.push_back({kSameOverwrite, "", true});
  EXPECT_EQ(SaveSelectedInFormat(*doc, pictures, Option(CFileSaveOption::kBmp)), 0);
  EXPECT_EQ(ReadFile(out / "a.bmp"), "old a");
  EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 2)
      << "no temporary file left";
  ASSERT_EQ(ui.Messages().size(), 1u);
  // Named in the listing's order.
  EXPECT_EQ(ui.Messages()[0]->text, "次のファイルを保存できませんでした\n\n" +
                                        (out / doc->GetEntry(0)->name).string() + "\n" +
                                        (out / doc->GetEntry(1)->name).string());

  // A folder that cannot be made is said once.
  box.write("file", "x");
  CFileSaveOption o = Option(CFileSaveOption::kBmp);
  o.folder = box.path("file/sub").string();
  EXPECT_EQ(SaveSelectedInFormat(*doc, pictures, o), 0);
  ASSERT_EQ(ui.Messages().size(), 2u);
  EXPECT_EQ(ui.Messages()[1]->text, o.folder + " \nフォルダの作成に失敗しました");
}

TEST_F(SaveTest, UndecodableFileWritesNothing) {
  box.write("pics/broken.bmp", "BM this is not a picture");
  EXPECT_EQ(SaveSelectedInFormat(*OpenAllSelected(), pictures, Option(CFileSaveOption::kBmp)), 0);
  EXPECT_TRUE(fs::is_empty(box.path("out")));
}

}  // namespace
}  // namespace tamro::test
