#include "catalogue/interrupt.h"

#include <QtCore/qnamespace.h>

namespace tamro {

bool PendingInputInterrupt::IsStopKey(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Escape:
    case Qt::Key_Down:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Left:
      return true;
    default:
      return false;
  }
}

bool PendingInputInterrupt::CheckInterrupt() {
  if (auto key = input_.PeekKey()) {
    if (IsStopKey(*key)) return true;
    input_.DropKey();
  }
  return input_.ButtonPending();
}

}  // namespace tamro
