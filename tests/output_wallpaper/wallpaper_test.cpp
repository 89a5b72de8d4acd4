#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "output/wallpaper.h"
#include "picture/dib.h"
#include "platform/globalhandle.h"
#include "platform/profile.h"
#include "platform/ui.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

// Puts stand-in setters on an otherwise empty PATH and names the desktop; each call of a
// stand-in is logged as one line "program arg arg ...".
class FakeDesktop {
 public:
  FakeDesktop(const test::Sandbox &box, const char *desktop) : box_(box) {
    if (const char *p = std::getenv("PATH")) oldPath_ = p;
    if (const char *d = std::getenv("XDG_CURRENT_DESKTOP")) hadDesktop_ = true, oldDesktop_ = d;
    // Every stand-in desktop starts with no setters and no calls.
    std::filesystem::remove_all(box.path("bin"));
    std::filesystem::remove(box.path("calls.log"));
    std::filesystem::create_directories(box.path("bin"));
    setenv("PATH", box.path("bin").c_str(), 1);
    if (desktop)
      setenv("XDG_CURRENT_DESKTOP", desktop, 1);
    else
      unsetenv("XDG_CURRENT_DESKTOP");
  }
  ~FakeDesktop() {
    setenv("PATH", oldPath_.c_str(), 1);
    if (hadDesktop_)
      setenv("XDG_CURRENT_DESKTOP", oldDesktop_.c_str(), 1);
    else
      unsetenv("XDG_CURRENT_DESKTOP");
  }
  // A setter that logs its arguments, prints `output` and exits with `status`.
  void Add(const std::string &program, int status = 0, const std::string &output = "") {
    std::string log = box_.path("calls.log").string();
    std::string script = "#!/bin/sh\nprintf '%s' '" + program + "' >> '" + log +
                         "'\nfor a in \"$@\"; do printf ' %s' \"$a\" >> '" + log + "'; done\nprintf '\\n' >> '" +
                         log + "'\n";
    if (!output.empty()) script += "case \"$*\" in *-l*) printf '" + output + "';; esac\n";
    script += "exit " + std::to_string(status) + "\n";
    auto path = box_.write("bin/" + program, script);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  }
  std::vector<std::string> Calls() const {
    std::vector<std::string> lines;
    std::string text = test::ReadFile(box_.path("calls.log"));
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
      lines.push_back(text.substr(start, end - start));
    return lines;
  }

 private:
  const test::Sandbox &box_;
  std::string oldPath_, oldDesktop_;
  bool hadDesktop_ = false;
};

// A 24-bit picture whose pixel (x, y) is (blue x, green y, red 100).
HDIB Gradient(int width, int height) {
  HDIB h = CreateDib(width, height, 24);
  DibLock lock(h);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      SetDibPixel(lock.header(), x, y, 100u | (static_cast<uint32_t>(y & 0xFF) << 8) | (static_cast<uint32_t>(x & 0xFF) << 16));
  return h;
}

GlobalHandle ReadBmp(const std::string &path) {
  std::FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) return GlobalHandle();
  GlobalHandle h(ReadDibFromStream(f));
  std::fclose(f);
  return h;
}

QSize DibSize(HDIB h) { return QSize(DibWidth(h), DibHeight(h)); }

class WallpaperTest : public ::testing::Test {
 protected:
  std::string Expected(const char *name = "RXW_WALL.BMP") const { return box.path("data/Tamro").string() + "/" + name; }
  std::string Uri() const { return "file://" + Expected(); }
  Profile &Store() { return Profile::App(); }

  test::Sandbox box;
  ScriptedUi ui;
  ScopedUi scope{ui};
};

