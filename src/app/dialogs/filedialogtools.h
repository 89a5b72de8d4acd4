#pragma once

// Small pieces shared by the file-operation dialog faces: text conversion, the folder chooser,
// the busy cursor and the standard buttons with the program's own texts.

#include <QApplication>
#include <QCursor>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QString>
#include <string>
#include <string_view>

class QWidget;

namespace tamro {

inline QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
inline std::string S(const QString &s) { return s.toStdString(); }

// The system's folder chooser starting at `start`, a relative one taken from `base` (the
// folder shown); at `base` when `start` is empty, at the home folder when both are. "" when
// cancelled.
QString ChooseFolder(QWidget *parent, const QString &title, const QString &start,
                     const std::string &base = {});

// OK and Cancel with the texts the dialogs show ("キャンセル" unless told otherwise).
QDialogButtonBox *OkCancelButtons(QWidget *parent, const QString &cancelText = QStringLiteral("キャンセル"));

// The wait cursor for a command that runs without a progress window.
class CBusyCursor {
 public:
  explicit CBusyCursor(Qt::CursorShape shape = Qt::WaitCursor) {
    QApplication::setOverrideCursor(QCursor(shape));
  }
  ~CBusyCursor() { QApplication::restoreOverrideCursor(); }
  CBusyCursor(const CBusyCursor &) = delete;
  CBusyCursor &operator=(const CBusyCursor &) = delete;
};

// The ordinary arrow while a question is asked in the middle of a busy command.
class CAskingCursor {
 public:
  CAskingCursor() : pushed_(QApplication::overrideCursor() != nullptr) {
    if (pushed_) QApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
  }
  ~CAskingCursor() {
    if (pushed_) QApplication::restoreOverrideCursor();
  }
  CAskingCursor(const CAskingCursor &) = delete;
  CAskingCursor &operator=(const CAskingCursor &) = delete;

 private:
  bool pushed_;
};

// The window a question belongs to: the open modal window (a progress window, another
// dialog) when there is one, so that the question stays above it.
QWidget *QuestionOwner(QWidget *fallback);

}  // namespace tamro
