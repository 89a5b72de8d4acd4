#include "views/slideshow.h"

#include <QEventLoop>
#include <QKeyEvent>
#include <QPainter>

#include "catalogue/engine.h"
#include "views/oneview.h"
#include "views/rxview.h"

namespace tamro {

namespace {
constexpr int kTick = 55;
}

CFullShow::CFullShow(CatalogueEngine &engine, COneView &view, int startIndex)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      engine_(engine),
      view_(view),
      loader_(engine),
      index_(startIndex) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setWindowModality(Qt::ApplicationModal);
  setCursor(CRXView::NormalCursor());
}

CFullShow::~CFullShow() = default;

int CFullShow::Run(const QRect &screen) {
  setGeometry(screen);
  show();
  raise();
  activateWindow();
  setFocus();
  open_ = true;
  ShowIndex(index_);
  timer_.start(kTick, this);
  lastChange_.restart();
  QEventLoop loop;
  connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
  while (open_) {
    loop.processEvents(QEventLoop::WaitForMoreEvents);
  }
  timer_.stop();
  hide();
  return index_;
}

void CFullShow::ShowIndex(int index) {
  CPicEntry *e = engine_.Doc().GetEntry(index);
  if (!e) return;
  loading_ = true;
  const int shown = index;
  loader_.Load(*e, Look(),
               [this, shown, id = EntryId::Of(*e)](const LoadedPicturePtr &loaded, const DisplayPtr &d) {
                 loading_ = false;
                 // Without a picture the show moves on all the same; the last good picture stays on screen.
                 index_ = shown;
                 reached_ = id;
                 if (loaded->picture) Take(d && d->look == Look() ? d : MakeDisplay(loaded, Look()));
               });
  std::vector<const CPicEntry *> ahead;
  if (CPicEntry *next = engine_.Doc().GetEntry(index + 1)) ahead.push_back(next);
  loader_.Preload(ahead, Look());
}

ViewLook CFullShow::Look() const {
  const OneViewSettings &s = view_.Settings();
  // The screen in device pixels, as the picture window lays out.
  return ViewLook::Of(s, s.fitSize, view_.Zoom(), 0.0, ToDevice(size(), devicePixelRatioF()),
                      kFramePixelBudget);
}

void CFullShow::Take(const DisplayPtr &made) {
  const DisplaySize &d = made->display;
  const QSize screen = ToDevice(size(), devicePixelRatioF());
  picture_ = made->image;
  shownSize_ = QSize(d.width, d.height);
  pos_ = QPoint(ClampPlacement(std::max(0, (screen.width() - d.width) / 2), screen.width(), d.width),
                ClampPlacement(std::max(0, (screen.height() - d.height) / 2), screen.height(), d.height));
  update();
}

void CFullShow::paintEvent(QPaintEvent *) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  if (picture_.isNull()) return;
  const qreal r = devicePixelRatioF();
  p.scale(1.0 / r, 1.0 / r);  // device pixels, one picture pixel to one at x1
  p.drawImage(QRect(pos_, shownSize_), picture_);
}

void CFullShow::timerEvent(QTimerEvent *event) {
  if (event->timerId() != timer_.timerId() || loading_ || lastChange_.elapsed() <= view_.Interval()) return;
  CRXDoc &doc = engine_.Doc();
  // Steps from where the picture on screen is now: a refresh or a re-sort may have moved it.
  if (const int at = FindEntry(doc, reached_, index_); at >= 0) index_ = at;
  // Entries no decoder takes are passed over, as in the window's own show.
  const int next = SeekIndex(index_, doc.GetEntryCount(), +1, view_.Settings().repeat,
                             [this](int i) { return view_.Showable(i); });
  if (next >= 0 && next != index_) ShowIndex(next);
  lastChange_.restart();
}

void CFullShow::keyPressEvent(QKeyEvent *event) {
  if (event->key() == Qt::Key_Escape) close();
}

void CFullShow::mousePressEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton) return;
  timer_.stop();
  setCursor(Qt::PointingHandCursor);
}

void CFullShow::mouseReleaseEvent(QMouseEvent *event) {
  if (event->button() == Qt::RightButton) {
    close();
  } else if (event->button() == Qt::LeftButton) {
    setCursor(CRXView::NormalCursor());
    timer_.start(std::max(1, view_.Interval()), this);
  }
}

void CFullShow::closeEvent(QCloseEvent *event) {
  open_ = false;
  QWidget::closeEvent(event);
}

}  // namespace tamro