TEST_F(WallpaperTest, OptionsLoadClampedAndSaveSixKeysButNeverTheFileName) {
  CWallpaperOption o;
  o.Load();
  EXPECT_EQ(o.mode, 0);
  EXPECT_EQ(o.preview, 0);
  EXPECT_EQ(o.bright, 0);
  EXPECT_EQ(o.fileName, "RXW_WALL.BMP");
  EXPECT_FALSE(std::filesystem::exists(box.configFile()));  // reading writes nothing

  Store().WriteInt("WallPaper", "Mode", 7);
  Store().WriteInt("WallPaper", "Bright", 500);
  Store().WriteInt("WallPaper", "Red", -999);
  Store().WriteInt("WallPaper", "Green", 12);
  Store().WriteString("WallPaper", "FileName", "MINE.BMP");
  o.Load();
  EXPECT_EQ(o.mode, 0);
  EXPECT_EQ(o.bright, 100);
  EXPECT_EQ(o.red, -255);
  EXPECT_EQ(o.green, 12);
  EXPECT_EQ(o.TargetPath(), Expected("MINE.BMP"));

  Store().DeleteSection("WallPaper");
  o.mode = 3, o.preview = 1, o.bright = -40, o.red = 1, o.green = 2, o.blue = 3;
  ASSERT_TRUE(o.Save());
  EXPECT_EQ(Store().Keys("WallPaper"), (std::vector<std::string>{"Preview", "Mode", "Bright", "Red", "Green", "Blue"}));
  CWallpaperOption back;
  back.Load();
  EXPECT_EQ(back.mode, 3);
  EXPECT_EQ(back.preview, 1);
  EXPECT_EQ(back.bright, -40);
  EXPECT_EQ(back.blue, 3);
}

TEST_F(WallpaperTest, FileNameSettingCannotLeaveTheWallpaperFolder) {
  CWallpaperOption o;
  o.fileName = "../../.profile";
  EXPECT_EQ(o.TargetPath(), Expected(".profile"));
  o.fileName = "C:\\WINDOWS\\OLD.BMP";
  EXPECT_EQ(o.TargetPath(), Expected("OLD.BMP"));
  o.fileName = "/tmp/..";
  EXPECT_EQ(o.TargetPath(), Expected());
  o.fileName = "";
  EXPECT_EQ(o.TargetPath(), Expected());
}

TEST_F(WallpaperTest, PreviewAreaTakesTheScreensProportions) {
  const QSize screen(1024, 768);
  EXPECT_EQ(CWallpaperOption::PreviewArea(QRect(0, 0, 204, 204), screen), QRect(2, 27, 200, 150));
  EXPECT_EQ(CWallpaperOption::PreviewArea(QRect(10, 10, 404, 154), screen), QRect(112, 12, 200, 150));
  EXPECT_EQ(CWallpaperOption::PreviewArea(QRect(0, 0, 164, 124), QSize(1280, 1024)), QRect(7, 2, 150, 120));
  EXPECT_EQ(CWallpaperOption::PreviewArea(QRect(0, 0, 104, 79), QSize()), QRect(2, 2, 100, 75));

  CWallpaperOption o;
  const QSize preview(200, 150), picture(512, 256);
  o.mode = kWallpaperCentred;
  EXPECT_EQ(o.PreviewSize(picture, preview, screen), QSize(100, 50));
  o.mode = kWallpaperTiled;
  EXPECT_EQ(o.PreviewSize(picture, preview, screen), QSize(100, 50));
  o.mode = kWallpaperStretched;
  EXPECT_EQ(o.PreviewSize(picture, preview, screen), QSize(200, 150));
  o.mode = kWallpaperEnlarged;
  EXPECT_EQ(o.PreviewSize(picture, preview, screen), QSize(200, 100));
  EXPECT_EQ(o.PreviewSize(QSize(1, 1000), preview, screen), QSize(1, 150));
  o.mode = kWallpaperCentred;
  EXPECT_EQ(o.PreviewSize(QSize(2, 2), preview, screen), QSize(1, 1));

  GlobalHandle source(Gradient(512, 256));
  o.mode = kWallpaperEnlarged;
  GlobalHandle shown(o.MakePreview(source.get(), preview, screen));
  ASSERT_TRUE(shown);
  EXPECT_EQ(DibSize(shown.get()), QSize(200, 100));
  EXPECT_EQ(DibBitCount(shown.get()), 24);
  DibLock lock(shown.get());
  uint32_t right = GetDibPixel(lock.header(), 199, 0);  // near source column 511
  EXPECT_EQ(right & 0xFF, 100u);
  EXPECT_GE(right >> 16, 250u);
  EXPECT_EQ(GetDibPixel(lock.header(), 0, 99) & 0xFF, 100u);
  EXPECT_EQ(o.MakePreview(nullptr, preview, screen), nullptr);
}

