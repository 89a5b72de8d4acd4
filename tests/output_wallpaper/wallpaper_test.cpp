#include "output/wallpaper.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "picture/dib.h"
#include "platform/globalhandle.h"
#include "platform/profile.h"
#include "platform/ui.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

// Stand-in setters on an otherwise empty PATH under a named desktop; every call of one is
// logged as a line "program arg arg ...".
class FakeDesktop {
 public:
  FakeDesktop(const test::Sandbox &box, const char *desktop) : box_(box) {
    old_[0] = std::getenv("PATH") ? std::getenv("PATH") : "";
    had_ = std::getenv("XDG_CURRENT_DESKTOP") != nullptr;
    if (had_) old_[1] = std::getenv("XDG_CURRENT_DESKTOP");
    std::filesystem::remove_all(box.path("bin"));
    std::filesystem::remove(box.path("calls.log"));
    setenv("PATH", box.path("bin").c_str(), 1);
    desktop ? setenv("XDG_CURRENT_DESKTOP", desktop, 1) : unsetenv("XDG_CURRENT_DESKTOP");
  }
  ~FakeDesktop() {
    setenv("PATH", old_[0].c_str(), 1);
    had_ ? setenv("XDG_CURRENT_DESKTOP", old_[1].c_str(), 1) : unsetenv("XDG_CURRENT_DESKTOP");
  }
  // A setter that exits with `status` and, asked for a listing (-l), prints `listing`.
  void Add(const std::string &program, int status = 0, const std::string &listing = "") {
    const std::string log = "'" + box_.path("calls.log").string() + "'";
    std::string script = "#!/bin/sh\nprintf '%s' '" + program + "' >> " + log +
                         "\nfor a in \"$@\"; do printf ' %s' \"$a\" >> " + log + "; done\nprintf '\\n' >> " +
                         log + "\n";
    if (!listing.empty()) script += "case \"$*\" in *-l*) printf '" + listing + "';; esac\n";
    auto path = box_.write("bin/" + program, script + "exit " + std::to_string(status) + "\n");
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
  std::string old_[2];
  bool had_ = false;
};

// A 24-bit picture whose pixel (x, y) has red 100, green y and blue x.
HDIB Gradient(int width, int height) {
  HDIB h = CreateDib(width, height, 24);
  DibLock lock(h);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      SetDibPixel(lock.header(), x, y, 100u | (y & 0xFFu) << 8 | (x & 0xFFu) << 16);
  return h;
}

class WallpaperTest : public ::testing::Test {
 protected:
  std::string Target(const char *name = CWallpaperOption::kDefaultFileName) const {
    return box.path("data/Tamro").string() + "/" + name;
  }
  std::string Uri() const { return "file://" + Target(); }
  std::string Desktop(const char *key) {
    return Profile::App().GetString("Control Panel\\Desktop", key, "?");
  }
  GlobalHandle Written() const {
    std::FILE *f = std::fopen(Target().c_str(), "rb");
    GlobalHandle h(f ? ReadDibFromStream(f) : nullptr);
    if (f) std::fclose(f);
    return h;
  }
  QSize WrittenSize() const {
    GlobalHandle h = Written();
    return QSize(DibWidth(h.get()), DibHeight(h.get()));
  }

