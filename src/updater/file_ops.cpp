#include "updater/file_ops.h"

#include <QDir>
#include <QFile>
#include <QUuid>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace qb {

UpdateStatus makeDirectories(const QString& path) {
  const QString clean = QDir::cleanPath(path);
  QString prefix;
  for (const QString& part : clean.split(u'/')) {
    prefix += part;
    if (!prefix.isEmpty()) {
      const QByteArray bytes = QFile::encodeName(prefix);
      struct stat st{};
      if (::mkdir(bytes.constData(), 0777) != 0 &&
          !(errno == EEXIST && ::stat(bytes.constData(), &st) == 0 && S_ISDIR(st.st_mode))) {
        const int error = errno == EEXIST ? ENOTDIR : errno;
        return UpdateFailure::platform(QStringLiteral("The folder \u201C%1\u201D couldn\u2019t be created: %2.")
                                           .arg(clean, QString::fromLocal8Bit(std::strerror(error))));
      }
    }
    prefix += u'/';
  }
  return std::monostate{};
}

QString uniqueName(const QString& prefix) {
  return prefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

}  // namespace qb
