#include "platform/color_scheme.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

namespace qb::platform {

std::optional<bool> darkColorScheme() {
  if (!qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(QLatin1String("KDE"), Qt::CaseInsensitive))
    return std::nullopt;
  // Plasma writes the chosen scheme's colours there; without the file it is Breeze, light.
  const QString path = QStandardPaths::locate(QStandardPaths::GenericConfigLocation, QStringLiteral("kdeglobals"));
  if (path.isEmpty()) return false;
  // Read only a plain file of a sane size: a FIFO or a huge file there must not hold start-up.
  const QFileInfo file(path);
  if (!file.isFile() || file.size() > (1 << 20)) return false;
  const QStringList rgb =
      QSettings(path, QSettings::IniFormat).value(QStringLiteral("Colors:Window/BackgroundNormal")).toStringList();
  if (rgb.size() < 3) return false;
  return 0.299 * rgb[0].toInt() + 0.587 * rgb[1].toInt() + 0.114 * rgb[2].toInt() < 128;
}

}  // namespace qb::platform
