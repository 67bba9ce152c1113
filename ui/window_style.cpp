#include "ui/window_style.h"

#include <QFontDatabase>
#include <QLabel>

namespace kestrane {

QFont FixedsysFont(bool bold) {
  QFont font;
  if (QFontDatabase::hasFamily(QStringLiteral("Fixedsys"))) {
    font = QFont(QStringLiteral("Fixedsys"));
    font.setBold(bold);
  } else {
    font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setBold(true);
  }
  font.setPixelSize(27);
  return font;
}

QFont SansFont(int pixels, bool bold) {
  QFont font = QFontDatabase::hasFamily(QStringLiteral("MS Sans Serif"))
                   ? QFont(QStringLiteral("MS Sans Serif"))
                   : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QPoint pos) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->move(pos);
  label->adjustSize();
  return label;
}

void SetText(QLabel* label, const QString& text) {
  if (label->text() == text) return;
  label->setText(text);
  label->adjustSize();
}

}  // namespace kestrane
