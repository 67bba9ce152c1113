#include "ui/position_display.h"

#include <gtest/gtest.h>

#include <QColor>

#include "config/setting_keys.h"
#include "core/keystroke_output.h"
#include "core/polling_cycle.h"
#include "tests/support/fake_key_sink.h"
#include "tests/support/scripted_joystick.h"

namespace kestrane {
namespace {

constexpr std::int32_t kW = 21298;  // defaults of JOY_GEAR_WIDTH and JOY_GEAR_HEIGHT
constexpr std::int32_t kH = 16383;

TEST(AxisToPixel, ShiftsRightByEightRoundingDown) {
  EXPECT_EQ(AxisToPixel(0), 0);
  EXPECT_EQ(AxisToPixel(255), 0);
  EXPECT_EQ(AxisToPixel(256), 1);
  EXPECT_EQ(AxisToPixel(32767), 127);
  EXPECT_EQ(AxisToPixel(65535), 255);
  EXPECT_EQ(AxisToPixel(-1), -1);  // towards minus infinity, not towards zero
  EXPECT_EQ(AxisToPixel(-256), -1);
  EXPECT_EQ(AxisToPixel(-257), -2);
  // The widest pattern the settings allow still gives a usable widget coordinate.
  EXPECT_EQ(AxisToPixel(2147516414), 8388735);
  EXPECT_EQ(AxisToPixel(-2147450881), -8388481);
}

TEST(PatternOutline, DefaultPatternInPixelsMatchesTheDocumentedCorners) {
  const QPolygon p = PatternPolygon(kW, kH);
  ASSERT_EQ(p.size(), 20);
  EXPECT_EQ(p[0], QPoint(38, 189));
  EXPECT_EQ(p[1], QPoint(38, 62));
  EXPECT_EQ(p[2], QPoint(46, 62));
  EXPECT_EQ(p[3], QPoint(46, 122));
  EXPECT_EQ(p[4], QPoint(122, 122));
  EXPECT_EQ(p[6], QPoint(129, 62));
  EXPECT_EQ(p[10], QPoint(213, 62));
  EXPECT_EQ(p[11], QPoint(213, 189));
  EXPECT_EQ(p[13], QPoint(205, 129));
  EXPECT_EQ(p[19], QPoint(46, 189));
}

TEST(PatternOutline, PointsFollowTheLanesAndTheNeutralBar) {
  const auto o = PatternOutline(5000, 7000);
  const std::int64_t m = 32767;
  // Lanes at M - W, M and M + W, 2000 wide, from M - H to M + H; the bar 2000 high on M.
  EXPECT_EQ(o[0], (AxisPoint{m - 6000, m + 7000}));
  EXPECT_EQ(o[1], (AxisPoint{m - 6000, m - 7000}));
  EXPECT_EQ(o[4], (AxisPoint{m - 1000, m - 1000}));
  EXPECT_EQ(o[7], (AxisPoint{m + 1000, m - 1000}));
  EXPECT_EQ(o[10], (AxisPoint{m + 6000, m - 7000}));
  EXPECT_EQ(o[14], (AxisPoint{m + 1000, m + 1000}));
  EXPECT_EQ(o[18], (AxisPoint{m - 4000, m + 1000}));
  EXPECT_EQ(o[19], (AxisPoint{m - 4000, m + 7000}));
  // Settings as wide as an int32 stay exact.
  const auto wide = PatternOutline(2147483647, 2147483647);
  EXPECT_EQ(wide[10].x, m + 2147483647LL + 1000);
  EXPECT_EQ(wide[0].y, m + 2147483647LL);
}

class PatternPicture : public testing::Test {
 protected:
  const QColor background{10, 20, 30};
  const QColor fill{200, 210, 220};
  const QImage image = DrawPatternImage(kW, kH, background, fill);
  QColor At(int x, int y) const { return image.pixelColor(x, y); }
};

TEST_F(PatternPicture, FramedBackgroundOfTheBackImgSize) {
  ASSERT_EQ(image.size(), QSize(254, 254));
  for (QPoint p : {QPoint(0, 0), QPoint(253, 0), QPoint(0, 253), QPoint(253, 253), QPoint(100, 0),
                   QPoint(0, 100), QPoint(253, 100), QPoint(100, 253)}) {
    EXPECT_EQ(At(p.x(), p.y()), QColor(Qt::black)) << p.x() << "," << p.y();
  }
  EXPECT_EQ(At(1, 1), background);
  EXPECT_EQ(At(252, 252), background);
  EXPECT_EQ(At(20, 20), background);
}

TEST_F(PatternPicture, LanesAndBarCoverTheDocumentedPixels) {
  // Left lane: columns 38..46 (outline on both), rows 62..189.
  EXPECT_EQ(At(37, 100), background);
  EXPECT_EQ(At(38, 100), QColor(Qt::black));
  EXPECT_EQ(At(42, 100), fill);
  EXPECT_EQ(At(46, 100), QColor(Qt::black));
  EXPECT_EQ(At(47, 100), background);
  EXPECT_EQ(At(42, 61), background);
  EXPECT_EQ(At(42, 62), QColor(Qt::black));
  EXPECT_EQ(At(42, 189), QColor(Qt::black));
  EXPECT_EQ(At(42, 190), background);
  // Centre lane 122..129 and right lane 205..213.
  EXPECT_EQ(At(121, 80), background);
  EXPECT_EQ(At(125, 80), fill);
  EXPECT_EQ(At(130, 80), background);
  EXPECT_EQ(At(204, 170), background);
  EXPECT_EQ(At(209, 170), fill);
  EXPECT_EQ(At(214, 170), background);
  // The neutral bar: rows 122..129 from the left lane to the right lane, open inside.
  EXPECT_EQ(At(80, 121), background);
  EXPECT_EQ(At(80, 122), QColor(Qt::black));
  EXPECT_EQ(At(80, 125), fill);
  EXPECT_EQ(At(80, 129), QColor(Qt::black));
  EXPECT_EQ(At(80, 130), background);
  EXPECT_EQ(At(125, 125), fill);  // where the bar crosses the centre lane
  EXPECT_EQ(At(170, 125), fill);
}

TEST_F(PatternPicture, SelfCrossingOutlineIsStillDrawn) {
  const QImage narrow = DrawPatternImage(500, 300, background, fill);
  EXPECT_EQ(narrow.size(), QSize(254, 254));
  EXPECT_EQ(narrow.pixelColor(20, 20), background);
  EXPECT_EQ(narrow.pixelColor(125, 122), QColor(Qt::black));  // outline points near the middle
}

TEST(PatternColours, ComeFromTheButtonAndMidlightRoles) {
  QPalette pal;
  pal.setColor(QPalette::Button, QColor(1, 2, 3));
  pal.setColor(QPalette::Midlight, QColor(4, 5, 6));
  EXPECT_EQ(PatternBackgroundColor(pal), QColor(1, 2, 3));
  EXPECT_EQ(PatternFillColor(pal), QColor(4, 5, 6));
}

TEST(MarkerPositions, StickAtRestInTheMiddle) {
  ShiftState s;
  const MarkerPositions p = MarkerPositionsFor(s);
  EXPECT_EQ(p.cross, QPoint(120, 120));
  EXPECT_EQ(p.gear, QPoint(111, 111));
  EXPECT_EQ(p.hole, QPoint(111, 111));
}

TEST(MarkerPositions, EachMarkerFollowsItsOwnPoint) {
  ShiftState s;
  s.StickX = 0;
  s.StickY = 0;
  s.GateX = 11469;  // left lane, top row
  s.GateY = 16384;
  s.HoleX = 54065;
  s.HoleY = 49150;
  const MarkerPositions p = MarkerPositionsFor(s);
  EXPECT_EQ(p.cross, QPoint(-7, -7));  // partly outside the panel
  EXPECT_EQ(p.gear, QPoint(44 - 16, 64 - 16));
  EXPECT_EQ(p.hole, QPoint(211 - 16, 191 - 16));
  s.StickX = -300;  // a mirrored stick can read beyond the travel
  EXPECT_EQ(MarkerPositionsFor(s).cross.x(), -2 - 7);
}

TEST(DisplayTexts, NumbersAndGear) {
  ShiftState s;
  DisplayTexts t = DisplayTextsFor(s);
  EXPECT_EQ(t.x, "X:32767");
  EXPECT_EQ(t.y, "Y:32767");
  EXPECT_EQ(t.b, "B:0");
  EXPECT_EQ(t.bstate, "Bstate:No");
  EXPECT_EQ(t.gear, "N");

  s.StickX = 0;
  s.StickY = 65535;
  s.SwitchAxisValue = -1200;
  s.Bstate = true;
  s.CurrentGear = kReverse;
  t = DisplayTextsFor(s);
  EXPECT_EQ(t.x, "X:0");
  EXPECT_EQ(t.y, "Y:65535");
  EXPECT_EQ(t.b, "B:-1200");
  EXPECT_EQ(t.bstate, "Bstate:Yes");
  EXPECT_EQ(t.gear, "R");  // reverse by its letter, as everywhere else

  s.StickX = -5;
  EXPECT_EQ(DisplayTextsFor(s).x, "X:-5");
  for (Gear g = 1; g <= 7; ++g) {
    s.CurrentGear = g;
    EXPECT_EQ(DisplayTextsFor(s).gear, QString::number(g));
  }
}

TEST(MarkerImages, GearDiscIsCentredWhereTheOffsetsExpect) {
  const QImage img = GearImage();
  ASSERT_EQ(img.size(), QSize(32, 32));
  EXPECT_EQ(img.pixelColor(15, 15), QColor(Qt::black));
  // 15 across: columns and rows 8..22.
  EXPECT_EQ(img.pixelColor(8, 15), QColor(Qt::black));
  EXPECT_EQ(img.pixelColor(22, 15), QColor(Qt::black));
  EXPECT_EQ(img.pixelColor(15, 8), QColor(Qt::black));
  EXPECT_EQ(img.pixelColor(15, 22), QColor(Qt::black));
  for (QPoint p :
       {QPoint(7, 15), QPoint(23, 15), QPoint(15, 7), QPoint(15, 23), QPoint(0, 0), QPoint(9, 9)}) {
    EXPECT_EQ(img.pixelColor(p).alpha(), 0) << p.x() << "," << p.y();
  }
}

TEST(MarkerImages, HoleRingAroundItsCentre) {
  const QImage img = HoleImage();
  ASSERT_EQ(img.size(), QSize(32, 32));
  EXPECT_EQ(img.pixelColor(15, 16), QColor(192, 192, 192));  // the centre disc
  EXPECT_EQ(img.pixelColor(15, 11), QColor(0, 128, 128));    // its outline
  EXPECT_EQ(img.pixelColor(15, 8), QColor(128, 128, 128));   // the body
  EXPECT_EQ(img.pixelColor(4, 16), QColor(0, 128, 128));     // the ring's edge, 23 across
  EXPECT_EQ(img.pixelColor(26, 16), QColor(0, 128, 128));
  EXPECT_EQ(img.pixelColor(15, 5), QColor(0, 128, 128));
  EXPECT_EQ(img.pixelColor(15, 27), QColor(0, 128, 128));
  for (QPoint p : {QPoint(3, 16), QPoint(27, 16), QPoint(15, 4), QPoint(15, 28), QPoint(0, 0)}) {
    EXPECT_EQ(img.pixelColor(p).alpha(), 0) << p.x() << "," << p.y();
  }
}

TEST(MarkerImages, CrossIsARedXInsideItsBox) {
  const QImage img = CrossImage();
  ASSERT_EQ(img.size(), QSize(16, 16));
  int red = 0;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const QColor c = img.pixelColor(x, y);
      const bool inside = x >= 3 && x <= 12 && y >= 3 && y <= 11;
      if (!inside) {
        EXPECT_EQ(c.alpha(), 0) << x << "," << y;
      }
      if (c == QColor(255, 0, 0)) ++red;
    }
  }
  EXPECT_GT(red, 30);
  for (QPoint p : {QPoint(3, 3), QPoint(12, 3), QPoint(3, 11), QPoint(12, 11)}) {
    EXPECT_EQ(img.pixelColor(p), QColor(255, 0, 0)) << p.x() << "," << p.y();
  }
  EXPECT_EQ(img.pixelColor(7, 3).alpha(), 0);  // the arms are apart at the top
}

