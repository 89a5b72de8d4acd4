#include "app/splash.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>

namespace tamro {

CSplashWnd::CSplashWnd(int timeoutMs, std::function<bool()> mainExists)
    : QSplashScreen(MakePicture()), mainExists_(std::move(mainExists)) {
  setAttribute(Qt::WA_DeleteOnClose);
  if (timeoutMs != -1) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] {
      // Without a main window yet, look again shortly.
      if (mainExists_ && !mainExists_()) {
        timer_.start(100);
        return;
      }
      close();
    });
    timer_.start(timeoutMs);
  }
}

QPixmap CSplashWnd::MakePicture() {
  // Drawn at the screens' highest pixel ratio: the splash is not stretched on a high-density one.
  const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
  QPixmap pixmap(qRound(400 * ratio), qRound(240 * ratio));
  pixmap.setDevicePixelRatio(ratio);
  QPainter p(&pixmap);
  QLinearGradient g(0, 0, 400, 240);
  g.setColorAt(0, QColor(0x1f, 0x3a, 0x5f));
  g.setColorAt(1, QColor(0x4a, 0x7a, 0x9a));
  p.fillRect(QRect(0, 0, 400, 240), g);
  QFont f;
  f.setPixelSize(56);
  f.setBold(true);
  p.setFont(f);
  p.setPen(QColor(255, 255, 255, 220));
  p.drawText(QRect(0, 140, 380, 80), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Tamro"));
  return pixmap;
}

void CSplashWnd::SetTextRect(const QRect &rect) {
  textRect_ = rect;
  repaint();
}

void CSplashWnd::SetLine(int index, const QString &text) {
  if (index < 0) return;
  while (lines_.size() <= index) lines_.append(QString());
  lines_[index] = text;
  repaint();
}

void CSplashWnd::drawContents(QPainter *painter) {
  QFont font(QStringLiteral("ＭＳ ゴシック"));
  font.setPixelSize(12);
  painter->setFont(font);
  painter->setPen(Qt::white);
  painter->setClipRect(textRect_);
  for (int i = 0; i < lines_.size(); ++i)
    painter->drawText(textRect_.left(), textRect_.top() + 12 * i + QFontMetrics(font).ascent(), lines_[i]);
}

}  // namespace tamro
