#pragma once

#include <QString>

#include "updater/updater_error.h"

namespace qb {

// Creates a folder with its missing parents; the platform's reason on failure.
UpdateStatus makeDirectories(const QString& path);

// Removes everything inside `directory` but the entry named `keep`; folders without
// write permission (as an archive may unpack them) are opened up first.
void removeContentsExcept(const QString& directory, const QString& keep);

// Removes a file, link or folder with everything in it; links are removed, never followed.
void removeTree(const QString& path);

// "QuotabarUpdate-" / "QuotabarRelauncher-" + a new UUID in its 36-character form.
QString uniqueName(const QString& prefix);

}  // namespace qb
