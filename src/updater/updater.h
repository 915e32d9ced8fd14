#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QSettings>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

#include "platform/tool_table.h"
#include "updater/update_info.h"
#include "updater/updater_error.h"
#include "updater/staging.h"
#include "updater/updater_state.h"

class QNetworkAccessManager;
class QNetworkReply;

namespace qb {

// Every outside dependency, for tests; an empty field takes the real one.
struct UpdaterOptions {
  QString bundlePath;                 // the running bundle
  std::optional<QUrl> origin;         // the update server's origin
  const platform::ToolTable* tools = nullptr;
  QNetworkAccessManager* network = nullptr;
  std::function<QDateTime()> now;
  std::function<std::unique_ptr<QSettings>()> settings;
  std::function<void()> quit;         // the application's normal quit
  std::function<qint64()> pid;        // the process the relauncher waits for
  QString tempDirectory;
  int checkTimeoutMs = 15'000;
  int downloadTimeoutMs = 60'000;
  int toolTimeoutMs = 300'000;             // each unpacking, copying or checking tool
  qint64 maxDownloadBytes = qint64(1) << 30;  // when the release gives no sizeBytes
  qint64 maxUnpackBytes = qint64(1) << 30;
};

// The self-update engine: asks the update server for the latest release of its channel,
// downloads, verifies and stages it, and hands the swap to a relauncher script. Lives on
// the main thread and never blocks it: network waits and tool runs end in signals.
class Updater : public QObject {
  Q_OBJECT
 public:
  using State = UpdaterState;

  static constexpr const char* kOrgId = "C7pLr2QwZs9TnV4kXb8M";
  // Named as the first versions wrote it, so saved values still count (platform/settings.h).
  static constexpr const char* kLastCheckedKey = "Vantelo.Updater.lastChecked";
  static constexpr qint64 kAutoCheckIntervalSeconds = 7200;
  static constexpr int kRelaunchQuitDelayMs = 200;

  using Options = UpdaterOptions;

  // Nothing when the bundle carries no "KovalinApiKey" (or the origin override is refused).
  static std::unique_ptr<Updater> create(Options options = {}, QObject* parent = nullptr);
  ~Updater() override;

  const State& state() const { return state_; }
  const std::optional<QDateTime>& lastChecked() const { return lastChecked_; }

  const QUrl& baseUrl() const { return baseUrl_; }
  QString orgId() const { return QString::fromLatin1(kOrgId); }
  const QString& appId() const { return appId_; }
  const QString& apiKey() const { return apiKey_; }
  const QString& channel() const { return channel_; }
  QString currentVersion() const;
  QString currentBuild() const;
  const platform::ToolTable& tools() const { return *options_.tools; }

  // True with no recorded check, or 7200 seconds or more after it.
  bool shouldAutoCheck() const;

  // Looks for a newer release; never fails towards the caller. A silent failure returns
  // to idle, any other shows as failed.
  void check(bool silent);

  // Downloads, verifies and stages the release in the background; it has ended when the
  // state leaves `downloading` for readyToInstall or failed. A failure removes the work
  // folder's contents except "update.log", which says why.
  void downloadAndStage(const UpdateInfo& info);

  // Checks the staged bundle once more, starts the relauncher and quits 0.2 seconds later;
  // on failure the state is failed and the application keeps running.
  void installAndRelaunch(const UpdateInfo& info, const QString& bundleURL);

  void recordCheck(const QDateTime& date);

  // The latest-release request as sent (for tests and diagnostics).
  QUrl latestUrl() const;

 Q_SIGNALS:
  void stateChanged(const qb::UpdaterState& state);
  void lastCheckedChanged();

 private:
  Updater(Options options, QObject* parent);
  void setState(State state);
  void finishCheck(QNetworkReply* reply, bool silent);
  void finishDownload(const UpdateInfo& info, const QString& workDirectory, const QString& artifact,
                      const QString& sha256, int operation);
  void failDownload(const UpdateInfo& info, const UpdateFailure& failure, const QString& workDirectory);
  StagingContext stagingContext();
  StagingExpectation expectationFor(const UpdateInfo& info) const;
  QString infoValue(const char* key, const QString& fallback) const;

  Options options_;
  State state_ = update_state::Idle{};
  std::optional<QDateTime> lastChecked_;
  QUrl baseUrl_;
  QString appId_;
  QString apiKey_;
  QString channel_;
  int operation_ = 0;  // a newer download or install makes older continuations stale
};

}  // namespace qb
