#include "ui/position_display.h"

#include <QPainter>
#include <algorithm>
#include <climits>
#include <utility>

#include "core/gear.h"
#include "core/settings.h"

namespace kestrane {

int AxisToPixel(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v >> 8, INT_MIN / 2, INT_MAX / 2));
}

std::array<AxisPoint, 20> PatternOutline(std::int32_t width, std::int32_t height) {
  const std::int64_t m = kAxisMiddle;
  const std::int64_t w = width;
  const std::int64_t h = height;
  const std::int64_t l = kLaneHalfWidth;
  return {{
      {m - w - l, m + h}, {m - w - l, m - h}, {m - w + l, m - h}, {m - w + l, m - l},
      {m - l, m - l},     {m - l, m - h},     {m + l, m - h},     {m + l, m - l},
      {m + w - l, m - l}, {m + w - l, m - h}, {m + w + l, m - h}, {m + w + l, m + h},
      {m + w - l, m + h}, {m + w - l, m + l}, {m + l, m + l},     {m + l, m + h},
      {m - l, m + h},     {m - l, m + l},     {m - w + l, m + l}, {m - w + l, m + h},
  }};
}

QPolygon PatternPolygon(std::int32_t width, std::int32_t height) {
  QPolygon polygon;
  polygon.reserve(20);
  for (const AxisPoint& p : PatternOutline(width, height)) {
    polygon.append(QPoint(AxisToPixel(p.x) - 2, AxisToPixel(p.y) - 2));
  }
  return polygon;
}

QImage DrawPatternImage(std::int32_t width, std::int32_t height, const QColor& background,
                        const QColor& pattern) {
  QImage image(kBackImgSize, kBackImgSize, QImage::Format_RGB32);
  image.fill(background);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(Qt::black, 0));
  painter.setBrush(background);
  // The frame runs along the outermost pixels, like a rectangle from (0, 0) to (254, 254) whose
  // right and bottom edges are exclusive.
  painter.drawRect(0, 0, kBackImgSize - 1, kBackImgSize - 1);
  painter.setBrush(pattern);
  painter.drawPolygon(PatternPolygon(width, height), Qt::OddEvenFill);
  return image;
}

QColor PatternBackgroundColor(const QPalette& palette) {
  return palette.color(QPalette::Active, QPalette::Button);
}

QColor PatternFillColor(const QPalette& palette) {
  return palette.color(QPalette::Active, QPalette::Midlight);
}

MarkerPositions MarkerPositionsFor(const ShiftState& state) {
  return {
      QPoint(AxisToPixel(state.StickX) - 7, AxisToPixel(state.StickY) - 7),
      QPoint(AxisToPixel(state.GateX) - 16, AxisToPixel(state.GateY) - 16),
      QPoint(AxisToPixel(state.HoleX) - 16, AxisToPixel(state.HoleY) - 16),
  };
}

DisplayTexts DisplayTextsFor(const ShiftState& state) {
  DisplayTexts t;
  t.x = QStringLiteral("X:") + QString::number(state.StickX);
  t.y = QStringLiteral("Y:") + QString::number(state.StickY);
  t.b = QStringLiteral("B:") + QString::number(state.SwitchAxisValue);
  t.bstate = state.Bstate ? QStringLiteral("Bstate:Yes") : QStringLiteral("Bstate:No");
  // The gear letter used everywhere else: N, R, 1 to 7.
  t.gear = QString(QChar::fromLatin1(GearLetter(state.CurrentGear)));
  return t;
}

namespace {

const QColor kDarkCyan(0, 128, 128);
const QColor kMidGrey(128, 128, 128);
const QColor kLightGrey(192, 192, 192);
const QColor kRed(255, 0, 0);
const QColor kSalmon(250, 128, 114);

QImage TransparentImage(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  return image;
}

}  // namespace

QImage HoleImage() {
  QImage image = TransparentImage(kHoleSize);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(kDarkCyan, 0));
  painter.setBrush(kMidGrey);
  painter.drawEllipse(QRect(4, 5, 22, 22));  // pixels 4..26 and 5..27: 23 across
  painter.setBrush(kLightGrey);
  painter.drawEllipse(QRect(10, 11, 10, 10));  // the centre disc, 11 across
  return image;
}

QImage GearImage() {
  QImage image = TransparentImage(kGearSize);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(Qt::black, 0));
  painter.setBrush(Qt::black);
  painter.drawEllipse(QRect(8, 8, 14, 14));  // pixels 8..22: 15 across
  return image;
}

QImage CrossImage() {
  QImage image = TransparentImage(kCrossSize);
  // Two strokes two pixels wide: falling from (3, 3) to (12, 11) and rising from (3, 11) to
  // (12, 3), each edged with a lighter pixel where it meets the background.
  for (int row = 0; row <= 8; ++row) {
    const int falling = 3 + row;
    const int rising = 11 - row;
    for (int start : {falling, rising}) {
      for (int col : {start - 1, start + 2}) {
        if (col >= 3 && col <= 12 && image.pixelColor(col, 3 + row).alpha() == 0) {
          image.setPixelColor(col, 3 + row, kSalmon);
        }
      }
    }
    for (int start : {falling, rising}) {
      image.setPixelColor(start, 3 + row, kRed);
      image.setPixelColor(start + 1, 3 + row, kRed);
    }
  }
  return image;
}

namespace {

std::int32_t PixelToAxis(int pixel) {
  return static_cast<std::int32_t>(
      std::clamp(std::int64_t{pixel} * 256 + 128, std::int64_t{0}, std::int64_t{65535}));
}

std::int32_t Mirror(std::int32_t v) {
  return std::clamp(65534 - v, 0, 65535);
}

}  // namespace

RawAxes PointerToRawAxes(QPoint panel_pos, const Settings& settings) {
  // The poll step swaps first and mirrors afterwards; undo it in the reverse order.
  std::int32_t x = PixelToAxis(panel_pos.x());
  std::int32_t y = PixelToAxis(panel_pos.y());
  if (settings.REVERSE_X) x = Mirror(x);
  if (settings.REVERSE_Y) y = Mirror(y);
  if (settings.SWITCH_XY) std::swap(x, y);
  return {x, y};
}

}  // namespace kestrane
