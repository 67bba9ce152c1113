#include "ui/virtual_stick_drag.h"

#include <QEvent>
#include <QMouseEvent>
#include <QWidget>

#include "ui/position_display.h"

namespace kestrane {

VirtualStickDrag::VirtualStickDrag(QWidget* panel, VirtualStick& stick, const Settings& settings)
    : QObject(panel), stick_(stick), settings_(settings) {
  panel->installEventFilter(this);
}

bool VirtualStickDrag::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick &&
      type != QEvent::MouseButtonRelease && type != QEvent::MouseMove) {
    return QObject::eventFilter(watched, event);
  }
  // A second press soon after a first one comes as a double click: it is a press all the same.
  const bool press = type != QEvent::MouseButtonRelease && type != QEvent::MouseMove;
  auto* mouse = static_cast<QMouseEvent*>(event);
  const QPoint pos = mouse->position().toPoint();
  if (type != QEvent::MouseMove && mouse->button() == Qt::RightButton) {
    stick_.SetButton(0, press);
  } else if (press && mouse->button() == Qt::LeftButton) {
    dragging_ = true;
    MoveTo(pos);
  } else if (type == QEvent::MouseMove && dragging_ && (mouse->buttons() & Qt::LeftButton)) {
    MoveTo(pos);
  } else if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton) {
    dragging_ = false;  // the stick stays where it was let go
  }
  return true;
}

void VirtualStickDrag::MoveTo(QPoint panel_pos) {
  const RawAxes axes = PointerToRawAxes(panel_pos, settings_);
  stick_.SetAxis(0, axes.x);
  stick_.SetAxis(1, axes.y);
}

}  // namespace kestrane
