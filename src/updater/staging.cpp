#include "updater/staging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <sys/stat.h>

#include "platform/bundle.h"
#include "platform/plist_reader.h"
#include "platform/process_runner.h"
#include "providers/text.h"
#include "updater/bundle_manifest.h"
#include "updater/file_ops.h"

Q_LOGGING_CATEGORY(lcStaging, "com.orvane.vantelo.updater.staging", QtWarningMsg)

namespace qb {

namespace {

const QString kSignatureDetail = QStringLiteral("codesign --verify failed for staged bundle");

UpdateResult<QString> run(const platform::CommandLine& line) {
  return runTool(line.program, line.arguments);
}

bool hasAppExtension(const QString& name) { return QFileInfo(name).suffix() == QLatin1String("app"); }

// Sorted by name so the choice among several candidates does not depend on the file system.
QStringList entries(const QString& directory) {
  return QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                       QDir::NoDotAndDotDot,
                                   QDir::Name);
}

std::optional<QString> firstAppBelow(const QString& directory, int depth) {
  if (depth > 64) return std::nullopt;
  for (const QString& name : entries(directory)) {
    const QString path = directory + u'/' + name;
    if (hasAppExtension(name)) return path;
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink()) {
      if (auto found = firstAppBelow(path, depth + 1)) return found;
    }
  }
  return std::nullopt;
}

bool isRegularFile(const QString& path) {
  struct stat st{};
  return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

// The signature scheme of this system: gpgv over the manifest, then the manifest itself.
bool signatureHolds(const StagingContext& context, const QString& bundle, QString* why) {
  const platform::ToolTable& tools = *context.tools;
  if (tools.signature == platform::SignatureScheme::codesign) {
    const auto checked = run(platform::codesignCommand(tools, bundle));
    if (!checked) *why = checked.error().description();
    return checked.ok();
  }
  const QString keyring = platform::updateKeyringPath(context.runningBundle);
  const QString manifestPath = bundle + u'/' + QLatin1String(kCodeResources);
  const QString signaturePath = bundle + u'/' + QLatin1String(kCodeResourcesSig);
  if (context.runningBundle.isEmpty() || !isRegularFile(keyring)) {
    *why = QStringLiteral("no update keyring at %1").arg(keyring);
    return false;
  }
  if (!isRegularFile(manifestPath) || !isRegularFile(signaturePath)) {
    *why = QStringLiteral("the bundle is not signed");
    return false;
  }
  const auto verified = run(platform::gpgvCommand(tools, keyring, signaturePath, manifestPath));
  if (!verified) {
    *why = verified.error().description();
    return false;
  }
  QFile file(manifestPath);
  if (!file.open(QIODevice::ReadOnly)) {
    *why = file.errorString();
    return false;
  }
  const auto signedManifest = parseManifest(file.readAll(), why);
  if (!signedManifest) return false;
  const auto actual = scanBundle(bundle, why);
  return actual && manifestMatches(*signedManifest, *actual, why);
}

}  // namespace

UpdateResult<QString> runTool(const QString& path, const QStringList& arguments) {
  const platform::ProcessOutcome outcome = platform::runProcess(path, arguments);
  if (!outcome.started) return UpdateFailure::platform(outcome.startError);
  if (outcome.exitStatus == 0) return strictUtf8(outcome.standardOutput).value_or(QString());
  const QString error = strictUtf8(outcome.standardError).value_or(QString()).trimmed();
  return UpdateFailure(UpdaterError::installFailed(
      path + QStringLiteral(" exited ") + QString::number(outcome.exitStatus) +
      QStringLiteral(": ") + error));
}

UpdateResult<QString> findAppBundle(const QString& directory) {
  for (const QString& name : entries(directory)) {
    if (hasAppExtension(name)) return directory + u'/' + name;
  }
  if (auto found = firstAppBelow(directory, 0)) return *found;
  return UpdateFailure(
      UpdaterError::installFailed(QStringLiteral("No .app bundle found inside the downloaded archive.")));
}

