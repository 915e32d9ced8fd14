#pragma once

// Bundles, signatures, archives and updaters for the updater tests.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>

#include "fake_update_server.h"
#include "support/test_support.h"
#include "updater/updater.h"

namespace qb::test {

// An application folder as the updater sees one.
struct BundleRecipe {
  QString name = QStringLiteral("Quotabar.app");
  std::optional<QString> identifier = QStringLiteral("com.orvane.vantelo");
  std::optional<QString> version = QStringLiteral("2.0.0");
  std::optional<QString> build = QStringLiteral("1");
  std::optional<QString> apiKey = {};  // KovalinApiKey
  std::optional<QString> appId = {};
  std::optional<QString> channel = {};
  // Contents/bin/quotabar: a script that appends "<tag> <args>" to this file when started.
  QString startMarker = {};
  QString tag = QStringLiteral("new");
  // Extra files (relative path, contents) and links (relative path, target).
  QList<QPair<QString, QByteArray>> files = {};
  QList<QPair<QString, QString>> links = {};
};

// An Info.plist with the given keys (absent ones left out).
QByteArray infoPlist(const BundleRecipe& recipe);

// A release on offer (to fake::FakeUpdateServer::offer), downloadable from `url`.
fake::ReleaseFields release(const char* version, std::optional<std::string> build = std::nullopt,
                            std::string url = "https://cdn.example.test/Quotabar.zip");

// Creates the bundle inside `parent`; returns its path.
QString makeBundle(const QString& parent, const BundleRecipe& recipe);

// A throwaway OpenPGP key in a private GNUPGHOME, made once per test program.
class SigningKey {
 public:
  static SigningKey& shared();    // the key update bundles are signed with
  static SigningKey& stranger();  // another key, trusted by nobody
  ~SigningKey();

  QString publicKeyring() const { return dir_.path() + QStringLiteral("/public.gpg"); }

  // Runs packaging/sign-bundle.sh; an empty zip path only signs.
  void sign(const QString& bundle, const QString& zipPath = QString()) const;

 private:
  explicit SigningKey(const QString& user);
  QTemporaryDir dir_;
  QString user_;
};

// Runs a program to its end; fails the test on a non-zero exit.
QString mustRun(const QString& program, const QStringList& args);

// A temporary folder holding the running ("installed") bundle with the update keyring,
// the folder for work directories, and the updater built on them.
class UpdateRig {
 public:
  static BundleRecipe installedRecipe(const QString& name = QStringLiteral("Quotabar.app"));
  explicit UpdateRig(BundleRecipe installed = installedRecipe());

  QString root() const { return dir_.path(); }
  QString installedBundle() const { return installed_; }
  QString tempDirectory() const { return dir_.path() + QStringLiteral("/tmp"); }
  QString startMarker() const { return dir_.path() + QStringLiteral("/started.txt"); }
  QString installedVersion() const;

  UpdaterOptions options() const;
  std::unique_ptr<Updater> updater(UpdaterOptions options) const;
  std::unique_ptr<Updater> updater() const { return updater(options()); }

  BundleRecipe newerRecipe() const;

  // Builds a bundle in a fresh scratch folder NAME<n>, returns its path (not yet signed).
  QString scratchBundle(const BundleRecipe& recipe, const QString& folder);

  fake::FakeUpdateServer server;

 private:
  TempHome home_;
  QTemporaryDir dir_;
  QString installed_;
  int scratchCount_ = 0;
};

// Every state an updater publishes, in order.
struct StateLog {
  explicit StateLog(Updater& updater);
  ~StateLog();
  QList<UpdaterState> states;
  QMetaObject::Connection connection;
  // Runs the event loop until the updater leaves `checking` / `downloading`.
  bool waitSettled(Updater& updater, int timeoutMs = 20'000);
};

QString failedMessage(const UpdaterState& state);

// `message` equals `expected`, or starts with it when `expected` ends in "*".
bool matches(const QString& message, const QString& expected);

// One download-and-stage run of `artifact` served by the rig, to its end.
struct StagingOutcome {
  QString state;
  QString message;  // failed
  QString staged;   // readyToInstall: the bundle
  QString workDirectory;
  QStringList workEntries;  // what the work folder holds afterwards
};
StagingOutcome stage(UpdateRig& rig, const QByteArray& artifact, const char* fileName = "Quotabar.zip",
                     const char* contentType = "application/zip", std::function<void(UpdaterOptions&)> tweak = {});

// A bundle signed with the shared key, built under the rig's scratch folder NAME.
QString signedBundle(UpdateRig& rig, const BundleRecipe& recipe, const QString& folder = QStringLiteral("s"));

// The zip of some entries of `parent` (bsdtar; links stay links), or of one bundle.
QByteArray zipOf(const QString& parent, const QStringList& entries);
QByteArray zipOfBundle(const QString& bundle);

// Digest of bytes as 64 lower-case hex digits.
std::string sha256Hex(const QByteArray& bytes);

}  // namespace qb::test
