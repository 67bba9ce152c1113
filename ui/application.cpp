#include "ui/application.h"

#include <QMessageBox>
#include <QWidget>
#include <exception>

namespace kestrane {

namespace {
int g_hint_hide_pause = -1;
}  // namespace

void SetHintHidePause(int ms) {
  g_hint_hide_pause = ms;
}
int HintHidePause() {
  return g_hint_hide_pause;
}

KestraneApplication::KestraneApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool KestraneApplication::notify(QObject* receiver, QEvent* event) {
  try {
    if (event->type() == QEvent::ToolTip && g_hint_hide_pause >= 0 && receiver->isWidgetType()) {
      auto* widget = static_cast<QWidget*>(receiver);
      if (widget->toolTipDuration() < 0) widget->setToolTipDuration(g_hint_hide_pause);
    }
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowError(QString::fromLocal8Bit(e.what()));
  } catch (...) {
    ShowError(QString());
  }
  return false;
}

void KestraneApplication::ShowError(const QString& text) {
  if (messages) {
    messages->ShowMessage(MessageKind::Error, text.toStdString());
    return;
  }
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Kestrane"), text, QMessageBox::Ok,
                  activeWindow());
  box.exec();
}

}  // namespace kestrane