UpdateResult<QString> stageArtifact(const StagingContext& context, const QString& artifact,
                                    const QString& contentType, const QString& workDirectory) {
  const QString name = QFileInfo(artifact).fileName().toLower();
  const QString type = contentType.toLower();
  if (name.endsWith(QLatin1String(".zip")) || type.contains(QLatin1String("zip"))) {
    const QString unpack = workDirectory + QStringLiteral("/unpack");
    if (auto made = makeDirectories(unpack); !made) return made.error();
    if (auto unzipped = run(platform::unzipCommand(*context.tools, artifact, unpack)); !unzipped)
      return unzipped.error();
    return findAppBundle(unpack);
  }
  if (name.endsWith(QLatin1String(".dmg")) || type.contains(QLatin1String("dmg")) ||
      type.contains(QLatin1String("octet-stream")))
    return stageFromDiskImage(context, artifact, workDirectory);
  return UpdateFailure(UpdaterError::unsupportedArtifact(contentType));
}

UpdateResult<QString> stageFromDiskImage(const StagingContext& context, const QString& image,
                                         const QString& workDirectory) {
  const QString mount = workDirectory + u'/' + uniqueName(QStringLiteral("mount-"));
  if (auto made = makeDirectories(mount); !made) return made.error();
  if (auto attached = run(platform::attachCommand(*context.tools, image, mount)); !attached)
    return attached.error();

  // From here on the image is always detached, whatever fails.
  const auto bundle = findAppBundle(mount);
  if (!bundle) {
    detachDiskImage(context, mount);
    return bundle.error();
  }
  const QString destination = workDirectory + u'/' + QFileInfo(bundle.value()).fileName();
  const QFileInfo existing(destination);
  if (existing.exists() || existing.isSymLink()) {
    const bool removed = existing.isDir() && !existing.isSymLink()
                             ? QDir(destination).removeRecursively()
                             : QFile::remove(destination);
    if (!removed) {
      detachDiskImage(context, mount);
      return UpdateFailure::platform(
          QStringLiteral("\u201C%1\u201D couldn\u2019t be removed.").arg(destination));
    }
  }
  if (auto copied = run(platform::copyCommand(*context.tools, bundle.value(), destination)); !copied) {
    detachDiskImage(context, mount);
    return copied.error();
  }
  detachDiskImage(context, mount);
  return destination;
}

void detachDiskImage(const StagingContext& context, const QString& mountPoint) {
  if (context.tools->detach.program.isEmpty()) {
    QDir(mountPoint).removeRecursively();
    return;
  }
  (void)run(platform::detachCommand(*context.tools, mountPoint));
}

UpdateStatus verifyStagedBundle(const StagingContext& context, const QString& bundle) {
  const QString plistPath = platform::infoPlistPath(bundle);
  QFile file(plistPath);
  if (!file.open(QIODevice::ReadOnly))
    return UpdateFailure::platform(QStringLiteral("The file \u201CInfo.plist\u201D couldn\u2019t be opened: %1.")
                                       .arg(file.errorString()));
  QString parseError;
  const auto plist = platform::parsePropertyList(file.read(4 * 1024 * 1024), &parseError);
  if (!plist) return UpdateFailure::platform(parseError);

  std::optional<QString> staged;
  const QVariant id = plist->toMap().value(QStringLiteral("CFBundleIdentifier"));
  if (plist->typeId() == QMetaType::QVariantMap && id.typeId() == QMetaType::QString)
    staged = id.toString();
  const QVariant runningId =
      platform::readInfoDictionary(context.runningBundle).value(QStringLiteral("CFBundleIdentifier"));
  const QString expected = runningId.typeId() == QMetaType::QString && !runningId.toString().isEmpty()
                               ? runningId.toString()
                               : QString::fromLatin1(kFallbackBundleIdentifier);
  if (!staged || *staged != expected) return UpdateFailure(UpdaterError::bundleMismatch(expected, staged));

  if (!context.tools->quarantine.program.isEmpty())
    (void)run(platform::quarantineCommand(*context.tools, bundle));

  QString why;
  if (!signatureHolds(context, bundle, &why)) {
    qCInfo(lcStaging) << "staged bundle refused:" << why;
    return UpdateFailure(UpdaterError::signatureInvalid(kSignatureDetail));
  }
  return std::monostate{};
}

}  // namespace qb
