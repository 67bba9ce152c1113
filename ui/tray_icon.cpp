#include "ui/tray_icon.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QImage>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace kestrane {

TrayIcon::TrayIcon(const QIcon& picture, Handlers handlers, std::function<TrayStatus()> status,
                   QObject* parent)
    : QObject(parent),
      picture_(picture),
      handlers_(std::move(handlers)),
      status_(std::move(status)) {
  icon_ = new QSystemTrayIcon(picture_, this);
  icon_->setObjectName(QStringLiteral("TrayIcon"));
  connect(icon_, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick) handlers_.restore();
          });
  menu_ = new QMenu();
  menu_->setObjectName(QStringLiteral("TrayMenu"));
  show_action_ = menu_->addAction(QStringLiteral("Hide"), this, [this] { handlers_.toggle_window(); });
  menu_->addAction(QStringLiteral("Settings..."), this, [this] { handlers_.settings(); });
  menu_->addSeparator();
  pause_action_ = menu_->addAction(QStringLiteral("Pause shifting"), this, [this] { handlers_.pause(); });
  forces_action_ =
      menu_->addAction(QStringLiteral("Release forces"), this, [this] { handlers_.forces(); });
  menu_->addSeparator();
  menu_->addAction(QStringLiteral("Quit"), this, [this] { handlers_.quit(); });
  // The texts follow the state each time the menu opens.
  connect(menu_, &QMenu::aboutToShow, this, [this] { Refresh(); });
  icon_->setContextMenu(menu_);
  icon_->show();
  // Qt reports only left double clicks on the icon; any button restores the window.
  qApp->installEventFilter(this);
  Refresh();
}

TrayIcon::~TrayIcon() {
  if (qApp) qApp->removeEventFilter(this);
  delete menu_;
}

void TrayIcon::Refresh() {
  const TrayStatus s = status_();
  show_action_->setText(s.window_shown ? QStringLiteral("Hide") : QStringLiteral("Show"));
  pause_action_->setText(s.paused ? QStringLiteral("Resume shifting")
                                  : QStringLiteral("Pause shifting"));
  forces_action_->setText(s.forces_released ? QStringLiteral("Restore forces")
                                            : QStringLiteral("Release forces"));
  forces_action_->setEnabled(s.forces_available || s.forces_released);
  if (icon_->toolTip() != s.tooltip) icon_->setToolTip(s.tooltip);
  if (s.paused != shown_paused_) {
    shown_paused_ = s.paused;
    icon_->setIcon(s.paused ? QIcon(QPixmap::fromImage(picture_.pixmap(QSize(32, 32))
                                                           .toImage()
                                                           .convertToFormat(QImage::Format_Grayscale8)))
                            : picture_);
  }
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick && watched->inherits("QSystemTrayIconSys")) {
    handlers_.restore();
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace kestrane
