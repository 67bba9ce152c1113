#include "config/settings_dialog.h"

#include <QComboBox>
#include <QLabel>

namespace kestrane {

namespace {
constexpr int kClientWidth = 665;
constexpr int kClientHeight = 557;
}  // namespace

TSettings::TSettings(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Settings"));
  setWindowTitle(QStringLiteral("Settings"));
  setModal(false);
  setFixedSize(kClientWidth, kClientHeight);
  BuildDeviceRow();
}

void TSettings::BuildDeviceRow() {
  DevicesLabel = new QLabel(QStringLiteral("Device :"), this);
  DevicesLabel->setObjectName(QStringLiteral("Label40"));
  DevicesLabel->move(16, 14);
  DevicesLabel->adjustSize();

  Devices = new QComboBox(this);
  Devices->setObjectName(QStringLiteral("Devices"));
  Devices->setEditable(false);
  Devices->setToolTip(QStringLiteral("select device you plan to use as gear box"));
  Devices->setGeometry(72, 10, 577, 21);
  DevicesLabel->setBuddy(Devices);
}

}  // namespace kestrane
