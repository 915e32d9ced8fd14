#pragma once

#include <QString>
#include <optional>

#include "providers/provider.h"

namespace qb {

// Each service's session value, kept in the keyring and as a file copy. Synchronous and
// never prompts. load/save/remove report nothing (failures are logged); the checked
// forms read back what they did, for the commands and windows that tell the user.
class SessionStore {
 public:
  // What a checked operation did: ok, or why not (a sentence for the user).
  struct Outcome {
    bool ok = false;
    QString reason;
    explicit operator bool() const { return ok; }
  };

  // Never empty when present. When both copies exist and differ, the newer wins and the
  // older is rewritten. May migrate legacy copies and normalise a bare Cursor token.
  static std::optional<QString> load(Provider p);
  // Trims; an empty value, or one with a control character, writes nothing. Keyring
  // first, then the file.
  static void save(const QString& value, Provider p);
  // Deletes the keyring item and the file (for Cursor also the legacy places).
  static void remove(Provider p);

  // Why `value` cannot be stored (blank, or a control character), or nothing.
  static std::optional<QString> refusal(const QString& value);
  // save(), then ok only when the file copy was written and the value loads back; on
  // failure both copies are as they were.
  static Outcome saveChecked(const QString& value, Provider p);
  // remove(), then ok only when no copy could be left behind and nothing loads; on
  // failure every copy is as it was. Also removes the service's leftover temporary files.
  static Outcome removeChecked(Provider p);
  // At start-up: temporary files of interrupted writes older than a minute.
  static void removeStaleLeftovers();
};

}  // namespace qb
