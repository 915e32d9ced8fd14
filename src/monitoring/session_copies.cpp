#include "monitoring/session_copies.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>

#include "common/text.h"
#include "platform/data_paths.h"
#include "platform/keyring.h"

namespace qb {

Q_LOGGING_CATEGORY(lcTokenStore, "com.orvane.vantelo.tokenstore")

namespace session_copies {

using platform::KeyringStatus;

namespace {

const QString kFolder = QStringLiteral("Vantelo");
constexpr qint64 kMaxFileBytes = 64 * 1024;

QString errnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// A usable value: trimmed, not blank, and no control character (which would end the
// Cookie header and start another).
std::optional<QString> usable(const std::optional<QString>& text, const QString& where) {
  if (!text) return std::nullopt;
  const QString trimmed = text->trimmed();
  if (trimmed.isEmpty()) return std::nullopt;
  if (hasControlCharacter(trimmed)) {
    qCInfo(lcTokenStore, "Ignored the value of %s: it holds a control character.",
           qUtf8Printable(where));
    return std::nullopt;
  }
  return trimmed;
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

}  // namespace

// --- keyring ---

Copy keyringRead(const QString& account) {
  if (platform::keyringSwitchedOff()) return {};
  const platform::KeyringRead r = platform::keyring().read(account);
  if (r.status == KeyringStatus::notFound) return {};
  if (r.status == KeyringStatus::failed) {
    qCInfo(lcTokenStore, "Keychain SecItemCopyMatching(%s) failed: %s", qUtf8Printable(account),
           qUtf8Printable(r.error.describe()));
    return {};
  }
  return {usable(strictUtf8(r.secret), account), r.modified};
}

// Nothing when written; otherwise the failure, already logged.
std::optional<QString> keyringWrite(const QString& value, const QString& account) {
  if (platform::keyringSwitchedOff()) return std::nullopt;
  platform::Keyring& keyring = platform::keyring();
  const QByteArray data = value.toUtf8();
  const platform::KeyringResult updated = keyring.update(account, data);
  if (updated.status == KeyringStatus::ok) return std::nullopt;
  if (updated.status == KeyringStatus::notFound) {
    const platform::KeyringResult added = keyring.add(account, data);
    if (added.status == KeyringStatus::ok) return std::nullopt;
    qCWarning(lcTokenStore, "Keychain SecItemAdd(%s) failed: %s", qUtf8Printable(account),
              qUtf8Printable(added.error.describe()));
    return added.error.describe();
  }
  const platform::KeyringResult deleted = keyring.remove(account);
  if (deleted.status == KeyringStatus::failed) {
    qCWarning(lcTokenStore,
              "Keychain SecItemUpdate=%s / SecItemDelete=%s for %s; falling back to file-only.",
              qUtf8Printable(updated.error.describe()), qUtf8Printable(deleted.error.describe()),
              qUtf8Printable(account));
    return updated.error.describe();
  }
  const platform::KeyringResult added = keyring.add(account, data);
  if (added.status == KeyringStatus::ok) return std::nullopt;
  qCWarning(lcTokenStore, "Keychain SecItemAdd-after-delete(%s) failed: %s",
            qUtf8Printable(account), qUtf8Printable(added.error.describe()));
  return added.error.describe();
}

// Nothing when the item is gone or no keyring exists to hold one; otherwise why not.
std::optional<QString> keyringDelete(const QString& account) {
  if (platform::keyringSwitchedOff()) return std::nullopt;
  const platform::KeyringResult r = platform::keyring().remove(account);
  if (r.status != KeyringStatus::failed || r.error.noService) return std::nullopt;
  return QStringLiteral("The keyring did not delete the session (%1).").arg(r.error.describe());
}

// --- files ---

std::optional<QString> folderPath() {
  const std::optional<QString> base = platform::userDataDirectory();
  if (!base) return std::nullopt;
  const QString folder = *base + u'/' + kFolder;
  const QByteArray native = QFile::encodeName(folder);
  struct stat st {};
  if (::lstat(native.constData(), &st) != 0 && errno == ENOENT) {
    // Created private from the start; the chmod undoes a restrictive umask. Errors are
    // left to the file operations that follow.
    if (::mkdir(native.constData(), 0700) == 0) ::chmod(native.constData(), 0700);
  } else if (S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 07777) != 0700) {
    // An older or hand-made folder: the sessions in it are nobody else's business.
    ::chmod(native.constData(), 0700);
  }
  return folder;
}

std::optional<QString> filePath(const QString& name) {
  const std::optional<QString> folder = folderPath();
  if (!folder) return std::nullopt;
  return *folder + u'/' + name;
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

// Nothing when written or when there is no data folder at all; otherwise the failure.
std::optional<QString> fileWrite(const QString& value, const QString& name) {
  const std::optional<QString> path = filePath(name);
  if (!path) return std::nullopt;
  std::optional<QString> error = writeAtomically(*path, value.toUtf8());
  // Once per cause: a full disk would otherwise say it at every poll's restoring load.
  static QString lastSaid;
  if (error && *error != lastSaid) qCWarning(lcTokenStore, "File save failed: %s", qUtf8Printable(*error));
  lastSaid = error.value_or(QString());
  return error;
}

// Only a regular file of at most 64 KiB is read: a FIFO or a device there would block
// or flood the caller.
Copy fileRead(const QString& name) {
  const std::optional<QString> path = filePath(name);
  if (!path) return {};
  const int fd = ::open(QFile::encodeName(*path).constData(),
                        O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return {};
  Copy copy;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileBytes) {
    qCInfo(lcTokenStore, "Ignored %s: not a regular file of at most 64 KiB.", qUtf8Printable(name));
  } else {
    // One byte more than the size, to notice a file that grew meanwhile.
    QByteArray bytes(static_cast<qsizetype>(st.st_size) + 1, Qt::Uninitialized);
    qsizetype used = 0;
    bool failed = false;
    while (used < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + used, static_cast<size_t>(bytes.size() - used));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) failed = true;
      if (n <= 0) break;
      used += n;
    }
    if (!failed && used <= kMaxFileBytes) {
      bytes.truncate(used);
      copy = {usable(strictUtf8(bytes), name), static_cast<qint64>(st.st_mtim.tv_sec)};
    }
  }
  ::close(fd);
  return copy;
}

// Nothing when no file is left; otherwise why it is still there.
std::optional<QString> fileDelete(const QString& name) {
  const std::optional<QString> path = filePath(name);
  if (!path) return std::nullopt;
  const QByteArray native = QFile::encodeName(*path);
  if (::unlink(native.constData()) == 0 || errno == ENOENT) return std::nullopt;
  return QStringLiteral("Cannot remove %1: %2").arg(*path, errnoText(errno));
}

// Temporary copies a kill left between their write and their rename: each may hold a
// session. `service` is a raw value or "*"; only those older than `minAgeSeconds` go.
void removeLeftovers(const QString& service, int minAgeSeconds) {
  const std::optional<QString> folder = folderPath();
  if (!folder) return;
  static const QRegularExpression name(QStringLiteral("^\\.session-token-[a-z]+\\.[A-Za-z0-9]{6}$"));
  const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-minAgeSeconds);
  QDirIterator it(*folder, {QStringLiteral(".session-token-%1.*").arg(service)}, QDir::Files | QDir::Hidden);
  while (it.hasNext()) {
    it.next();
    if (name.match(it.fileName()).hasMatch() && it.fileInfo().lastModified() <= before)
      ::unlink(QFile::encodeName(it.filePath()).constData());
  }
}