TEST_F(WallpaperTest, EnlargedKeepingProportionsFillsTheScreenAndCentres) {
  FakeDesktop desktop(box, "GNOME");
  desktop.Add("gsettings");
  CWallpaperOption o;
  o.mode = kWallpaperEnlarged;
  GlobalHandle four3(Gradient(800, 600));
  ASSERT_EQ(o.Apply(four3.get(), QSize(1024, 768)), 0);
  EXPECT_EQ(DibSize(ReadBmp(Expected()).get()), QSize(1024, 768));
  GlobalHandle wide(Gradient(800, 400));
  ASSERT_EQ(o.Apply(wide.get(), QSize(1024, 768)), 0);
  EXPECT_EQ(DibSize(ReadBmp(Expected()).get()), QSize(1024, 512));
  EXPECT_EQ(desktop.Calls(), (std::vector<std::string>{
                                 "gsettings set org.gnome.desktop.background picture-options centered",
                                 "gsettings set org.gnome.desktop.background picture-uri " + Uri(),
                                 "gsettings set org.gnome.desktop.background picture-uri-dark " + Uri(),
                                 "gsettings set org.gnome.desktop.background picture-options centered",
                                 "gsettings set org.gnome.desktop.background picture-uri " + Uri(),
                                 "gsettings set org.gnome.desktop.background picture-uri-dark " + Uri(),
                             }));
  EXPECT_EQ(Store().GetString("Control Panel\\Desktop", "TileWallpaper", "?"), "0");
  EXPECT_EQ(Store().GetString("Control Panel\\Desktop", "WallpaperStyle", "?"), "0");
  EXPECT_EQ(Store().GetInt("WallPaper", "Mode", -1), 3);
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(WallpaperTest, StretchedGoesToTheScreenSizeWhateverTheDepth) {
  FakeDesktop desktop(box, "GNOME");
  desktop.Add("gsettings");
  CWallpaperOption o;
  o.mode = kWallpaperStretched;
  GlobalHandle grey(CreateDib(30, 70, 8));
  ASSERT_EQ(o.Apply(grey.get(), QSize(64, 48)), 0);
  GlobalHandle written = ReadBmp(Expected());
  EXPECT_EQ(DibSize(written.get()), QSize(64, 48));
  EXPECT_EQ(DibBitCount(written.get()), 24);
}

TEST_F(WallpaperTest, TiledWritesOneAndThePictureAtItsOwnSize) {
  FakeDesktop desktop(box, "ubuntu:GNOME");
  desktop.Add("gsettings");
  CWallpaperOption o;
  o.mode = kWallpaperTiled;
  GlobalHandle tile(Gradient(50, 30));
  ASSERT_EQ(o.Apply(tile.get(), QSize(1024, 768)), 0);
  EXPECT_EQ(DibSize(ReadBmp(Expected()).get()), QSize(50, 30));
  EXPECT_EQ(Store().GetString("Control Panel\\Desktop", "TileWallpaper", "?"), "1");
  EXPECT_EQ(Store().GetString("Control Panel\\Desktop", "WallpaperStyle", "?"), "0");
  ASSERT_FALSE(desktop.Calls().empty());
  EXPECT_EQ(desktop.Calls()[0], "gsettings set org.gnome.desktop.background picture-options wallpaper");
}

TEST_F(WallpaperTest, ZeroAdjustmentsLeaveThePictureAsItWas) {
  FakeDesktop desktop(box, "GNOME");
  desktop.Add("gsettings");
  CWallpaperOption o;
  GlobalHandle picture(Gradient(37, 21));  // rows with padding
  ASSERT_EQ(o.Apply(picture.get(), QSize(1024, 768)), 0);
  EXPECT_EQ(test::ReadFile(Expected()).substr(14), std::string(static_cast<const char *>(GlobalLockGuard(picture.get()).get()),
                                                                GlobalSize(picture.get())));

  // Brightness 50 is a factor of 1: 100 becomes 100 - 10 + 100; offsets come after it.
  o.bright = 50;
  o.red = 5;
  o.green = -300;  // limited to -255
  ASSERT_EQ(o.Apply(picture.get(), QSize(1024, 768)), 0);
  GlobalHandle written = ReadBmp(Expected());
  DibLock lock(written.get());
  ASSERT_TRUE(lock);
  uint32_t p = GetDibPixel(lock.header(), 0, 0);
  EXPECT_EQ(p & 0xFF, 195u);
  EXPECT_EQ((p >> 8) & 0xFF, 0u);
  // The caller's picture is untouched.
  DibLock original(picture.get());
  EXPECT_EQ(GetDibPixel(original.header(), 0, 0) & 0xFF, 100u);
}

TEST_F(WallpaperTest, NoSetterOrAFailingOneIsReportedAndTheSettingsStay) {
  {
    FakeDesktop desktop(box, nullptr);
    CWallpaperOption o;
    o.bright = 7;
    GlobalHandle picture(Gradient(8, 8));
    EXPECT_EQ(o.Apply(picture.get(), QSize(1024, 768)), -1);
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0]->text, "壁紙の変更に失敗しました");
    EXPECT_EQ(Store().GetInt("WallPaper", "Bright", 0), 7);
    EXPECT_EQ(ApplyWallpaper(Expected(), 0), -1);
  }
  {
    FakeDesktop desktop(box, "GNOME");
    desktop.Add("gsettings", 1);
    GlobalHandle picture(Gradient(8, 8));
    EXPECT_EQ(CWallpaperOption().Apply(picture.get(), QSize(1024, 768)), -1);
    EXPECT_EQ(ui.Messages().size(), 2u);
    // The named desktop's own setter is missing: another one is not tried.
    FakeDesktop plasma(box, "KDE");
    EXPECT_EQ(ApplyWallpaper(Expected(), 0), -1);
  }
  // A picture that cannot be copied writes no file.
  FakeDesktop desktop(box, "GNOME");
  desktop.Add("gsettings");
  std::filesystem::remove(Expected());
  EXPECT_EQ(CWallpaperOption().Apply(nullptr, QSize(1024, 768)), -1);
  EXPECT_FALSE(std::filesystem::exists(Expected()));
  EXPECT_TRUE(desktop.Calls().empty());
}

