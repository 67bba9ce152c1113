// The yardstick for the window program's cost at rest: a bare Qt program with a hidden window and
// a precise timer of the same period that does nothing.
//
//   bare_qt_timer [MS]    (default 25)
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdlib>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int ms = argc > 1 ? std::atoi(argv[1]) : 25;
  QWidget window;
  window.setWindowTitle(QStringLiteral("bare_qt_timer"));
  window.resize(274, 397);
  window.show();
  window.hide();
  QTimer timer;
  timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer, &QTimer::timeout, [] {});
  timer.start(ms);
  return QApplication::exec();
}