  test::Sandbox box;
  ScriptedUi ui;
  ScopedUi scope{ui};
};

TEST_F(WallpaperTest, OptionsLoadInRangeAndSaveSixKeysButNeverTheFileName) {
  CWallpaperOption o;
  o.Load();
  EXPECT_EQ(std::tuple(o.mode + o.preview + o.bright + o.red + o.green + o.blue, o.TargetPath()),
            std::tuple(0, Target()));
  Profile &p = Profile::App();
  for (auto [key, value] : {std::pair{"Mode", 7}, {"Bright", 500}, {"Red", -999}})
    p.WriteInt("WallPaper", key, value);
  p.WriteString("WallPaper", "FileName", "MINE.BMP");
  o.Load();
  EXPECT_EQ(std::tuple(o.mode, o.bright, o.red, o.TargetPath()),
            std::tuple(0, 100, -255, Target("MINE.BMP")));
  // Only the name part of "FileName" counts.
  for (const auto &[name, target] :
       {std::pair("../../.profile", ".profile"), std::pair("C:\\WINDOWS\\.profile", ".profile"),
        std::pair("/tmp/..", CWallpaperOption::kDefaultFileName)}) {
    o.fileName = name;
    EXPECT_EQ(o.TargetPath(), Target(target)) << name;
  }

  p.DeleteSection("WallPaper");
  o.mode = 3, o.preview = 1, o.bright = -40, o.blue = 3;
  ASSERT_TRUE(o.Save());
  EXPECT_EQ(p.Keys("WallPaper"),
            (std::vector<std::string>{"Preview", "Mode", "Bright", "Red", "Green", "Blue"}));
  CWallpaperOption back;
  back.Load();
  EXPECT_EQ(std::vector<int>({back.mode, back.preview, back.bright, back.blue}),
            std::vector<int>({3, 1, -40, 3}));
}

TEST_F(WallpaperTest, PreviewTakesTheScreensProportions) {
  const QSize screen(1024, 768), preview(200, 150), picture(512, 256);
  EXPECT_EQ(CWallpaperOption::PreviewArea(QRect(0, 0, 204, 204), screen), QRect(2, 27, 200, 150));
  EXPECT_EQ(CWallpaperOption::PreviewArea(QRect(10, 10, 404, 154), screen), QRect(112, 12, 200, 150));
  CWallpaperOption o;
  const QSize expected[] = {{100, 50}, {100, 50}, {200, 150}, {200, 100}};
  for (int mode = 0; mode < 4; ++mode) {
    o.mode = mode;
    EXPECT_EQ(o.PreviewSize(picture, preview, screen), expected[mode]) << mode;
  }
  EXPECT_EQ(o.PreviewSize(QSize(1, 1000), preview, screen), QSize(1, 150));
  GlobalHandle source(Gradient(512, 256));
  GlobalHandle shown(o.MakePreview(source.get(), preview, screen));
  ASSERT_EQ(QSize(DibWidth(shown.get()), DibHeight(shown.get())), QSize(200, 100));
  DibLock lock(shown.get());
  uint32_t right = GetDibPixel(lock.header(), 199, 0);  // near source column 511
  EXPECT_TRUE((right & 0xFF) == 100u && (right >> 16) >= 250u) << std::hex << right;
  EXPECT_EQ(o.MakePreview(nullptr, preview, screen), nullptr);
}

TEST_F(WallpaperTest, EnlargedPlacementsFillTheScreen) {
  FakeDesktop desktop(box, "GNOME");
  desktop.Add("gsettings");
  CWallpaperOption o;
  o.mode = kWallpaperEnlarged;
  GlobalHandle four3(Gradient(800, 600)), wide(Gradient(800, 400)), grey(CreateDib(30, 70, 8));
  for (const auto &[picture, size] :
       {std::pair(four3.get(), QSize(1024, 768)), std::pair(wide.get(), QSize(1024, 512))}) {
    ASSERT_EQ(o.Apply(picture, QSize(1024, 768)), 0);
    EXPECT_EQ(WrittenSize(), size);
  }
  const std::string set = "gsettings set org.gnome.desktop.background ";
  const std::vector<std::string> once = {set + "picture-options centered", set + "picture-uri " + Uri(),
                                         set + "picture-uri-dark " + Uri()};
  std::vector<std::string> twice = once;
  twice.insert(twice.end(), once.begin(), once.end());
  EXPECT_EQ(std::tuple(desktop.Calls(), Desktop("TileWallpaper") + Desktop("WallpaperStyle"),
                       Profile::App().GetInt("WallPaper", "Mode", -1)),
            std::tuple(twice, "00", 3));

  o.mode = kWallpaperStretched;  // any depth goes to 24 bits at the screen's size
  ASSERT_EQ(o.Apply(grey.get(), QSize(64, 48)), 0);
  EXPECT_EQ(std::tuple(WrittenSize(), DibBitCount(Written().get())), std::tuple(QSize(64, 48), 24));
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(WallpaperTest, TiledAndAdjustments) {
  FakeDesktop desktop(box, "ubuntu:GNOME");
  desktop.Add("gsettings");
  CWallpaperOption o;
  o.mode = kWallpaperTiled;
  GlobalHandle picture(Gradient(37, 21));  // rows with padding
  ASSERT_EQ(o.Apply(picture.get(), QSize(1024, 768)), 0);
  EXPECT_EQ(Desktop("TileWallpaper") + Desktop("WallpaperStyle"), "10");
  EXPECT_EQ(desktop.Calls().at(0), "gsettings set org.gnome.desktop.background picture-options wallpaper");
  // Without adjustments the picture is written as it is.
  GlobalLockGuard bytes(picture.get());
  EXPECT_EQ(test::ReadFile(Target()).substr(14),
            std::string(static_cast<const char *>(bytes.get()), GlobalSize(picture.get())));

  // Brightness 50 is a factor of 1: 100 becomes 100 - 10 + 100; the offsets come after it.
  o.bright = 50, o.red = 5, o.green = -300;
  ASSERT_EQ(o.Apply(picture.get(), QSize(1024, 768)), 0);
  GlobalHandle written = Written();
  DibLock lock(written.get());
  ASSERT_TRUE(lock);
  EXPECT_EQ(GetDibPixel(lock.header(), 0, 0) & 0xFFFF, 195u);
  EXPECT_EQ(GetDibPixel(bytes.as<BitmapInfoHeader>(), 0, 0) & 0xFF,
            100u);  // the caller's picture is untouched
}

TEST_F(WallpaperTest, FailuresAreReportedAndTheSettingsStay) {
  GlobalHandle picture(Gradient(8, 8));
  {
    FakeDesktop none(box, nullptr);
    CWallpaperOption o;
    o.bright = 7;
    EXPECT_EQ(o.Apply(picture.get(), QSize(1024, 768)), -1);
    EXPECT_EQ(Profile::App().GetInt("WallPaper", "Bright", 0), 7);
  }
  {
    FakeDesktop failing(box, "GNOME");
    failing.Add("gsettings", 1);
    EXPECT_EQ(CWallpaperOption().Apply(picture.get(), QSize(1024, 768)), -1);
  }
  {
    FakeDesktop working(box, "GNOME");
    working.Add("gsettings");
    EXPECT_EQ(CWallpaperOption().Apply(nullptr, QSize(1024, 768)), -1);  // nothing to copy
    EXPECT_TRUE(working.Calls().empty());
  }
  ASSERT_EQ(ui.Messages().size(), 3u);
  for (const auto *m : ui.Messages()) EXPECT_EQ(m->text, "壁紙の変更に失敗しました");
  // The named desktop's setter is missing: no other one is tried.
  FakeDesktop plasma(box, "KDE");
  plasma.Add("gsettings");
  EXPECT_EQ(ApplyWallpaper(Target(), 0), -1);
  EXPECT_TRUE(plasma.Calls().empty());
}

TEST_F(WallpaperTest, EachDesktopHasItsOwnSetter) {
  const std::string path = Target();
  // The desktop, its setter, the placement, what the setter lists and the calls it gets.
  using Case = std::tuple<const char *, std::string, int, std::string, std::vector<std::string>>;
  const std::string xfce = "/backdrop/screen0/monitorHDMI-1/workspace0/";
  const std::string bg = "gsettings set org.cinnamon.desktop.background picture-";
  const std::string plasma = "plasma-apply-wallpaperimage";
  const Case cases[] = {
      {"X-Cinnamon", "gsettings", kWallpaperTiled, "", {bg + "options wallpaper", bg + "uri " + Uri()}},
      {"XFCE",
       "xfconf-query",
       kWallpaperCentred,
       xfce + "image-style\\n" + xfce + "last-image\\n",
       {"xfconf-query -c xfce4-desktop -l",
        "xfconf-query -c xfce4-desktop -p " + xfce + "last-image -n -t string -s " + path,
        "xfconf-query -c xfce4-desktop -p " + xfce + "image-style -n -t int -s 1"}},
      {"KDE", plasma, kWallpaperEnlarged, "", {plasma + " " + path}},
      {nullptr, plasma, kWallpaperCentred, "", {plasma + " " + path}}};
  for (const auto &[name, program, placement, listing, calls] : cases) {
    FakeDesktop desktop(box, name);
    desktop.Add(program, 0, listing);
    EXPECT_EQ(ApplyWallpaper(path, placement), 0) << program;
    EXPECT_EQ(desktop.Calls(), calls);
  }
  {
    FakeDesktop gnome(box, "GNOME");
    gnome.Add("gsettings");
    EXPECT_EQ(ApplyWallpaper("/tmp/a b/壁紙.bmp", 0), 0);
    EXPECT_EQ(gnome.Calls().at(1),
              "gsettings set org.gnome.desktop.background picture-uri file:///tmp/a%20b/%E5%A3%81%E7%B4%99.bmp");
  }
  // A placement outside the list leaves the desktop settings alone.
  FakeDesktop desktop(box, "KDE");
  desktop.Add("plasma-apply-wallpaperimage", 3);
  Profile::App().WriteString("Control Panel\\Desktop", "TileWallpaper", "kept");
  EXPECT_EQ(ApplyWallpaper(path, 9), -1);
  EXPECT_EQ(Desktop("TileWallpaper"), "kept");
}

}  // namespace
}  // namespace tamro
