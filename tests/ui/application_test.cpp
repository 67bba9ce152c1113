#include "ui/application.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/recording_messages.h"

namespace kestrane {
namespace {

class Throwing final : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) {
      ++seen;
      if (what.empty()) throw 42;
      throw std::runtime_error(what);
    }
    return QObject::event(e);
  }
  std::string what;
  int seen = 0;
};

class ApplicationTest : public testing::Test {
 protected:
  void SetUp() override {
    app = dynamic_cast<KestraneApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    app->messages = &recorded;
  }
  void TearDown() override { app->messages = nullptr; }

  KestraneApplication* app = nullptr;
  std::vector<std::string> shown;
  test::RecordingMessages recorded{shown};
};

TEST_F(ApplicationTest, AnErrorEscapingAHandlerIsShownAndTheLoopGoesOn) {
  Throwing target;
  target.what = "Unable to write to /x/Kestrane.ini";
  QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
  QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
  bool later = false;
  QTimer::singleShot(0, [&later] { later = true; });
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(target.seen, 2);
  EXPECT_EQ(shown, (std::vector<std::string>{target.what, target.what}));
  EXPECT_TRUE(later);
}

TEST_F(ApplicationTest, AnErrorWithoutAMessageShowsAnEmptyOne) {
  Throwing target;
  QEvent e(QEvent::User);
  EXPECT_FALSE(QCoreApplication::sendEvent(&target, &e));
  EXPECT_EQ(shown, std::vector<std::string>{""});
}

TEST_F(ApplicationTest, HintsStayUpForTheHintHidePause) {
  QWidget w;
  w.setToolTip(QStringLiteral("hint"));
  QWidget keeps;
  keeps.setToolTip(QStringLiteral("hint"));
  keeps.setToolTipDuration(500);
  SetHintHidePause(20000);
  for (QWidget* widget : {&w, &keeps}) {
    QEvent tip(QEvent::ToolTip);
    QCoreApplication::sendEvent(widget, &tip);
  }
  EXPECT_EQ(w.toolTipDuration(), 20000);
  EXPECT_EQ(keeps.toolTipDuration(), 500);
  SetHintHidePause(-1);
}

}  // namespace
}  // namespace kestrane
