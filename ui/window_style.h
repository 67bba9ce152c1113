#pragma once

// The main window's typefaces and label helpers, with the fonts its layout was drawn for and
// the system's own where those are missing.

#include <QFont>
#include <QPoint>
#include <QString>

class QLabel;
class QWidget;

namespace kestrane {

// "Fixedsys" 27 pixels high; where it is missing, the system's monospace in bold.
QFont FixedsysFont(bool bold);
// "MS Sans Serif" at a pixel size; where it is missing, the system's sans.
QFont SansFont(int pixels, bool bold);
// A label named `name` at `pos`, sized to its text.
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QPoint pos);
// Sets the text and sizes the label to it, when it changed.
void SetText(QLabel* label, const QString& text);

}  // namespace kestrane
