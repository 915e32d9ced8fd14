#include "platform/settings.h"

#include <QStandardPaths>

namespace qb::platform {

std::unique_ptr<QSettings> settings() {
  // Resolved on every call so a test's temporary XDG_CONFIG_HOME is honoured.
  const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                       QStringLiteral("/Quotabar/Quotabar.ini");
  return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

}  // namespace qb::platform
