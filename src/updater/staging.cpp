#include "updater/staging.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <memory>
#include <sys/stat.h>

#include "common/text.h"
#include "platform/bundle.h"
#include "platform/plist_reader.h"
#include "updater/bundle_manifest.h"
#include "updater/file_ops.h"
#include "updater/version.h"

Q_LOGGING_CATEGORY(lcStaging, "com.orvane.vantelo.updater.staging", QtWarningMsg)

namespace qb {

namespace {

const QString kSignatureDetail = QStringLiteral("codesign --verify failed for staged bundle");
constexpr qint64 kMaxPlistBytes = 1024 * 1024;
constexpr qint64 kMaxManifestBytes = 64 * 1024 * 1024;
constexpr int kSignatureTimeoutMs = 60'000;

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

// A regular file of at most `maxBytes`, checked before anything opens it (a pipe would
// block the reader forever).
std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes, QString* why) {
  struct stat st{};
  if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
    *why = QStringLiteral("\u201C%1\u201D is not a regular file.").arg(QFileInfo(path).fileName());
    return std::nullopt;
  }
  if (st.st_size > maxBytes) {
    *why = QStringLiteral("\u201C%1\u201D is too large.").arg(QFileInfo(path).fileName());
    return std::nullopt;
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    *why = QStringLiteral("The file \u201C%1\u201D couldn\u2019t be opened: %2.")
               .arg(QFileInfo(path).fileName(), file.errorString());
    return std::nullopt;
  }
  return file.read(maxBytes);
}

// What a tool left in a folder: only files, folders and links, within the bounds.
struct TreeSize {
  qint64 bytes = 0;
  int entries = 0;
  QString refused;
};

TreeSize measureTree(const QString& directory, int maxEntries) {
  TreeSize size;
  QDirIterator it(directory, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext() && size.refused.isEmpty()) {
    const QString path = it.next();
    struct stat st{};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) continue;
    if (++size.entries > maxEntries)
      size.refused = QStringLiteral("the archive holds more than %1 entries.").arg(maxEntries);
    else if (S_ISREG(st.st_mode))
      size.bytes += st.st_size;
    else if (!S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode))
      size.refused = QStringLiteral("the archive holds %1, which is not a file, folder or link.")
                         .arg(path.mid(directory.size() + 1));
  }
  return size;
}

QString tooLarge(qint64 maxBytes) {
  return QStringLiteral("the archive unpacks to more than %1 MiB.").arg(maxBytes / (1024 * 1024));
}

UpdateFailure installFailed(const QString& detail) { return UpdaterError::installFailed(detail); }

// Unpacking and copying: bounded in time, in bytes per file and in total.
platform::ProcessLimits unpackLimits(const StagingContext& context, const QString& folder) {
  platform::ProcessLimits limits;
  limits.timeoutMs = context.toolTimeoutMs;
  limits.maxFileBytes = context.maxUnpackBytes;
  limits.tooLargeReason = tooLarge(context.maxUnpackBytes);
  const qint64 maxBytes = context.maxUnpackBytes;
  const int maxEntries = context.maxUnpackEntries;
  limits.watch = [folder, maxBytes, maxEntries] {
    const TreeSize size = measureTree(folder, maxEntries);
    if (size.bytes > maxBytes) return tooLarge(maxBytes);
    return size.entries > maxEntries ? size.refused : QString();
  };
  limits.watchIntervalMs = 250;
  return limits;
}

UpdateStatus checkUnpacked(const StagingContext& context, const QString& folder) {
  const TreeSize size = measureTree(folder, context.maxUnpackEntries);
  if (!size.refused.isEmpty()) return installFailed(size.refused);
  if (size.bytes > context.maxUnpackBytes) return installFailed(tooLarge(context.maxUnpackBytes));
  return std::monostate{};
}

// A zip starts with a local file header (or, empty, with its end record); bsdtar would
// otherwise unpack whatever format it recognises.
bool looksLikeZip(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray head = file.read(4);
  return head == QByteArray("PK\x03\x04", 4) || head == QByteArray("PK\x05\x06", 4);
}

void removePath(const QString& path) {
  const QFileInfo info(path);
  if (info.isDir() && !info.isSymLink())
    QDir(path).removeRecursively();
  else
    QFile::remove(path);
}

// Done from here on only while the owner lives.
template <class T>
Then<T> guarded(const StagingContext& context, Then<T> done) {
  return [owner = QPointer<QObject>(context.owner), done = std::move(done)](const UpdateResult<T>& r) {
    if (owner) done(r);
  };
}

void detachDiskImage(const StagingContext& context, const QString& mountPoint, std::function<void()> then) {
  if (context.tools->detach.program.isEmpty()) {
    QDir(mountPoint).removeRecursively();
    return then();
  }
  platform::ProcessLimits limits;
  limits.timeoutMs = context.toolTimeoutMs;
  runTool(context, platform::detachCommand(*context.tools, mountPoint), limits,
          [then](const UpdateResult<QString>&) { then(); });
}

