#include "ui/position_panel.h"

#include <QLabel>
#include <QPixmap>

#include "core/settings.h"
#include "ui/position_display.h"

namespace kestrane {
namespace {

QLabel* MakePicture(QWidget* parent, const char* name, const QImage& image, QPoint pos) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  label->setGeometry(QRect(pos, image.size()));
  if (!image.isNull()) label->setPixmap(QPixmap::fromImage(image));
  return label;
}

}  // namespace

PositionPanel::PositionPanel(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("PosPanel"));
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
  resize(kPosPanelSize, kPosPanelSize);
  BackImg = MakePicture(this, "BackImg", QImage(), {1, 1});
  BackImg->resize(kBackImgSize, kBackImgSize);
  Hole = MakePicture(this, "Hole", HoleImage(), kHoleStart);
  Gear = MakePicture(this, "Gear", GearImage(), kGearStart);
  Cross = MakePicture(this, "Cross", CrossImage(), kCrossStart);
}

void PositionPanel::DrawPattern(const Settings& settings) {
  const QPalette& pal = palette();
  BackImg->setPixmap(
      QPixmap::fromImage(DrawPatternImage(settings.JOY_GEAR_WIDTH, settings.JOY_GEAR_HEIGHT,
                                          PatternBackgroundColor(pal), PatternFillColor(pal))));
}

void PositionPanel::ShowMarkers(const ShiftState& state) {
  const MarkerPositions pos = MarkerPositionsFor(state);
  Cross->move(pos.cross);
  Gear->move(pos.gear);
  Hole->move(pos.hole);
}

}  // namespace kestrane
