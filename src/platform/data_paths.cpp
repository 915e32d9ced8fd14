#include "platform/data_paths.h"

#include <QDir>
#include <QStandardPaths>

namespace qb::platform {

std::optional<QString> userDataDirectory() {
  const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (dir.isEmpty() || !QDir().mkpath(dir)) return std::nullopt;
  return dir;
}

}  // namespace qb::platform