void stageFromDiskImage(const StagingContext& context, const QString& image, const QString& workDirectory,
                        Then<QString> done) {
  const QString mount = workDirectory + u'/' + uniqueName(QStringLiteral("mount-"));
  if (auto made = makeDirectories(mount); !made) return done(made.error());
  runTool(context, platform::attachCommand(*context.tools, image, mount), unpackLimits(context, mount),
          [context, mount, workDirectory, done](const UpdateResult<QString>& attached) {
            if (!attached) return done(attached.error());
            // From here on the image is always detached, whatever fails.
            auto fail = [context, mount, done](const UpdateFailure& failure) {
              detachDiskImage(context, mount, [done, failure] { done(failure); });
            };
            if (auto checked = checkUnpacked(context, mount); !checked) return fail(checked.error());
            const auto bundle = findAppBundle(mount);
            if (!bundle) return fail(bundle.error());
            const QString destination = workDirectory + u'/' + QFileInfo(bundle.value()).fileName();
            const QFileInfo existing(destination);
            if (existing.exists() || existing.isSymLink()) {
              removePath(destination);
              if (QFileInfo::exists(destination) || QFileInfo(destination).isSymLink())
                return fail(UpdateFailure::platform(
                    QStringLiteral("\u201C%1\u201D couldn\u2019t be removed.").arg(destination)));
            }
            runTool(context, platform::copyCommand(*context.tools, bundle.value(), destination),
                    unpackLimits(context, destination),
                    [context, mount, destination, done, fail](const UpdateResult<QString>& copied) {
                      if (!copied) return fail(copied.error());
                      detachDiskImage(context, mount, [done, destination] { done(destination); });
                    });
          });
}

// The signature scheme of this system: gpgv over the manifest, then the manifest itself.
void checkSignature(const StagingContext& context, const QString& bundle, Then<std::monostate> done) {
  auto refuse = [done](const QString& why) {
    qCInfo(lcStaging) << "staged bundle refused:" << why;
    done(UpdateFailure(UpdaterError::signatureInvalid(kSignatureDetail)));
  };
  const platform::ToolTable& tools = *context.tools;
  platform::ProcessLimits limits;
  limits.timeoutMs = kSignatureTimeoutMs;
  if (tools.signature == platform::SignatureScheme::codesign) {
    return runTool(context, platform::codesignCommand(tools, bundle), limits,
                   [done, refuse](const UpdateResult<QString>& checked) {
                     if (!checked) return refuse(checked.error().description());
                     done(std::monostate{});
                   });
  }
  const QString keyring = platform::updateKeyringPath(context.runningBundle);
  const QString manifestPath = bundle + u'/' + QLatin1String(kCodeResources);
  const QString signaturePath = bundle + u'/' + QLatin1String(kCodeResourcesSig);
  QString reason;
  if (context.runningBundle.isEmpty() || !readRegularFile(keyring, kMaxManifestBytes, &reason))
    return refuse(QStringLiteral("no update keyring at %1").arg(keyring));
  if (!readRegularFile(signaturePath, kMaxPlistBytes, &reason)) return refuse(reason);
  auto manifestText = readRegularFile(manifestPath, kMaxManifestBytes, &reason);
  if (!manifestText) return refuse(reason);
  // gpgv reads the copy we read, not a file that could change in between.
  runTool(context, platform::gpgvCommand(tools, keyring, signaturePath, manifestPath), limits,
          [bundle, done, refuse, text = *manifestText, manifestPath](const UpdateResult<QString>& verified) {
            if (!verified) return refuse(verified.error().description());
            QString why;
            const auto again = readRegularFile(manifestPath, kMaxManifestBytes, &why);
            if (!again || *again != text) return refuse(QStringLiteral("the manifest changed"));
            const auto signedManifest = parseManifest(text, &why);
            if (!signedManifest) return refuse(why);
            const auto actual = scanBundle(bundle, &why);
            if (!actual || !manifestMatches(*signedManifest, *actual, &why) ||
                !applyManifestModes(bundle, *signedManifest, &why))
              return refuse(why);
            done(std::monostate{});
          });
}

QString versionText(const QString& version, const std::optional<QString>& build) {
  return build && !build->isEmpty() ? version + QStringLiteral(" (") + *build + u')' : version;
}

UpdateStatus checkVersion(const QVariantMap& plist, const StagingExpectation& expected) {
  const auto string = [&plist](const char* key) -> std::optional<QString> {
    const QVariant v = plist.value(QLatin1String(key));
    if (v.typeId() != QMetaType::QString) return std::nullopt;
    return v.toString();
  };
  const QString version = string("CFBundleShortVersionString").value_or(QString());
  const std::optional<QString> build = string("CFBundleVersion");
  const bool buildMatches = !expected.build || expected.build->isEmpty() || build == expected.build;
  if (version != expected.version || !buildMatches)
    return installFailed(QStringLiteral("the downloaded bundle is version %1, not the offered %2.")
                             .arg(versionText(version, build), versionText(expected.version, expected.build)));
  if (!isNewer(version, build, expected.runningVersion, expected.runningBuild))
    return installFailed(QStringLiteral("the downloaded version %1 is not newer than the running %2.")
                             .arg(versionText(version, build),
                                  versionText(expected.runningVersion, expected.runningBuild)));
  return std::monostate{};
}

