#pragma once

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>
#include <optional>

namespace qb {

Q_DECLARE_LOGGING_CATEGORY(lcTokenStore)

// The two copies of a session the store keeps, each read, written and deleted on its own:
// an item in the keyring and a file in the data folder. Used by the session store only.
namespace session_copies {

// One stored copy: its value (trimmed, non-empty) and when it last changed.
struct Copy {
  std::optional<QString> value;
  qint64 modified = 0;  // seconds since the epoch
};

Copy keyringRead(const QString& account);
// Nothing when written; otherwise the failure, already logged.
std::optional<QString> keyringWrite(const QString& value, const QString& account);
// Nothing when the item is gone or no keyring exists to hold one; otherwise why not.
std::optional<QString> keyringDelete(const QString& account);

// The data folder, made private (0700) on the way; nothing without a data folder at all.
std::optional<QString> folderPath();
std::optional<QString> filePath(const QString& name);
std::optional<QString> writeAtomically(const QString& path, const QByteArray& bytes);
std::optional<QString> fileWrite(const QString& value, const QString& name);
Copy fileRead(const QString& name);
std::optional<QString> fileDelete(const QString& name);
void removeLeftovers(const QString& service, int minAgeSeconds);

// One stored copy as it was before a change, to put back when the change fails halfway.
struct Saved {
  bool keyring = false;  // else a file
  QString name;
  std::optional<QByteArray> bytes;  // nothing: there was none
  bool known = true;                // false: the keyring could not say
};

Saved saveKeyring(const QString& account);
Saved saveFile(const QString& name);
void restore(const Saved& saved);

}  // namespace session_copies
}  // namespace qb
