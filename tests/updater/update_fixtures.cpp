#include "update_fixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdlib>
#include <unistd.h>
#include <gtest/gtest.h>

#include "platform/bundle.h"
#include "updater/relauncher.h"
#include "updater/sha256.h"

#ifndef QUOTABAR_SOURCE_DIR
#error "QUOTABAR_SOURCE_DIR must point at the source tree"
#endif

namespace qb::test {

QByteArray infoPlist(const BundleRecipe& recipe) {
  QString xml = QStringLiteral(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
      "<plist version=\"1.0\">\n<dict>\n");
  auto key = [&xml](const char* name, const std::optional<QString>& value) {
    if (!value) return;
    xml += QStringLiteral("\t<key>%1</key>\n\t<string>%2</string>\n")
               .arg(QLatin1String(name), value->toHtmlEscaped());
  };
  key("CFBundleIdentifier", recipe.identifier);
  key("CFBundleShortVersionString", recipe.version);
  key("CFBundleVersion", recipe.build);
  key("KovalinApiKey", recipe.apiKey);
  key("KovalinAppId", recipe.appId);
  key("KovalinChannel", recipe.channel);
  xml += QStringLiteral("</dict>\n</plist>\n");
  return xml.toUtf8();
}

fake::ReleaseFields release(const char* version, std::optional<std::string> build, std::string url) {
  return {.version = version, .buildNumber = std::move(build), .downloadUrl = std::move(url)};
}

QString makeBundle(const QString& parent, const BundleRecipe& recipe) {
  const QString bundle = parent + u'/' + recipe.name;
  QDir().mkpath(bundle + QStringLiteral("/Contents/Resources"));
  writeFile(bundle + QStringLiteral("/Contents/Info.plist"), infoPlist(recipe));
  if (!recipe.startMarker.isEmpty()) {
    const QString exe = bundle + QStringLiteral("/Contents/bin/quotabar");
    writeFile(exe, QStringLiteral("#!/bin/sh\nprintf '%s %s\\n' %1 \"$*\" >> %2\n")
                       .arg(shellQuote(recipe.tag), shellQuote(recipe.startMarker))
                       .toUtf8());
    QFile::setPermissions(exe, QFile::permissions(exe) | QFileDevice::ExeOwner |
                                   QFileDevice::ExeGroup | QFileDevice::ExeOther);
  }
  for (const auto& [relative, bytes] : recipe.files) writeFile(bundle + u'/' + relative, bytes);
  for (const auto& [relative, target] : recipe.links) {
    const QString link = bundle + u'/' + relative;
    QDir().mkpath(QFileInfo(link).path());
    EXPECT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()), 0);
  }
  return bundle;
}

