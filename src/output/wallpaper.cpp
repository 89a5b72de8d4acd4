#include "output/wallpaper.h"

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <algorithm>
#include <filesystem>

#include "picture/dib.h"
#include "picture/dibcanvas.h"
#include "picture/transform.h"
#include "platform/globalhandle.h"
#include "platform/profile.h"
#include "platform/ui.h"

namespace tamro {

namespace {

constexpr const char *kCaption = "Tamro";
constexpr const char *kDesktopSection = "Control Panel\\Desktop";
// A setter that has not answered by then is taken as failed.
constexpr int kSetterTimeoutMs = 15000;

Profile &Store(Profile *profile) { return profile ? *profile : Profile::App(); }
const Profile &Store(const Profile *profile) { return profile ? *profile : Profile::App(); }

// Runs a program directly (never through a shell); its exit code, or -1 when it cannot
// be started, hangs or crashes.
int RunProgram(const QString &program, const QStringList &args, QByteArray *output = nullptr) {
  QProcess process;
  process.setProgram(program);
  process.setArguments(args);
  process.setStandardInputFile(QProcess::nullDevice());
  if (!output) process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  process.start();
  if (!process.waitForStarted(kSetterTimeoutMs)) return -1;
  if (!process.waitForFinished(kSetterTimeoutMs)) {
    process.kill();
    process.waitForFinished(1000);
    return -1;
  }
  if (output) *output = process.readAllStandardOutput();
  return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

enum class Setter { kNone, kGnome, kCinnamon, kXfce, kPlasma };

const char *SetterProgram(Setter s) {
  switch (s) {
    case Setter::kGnome:
    case Setter::kCinnamon:
      return "gsettings";
    case Setter::kXfce:
      return "xfconf-query";
    case Setter::kPlasma:
      return "plasma-apply-wallpaperimage";
    default:
      return "";
  }
}

// The desktop the session names, else the first setter found on the PATH.
Setter ChooseSetter(QString &program) {
  Setter named = Setter::kNone;
  const QStringList desktops =
      qEnvironmentVariable("XDG_CURRENT_DESKTOP").toLower().split(':', Qt::SkipEmptyParts);
  for (const QString &d : desktops) {
    if (d.contains("cinnamon"))
      named = Setter::kCinnamon;
    else if (d.contains("xfce"))
      named = Setter::kXfce;
    else if (d.contains("kde"))
      named = Setter::kPlasma;
    else if (d.contains("gnome") || d == "unity" || d == "budgie" || d == "pantheon" || d == "ubuntu")
      named = Setter::kGnome;
    if (named != Setter::kNone) break;
  }
  if (named != Setter::kNone) {
    program = QStandardPaths::findExecutable(SetterProgram(named));
    return program.isEmpty() ? Setter::kNone : named;
  }
  for (Setter s : {Setter::kGnome, Setter::kXfce, Setter::kPlasma}) {
    program = QStandardPaths::findExecutable(SetterProgram(s));
    if (!program.isEmpty()) return s;
  }
  return Setter::kNone;
}

int SetWithGsettings(const QString &program, const char *schema, const QString &uri, bool tiled) {
  const QString s = QString::fromLatin1(schema);
  if (RunProgram(program, {"set", s, "picture-options", tiled ? "wallpaper" : "centered"}) != 0) return -1;
  if (RunProgram(program, {"set", s, "picture-uri", uri}) != 0) return -1;
  // The dark-style key only exists on newer desktops; without it the plain key is enough.
  if (std::string_view(schema) == "org.gnome.desktop.background")
    RunProgram(program, {"set", s, "picture-uri-dark", uri});
  return 0;
}

int SetWithXfconf(const QString &program, const QString &path, bool tiled) {
  const QString channel = "xfce4-desktop";
  QByteArray listing;
  QStringList images;
  if (RunProgram(program, {"-c", channel, "-l"}, &listing) == 0) {
    for (const QByteArray &line : listing.split('\n')) {
      QString property = QString::fromUtf8(line.trimmed());
      if (property.startsWith('/') && property.endsWith("/last-image")) images << property;
    }
  }
  // A desktop that never had a backdrop set lists none; its first monitor is the one.
  if (images.isEmpty()) images << "/backdrop/screen0/monitor0/workspace0/last-image";
  for (const QString &image : images) {
    QString style = image.left(image.size() - QStringLiteral("last-image").size()) + "image-style";
    if (RunProgram(program, {"-c", channel, "-p", image, "-n", "-t", "string", "-s", path}) != 0) return -1;
    // Xfce's image styles: 1 centred, 2 tiled.
    if (RunProgram(program, {"-c", channel, "-p", style, "-n", "-t", "int", "-s", tiled ? "2" : "1"}) != 0)
      return -1;
  }
  return 0;
}

}  // namespace

void CWallpaperOption::Load(const Profile *profile) {
  const Profile &p = Store(profile);
  mode = p.GetInt(kSection, "Mode", 0);
  preview = p.GetInt(kSection, "Preview", 0);
  bright = p.GetInt(kSection, "Bright", 0);
  red = p.GetInt(kSection, "Red", 0);
  green = p.GetInt(kSection, "Green", 0);
  blue = p.GetInt(kSection, "Blue", 0);
  fileName = p.GetString(kSection, "FileName", kDefaultFileName);
  Clamp();
}

bool CWallpaperOption::Save(Profile *profile) const {
  Profile &p = Store(profile);
  bool ok = p.WriteInt(kSection, "Preview", preview);
  ok = p.WriteInt(kSection, "Mode", mode) && ok;
  ok = p.WriteInt(kSection, "Bright", bright) && ok;
  ok = p.WriteInt(kSection, "Red", red) && ok;
  ok = p.WriteInt(kSection, "Green", green) && ok;
  ok = p.WriteInt(kSection, "Blue", blue) && ok;
  return ok;
}

void CWallpaperOption::Clamp() {
  if (mode < kWallpaperCentred || mode > kWallpaperEnlarged) mode = kWallpaperCentred;
  preview = preview ? 1 : 0;
  bright = std::clamp(bright, -kBrightLimit, kBrightLimit);
  red = std::clamp(red, -kColourLimit, kColourLimit);
  green = std::clamp(green, -kColourLimit, kColourLimit);
  blue = std::clamp(blue, -kColourLimit, kColourLimit);
}

std::string CWallpaperOption::TargetPath() const {
  std::string name = fileName;
  std::size_t cut = name.find_last_of("/\\");
  if (cut != std::string::npos) name.erase(0, cut + 1);
  if (name.empty() || name == "." || name == "..") name = kDefaultFileName;
  std::string folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString();
  return folder + "/Tamro/" + name;
}

QRect CWallpaperOption::PreviewArea(const QRect &frame, const QSize &screen) {
  QRect area = frame.adjusted(2, 2, -2, -2);
  if (screen.width() <= 0 || screen.height() <= 0 || area.width() <= 0 || area.height() <= 0) return area;
  const long long sw = screen.width(), sh = screen.height();
  const long long fitHeight = area.width() * sh / sw;
  if (area.height() > fitHeight) {
    int h = static_cast<int>(fitHeight);
    area.setTop(area.top() + (area.height() - h) / 2);
    area.setHeight(h);
  } else {
    int w = static_cast<int>(area.height() * sw / sh);
    area.setLeft(area.left() + (area.width() - w) / 2);
    area.setWidth(w);
  }
  return area;
}

QSize CWallpaperOption::PreviewSize(const QSize &picture, const QSize &preview, const QSize &screen) const {
  if (picture.width() <= 0 || picture.height() <= 0) return {1, 1};
  double w = 1, h = 1;
  switch (mode) {
    case kWallpaperStretched:
      w = preview.width();
      h = preview.height();
      break;
    case kWallpaperEnlarged: {
      double scale = std::min(static_cast<double>(preview.width()) / picture.width(),
                              static_cast<double>(preview.height()) / picture.height());
      w = picture.width() * scale;
      h = picture.height() * scale;
      break;
    }
    default:
      if (screen.width() > 0 && screen.height() > 0) {
        w = picture.width() * (static_cast<double>(preview.width()) / screen.width());
        h = picture.height() * (static_cast<double>(preview.height()) / screen.height());
      }
      break;
  }
  return {std::clamp(static_cast<int>(std::min(w, 1e6)), 1, 1 << 16),
          std::clamp(static_cast<int>(std::min(h, 1e6)), 1, 1 << 16)};
}

HDIB CWallpaperOption::MakePreview(HDIB picture, const QSize &preview, const QSize &screen) const {
  DibLock lock(picture);
  if (!lock) return nullptr;
  int height = DibHeight(lock.header());
  QSize size = PreviewSize({DibWidth(lock.header()), height < 0 ? -height : height}, preview, screen);
  CDibCanvas canvas;
  if (!canvas.Create(size.width(), size.height(), 0xFFFFFF)) return nullptr;
  canvas.DrawDib(picture, QRect(QPoint(0, 0), size));
  return canvas.GetDib();
}

QSize CWallpaperOption::TargetSize(const QSize &picture, const QSize &screen) const {
  if (mode == kWallpaperStretched) return screen;
  if (mode != kWallpaperEnlarged || picture.width() <= 0 || picture.height() <= 0) return picture;
  double scale = std::min(static_cast<double>(screen.width()) / picture.width(),
                          static_cast<double>(screen.height()) / picture.height());
  return {std::max(1, static_cast<int>(picture.width() * scale)),
          std::max(1, static_cast<int>(picture.height() * scale))};
}

void CWallpaperOption::AdjustColours(HDIB picture) const {
  if (picture) AdjustDibColors(picture, red, green, blue, bright * 0.02);
}

int CWallpaperOption::Apply(HDIB picture, const QSize &screen) {
  Clamp();
  Save();
  const std::string path = TargetPath();
  bool ok = false;
  GlobalHandle copy(CopyDib(picture));
  if (copy) {
    AdjustColours(copy.get());
    if (mode == kWallpaperStretched || mode == kWallpaperEnlarged) {
      copy.reset(DibTo24Bit(copy.get()));
      QSize from;
      {
        DibLock lock(copy.get());
        if (lock) from = QSize(DibWidth(lock.header()), DibHeight(lock.header()));
      }
      if (from.isEmpty() || screen.isEmpty()) {
        copy.reset();
      } else {
        QSize to = TargetSize(from, screen);
        double factor = std::min(static_cast<double>(to.width()) / from.width(),
                                 static_cast<double>(to.height()) / from.height());
        copy.reset(ScaleDibByMode(copy.get(), to.width(), to.height(), 0.0, kScaleAuto, factor, false));
        // Scaling answers its input when it runs out of memory; that is no wallpaper.
        bool scaled = false;
        {
          DibLock lock(copy.get());
          scaled = lock && QSize(DibWidth(lock.header()), DibHeight(lock.header())) == to;
        }
        if (!scaled) copy.reset();
      }
    }
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    ok = copy && SaveDibFile(path, copy.get()) && ApplyWallpaper(path, mode) == 0;
  }
  if (ok) return 0;
  Ui().MessageBox(kFailed, kCaption, MB_OK | MB_ICONEXCLAMATION);
  return -1;
}

int ApplyWallpaper(const std::string &path, int placement) {
  const bool tiled = placement == kWallpaperTiled;
  if (placement >= kWallpaperCentred && placement <= kWallpaperEnlarged) {
    Profile &store = Profile::App();
    if (!store.WriteString(kDesktopSection, "TileWallpaper", tiled ? "1" : "0") ||
        !store.WriteString(kDesktopSection, "WallpaperStyle", "0"))
      return -1;
  }
  QString program;
  const QString file = QString::fromStdString(path);
  // Percent-encoded, so blanks and Japanese names make a valid URI.
  const QString uri = QString::fromLatin1(QUrl::fromLocalFile(file).toEncoded());
  switch (ChooseSetter(program)) {
    case Setter::kGnome:
      return SetWithGsettings(program, "org.gnome.desktop.background", uri, tiled);
    case Setter::kCinnamon:
      return SetWithGsettings(program, "org.cinnamon.desktop.background", uri, tiled);
    case Setter::kXfce:
      return SetWithXfconf(program, file, tiled);
    case Setter::kPlasma:
      return RunProgram(program, {file}) == 0 ? 0 : -1;
    default:
      return -1;
  }
}

}  // namespace tamro