// The pointer is the stick: whatever the swap and mirror settings, the poll step puts the stick
// (and with it the Cross marker's centre) under the pixel that was pointed at.
TEST(PointerToRawAxes, PollStepShowsTheStickUnderThePointer) {
  test::FakeKeySink sink;
  KeyOutput keys(sink);
  for (int flags = 0; flags < 8; ++flags) {
    Settings settings = DefaultSettings();
    settings.SWITCH_XY = (flags & 1) != 0;
    settings.REVERSE_X = (flags & 2) != 0;
    settings.REVERSE_Y = (flags & 4) != 0;
    for (QPoint p : {QPoint(0, 0), QPoint(127, 127), QPoint(40, 200), QPoint(255, 3)}) {
      const RawAxes raw = PointerToRawAxes(p, settings);
      ScriptedJoystick stick;
      StickSample sample;
      sample.X = raw.x;
      sample.Y = raw.y;
      stick.SetNext(sample);
      ShiftState state;
      PollContext ctx{state, settings, &stick, keys};
      PollStep(ctx);
      EXPECT_EQ(AxisToPixel(state.StickX), p.x()) << flags << " " << p.x();
      EXPECT_EQ(AxisToPixel(state.StickY), p.y()) << flags << " " << p.y();
    }
  }
}

TEST(PointerToRawAxes, OutsideThePanelHoldsTheStickAtTheEnds) {
  const Settings settings = DefaultSettings();
  EXPECT_EQ(PointerToRawAxes({-40, 300}, settings), (RawAxes{0, 65535}));
  Settings mirrored = settings;
  mirrored.REVERSE_X = true;
  EXPECT_EQ(PointerToRawAxes({-40, 0}, mirrored).x, 65534);
  EXPECT_EQ(PointerToRawAxes({400, 0}, mirrored).x, 0);
}

}  // namespace
}  // namespace kestrane
