#pragma once

#include <QString>
#include <optional>

namespace qb::platform {

// The user's data folder (XDG_DATA_HOME, usually ~/.local/share), created when missing.
// Resolved on every call so a changed environment (a test's temporary home) is honoured.
// Nothing when there is no such folder and it cannot be created.
std::optional<QString> userDataDirectory();

}  // namespace qb::platform
