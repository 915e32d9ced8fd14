#include "platform/data_paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <sys/stat.h>

namespace qb::platform {

std::optional<QString> userDataDirectory() {
  const QString dir = QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
  if (dir.isEmpty() || !dir.startsWith(u'/')) return std::nullopt;
  // Every poll's session load comes here: one look when nothing is missing.
  if (QFileInfo(dir).isDir()) return dir;
  // Missing folders are made private (as the XDG rules ask), whatever the umask; existing
  // ones are left as they are.
  QString prefix;
  for (const QString& part : dir.split(u'/', Qt::SkipEmptyParts)) {
    prefix += u'/' + part;
    const QByteArray native = QFile::encodeName(prefix);
    if (::mkdir(native.constData(), 0700) == 0) {
      ::chmod(native.constData(), 0700);
    } else if (errno != EEXIST) {
      return std::nullopt;
    }
  }
  return QFileInfo(dir).isDir() ? std::optional(dir) : std::nullopt;
}

}  // namespace qb::platform
