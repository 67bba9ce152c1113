#pragma once

#include <QObject>

#include "core/settings.h"
#include "device/input_platform.h"

class QWidget;

namespace kestrane {

// The on-screen stick (--virtual-stick) driven with the mouse on the pattern panel: a left drag
// moves it, and it stays where it is let go; the right button is its button 1 (the switch).
class VirtualStickDrag final : public QObject {
 public:
  VirtualStickDrag(QWidget* panel, VirtualStick& stick, const Settings& settings);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void MoveTo(QPoint panel_pos);

  VirtualStick& stick_;
  const Settings& settings_;
  bool dragging_ = false;
};

}  // namespace kestrane
