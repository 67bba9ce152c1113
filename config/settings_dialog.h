#pragma once

#include <QDialog>

class QComboBox;
class QLabel;

namespace kestrane {

// The settings dialog: one instance, created hidden at start-up right after the main window and
// living for the whole run. The main window shows it without blocking. Its device list `Devices`
// is filled and selected by the main window's first show.
class TSettings : public QDialog {
  Q_OBJECT

 public:
  explicit TSettings(QWidget* parent = nullptr);

  QComboBox* Devices = nullptr;

 protected:
  // The device row across the top of the dialog.
  void BuildDeviceRow();

 private:
  QLabel* DevicesLabel = nullptr;
};

}  // namespace kestrane
