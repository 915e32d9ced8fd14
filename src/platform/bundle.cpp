#include "platform/bundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/plist_reader.h"

namespace qb::platform {

QString bundleForExecutableDir(const QString& executableDir) {
  const QString bundle = QDir::cleanPath(executableDir + QStringLiteral("/../.."));
  if (QFileInfo(bundle).suffix() != QLatin1String("app")) return {};
  return bundle;
}

QString runningBundlePath() { return bundleForExecutableDir(QCoreApplication::applicationDirPath()); }

QString infoPlistPath(const QString& bundle) { return bundle + QStringLiteral("/Contents/Info.plist"); }

QVariantMap readInfoDictionary(const QString& bundle) {
  // A pipe or device there would block the reader.
  if (bundle.isEmpty() || !QFileInfo(infoPlistPath(bundle)).isFile()) return {};
  QFile file(infoPlistPath(bundle));
  if (!file.open(QIODevice::ReadOnly)) return {};
  // An Info.plist is a few kilobytes; refuse to slurp anything absurd.
  const QByteArray bytes = file.read(4 * 1024 * 1024);
  const auto value = parsePropertyList(bytes, nullptr);
  return value ? value->toMap() : QVariantMap();
}

QString updateKeyringPath(const QString& bundle) {
  return bundle + QStringLiteral("/Contents/Resources/update-keyring.gpg");
}

}  // namespace qb::platform