QString mustRun(const QString& program, const QStringList& args) {
  const ProcessResult r = runProgram(program, args, {}, {}, 60'000);
  EXPECT_EQ(r.exitCode, 0) << program.toStdString() << ' ' << args.join(u' ').toStdString() << ": "
                           << r.err.toStdString();
  return r.out;
}

SigningKey::SigningKey(const QString& user)
    // Short: gpg-agent's socket lives in here and socket paths are limited in length.
    : dir_(QStringLiteral("/tmp/qbgpg-XXXXXX")), user_(user) {
  mustRun(QStringLiteral("gpg"), {QStringLiteral("--homedir"), dir_.path(), QStringLiteral("--batch"),
                                  QStringLiteral("--passphrase"), QString(), QStringLiteral("--quick-gen-key"), user_,
                                  QStringLiteral("ed25519"), QStringLiteral("sign"), QStringLiteral("never")});
  mustRun(QStringLiteral("gpg"), {QStringLiteral("--homedir"), dir_.path(), QStringLiteral("--batch"),
                                  QStringLiteral("--output"), publicKeyring(), QStringLiteral("--export"), user_});
  EXPECT_GT(QFileInfo(publicKeyring()).size(), 0);
}

SigningKey::~SigningKey() {
  // Ends the agent gpg started for this home (it detaches, so it is not our child).
  const QByteArray command = "gpgconf --homedir '" + QFile::encodeName(dir_.path()) +
                             "' --kill gpg-agent >/dev/null 2>&1";
  [[maybe_unused]] const int status = std::system(command.constData());
}

SigningKey& SigningKey::shared() {
  static SigningKey key(QStringLiteral("Quotabar Test Release <release@quotabar.invalid>"));
  return key;
}

SigningKey& SigningKey::stranger() {
  static SigningKey key(QStringLiteral("Somebody Else <else@quotabar.invalid>"));
  return key;
}

void SigningKey::sign(const QString& bundle, const QString& zipPath) const {
  QStringList args{QStringLiteral(QUOTABAR_SOURCE_DIR "/packaging/sign-bundle.sh"),
                   QStringLiteral("--homedir"), dir_.path(), QStringLiteral("--key"), user_, bundle};
  if (!zipPath.isEmpty()) args << zipPath;
  mustRun(QStringLiteral("/bin/bash"), args);
}

BundleRecipe UpdateRig::installedRecipe(const QString& name) {
  return {.name = name, .version = QStringLiteral("1.0.0"), .build = QStringLiteral("1"),
          .apiKey = QStringLiteral("test-key"), .tag = QStringLiteral("old")};
}

UpdateRig::UpdateRig(BundleRecipe installed) {
  if (installed.startMarker.isEmpty()) installed.startMarker = startMarker();
  installed_ = makeBundle(dir_.path() + QStringLiteral("/User's Apps"), installed);
  QFile::copy(SigningKey::shared().publicKeyring(), platform::updateKeyringPath(installed_));
  QFile::copy(qEnvironmentVariable("QUOTABAR_BUNDLE_BIN") + QStringLiteral("/quotabar-swap"),
              installed_ + QStringLiteral("/Contents/bin/quotabar-swap"));
  QDir().mkpath(tempDirectory());
}

QString UpdateRig::installedVersion() const {
  return platform::readInfoDictionary(installed_).value(QStringLiteral("CFBundleShortVersionString")).toString();
}

UpdaterOptions UpdateRig::options() const {
  return {.bundlePath = installed_, .origin = server.origin(), .quit = [] {}, .tempDirectory = tempDirectory()};
}

std::unique_ptr<Updater> UpdateRig::updater(UpdaterOptions options) const {
  auto updater = Updater::create(std::move(options));
  EXPECT_TRUE(updater);
  return updater;
}

BundleRecipe UpdateRig::newerRecipe() const {
  return {.version = QStringLiteral("2.0.0"), .build = QStringLiteral("2"), .startMarker = startMarker(),
          .tag = QStringLiteral("new")};
}

QString UpdateRig::scratchBundle(const BundleRecipe& recipe, const QString& folder) {
  const QString parent = dir_.path() + u'/' + folder + QString::number(++scratchCount_);
  return makeBundle(parent, recipe);
}

StateLog::StateLog(Updater& updater) {
  connection = QObject::connect(&updater, &Updater::stateChanged, &updater,
                                [this](const UpdaterState& s) { states.append(s); });
}

StateLog::~StateLog() { QObject::disconnect(connection); }

bool StateLog::waitSettled(Updater& updater, int timeoutMs) {
  return waitUntil(
      [&] { return !holds<update_state::Checking>(updater.state()) && !holds<update_state::Downloading>(updater.state()); },
      timeoutMs);
}

QString failedMessage(const UpdaterState& state) {
  if (const auto* f = std::get_if<update_state::Failed>(&state)) return f->message;
  return QStringLiteral("(not failed: %1)").arg(stateName(state));
}

bool matches(const QString& message, const QString& expected) {
  return expected.endsWith(u'*') ? message.startsWith(expected.chopped(1)) : message == expected;
}

StagingOutcome stage(UpdateRig& rig, const QByteArray& artifact, const char* fileName, const char* contentType,
                     std::function<void(UpdaterOptions&)> tweak) {
  const UpdateInfo info{
      .version = QStringLiteral("2.0.0"), .buildNumber = QStringLiteral("2"),
      .downloadUrl = QUrl(QString::fromStdString(rig.server.serveArtifact(fileName, artifact.toStdString(), contentType))),
      .sha256 = QString::fromStdString(sha256Hex(artifact)), .fileName = QString::fromLatin1(fileName),
      .contentType = QString::fromLatin1(contentType)};
  UpdaterOptions options = rig.options();
  if (tweak) tweak(options);
  auto updater = rig.updater(options);
  StateLog log(*updater);
  updater->downloadAndStage(info);
  EXPECT_TRUE(log.waitSettled(*updater, 30'000));
  StagingOutcome o{.state = stateName(updater->state()), .message = failedMessage(updater->state())};
  const QStringList work = QDir(rig.tempDirectory()).entryList({QStringLiteral("QuotabarUpdate-*")}, QDir::Dirs);
  if (!work.isEmpty()) o.workDirectory = rig.tempDirectory() + u'/' + work.last();
  o.workEntries = QDir(o.workDirectory).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  if (const auto* r = std::get_if<update_state::ReadyToInstall>(&updater->state())) {
    o.staged = r->bundleURL;
    EXPECT_TRUE(r->bundleURL.startsWith(o.workDirectory + u'/'));
  }
  // Every publication on the way is `downloading`, then the end state.
  for (qsizetype i = 0; i + 1 < log.states.size(); ++i)
    EXPECT_TRUE(holds<update_state::Downloading>(log.states[i]));
  return o;
}

QString signedBundle(UpdateRig& rig, const BundleRecipe& recipe, const QString& folder) {
  const QString bundle = rig.scratchBundle(recipe, folder);
  SigningKey::shared().sign(bundle);
  return bundle;
}

QByteArray zipOf(const QString& parent, const QStringList& entries) {
  const QString zip = parent + QStringLiteral(".zip");
  QFile::remove(zip);
  mustRun(QStringLiteral("/usr/bin/bsdtar"), QStringList{QStringLiteral("--format"), QStringLiteral("zip"),
                                                         QStringLiteral("-cf"), zip, QStringLiteral("-C"), parent} +
                                                 entries);
  return readFile(zip);
}

QByteArray zipOfBundle(const QString& bundle) {
  return zipOf(QFileInfo(bundle).path(), {QFileInfo(bundle).fileName()});
}

std::string sha256Hex(const QByteArray& bytes) { return Sha256::hexOf(bytes).toStdString(); }

}  // namespace qb::test
