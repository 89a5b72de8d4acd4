#pragma once

// The longest time one event took to handle on the GUI thread (a paint, an idle step, a
// batch of thumbnail results): how long input could have waited behind it.

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>

class MeteredApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject *receiver, QEvent *event) override {
    if (depth_++ > 0) {
      const bool r = QApplication::notify(receiver, event);
      --depth_;
      return r;
    }
    QElapsedTimer clock;
    clock.start();
    const bool r = QApplication::notify(receiver, event);
    longest_ = std::max(longest_, clock.nsecsElapsed());
    --depth_;
    return r;
  }
  // The longest since the last call, in milliseconds.
  double TakeMs() {
    const double ms = static_cast<double>(longest_) / 1e6;
    longest_ = 0;
    return ms;
  }

 private:
  int depth_ = 0;
  qint64 longest_ = 0;
};
