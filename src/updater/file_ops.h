#pragma once

#include <QString>

#include "updater/updater_error.h"

namespace qb {

// Creates a folder with its missing parents; the platform's reason on failure.
UpdateStatus makeDirectories(const QString& path);

// "QuotabarUpdate-" / "QuotabarRelauncher-" + a new UUID in its 36-character form.
QString uniqueName(const QString& prefix);

}  // namespace qb
