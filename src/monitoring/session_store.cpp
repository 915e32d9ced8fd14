#include "monitoring/session_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFile>
#include <QStringList>
#include <QThread>
#include <functional>

#include "common/text.h"
#include "monitoring/session_copies.h"
#include "platform/keyring.h"

namespace qb {

namespace {

using namespace session_copies;

const QString kLegacyAccount = QStringLiteral("WorkosCursorSessionToken");
const QString kLegacyFile = QStringLiteral("session-token");
const QString kLockFile = QStringLiteral(".migration.lock");

QString accountOf(Provider p) { return QStringLiteral("session-") + rawValue(p); }
QString fileOf(Provider p) { return QStringLiteral("session-token-") + rawValue(p); }

QString normalizedForm(const QString& value, Provider p) {
  if (p != Provider::cursor || value.contains(u'=')) return value;
  return cookieNames(Provider::cursor).first() + u'=' + value;
}

// A bare Cursor token (no "=") becomes a cookie pair, and both copies are rewritten so
// the next read finds the pair.
QString normalizeSession(const QString& value, Provider p) {
  const QString pair = normalizedForm(value, p);
  if (pair == value) return value;
  keyringWrite(pair, accountOf(p));
  fileWrite(pair, fileOf(p));
  return pair;
}

// The provider's own copies: the keyring's, else the file's; when both exist and differ,
// the newer (the file on a tie: every save writes it last) and the older is rewritten.
std::optional<QString> loadCurrent(Provider p) {
  const Copy key = keyringRead(accountOf(p));
  const Copy file = fileRead(fileOf(p));
  if (key.value && file.value && *key.value != *file.value) {
    if (file.modified >= key.modified) {
      keyringWrite(*file.value, accountOf(p));
      return normalizeSession(*file.value, p);
    }
    fileWrite(*key.value, fileOf(p));
    return normalizeSession(*key.value, p);
  }
  if (key.value) {
    // The file serves whenever the keyring cannot (locked, gone): it must not stay missing.
    if (!file.value) fileWrite(*key.value, fileOf(p));
    return normalizeSession(*key.value, p);
  }
  if (file.value) {
    keyringWrite(*file.value, accountOf(p));
    return normalizeSession(*file.value, p);
  }
  return std::nullopt;
}

// Serialises the legacy migration between processes, so that a second one never finds the
// legacy copies gone before the new ones exist. Waits at most two seconds.
class MigrationLock {
 public:
  MigrationLock() {
    const std::optional<QString> path = filePath(kLockFile);
    if (!path) return;
    fd_ = ::open(QFile::encodeName(*path).constData(),
                 O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    for (int tries = 0; fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0 && tries < 200; ++tries)
      QThread::msleep(10);
  }
  ~MigrationLock() {
    if (fd_ >= 0) ::close(fd_);  // releases the lock
  }
  MigrationLock(const MigrationLock&) = delete;
  MigrationLock& operator=(const MigrationLock&) = delete;

 private:
  int fd_ = -1;
};

// Both copies written, then read back: the file must hold the value (it serves whenever
// the keyring cannot) and the value must load. A failure puts the copies back as they were.
SessionStore::Outcome storeChecked(const QString& value, Provider p) {
  const Saved key = saveKeyring(accountOf(p)), file = saveFile(fileOf(p));
  const std::optional<QString> keyError = keyringWrite(value, accountOf(p));
  if (const std::optional<QString> fileError = fileWrite(value, fileOf(p))) {
    restore(key);
    return {false, *fileError};
  }
  if (loadCurrent(p) == normalizedForm(value, p)) return {true, {}};
  restore(key);
  restore(file);
  return {false, keyError.value_or(QStringLiteral("The stored session did not read back."))};
}

// The legacy copy moves to the new places; it is deleted only once the new copy loads back.
std::optional<QString> migrateLegacy(const std::optional<QString>& value,
                                     const std::function<void()>& deleteLegacy) {
  if (!value) return std::nullopt;
  if (storeChecked(*value, Provider::cursor)) {
    deleteLegacy();
  } else {
    qCWarning(lcTokenStore, "Kept the legacy Cursor copy: the new copy did not read back.");
  }
  return normalizedForm(*value, Provider::cursor);
}

}  // namespace

std::optional<QString> SessionStore::load(Provider p) {
  if (std::optional<QString> v = loadCurrent(p)) return v;
  if (p != Provider::cursor) return std::nullopt;

  const MigrationLock lock;
  // Another process may have migrated while this one waited.
  if (std::optional<QString> v = loadCurrent(p)) return v;
  if (auto v = migrateLegacy(keyringRead(kLegacyAccount).value, [] { keyringDelete(kLegacyAccount); }))
    return v;
  return migrateLegacy(fileRead(kLegacyFile).value, [] { fileDelete(kLegacyFile); });
}

std::optional<QString> SessionStore::refusal(const QString& value) {
  const QString v = value.trimmed();
  if (v.isEmpty()) return QStringLiteral("The session value is empty.");
  if (hasControlCharacter(v))
    return QStringLiteral("The session value holds a control character (such as a line break "
                          "inside it); paste one Cookie header line.");
  return std::nullopt;
}

void SessionStore::save(const QString& value, Provider p) {
  if (const std::optional<QString> why = refusal(value)) {
    if (!value.trimmed().isEmpty())
      qCWarning(lcTokenStore, "Refused to store a session value: it holds a control character.");
    return;
  }
  keyringWrite(value.trimmed(), accountOf(p));
  fileWrite(value.trimmed(), fileOf(p));
}

void SessionStore::remove(Provider p) {
  keyringDelete(accountOf(p));
  fileDelete(fileOf(p));
  // Left behind, a legacy copy would be migrated back by the next load.
  if (p == Provider::cursor) {
    keyringDelete(kLegacyAccount);
    fileDelete(kLegacyFile);
  }
}

SessionStore::Outcome SessionStore::saveChecked(const QString& value, Provider p) {
  if (const std::optional<QString> why = refusal(value)) return {false, *why};
  return storeChecked(value.trimmed(), p);
}

SessionStore::Outcome SessionStore::removeChecked(Provider p) {
  // Keyring items first (a locked keyring refuses), then the files; the first copy that
  // stays puts back those already gone, so a failed sign-out changes nothing.
  QList<Saved> copies{saveKeyring(accountOf(p))};
  if (p == Provider::cursor) copies << saveKeyring(kLegacyAccount) << saveFile(kLegacyFile);
  copies << saveFile(fileOf(p));
  for (qsizetype i = 0; i < copies.size(); ++i) {
    const Saved& c = copies[i];
    if (const std::optional<QString> why = c.keyring ? keyringDelete(c.name) : fileDelete(c.name)) {
      while (i-- > 0) restore(copies[i]);
      return {false, *why};
    }
  }
  removeLeftovers(rawValue(p), 0);
  if (load(p)) return {false, QStringLiteral("A stored session still loads.")};
  return {true, {}};
}

void SessionStore::removeStaleLeftovers() { removeLeftovers(QStringLiteral("*"), 60); }

}  // namespace qb