Saved saveKeyring(const QString& account) {
  if (platform::keyringSwitchedOff()) return {true, account, std::nullopt, false};
  const platform::KeyringRead r = platform::keyring().read(account);
  if (r.status == KeyringStatus::ok) return {true, account, r.secret};
  return {true, account, std::nullopt, r.status == KeyringStatus::notFound};
}

Saved saveFile(const QString& name) {
  Saved saved{false, name, std::nullopt};
  const std::optional<QString> path = filePath(name);
  if (!path) return saved;
  QFile f(*path);
  if (QFileInfo(f).isFile() && f.size() <= kMaxFileBytes && f.open(QIODevice::ReadOnly)) {
    saved.bytes = f.readAll();
  } else {
    saved.known = !QFileInfo::exists(*path);  // something that cannot be put back stays unknown
  }
  return saved;
}

void restore(const Saved& saved) {
  if (!saved.known) return;
  if (saved.keyring && saved.bytes) {
    // Every item of the account takes the old value back, as a write would set it; a
    // replacing add alone leaves an item with other attributes holding the new one.
    if (platform::keyring().update(saved.name, *saved.bytes).status == KeyringStatus::notFound)
      platform::keyring().add(saved.name, *saved.bytes);
  } else if (saved.keyring) {
    platform::keyring().remove(saved.name);
  } else if (const std::optional<QString> path = filePath(saved.name); path && saved.bytes) {
    writeAtomically(*path, *saved.bytes);
  } else if (path) {
    ::unlink(QFile::encodeName(*path).constData());
  }
}

}  // namespace session_copies
}  // namespace qb
