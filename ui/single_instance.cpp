#include "ui/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>

namespace kestrane {
namespace {

// Named after the settings file's full path: one instance per file, any number per user.
QString InstanceName(const std::string& settings_path) {
  const QString path = QFileInfo(QString::fromStdString(settings_path)).absoluteFilePath();
  const QByteArray hash = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1);
  return QStringLiteral("kestrane-") + QString::fromLatin1(hash.toHex().left(16));
}

}  // namespace

SingleInstance::SingleInstance(const std::string& settings_path) {
  const QString name = InstanceName(settings_path);
  lock_ = std::make_unique<QLockFile>(QDir::temp().filePath(name + QStringLiteral(".lock")));
  lock_->setStaleLockTime(0);  // a lock whose program is gone is stale at once
  if (!lock_->tryLock(0)) {
    // Another instance runs: ask it to come forward.
    QLocalSocket socket;
    socket.connectToServer(name);
    if (socket.waitForConnected(2000)) {
      socket.write("activate\n");
      socket.waitForBytesWritten(2000);
      socket.disconnectFromServer();
    }
    return;
  }
  primary_ = true;
  QLocalServer::removeServer(name);  // left by a program that crashed; the lock is ours now
  server_.listen(name);
  QObject::connect(&server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
      QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      if (activate_) activate_();
    }
  });
}

}  // namespace kestrane
