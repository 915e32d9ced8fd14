#include "monitoring/session_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QLoggingCategory>
#include <cerrno>
#include <cstring>

#include "platform/data_paths.h"
#include "platform/keyring.h"
#include "providers/text.h"

namespace qb {

namespace {

Q_LOGGING_CATEGORY(lcTokenStore, "com.orvane.vantelo.tokenstore")

using platform::KeyringStatus;

const QString kFolder = QStringLiteral("Vantelo");
const QString kLegacyAccount = QStringLiteral("WorkosCursorSessionToken");
const QString kLegacyFile = QStringLiteral("session-token");

QString accountOf(Provider p) { return QStringLiteral("session-") + rawValue(p); }
QString fileOf(Provider p) { return QStringLiteral("session-token-") + rawValue(p); }

QString errnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// --- keyring ---

std::optional<QString> keychainRead(const QString& account) {
  const platform::KeyringRead r = platform::keyring().read(account);
  if (r.status == KeyringStatus::notFound) return std::nullopt;
  if (r.status == KeyringStatus::failed) {
    qCInfo(lcTokenStore, "Keychain SecItemCopyMatching(%s) failed: %s", qUtf8Printable(account),
           qUtf8Printable(r.error.describe()));
    return std::nullopt;
  }
  const std::optional<QString> text = strictUtf8(r.secret);
  if (!text) return std::nullopt;
  return text->trimmed();
}

void keychainWrite(const QString& value, const QString& account) {
  platform::Keyring& keyring = platform::keyring();
  const QByteArray data = value.toUtf8();
  const platform::KeyringResult updated = keyring.update(account, data);
  if (updated.status == KeyringStatus::ok) return;
  if (updated.status == KeyringStatus::notFound) {
    const platform::KeyringResult added = keyring.add(account, data);
    if (added.status != KeyringStatus::ok)
      qCWarning(lcTokenStore, "Keychain SecItemAdd(%s) failed: %s", qUtf8Printable(account),
                qUtf8Printable(added.error.describe()));
    return;
  }
  const platform::KeyringResult deleted = keyring.remove(account);
  if (deleted.status == KeyringStatus::failed) {
    qCWarning(lcTokenStore,
              "Keychain SecItemUpdate=%s / SecItemDelete=%s for %s; falling back to file-only.",
              qUtf8Printable(updated.error.describe()), qUtf8Printable(deleted.error.describe()),
              qUtf8Printable(account));
    return;
  }
  const platform::KeyringResult added = keyring.add(account, data);
  if (added.status != KeyringStatus::ok)
    qCWarning(lcTokenStore, "Keychain SecItemAdd-after-delete(%s) failed: %s",
              qUtf8Printable(account), qUtf8Printable(added.error.describe()));
}

void keychainDelete(const QString& account) { platform::keyring().remove(account); }

// --- files ---

std::optional<QString> filePath(const QString& name) {
  const std::optional<QString> base = platform::userDataDirectory();
  if (!base) return std::nullopt;
  const QString folder = *base + u'/' + kFolder;
  const QByteArray native = QFile::encodeName(folder);
  struct stat st {};
  if (::lstat(native.constData(), &st) != 0 && errno == ENOENT) {
    // Created private from the start; the chmod undoes a restrictive umask. Errors are
    // left to the file operations that follow.
    if (::mkdir(native.constData(), 0700) == 0) ::chmod(native.constData(), 0700);
  }
  return folder + u'/' + name;
}

bool writeAll(int fd, const QByteArray& bytes) {
  const char* p = bytes.constData();
  qsizetype left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= n;
  }
  return true;
}

// Atomic replace. The temporary file is created 0600 (mkstemp), so the value is never
// readable by others, not even before the final chmod.
std::optional<QString> writeAtomically(const QString& path, const QByteArray& bytes) {
  const QByteArray target = QFile::encodeName(path);
  const qsizetype slash = target.lastIndexOf('/');
  QByteArray temp = target.left(slash + 1) + '.' + target.mid(slash + 1) + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    const int createError = errno;
    return QStringLiteral("Cannot create a file in %1: %2")
        .arg(QFile::decodeName(target.left(slash)), errnoText(createError));
  }
  int error = 0;
  if (!writeAll(fd, bytes) || ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) {
    ::unlink(temp.constData());
    return QStringLiteral("Cannot write %1: %2").arg(path, errnoText(error));
  }
  if (::rename(temp.constData(), target.constData()) != 0) {
    const int renameError = errno;
    ::unlink(temp.constData());
    return QStringLiteral("Cannot replace %1: %2").arg(path, errnoText(renameError));
  }
  if (::chmod(target.constData(), 0600) != 0)
    return QStringLiteral("Cannot set the permissions of %1: %2").arg(path, errnoText(errno));
  return std::nullopt;
}

void fileWrite(const QString& value, const QString& name) {
  const std::optional<QString> path = filePath(name);
  if (!path) return;
  if (const std::optional<QString> error = writeAtomically(*path, value.toUtf8()))
    qCWarning(lcTokenStore, "File save failed: %s", qUtf8Printable(*error));
}

std::optional<QString> fileRead(const QString& name) {
  const std::optional<QString> path = filePath(name);
  if (!path) return std::nullopt;
  QFile file(*path);
  if (!file.exists() || !file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return std::nullopt;
  const std::optional<QString> text = strictUtf8(bytes);
  if (!text) return std::nullopt;
  const QString trimmed = text->trimmed();
  if (trimmed.isEmpty()) return std::nullopt;
  return trimmed;
}

void fileDelete(const QString& name) {
  if (const std::optional<QString> path = filePath(name)) QFile::remove(*path);
}

// A bare Cursor token (no "=") becomes a cookie pair, and both copies are rewritten so
// the next read finds the pair.
QString normalizeSession(const QString& value, Provider p) {
  if (p != Provider::cursor || value.contains(u'=')) return value;
  const QString pair = cookieNames(Provider::cursor).first() + u'=' + value;
  keychainWrite(pair, accountOf(Provider::cursor));
  fileWrite(pair, fileOf(Provider::cursor));
  return pair;
}

}  // namespace

std::optional<QString> SessionStore::load(Provider p) {
  if (const std::optional<QString> v = keychainRead(accountOf(p)); v && !v->isEmpty())
    return normalizeSession(*v, p);

  if (const std::optional<QString> v = fileRead(fileOf(p))) {
    keychainWrite(*v, accountOf(p));
    return normalizeSession(*v, p);
  }

  if (p != Provider::cursor) return std::nullopt;

  if (const std::optional<QString> v = keychainRead(kLegacyAccount); v && !v->isEmpty()) {
    save(*v, Provider::cursor);
    keychainDelete(kLegacyAccount);
    return normalizeSession(*v, p);
  }

  if (const std::optional<QString> v = fileRead(kLegacyFile)) {
    save(*v, Provider::cursor);
    fileDelete(kLegacyFile);
    return normalizeSession(*v, p);
  }

  return std::nullopt;
}

void SessionStore::save(const QString& value, Provider p) {
  const QString v = value.trimmed();
  if (v.isEmpty()) return;
  keychainWrite(v, accountOf(p));
  fileWrite(v, fileOf(p));
}

void SessionStore::remove(Provider p) {
  keychainDelete(accountOf(p));
  fileDelete(fileOf(p));
}

}  // namespace qb
