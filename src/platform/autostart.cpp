#include "platform/autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include "common/text.h"

namespace qb::platform {

namespace {
// A Desktop Entry string escapes its backslashes; Exec then quotes its argument, escaping
// these four inside the quotes (the string escape applies to the result), and doubles '%'
// so no field code is read.
QString escapeString(const QString& value) { return QString(value).replace(u'\\', QStringLiteral("\\\\")); }

QString quoteExec(const QString& path) {
  QString q = path;
  for (const char* c : {"\\", "\"", "`", "$"}) q.replace(QLatin1String(c), u'\\' + QLatin1String(c));
  return escapeString(u'"' + q + u'"').replace(u'%', QStringLiteral("%%"));
}
}  // namespace

QString autostartEntryPath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/autostart/com.orvane.quotabar.desktop");
}

QString autostartEntry(const QString& executable) {
  return QStringLiteral(
             "[Desktop Entry]\n"
             "Type=Application\n"
             "Name=Quotabar\n"
             "Comment=AI coding plan usage in the tray\n"
             "Exec=%1\n"
             "TryExec=%2\n"
             "Icon=quotabar\n"
             "Terminal=false\n"
             "X-GNOME-Autostart-enabled=true\n"
             "X-GNOME-Autostart-Delay=3\n"
             "X-KDE-autostart-after=panel\n"
             "X-LXQt-Need-Tray=true\n"
             "X-MATE-Autostart-Delay=3\n")
      .arg(quoteExec(executable), escapeString(executable));
}

bool autostartEnabled() { return QFileInfo(autostartEntryPath()).isFile(); }

bool setAutostartEnabled(bool enabled, const QString& executable) {
  const QString path = autostartEntryPath();
  if (!enabled) {
    QFile::remove(path);
    return !QFileInfo::exists(path);
  }
  // A line break would end the key and start another (Hidden=true); no escape is read
  // back the same by every desktop.
  if (hasControlCharacter(executable)) return false;
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(autostartEntry(executable).toUtf8());
  if (!file.commit()) return false;
  QFile back(path);
  return back.open(QIODevice::ReadOnly) && back.readAll() == autostartEntry(executable).toUtf8();
}

}  // namespace qb::platform
