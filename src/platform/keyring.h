#pragma once

#include <QByteArray>
#include <QString>

namespace qb::platform {

// Why a keyring call failed, as the backend reported it. Never carries a secret.
struct KeyringError {
  QString domain;   // e.g. "g-io-error-quark", "secret-error"
  int code = 0;
  QString message;
  QString remote;   // D-Bus error name when the service answered with one
  // No keyring is there at all (no bus, no Secret Service): nothing can be stored in it.
  bool noService = false;

  // One line for the log: "domain:code message [remote]".
  QString describe() const;
};

enum class KeyringStatus { ok, notFound, failed };

struct KeyringResult {
  KeyringStatus status = KeyringStatus::failed;
  KeyringError error;  // set when status is failed
};

struct KeyringRead {
  KeyringStatus status = KeyringStatus::failed;
  QByteArray secret;   // set when status is ok
  qint64 modified = 0;  // when status is ok: the item's last change, seconds since the epoch
  KeyringError error;  // set when status is failed
};

// One generic secret per account name, all under the service "com.orvane.vantelo".
// Calls are synchronous, never prompt, and fail quickly when no keyring is reachable
// or the keyring is locked.
class Keyring {
 public:
  virtual ~Keyring() = default;

  // notFound when no item exists for the account.
  virtual KeyringRead read(const QString& account) = 0;
  // Replaces the secret of the existing item; notFound when there is none.
  virtual KeyringResult update(const QString& account, const QByteArray& secret) = 0;
  // Stores a new item (an existing one for the account is replaced).
  virtual KeyringResult add(const QString& account, const QByteArray& secret) = 0;
  // Deletes every item of the account; notFound when there was none.
  virtual KeyringResult remove(const QString& account) = 0;
};

// The keyring the app uses: the test double when one is installed, else the system's.
Keyring& keyring();

// The Secret Service keyring (libsecret), whatever is installed.
Keyring& systemKeyring();

// QUOTABAR_KEYRING=off (the demo's profile): the keyring is left out, the file copy serves.
bool keyringSwitchedOff();

// Tests install a double (nullptr restores the system keyring); returns the previous one.
Keyring* installKeyringForTesting(Keyring* keyring);

}  // namespace qb::platform
