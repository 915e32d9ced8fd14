#pragma once

#include <QString>
#include <optional>

#include "providers/provider.h"

namespace qb {

// Each service's session value, kept in the keyring and as a file copy. Synchronous,
// never prompts, reports nothing to callers (failures are only logged).
class SessionStore {
 public:
  // Never empty when present. May migrate legacy copies and normalise a bare Cursor token.
  static std::optional<QString> load(Provider p);
  // Trims; an empty value writes nothing. Keyring first, then the file.
  static void save(const QString& value, Provider p);
  // Deletes the keyring item, then the file. Legacy places are left alone.
  static void remove(Provider p);
};

}  // namespace qb
