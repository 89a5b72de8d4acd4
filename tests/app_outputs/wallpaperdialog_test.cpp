// "壁紙設定": the preview follows the placement and the adjustments as they change, and
// "実行" writes the adjusted picture and hands it to the desktop.

#include "app/dialogs/wallpaperdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include "dialogtest.h"
#include "picture/dib.h"
#include "picture/dibdraw.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

class WallpaperDialogTest : public test::DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    QImage grey(40, 30, QImage::Format_RGB32);
    grey.fill(QColor(100, 100, 100));
    picture.reset(BitmapToDib(grey));
  }
  static QColor Centre(QWidget &w) {
    const QImage shot = w.grab().toImage();
    return shot.pixelColor(shot.width() / 2, shot.height() / 2);
  }
  GlobalHandle picture;
};

TEST_F(WallpaperDialogTest, PreviewShowsTheAdjustmentsLiveWhenChecked) {
  CWallpaperDialog dialog(picture.get());
  dialog.SetScreenSize({400, 300});
  dialog.show();
  test::Shoot(dialog, "wallpaper");
  QWidget &preview = *test::Child<QWidget>(dialog, "preview");
  auto *check = test::Child<QCheckBox>(dialog, "previewBox");
  // Stretched, the picture covers the whole preview.
  test::Child<QComboBox>(dialog, "placement")->setCurrentIndex(kWallpaperStretched);
  EXPECT_EQ(Centre(preview), QColor(100, 100, 100));

  check->setChecked(true);
  test::Child<QSlider>(dialog, "redSlider")->setValue(100);
  EXPECT_EQ(std::tuple(test::Child<QSpinBox>(dialog, "red")->value(), Centre(preview)),
            std::tuple(100, QColor(200, 100, 100)));
  // Unchecked, the picture is shown as it is.
  check->setChecked(false);
  EXPECT_EQ(Centre(preview), QColor(100, 100, 100));
  check->setChecked(true);
  QTest::mouseClick(test::Child<QPushButton>(dialog, "reset"), Qt::LeftButton);
  EXPECT_EQ(std::tuple(test::Child<QSlider>(dialog, "redSlider")->value(), Centre(preview)),
            std::tuple(0, QColor(100, 100, 100)));
}

TEST_F(WallpaperDialogTest, ApplyWritesTheAdjustedPictureForTheScreenAndTheSettings) {
  // A desktop setter that takes anything.
  const fs::path bin = box.path("bin");
  box.write("bin/gsettings", "#!/bin/sh\nexit 0\n");
  fs::permissions(bin / "gsettings", fs::perms::owner_all);
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", bin.c_str(), 1);
  setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);

  CWallpaperDialog dialog(picture.get());
  dialog.SetScreenSize({64, 48});
  test::Child<QComboBox>(dialog, "placement")->setCurrentIndex(kWallpaperStretched);
  test::Child<QSpinBox>(dialog, "blue")->setValue(-50);
  QTest::mouseClick(test::Child<QPushButton>(dialog, "apply"), Qt::LeftButton);
  setenv("PATH", oldPath.c_str(), 1);
  unsetenv("XDG_CURRENT_DESKTOP");

  EXPECT_TRUE(ui.Messages().empty());
  ASSERT_FALSE(ui.calls.empty());
  EXPECT_EQ(ui.calls.back().kind + ":" + ui.calls.back().text, "status:壁紙を設定しました");
  const QImage written(QString::fromStdString(box.path("data/Tamro/RXW_WALL.BMP").string()));
  EXPECT_EQ(std::tuple(written.size(), written.pixelColor(32, 24)),
            std::tuple(QSize(64, 48), QColor(100, 100, 50)));
  const Profile &p = Profile::App();
  EXPECT_EQ(std::tuple(p.GetInt("WallPaper", "Mode", 0), p.GetInt("WallPaper", "Blue", 0),
                       p.GetString("Control Panel\\Desktop", "TileWallpaper", "")),
            std::tuple(kWallpaperStretched, -50, "0"));
}

}  // namespace
}  // namespace tamro
