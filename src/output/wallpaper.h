#pragma once

// The desktop wallpaper: the wallpaper dialog's settings and sizes, the apply step that
// writes the adjusted picture, and the hand-over to the desktop's own wallpaper setter.

#include <QRect>
#include <QSize>
#include <string>

#include "picture/dibtypes.h"

namespace tamro {

class Profile;

// Placements, in the order of the dialog's list.
enum WallpaperMode : int {
  kWallpaperCentred = 0,
  kWallpaperTiled = 1,
  kWallpaperStretched = 2,  // enlarged to the screen
  kWallpaperEnlarged = 3,   // enlarged keeping the proportions
};

class CWallpaperOption {
 public:
  static constexpr const char *kSection = "WallPaper";
  static constexpr const char *kDefaultFileName = "RXW_WALL.BMP";
  static constexpr const char *kTitle = "壁紙設定";
  static constexpr const char *kFailed = "壁紙の変更に失敗しました";
  // The placement list.
  static constexpr const char *kPlacementNames[4] = {"中央に表示", "並べて表示", "拡大", "拡大(画像比固定)"};
  static constexpr int kBrightLimit = 100, kColourLimit = 255;

  int mode = kWallpaperCentred;
  int preview = 0;
  int bright = 0;                           // -100 .. 100
  int red = 0, green = 0, blue = 0;         // -255 .. 255
  std::string fileName = kDefaultFileName;  // read only; never written

  // Reads the settings (from the program's store when none is given), with every value
  // brought into its range.
  void Load(const Profile *profile = nullptr);
  // Writes "Preview", "Mode", "Bright", "Red", "Green" and "Blue".
  bool Save(Profile *profile = nullptr) const;
  // Back to the defaults the "リセット" button gives (placement and preview box kept).
  void ResetAdjustments() { bright = red = green = blue = 0; }

  // $XDG_DATA_HOME/Tamro/ and the file name; only the name part of "FileName" counts, so
  // the setting cannot send the file elsewhere.
  std::string TargetPath() const;

  // The preview area inside its frame: 2 pixels in, shrunk to the screen's proportions and
  // centred.
  static QRect PreviewArea(const QRect &frame, const QSize &screen);
  // Size of the preview picture for the placement: the picture scaled as the screen scales
  // to the preview (centred, tiled), the whole preview (stretched), or the picture fitted
  // into it (enlarged). At least 1 x 1.
  QSize PreviewSize(const QSize &picture, const QSize &preview, const QSize &screen) const;
  // A new 24-bit picture of PreviewSize with the picture drawn stretched into it; null
  // when the picture is unusable.
  HDIB MakePreview(HDIB picture, const QSize &preview, const QSize &screen) const;

  // The "実行" button: writes the settings, adjusts a copy of the picture, enlarges it for
  // placements 2 and 3, writes it as a BMP at TargetPath and hands it to ApplyWallpaper.
  // 0 on success; -1 after showing "壁紙の変更に失敗しました". The wait cursor around it
  // is the dialog's.
  int Apply(HDIB picture, const QSize &screen);
  // Size the picture is scaled to for placements 2 and 3, else the picture's own size.
  QSize TargetSize(const QSize &picture, const QSize &screen) const;
  // The adjustments in place, as the apply step makes them (the brightness 0.02 a step as
  // the factor, the three offsets), so the preview shows what will be written.
  void AdjustColours(HDIB picture) const;

 private:
  void Clamp();
};

// Writes "TileWallpaper" and "WallpaperStyle" under "Control Panel\Desktop" in the settings
// store and makes `path` the desktop wallpaper through the desktop's own setter (gsettings
// for GNOME and Cinnamon, xfconf-query for Xfce, plasma-apply-wallpaperimage for Plasma).
// 0 on success, -1 when the settings cannot be written, no setter is found or it fails.
int ApplyWallpaper(const std::string &path, int placement);

}  // namespace tamro
