#include "updater/bundle_manifest.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <sys/stat.h>
#include <unistd.h>

#include "updater/sha256.h"

namespace qb {

namespace {

bool isHexDigest(const QByteArray& s) {
  if (s.size() != 64) return false;
  for (const char c : s)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

bool climbsOrAbsolute(const QByteArray& path) {
  if (path.isEmpty() || path.startsWith('/')) return true;
  for (const QByteArray& part : path.split('/'))
    if (part.isEmpty() || part == "." || part == "..") return true;
  return false;
}

std::optional<QByteArray> readLink(const QByteArray& path) {
  QByteArray target(4096, Qt::Uninitialized);
  const ssize_t n = ::readlink(path.constData(), target.data(), size_t(target.size()));
  if (n < 0 || n >= target.size()) return std::nullopt;
  target.truncate(n);
  return target;
}

}  // namespace

std::optional<Manifest> parseManifest(const QByteArray& text, QString* why) {
  Manifest manifest;
  if (text.isEmpty()) {
    *why = QStringLiteral("the manifest is empty");
    return std::nullopt;
  }
  if (!text.endsWith('\n')) {
    *why = QStringLiteral("the manifest does not end with a line break");
    return std::nullopt;
  }
  QByteArray previous;
  const QList<QByteArray> lines = text.left(text.size() - 1).split('\n');
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QByteArray& line = lines[i];
    // "T MODE <64>  path"
    ManifestEntry entry;
    entry.type = line.isEmpty() ? '\0' : line.at(0);
    bool modeOk = false;
    entry.mode = line.mid(2, 4).toInt(&modeOk, 8);
    modeOk = modeOk && line.size() > 6 && line.mid(2, 4).size() == 4 && line.at(1) == ' ' && line.at(6) == ' ';
    const QByteArray digest = line.mid(7, 64);
    const QByteArray path = line.mid(73);
    bool valid = line.size() >= 74 && modeOk && line.mid(71, 2) == "  " && !climbsOrAbsolute(path) &&
                 !path.startsWith(QByteArray(kCodeSignatureDir) + '/') && path != kCodeSignatureDir;
    if (valid) {
      switch (entry.type) {
        case 'f':
          valid = isHexDigest(digest) && (entry.mode & ~0755) == 0;
          entry.digest = digest;
          break;
        case 'l':
          valid = isHexDigest(digest) && entry.mode == 0777;
          entry.digest = digest;
          break;
        case 'd':
          valid = digest == QByteArray(64, '-') && (entry.mode & ~0755) == 0 && (entry.mode & 0700) == 0700;
          break;
        default:
          valid = false;
      }
    }
    if (!valid) {
      *why = QStringLiteral("manifest line %1 is malformed").arg(i + 1);
      return std::nullopt;
    }
    if (i > 0 && !(previous < path)) {
      *why = QStringLiteral("manifest line %1 is out of order").arg(i + 1);
      return std::nullopt;
    }
    previous = path;
    manifest.insert(path, entry);
  }
  return manifest;
}

bool linkStaysInside(const QByteArray& linkPath, const QByteArray& target) {
  if (target.isEmpty() || target.startsWith('/')) return false;
  QList<QByteArray> stack = linkPath.split('/');
  stack.removeLast();  // the link's own name
  for (const QByteArray& part : target.split('/')) {
    if (part.isEmpty() || part == ".") continue;
    if (part == "..") {
      if (stack.isEmpty()) return false;
      stack.removeLast();
    } else {
      stack.append(part);
    }
  }
  return true;
}

std::optional<Manifest> scanBundle(const QString& bundlePath, QString* why) {
  const QString bundle = QDir::cleanPath(bundlePath);
  auto refuse = [why](const QString& reason) -> std::optional<Manifest> {
    *why = reason;
    return std::nullopt;
  };
  struct stat st{};
  const QByteArray rootBytes = QFile::encodeName(bundle);
  if (::lstat(rootBytes.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
    return refuse(QStringLiteral("the bundle is not a folder"));
  const QString canonicalRoot = QFileInfo(bundle).canonicalFilePath();
  const QString signatureDir = QString::fromLatin1(kCodeSignatureDir);

  Manifest manifest;
  QDirIterator it(bundle, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    const QString relative = path.mid(bundle.size() + 1);
    const QByteArray rel = QFile::encodeName(relative);
    const QByteArray full = QFile::encodeName(path);
    if (rel.contains('\n')) return refuse(QStringLiteral("a name holds a line break"));
    if (::lstat(full.constData(), &st) != 0) return refuse(QStringLiteral("%1 vanished").arg(relative));

    if (relative == signatureDir) {
      if (!S_ISDIR(st.st_mode)) return refuse(QStringLiteral("%1 is not a folder").arg(relative));
      continue;
    }
    if (relative.startsWith(signatureDir + u'/')) {
      // Only the manifest and its signature, both plain files.
      if ((relative != QLatin1String(kCodeResources) && relative != QLatin1String(kCodeResourcesSig)) ||
          !S_ISREG(st.st_mode))
        return refuse(QStringLiteral("%1 is not listed").arg(relative));
      continue;
    }
    const int mode = int(st.st_mode & 07777);
    if (S_ISDIR(st.st_mode)) {
      manifest.insert(rel, {'d', mode, {}});
      continue;
    }
    if (S_ISREG(st.st_mode)) {
      QString error;
      const auto digest = Sha256::hexOfFile(path, &error);
      if (!digest) return refuse(QStringLiteral("%1 cannot be read: %2").arg(relative, error));
      manifest.insert(rel, {'f', mode, digest->toLatin1()});
      continue;
    }
    if (S_ISLNK(st.st_mode)) {
      const auto target = readLink(full);
      if (!target) return refuse(QStringLiteral("the link %1 cannot be read").arg(relative));
      // Lexically inside, and also once every link on the way is resolved.
      const QString resolved = QFileInfo(path).canonicalFilePath();
      if (!linkStaysInside(rel, *target) ||
          (!resolved.isEmpty() && resolved != canonicalRoot &&
           !resolved.startsWith(canonicalRoot + u'/')))
        return refuse(QStringLiteral("the link %1 leads outside the bundle").arg(relative));
      manifest.insert(rel, {'l', mode, Sha256::hexOf(*target).toLatin1()});
      continue;
    }
    return refuse(QStringLiteral("%1 is not a file, folder or link").arg(relative));
  }
  return manifest;
}

bool manifestMatches(const Manifest& signedManifest, const Manifest& actual, QString* why) {
  for (auto i = signedManifest.cbegin(); i != signedManifest.cend(); ++i) {
    const QString name = QFile::decodeName(i.key());
    const auto found = actual.constFind(i.key());
    if (found == actual.cend()) {
      *why = QStringLiteral("%1 is missing").arg(name);
      return false;
    }
    if (found->type != i->type) {
      *why = QStringLiteral("%1 is not of its signed type").arg(name);
      return false;
    }
    if (found->digest != i->digest) {
      *why = QStringLiteral("%1 was modified").arg(name);
      return false;
    }
    if (i->type != 'l' && (found->mode & 0700) != (i->mode & 0700)) {
      *why = QStringLiteral("%1 has other permissions than signed").arg(name);
      return false;
    }
  }
  for (auto i = actual.cbegin(); i != actual.cend(); ++i) {
    if (!signedManifest.contains(i.key())) {
      *why = QStringLiteral("%1 is not listed").arg(QFile::decodeName(i.key()));
      return false;
    }
  }
  return true;
}

bool applyManifestModes(const QString& bundle, const Manifest& manifest, QString* why) {
  for (auto i = manifest.cbegin(); i != manifest.cend(); ++i) {
    if (i->type == 'l') continue;
    const QByteArray path = QFile::encodeName(bundle) + '/' + i.key();
    if (::chmod(path.constData(), mode_t(i->mode)) != 0) {
      *why = QStringLiteral("the permissions of %1 cannot be set").arg(QFile::decodeName(i.key()));
      return false;
    }
  }
  return true;
}

}  // namespace qb
