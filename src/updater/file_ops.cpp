#include "updater/file_ops.h"

#include <QDir>
#include <QFile>
#include <QUuid>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

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

namespace {

void removeTree(const QByteArray& path, int depth) {
  struct stat st{};
  if (::lstat(path.constData(), &st) != 0) return;
  if (S_ISDIR(st.st_mode) && depth < 256) {
    ::chmod(path.constData(), 0700);
    const QStringList names = QDir(QFile::decodeName(path))
                                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) removeTree(path + '/' + QFile::encodeName(name), depth + 1);
    ::rmdir(path.constData());
  } else {
    ::unlink(path.constData());
  }
}

}  // namespace

void removeTree(const QString& path) { removeTree(QFile::encodeName(path), 0); }

void removeContentsExcept(const QString& directory, const QString& keep) {
  const QStringList names =
      QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  for (const QString& name : names)
    if (name != keep) removeTree(QFile::encodeName(directory + u'/' + name), 0);
}

QString uniqueName(const QString& prefix) {
  return prefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

}  // namespace qb
