#pragma once

#include <QString>
#include <optional>

namespace qb {

// -1, 0 or 1: dot-separated numeric pieces compared position by position; a missing
// piece counts as 0, the part of a piece after "-" is ignored, an unreadable piece is 0.
int compareVersions(const QString& a, const QString& b);

// Whether a release is newer than the running build: by version, then by build number.
bool isNewer(const QString& version, const std::optional<QString>& build,
             const QString& currentVersion, const QString& currentBuild);

// "v1.2.3", or "v1.2.3 (45)" with a non-empty build.
QString displayVersion(const QString& version, const std::optional<QString>& build);

// An optional "+" or "-" then decimal digits only; anything else, or overflow, reads as 0.
qint64 readSignedDecimal(QStringView text);

}  // namespace qb
