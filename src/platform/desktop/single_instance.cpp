#include "platform/desktop/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileSystemWatcher>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb::platform {

Q_LOGGING_CATEGORY(lcInstance, "com.orvane.quotabar.instance")

namespace {
constexpr int kConnectMs = 500;
constexpr int kAskForMs = 3000;   // a launch asks the running instance this long
constexpr int kPeerMs = 2000;     // a connected launch has this long to say "show"
constexpr int kMaxPeers = 8;
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

SingleInstance::~SingleInstance() {
  if (lock_ >= 0) ::close(lock_);  // releases the profile
}

bool SingleInstance::claim() {
  if (path_.isEmpty()) {
    qCWarning(lcInstance, "No folder of this user's own for the instance socket (XDG_RUNTIME_DIR or %s): "
              "running without single-instance", qUtf8Printable(QDir::tempPath()));
    return true;
  }
  const QByteArray lockPath = QFile::encodeName(path_.chopped(5) + QStringLiteral(".lock"));
  lock_ = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (lock_ < 0) {
    qCWarning(lcInstance, "Cannot open %s: running without single-instance", lockPath.constData());
    return true;
  }
  // The lock decides, atomically; the socket only carries "show". The holder may still be
  // starting (not listening yet) or just ending (the lock comes free): ask for a while.
  QElapsedTimer waited;
  waited.start();
  while (::flock(lock_, LOCK_EX | LOCK_NB) != 0) {
    switch (tellRunningInstance()) {
      case Told::yes: return false;
      case Told::stranger:
        qCWarning(lcInstance, "%s is another user's: running without single-instance", qUtf8Printable(path_));
        return true;
      case Told::no: break;
    }
    if (waited.elapsed() > kAskForMs) {
      qCWarning(lcInstance, "Quotabar already runs for this profile but did not answer; not starting a second one.");
      return false;
    }
    QThread::msleep(100);
  }
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, &SingleInstance::acceptPeers);
  // Removed (by hand, a cleaner of the folder, or Qt when an accept fails): listen again.
  watch_ = new QFileSystemWatcher(this);
  connect(watch_, &QFileSystemWatcher::fileChanged, this, &SingleInstance::listen);
  listen();
  return true;
}

SingleInstance::Told SingleInstance::tellRunningInstance() const {
  QLocalSocket peer;
  peer.connectToServer(path_);
  if (!peer.waitForConnected(kConnectMs)) return Told::no;
  if (peerUser(peer.socketDescriptor()) != ::getuid()) return Told::stranger;
  peer.write(kShow);
  if (!peer.waitForBytesWritten(kConnectMs)) return Told::no;
  peer.disconnectFromServer();
  return Told::yes;
}

void SingleInstance::listen() {
  struct stat st {};
  const QByteArray native = QFile::encodeName(path_);
  if (server_->isListening() && ::lstat(native.constData(), &st) == 0 && S_ISSOCK(st.st_mode)) {
    if (!watch_->files().contains(path_)) watch_->addPath(path_);
    return;
  }
  server_->close();
  // Whatever sits at the name is stale: only the lock holder listens there.
  QLocalServer::removeServer(path_);
  if (!server_->listen(path_)) {
    qCWarning(lcInstance, "Cannot listen on %s (%s); trying again in a second", qUtf8Printable(path_),
              qUtf8Printable(server_->errorString()));
    QTimer::singleShot(1000, this, &SingleInstance::listen);
    return;
  }
  if (!watch_->files().contains(path_)) watch_->addPath(path_);
}

void SingleInstance::acceptPeers() {
  while (QLocalSocket* s = server_->nextPendingConnection()) {
    // A few launches at a time at most, each with a moment to speak: idle connections
    // would otherwise use up the app's files and close the server.
    if (peers_ >= kMaxPeers || peerUser(s->socketDescriptor()) != ::getuid()) {
      s->abort();
      s->deleteLater();
      continue;
    }
    ++peers_;
    connect(s, &QObject::destroyed, this, [this] { --peers_; });
    connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
    QTimer::singleShot(kPeerMs, s, [s] {
      s->abort();
      s->deleteLater();
    });
    connect(s, &QLocalSocket::readyRead, this, [this, s] {
      if (s->readAll().startsWith(kShow)) Q_EMIT showRequested();
      s->disconnectFromServer();
    });
  }
  // Qt stops listening when an accept fails; put the server back at once.
  if (!server_->isListening()) QTimer::singleShot(0, this, &SingleInstance::listen);
}

}  // namespace qb::platform
