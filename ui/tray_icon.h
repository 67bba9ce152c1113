#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <functional>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace kestrane {

// What the tray icon shows; asked for whenever it may have changed and each time the menu opens.
struct TrayStatus {
  QString tooltip;
  bool window_shown = false;
  bool paused = false;           // the icon goes grey, the menu offers "Resume shifting"
  bool forces_released = false;  // the menu offers "Restore forces"
  bool forces_available = false; // the open stick plays springs
};

// The notification-area icon with its menu: Show/Hide, Settings..., Pause shifting, Release
// forces, Quit. A double click (with any button) asks for the window.
class TrayIcon final : public QObject {
 public:
  struct Handlers {
    std::function<void()> toggle_window, settings, pause, forces, quit, restore;
  };
  TrayIcon(const QIcon& picture, Handlers handlers, std::function<TrayStatus()> status,
           QObject* parent);
  ~TrayIcon() override;

  // Brings the icon, its tooltip and the menu's texts up to date.
  void Refresh();

  QSystemTrayIcon* Icon() const { return icon_; }
  QMenu* Menu() const { return menu_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QIcon picture_;
  Handlers handlers_;
  std::function<TrayStatus()> status_;
  QSystemTrayIcon* icon_ = nullptr;
  QMenu* menu_ = nullptr;
  QAction* show_action_ = nullptr;
  QAction* pause_action_ = nullptr;
  QAction* forces_action_ = nullptr;
  bool shown_paused_ = false;
};

}  // namespace kestrane