TEST_F(WallpaperTest, OtherDesktopsUseTheirOwnSetters) {
  const std::string path = Expected();
  {
    FakeDesktop desktop(box, "X-Cinnamon");
    desktop.Add("gsettings");
    EXPECT_EQ(ApplyWallpaper(path, kWallpaperTiled), 0);
    EXPECT_EQ(desktop.Calls(), (std::vector<std::string>{
                                   "gsettings set org.cinnamon.desktop.background picture-options wallpaper",
                                   "gsettings set org.cinnamon.desktop.background picture-uri " + Uri()}));
  }
  {
    FakeDesktop desktop(box, "XFCE");
    desktop.Add("xfconf-query", 0,
                "/backdrop/screen0/monitorHDMI-1/workspace0/image-style\\n"
                "/backdrop/screen0/monitorHDMI-1/workspace0/last-image\\n");
    EXPECT_EQ(ApplyWallpaper(path, kWallpaperCentred), 0);
    const std::string prop = "/backdrop/screen0/monitorHDMI-1/workspace0/";
    EXPECT_EQ(desktop.Calls(), (std::vector<std::string>{
                                   "xfconf-query -c xfce4-desktop -l",
                                   "xfconf-query -c xfce4-desktop -p " + prop + "last-image -n -t string -s " + path,
                                   "xfconf-query -c xfce4-desktop -p " + prop + "image-style -n -t int -s 1"}));
  }
  {
    FakeDesktop desktop(box, "KDE");
    desktop.Add("plasma-apply-wallpaperimage");
    EXPECT_EQ(ApplyWallpaper(path, kWallpaperEnlarged), 0);
    EXPECT_EQ(desktop.Calls(), (std::vector<std::string>{"plasma-apply-wallpaperimage " + path}));
  }
  {
    // An unnamed desktop takes the first setter there is.
    FakeDesktop desktop(box, nullptr);
    desktop.Add("plasma-apply-wallpaperimage", 3);
    Store().WriteString("Control Panel\\Desktop", "TileWallpaper", "kept");
    EXPECT_EQ(ApplyWallpaper(path, 9), -1);
    EXPECT_EQ(desktop.Calls().size(), 1u);
    // Placements outside the list leave the desktop settings alone.
    EXPECT_EQ(Store().GetString("Control Panel\\Desktop", "TileWallpaper", ""), "kept");
  }
}

}  // namespace
}  // namespace tamro
