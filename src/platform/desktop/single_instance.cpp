#include "platform/desktop/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb::platform {

Q_LOGGING_CATEGORY(lcInstance, "com.orvane.quotabar.instance")

namespace {
constexpr int kConnectMs = 500;
const QByteArray kShow = QByteArrayLiteral("show\n");

// A folder (not a link) of ours that nobody else may enter.
bool privateFolder(const QByteArray& path) {
  struct stat st {};
  return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
         (st.st_mode & 077) == 0;
}

// The user on the other end of a connected local socket, or -1.
uid_t peerUser(qintptr fd) {
  ucred cred {};
  socklen_t size = sizeof cred;
  if (::getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0) return uid_t(-1);
  return cred.uid;
}
}  // namespace

// A name in a shared folder could be taken first by another user, who would then hear our
// "show" and see us leave. So: the runtime folder when it is ours alone, else a folder of
// our own under the temporary one; no such place, no single instance.
QString SingleInstance::privateSocketFolder() {
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (runtime.startsWith('/') && privateFolder(runtime)) return QFile::decodeName(runtime);
  const QByteArray own = QFile::encodeName(QDir::tempPath()) + "/quotabar-" + QByteArray::number(::getuid());
  ::mkdir(own.constData(), 0700);  // an existing one is checked like a new one
  return privateFolder(own) ? QFile::decodeName(own) : QString();
}

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {
  // Keyed by the settings folder, so a demo profile runs beside the user's own app.
  const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  const QByteArray key =
      QCryptographicHash::hash(config.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
  const QString dir = privateSocketFolder();
  if (!dir.isEmpty()) path_ = dir + QStringLiteral("/quotabar-%1.sock").arg(QString::fromLatin1(key));
}

bool SingleInstance::claim() {
  if (path_.isEmpty()) {
    qCWarning(lcInstance, "No folder of this user's own for the instance socket (XDG_RUNTIME_DIR or %s): "
              "running without single-instance", qUtf8Printable(QDir::tempPath()));
    return true;
  }
  {
    QLocalSocket peer;
    peer.connectToServer(path_);
    if (peer.waitForConnected(kConnectMs)) {
      if (peerUser(peer.socketDescriptor()) != ::getuid()) {
        qCWarning(lcInstance, "%s is another user's: running without single-instance", qUtf8Printable(path_));
        return true;
      }
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
      connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
      if (peerUser(s->socketDescriptor()) != ::getuid()) {
        s->abort();
        s->deleteLater();
        continue;
      }
      connect(s, &QLocalSocket::readyRead, this, [this, s] {
        if (s->readAll().startsWith(kShow)) Q_EMIT showRequested();
        s->disconnectFromServer();
      });
    }
  });
  return true;
}

}  // namespace qb::platform
