#pragma once

// The longest time one event took to handle on the GUI thread (a paint, an idle step, a
// batch of thumbnail results): how long input could have waited behind it.

#include <QApplication>
#include <QElapsedTimer>
#include <QString>
#include <algorithm>
#include <functional>

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
    // Taken first: a deferred delete removes the receiver while it is handled.
    const QEvent::Type type = event->type();
    const char *receiverClass = receiver->metaObject()->className();
    const bool r = QApplication::notify(receiver, event);
    if (clock.nsecsElapsed() > longest_) {
      longest_ = clock.nsecsElapsed();
      what_ = QString("%1 to %2").arg(static_cast<int>(type)).arg(receiverClass);
    }
    if (handled) handled(receiver, type);
    --depth_;
    return r;
  }
  // The longest since the last call, in milliseconds.
  double TakeMs() {
    const double ms = static_cast<double>(longest_) / 1e6;
    longest_ = 0;
    return ms;
  }
  // Told after each outermost event has been handled.
  std::function<void(QObject *, QEvent::Type)> handled;
  // The event type and receiver of the longest one, to tell what to look at.
  QString LongestWhat() const { return what_; }

 private:
  int depth_ = 0;
  qint64 longest_ = 0;
  QString what_;
};
