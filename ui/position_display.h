#pragma once

#include <QImage>
#include <QPalette>
#include <QPoint>
#include <QPolygon>
#include <QString>
#include <array>
#include <cstdint>

#include "core/shift_state.h"

namespace kestrane {

struct Settings;

// The display's sizes, in pixels: PosPanel, the picture inside its one-pixel bevel, the markers.
inline constexpr int kPosPanelSize = 256;
inline constexpr int kBackImgSize = 254;
inline constexpr int kHoleSize = 32;
inline constexpr int kGearSize = 32;
inline constexpr int kCrossSize = 16;

// Where the markers stand before the first update, in PosPanel pixels.
inline constexpr QPoint kHoleStart{57, 24};
inline constexpr QPoint kGearStart{116, 111};
inline constexpr QPoint kCrossStart{123, 120};

// Half the width of a lane and of the neutral bar, in axis units.
inline constexpr std::int64_t kLaneHalfWidth = 1000;

// An axis value as a display pixel: an arithmetic shift by 8 (rounds towards minus infinity).
// Values beyond what a widget coordinate can hold are held at its limits.
int AxisToPixel(std::int64_t v);

// The H pattern's outline in axis units: 20 points, clockwise from the bottom left corner of the
// left lane, for the lane distance `width` (JOY_GEAR_WIDTH) and the lane half-length `height`
// (JOY_GEAR_HEIGHT).
struct AxisPoint {
  std::int64_t x;
  std::int64_t y;
  friend bool operator==(const AxisPoint&, const AxisPoint&) = default;
};
std::array<AxisPoint, 20> PatternOutline(std::int32_t width, std::int32_t height);

// The same outline in BackImg pixels: every coordinate c becomes (c >> 8) - 2.
QPolygon PatternPolygon(std::int32_t width, std::int32_t height);

// The pattern picture: a background in `background` framed in black, the outline filled with
// `pattern` and drawn in black. kBackImgSize square.
QImage DrawPatternImage(std::int32_t width, std::int32_t height, const QColor& background,
                        const QColor& pattern);

// The palette colours the picture is drawn in: the active border (the picture's background) is
// the button colour, the 3D light (the pattern) the mid-light colour.
QColor PatternBackgroundColor(const QPalette& palette);
QColor PatternFillColor(const QPalette& palette);

// Top-left corners of the markers for a Shift state, in PosPanel pixels.
struct MarkerPositions {
  QPoint cross;
  QPoint gear;
  QPoint hole;
};
MarkerPositions MarkerPositionsFor(const ShiftState& state);

// The label texts for a Shift state.
struct DisplayTexts {
  QString x;       // Xl
  QString y;       // Yl
  QString b;       // Bl
  QString bstate;  // Bs
  QString gear;    // Label3
};
DisplayTexts DisplayTextsFor(const ShiftState& state);

// The marker pictures, transparent around the drawing.
QImage HoleImage();   // 32 x 32: ring of 23 pixels centred at (15, 16)
QImage GearImage();   // 32 x 32: black disc of 15 pixels centred at (15, 15)
QImage CrossImage();  // 16 x 16: red X over columns 3..12 and rows 3..11

// The virtual stick under the mouse pointer: the raw axis values (0..65535) that a sample must
// carry so that, after the configured swap and mirroring, the stick shows at the panel pixel
// `panel_pos` (the pixel the Cross marker centres on).
struct RawAxes {
  std::int32_t x;
  std::int32_t y;
  friend bool operator==(const RawAxes&, const RawAxes&) = default;
};
RawAxes PointerToRawAxes(QPoint panel_pos, const Settings& settings);

}  // namespace kestrane
