#pragma once

// The splash window shown while Tamro starts: our own picture with status lines, closed by
// the first paint of the grid or by its time-out, whichever comes first.

#include <QSplashScreen>
#include <QStringList>
#include <QTimer>
#include <functional>

namespace tamro {

class CSplashWnd : public QSplashScreen {
 public:
  // `mainExists` tells whether the main window is there yet; the time-out waits for it.
  CSplashWnd(int timeoutMs, std::function<bool()> mainExists);

  static QPixmap MakePicture();
  void SetTextRect(const QRect &rect);
  void SetLine(int index, const QString &text);
  const QStringList &Lines() const { return lines_; }

 protected:
  void drawContents(QPainter *painter) override;

 private:
  QRect textRect_{20, 20, 340, 130};
  QStringList lines_;
  QTimer timer_;
  std::function<bool()> mainExists_;
};

}  // namespace tamro
