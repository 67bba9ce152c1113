#pragma once

#include <QFrame>

#include "core/shift_state.h"

class QLabel;

namespace kestrane {

struct Settings;

// The pattern panel of the main window: the H pattern's picture, the hole (ring), the gate point
// (disc) and the stick (cross), sunk into a 256-pixel square.
class PositionPanel final : public QFrame {
 public:
  explicit PositionPanel(QWidget* parent);
  // Draws the pattern for the settings' lanes in the palette's colours.
  void DrawPattern(const Settings& settings);
  // Puts the markers where the state has the stick, the gate point and the hole.
  void ShowMarkers(const ShiftState& state);

  QLabel* BackImg = nullptr;
  QLabel* Hole = nullptr;
  QLabel* Gear = nullptr;
  QLabel* Cross = nullptr;
};

}  // namespace kestrane
