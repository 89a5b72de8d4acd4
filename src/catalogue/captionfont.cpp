#include "catalogue/captionfont.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>

#include "platform/text.h"

namespace tamro {

namespace {

FontDescription Describe(const QFont &f) {
  FontDescription d;
  d.faceName = QFontInfo(f).family().toStdString();
  int px = QFontInfo(f).pixelSize();
  d.height = px > 0 ? -px : 0;
  d.weight = f.weight() == QFont::Normal ? 400 : static_cast<int32_t>(f.weight());
  d.italic = f.italic() ? 1 : 0;
  d.underline = f.underline() ? 1 : 0;
  d.strikeOut = f.strikeOut() ? 1 : 0;
  d.pitchAndFamily = f.fixedPitch() ? 1 : 2;
  return d;
}

// The Windows Japanese faces the settings name, and their metric-compatible IPA fonts.
const char *SubstituteFace(const std::string &face) {
  static const struct {
    const char *ms, *msAscii, *ipa;
  } kFaces[] = {
      {"ＭＳ ゴシック", "MS Gothic", "IPAGothic"},
      {"ＭＳ Ｐゴシック", "MS PGothic", "IPAPGothic"},
      {"ＭＳ 明朝", "MS Mincho", "IPAMincho"},
      {"ＭＳ Ｐ明朝", "MS PMincho", "IPAPMincho"},
  };
  for (const auto &f : kFaces)
    if (face == f.ms || EqualsNoCase(face, f.msAscii)) return f.ipa;
  return nullptr;
}

bool HaveGuiApplication() { return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr; }

}  // namespace

FontDescription LookupCaptionFont(const std::string &face, int width, int height, int italic, int weight) {
  FontDescription d;
  bool found = false;
  if (HaveGuiApplication()) {
    // The last family that matches wins, as an enumeration of the screen's fonts would give.
    const QStringList families = QFontDatabase::families();
    const char *substitute = SubstituteFace(face);
    for (const QString &family : families) {
      std::string name = family.toStdString();
      if (EqualsNoCase(name, face) || (substitute && EqualsNoCase(name, substitute))) {
        QFont f(family);
        d = Describe(f);
        d.faceName = name;
        found = true;
      }
    }
    if (!found) d = Describe(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
  } else {
    // Nobody to ask: keep the name; Qt substitutes when the font is drawn.
    d.faceName = face;
    d.weight = 400;
  }
  d.width = width;
  d.height = height;
  d.italic = italic ? 1 : 0;
  d.weight = weight;
  return d;
}

QFont ToQFont(const FontDescription &d) {
  QFont f(QString::fromStdString(d.faceName));
  if (d.height < 0)
    f.setPixelSize(-d.height);
  else if (d.height > 0)
    f.setPixelSize(d.height * 4 / 5 > 0 ? d.height * 4 / 5 : d.height);
  if (d.weight > 0)
    f.setWeight(static_cast<QFont::Weight>(d.weight < 1 ? 1 : (d.weight > 1000 ? 1000 : d.weight)));
  f.setItalic(d.italic != 0);
  f.setUnderline(d.underline != 0);
  f.setStrikeOut(d.strikeOut != 0);
  return f;
}

}  // namespace tamro
