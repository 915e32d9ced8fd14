#pragma once

#include <QHashFunctions>
#include <QString>
#include <QUrl>
#include <optional>

namespace qb {

// One release as the update server describes it.
struct UpdateInfo {
  QString version;
  std::optional<QString> buildNumber;
  std::optional<QString> notes;
  std::optional<QString> releaseId;
  QUrl downloadUrl;
  std::optional<QString> sha256;  // hexadecimal digest of the artifact, either letter case
  QString fileName;               // a bare file name (never a path)
  QString contentType;
  std::optional<qint64> sizeBytes;

  bool operator==(const UpdateInfo&) const = default;
};

size_t qHash(const UpdateInfo& info, size_t seed = 0) noexcept;

}  // namespace qb
