#include "platform/desktop/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <unistd.h>

namespace qb::platform {

namespace {
constexpr int kConnectMs = 500;
const QByteArray kShow = QByteArrayLiteral("show\n");
}  // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {
  // Keyed by the settings folder, so a demo profile runs beside the user's own app.
  const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  const QByteArray key =
      QCryptographicHash::hash(config.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
  QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (dir.isEmpty()) dir = QDir::tempPath();
  path_ = dir + QStringLiteral("/quotabar-%1-%2.sock").arg(::getuid()).arg(QString::fromLatin1(key));
}

bool SingleInstance::claim() {
  {
    QLocalSocket peer;
    peer.connectToServer(path_);
    if (peer.waitForConnected(kConnectMs)) {
      peer.write(kShow);
      peer.waitForBytesWritten(kConnectMs);
      peer.disconnectFromServer();
      return false;
    }
  }
  // Nobody answered: a socket left by a crashed instance is stale.
  QLocalServer::removeServer(path_);
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(path_)) return true;  // still run; a second launch just won't find us
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* s = server_->nextPendingConnection()) {
      connect(s, &QLocalSocket::readyRead, this, [this, s] {
        if (s->readAll().startsWith(kShow)) Q_EMIT showRequested();
        s->disconnectFromServer();
      });
      connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
    }
  });
  return true;
}

}  // namespace qb::platform