// Decodes the end of a tool's error output, which a cut may have started mid-character.
QString errorText(const QByteArray& bytes) {
  for (qsizetype skip = 0; skip <= 3 && skip <= bytes.size(); ++skip)
    if (auto text = strictUtf8(bytes.mid(skip))) return text->trimmed();
  return QString();
}

}  // namespace

void runTool(const StagingContext& context, const platform::CommandLine& line,
             const platform::ProcessLimits& limits, Then<QString> done) {
  auto* tool = new platform::ToolProcess(line.program, line.arguments, limits, context.owner);
  const QString path = line.program;
  QObject::connect(tool, &platform::ToolProcess::finished, context.owner ? context.owner : tool,
                   [tool, path, done](const platform::ProcessOutcome& outcome) {
                     tool->deleteLater();
                     if (!outcome.started) return done(UpdateFailure::platform(outcome.startError));
                     if (!outcome.stopReason.isEmpty())
                       return done(installFailed(path + QStringLiteral(" stopped: ") + outcome.stopReason));
                     if (outcome.exitStatus == 0)
                       return done(strictUtf8(outcome.standardOutput).value_or(QString()));
                     done(installFailed(path + QStringLiteral(" exited ") + QString::number(outcome.exitStatus) +
                                        QStringLiteral(": ") + errorText(outcome.standardError)));
                   });
  tool->start();
}

UpdateResult<QString> findAppBundle(const QString& directory) {
  for (const QString& name : entries(directory)) {
    if (hasAppExtension(name)) return directory + u'/' + name;
  }
  if (auto found = firstAppBelow(directory, 0)) return *found;
  return installFailed(QStringLiteral("No .app bundle found inside the downloaded archive."));
}

void stageArtifact(const StagingContext& context, const QString& artifact, const QString& contentType,
                   const QString& workDirectory, Then<QString> done) {
  done = guarded(context, std::move(done));
  const QString name = QFileInfo(artifact).fileName().toLower();
  const QString type = contentType.toLower();
  if (name.endsWith(QLatin1String(".zip")) || type.contains(QLatin1String("zip"))) {
    if (!looksLikeZip(artifact)) return done(installFailed(QStringLiteral("the download is not a zip archive.")));
    const QString unpack = workDirectory + QStringLiteral("/unpack");
    if (auto made = makeDirectories(unpack); !made) return done(made.error());
    return runTool(context, platform::unzipCommand(*context.tools, artifact, unpack),
                   unpackLimits(context, unpack), [context, unpack, done](const UpdateResult<QString>& unzipped) {
                     if (!unzipped) return done(unzipped.error());
                     if (auto checked = checkUnpacked(context, unpack); !checked) return done(checked.error());
                     done(findAppBundle(unpack));
                   });
  }
  if (name.endsWith(QLatin1String(".dmg")) || type.contains(QLatin1String("dmg")) ||
      type.contains(QLatin1String("octet-stream")))
    return stageFromDiskImage(context, artifact, workDirectory, std::move(done));
  done(UpdateFailure(UpdaterError::unsupportedArtifact(contentType)));
}

void verifyStagedBundle(const StagingContext& context, const QString& bundle,
                        const StagingExpectation& expected, Then<std::monostate> done) {
  done = guarded(context, std::move(done));
  QString why;
  const auto bytes = readRegularFile(platform::infoPlistPath(bundle), kMaxPlistBytes, &why);
  if (!bytes) return done(UpdateFailure::platform(why));
  const auto plist = platform::parsePropertyList(*bytes, &why);
  if (!plist) return done(UpdateFailure::platform(why));

  const QVariantMap dictionary =
      plist->typeId() == QMetaType::QVariantMap ? plist->toMap() : QVariantMap();
  std::optional<QString> staged;
  const QVariant id = dictionary.value(QStringLiteral("CFBundleIdentifier"));
  if (id.typeId() == QMetaType::QString) staged = id.toString();
  const QVariant runningId =
      platform::readInfoDictionary(context.runningBundle).value(QStringLiteral("CFBundleIdentifier"));
  const QString expectedId = runningId.typeId() == QMetaType::QString && !runningId.toString().isEmpty()
                                 ? runningId.toString()
                                 : QString::fromLatin1(kFallbackBundleIdentifier);
  if (!staged || *staged != expectedId)
    return done(UpdateFailure(UpdaterError::bundleMismatch(expectedId, staged)));

  auto afterQuarantine = [context, bundle, dictionary, expected, done] {
    checkSignature(context, bundle, [dictionary, expected, done](const UpdateResult<std::monostate>& r) {
      if (!r) return done(r);
      // Only a signed Info.plist decides which version this is.
      done(checkVersion(dictionary, expected));
    });
  };
  if (context.tools->quarantine.program.isEmpty()) return afterQuarantine();
  platform::ProcessLimits limits;
  limits.timeoutMs = context.toolTimeoutMs;
  runTool(context, platform::quarantineCommand(*context.tools, bundle), limits,
          [afterQuarantine](const UpdateResult<QString>&) { afterQuarantine(); });
}

}  // namespace qb
