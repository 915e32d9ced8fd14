#include "platform/settings.h"

#include <QLoggingCategory>
#include <QSet>
#include <QStandardPaths>

namespace qb::platform {

std::unique_ptr<QSettings> settings() {
  // Resolved on every call so a test's temporary XDG_CONFIG_HOME is honoured.
  const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                       QStringLiteral("/Quotabar/Quotabar.ini");
  return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

void saveSettings(QSettings& s, const char* what) {
  s.sync();
  static QSet<QString> said;
  if (s.status() == QSettings::NoError || said.contains(s.fileName())) return;
  said.insert(s.fileName());
  static const QLoggingCategory lcSettings("com.orvane.quotabar.settings");
  qCWarning(lcSettings, "Couldn't save %s to %s (is the disk full or the folder read-only?); it may be "
            "forgotten.", what, qUtf8Printable(s.fileName()));
}

}  // namespace qb::platform
