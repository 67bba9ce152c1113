#pragma once

#include <QApplication>
#include <functional>

#include "core/messages.h"

namespace kestrane {

// How long a hint stays on screen, for every hint of the program (milliseconds; -1 Qt's own
// rule). The main window's first show sets it.
void SetHintHidePause(int ms);
int HintHidePause();

// The program's application object: an error escaping an event handler is shown in a message box
// and the event loop goes on; hints stay up for the hint hide pause.
class KestraneApplication final : public QApplication {
 public:
  KestraneApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  // Where an escaped error is shown; unset: a modal message box.
  MessageSink* messages = nullptr;

 private:
  void ShowError(const QString& text);
};

}  // namespace kestrane
