// Temporary file-only store; replaced by the keyring-backed implementation.
#include "monitoring/session_store.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace qb {

namespace {
QString filePath(Provider p) {
  const QString dir =
      QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Vantelo");
  QDir().mkpath(dir);
  return dir + QStringLiteral("/session-token-") + rawValue(p);
}
}  // namespace

std::optional<QString> SessionStore::load(Provider p) {
  QFile f(filePath(p));
  if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
  const QString v = QString::fromUtf8(f.readAll()).trimmed();
  if (v.isEmpty()) return std::nullopt;
  return v;
}

void SessionStore::save(const QString& value, Provider p) {
  const QString v = value.trimmed();
  if (v.isEmpty()) return;
  QFile f(filePath(p));
  if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(v.toUtf8());
}

void SessionStore::remove(Provider p) { QFile::remove(filePath(p)); }

}  // namespace qb
