#include "updater/updater.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrlQuery>

#include "common/network_rules.h"
#include "common/text.h"
#include "common/web_origin.h"
#include "platform/bundle.h"
#include "platform/settings.h"
#include "providers/provider_http.h"
#include "updater/artifact_download.h"
#include "updater/file_ops.h"
#include "updater/latest_response.h"
#include "updater/relauncher.h"
#include "updater/staging.h"
#include "updater/update_origin.h"
#include "updater/version.h"

Q_LOGGING_CATEGORY(lcUpdater, "com.orvane.vantelo.updater", QtWarningMsg)

namespace qb {

namespace {

// A latest-release answer is a few hundred bytes; more than this is not one.
constexpr qsizetype kMaxCheckBody = 1024 * 1024;
constexpr int kErrorBodyCharacters = 200;

// The 404 answer: no release for this application, platform and channel.
struct NoReleaseAvailable {};

using CheckOutcome = std::variant<UpdateInfo, NoReleaseAvailable, UpdateFailure>;

// The body as UTF-8, or nothing when it is not; a body we cut short may end inside a
// character, which is not the sender's fault.
std::optional<QString> bodyText(const QByteArray& body, bool truncated) {
  for (qsizetype drop = 0; drop <= (truncated ? 3 : 0); ++drop) {
    if (auto text = strictUtf8(body.chopped(std::min(drop, body.size())))) return text;
  }
  return std::nullopt;
}

std::optional<QString> nonEmptyString(const QVariantMap& info, const char* key) {
  const QVariant v = info.value(QLatin1String(key));
  if (v.typeId() != QMetaType::QString || v.toString().isEmpty()) return std::nullopt;
  return v.toString();
}

}  // namespace

std::unique_ptr<Updater> Updater::create(Options options, QObject* parent) {
  if (options.bundlePath.isEmpty()) options.bundlePath = platform::runningBundlePath();
  const QVariantMap info = platform::readInfoDictionary(options.bundlePath);
  const auto apiKey = nonEmptyString(info, "KovalinApiKey");
  if (!apiKey) return nullptr;
  if (!options.origin) {
    QString error;
    options.origin = configuredUpdateOrigin(&error);
    if (!options.origin) {
      qCWarning(lcUpdater).noquote() << error;
      return nullptr;
    }
  }
  std::unique_ptr<Updater> updater(new Updater(std::move(options), parent));
  updater->appId_ = nonEmptyString(info, "KovalinAppId").value_or(QStringLiteral("vantelo"));
  updater->apiKey_ = *apiKey;
  updater->channel_ = nonEmptyString(info, "KovalinChannel").value_or(QStringLiteral("stable"));
  return updater;
}

Updater::Updater(Options options, QObject* parent) : QObject(parent), options_(std::move(options)) {
  if (!options_.tools) options_.tools = &platform::hostTools();
  if (!options_.network) options_.network = ProviderHTTP::shared().manager();
  if (!options_.now) options_.now = [] { return QDateTime::currentDateTimeUtc(); };
  if (!options_.settings) options_.settings = [] { return platform::settings(); };
  if (!options_.quit) options_.quit = [] { QCoreApplication::quit(); };
  if (!options_.pid) options_.pid = [] { return QCoreApplication::applicationPid(); };
  if (options_.tempDirectory.isEmpty()) options_.tempDirectory = QDir::tempPath();

  baseUrl_ = *options_.origin;
  baseUrl_.setPath(QStringLiteral("/distributionApi"));

  const QVariant stored = options_.settings()->value(QLatin1String(kLastCheckedKey));
  if (stored.typeId() == QMetaType::QDateTime && stored.toDateTime().isValid())
    lastChecked_ = stored.toDateTime();
}

Updater::~Updater() = default;

QString Updater::infoValue(const char* key, const QString& fallback) const {
  return nonEmptyString(platform::readInfoDictionary(options_.bundlePath), key).value_or(fallback);
}

QString Updater::currentVersion() const {
  return infoValue("CFBundleShortVersionString", QStringLiteral("0.0.0"));
}

QString Updater::currentBuild() const { return infoValue("CFBundleVersion", QStringLiteral("0")); }

bool Updater::shouldAutoCheck() const {
  return !lastChecked_ || lastChecked_->secsTo(options_.now()) >= kAutoCheckIntervalSeconds;
}

void Updater::setState(State state) {
  state_ = std::move(state);
  Q_EMIT stateChanged(state_);
}

void Updater::recordCheck(const QDateTime& date) {
  lastChecked_ = date;
  options_.settings()->setValue(QLatin1String(kLastCheckedKey), date);
  Q_EMIT lastCheckedChanged();
}

QUrl Updater::latestUrl() const {
  QUrl url = baseUrl_;
  url.setPath(baseUrl_.path() + QStringLiteral("/v1/organizations/") + orgId() +
                  QStringLiteral("/applications/") + appId_ + QStringLiteral("/latest"),
              QUrl::DecodedMode);
  QUrlQuery query;
  query.addQueryItem(QStringLiteral("platform"), options_.tools->platform);
  query.addQueryItem(QStringLiteral("channel"), channel_);
  url.setQuery(query);
  return url;
}

void Updater::check(bool silent) {
  if (holds<update_state::Checking>(state_) || holds<update_state::Downloading>(state_) ||
      holds<update_state::ReadyToInstall>(state_) || holds<update_state::Installing>(state_))
    return;
  setState(update_state::Checking{});

  QNetworkRequest request(latestUrl());
  prepareUpdateRequest(request);
  request.setRawHeader("Authorization", "Bearer " + apiKey_.toUtf8());
  request.setRawHeader("User-Agent", QStringLiteral("Quotabar/%1 (%2)")
                                         .arg(currentVersion(), currentBuild())
                                         .toUtf8());
  QNetworkReply* reply = options_.network->get(request);
  reply->setParent(this);  // an updater that goes away takes its request along
  // The bearer key travels with a redirect: only within the update server's own origin.
  const QUrl origin = baseUrl_;
  guardRedirects(reply, [origin](const QUrl& target) {
    return target.scheme() == origin.scheme() && target.host() == origin.host() &&
           target.port() == origin.port();
  });
  armIdleTimeout(reply, options_.checkTimeoutMs);

  // The body is collected as it arrives, so a runaway answer can be cut off early.
  auto body = std::make_shared<QByteArray>();
  auto truncated = std::make_shared<bool>(false);
  connect(reply, &QNetworkReply::readyRead, this, [reply, body, truncated] {
    if (*truncated) return;
    body->append(reply->readAll());
    if (body->size() > kMaxCheckBody) {
      *truncated = true;
      body->truncate(kMaxCheckBody);
      // Not from inside the reply's own signal.
      QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
    }
  });
  connect(reply, &QNetworkReply::finished, this, [this, reply, body, truncated, silent] {
    reply->deleteLater();
    if (!*truncated && reply->isOpen()) body->append(reply->readAll());

    const CheckOutcome outcome = [&]() -> CheckOutcome {
      const ReplyOutcome replied = replyOutcome(reply);
      // Our own abort of an oversized body is not a transport failure.
      if (!*truncated && replied.kind == ReplyOutcome::Kind::transport)
        return UpdateFailure::platform(replied.failure);
      const QVariant statusAttr = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
      if (!statusAttr.isValid()) return UpdateFailure(UpdaterError::malformedResponse());
      const int status = statusAttr.toInt();
      if (status == 404) return NoReleaseAvailable{};
      if (status < 200 || status > 299) {
        auto text = bodyText(*body, *truncated);
        if (text) text = leadingGraphemes(*text, kErrorBodyCharacters);
        return UpdateFailure(UpdaterError::httpError(status, text));
      }
      if (*truncated) return UpdateFailure(UpdaterError::malformedResponse());
      QString decodeError;
      const auto response = decodeBody<LatestResponse>(*body, decodeLatestResponse, &decodeError);
      if (!response) return UpdateFailure::platform(decodeError);
      auto info = makeUpdateInfo(*response);
      if (!info) return UpdateFailure(info.error());
      return info.value();
    }();

    if (const auto* info = std::get_if<UpdateInfo>(&outcome)) {
      recordCheck(options_.now());
      if (isNewer(info->version, info->buildNumber, currentVersion(), currentBuild()))
        setState(update_state::Available{*info});
      else
        setState(update_state::UpToDate{});
    } else if (std::holds_alternative<NoReleaseAvailable>(outcome)) {
      recordCheck(options_.now());
      setState(update_state::UpToDate{});
    } else {
      const auto& failure = std::get<UpdateFailure>(outcome);
      qCInfo(lcUpdater).noquote() << "update check failed:" << failure.description();
      if (silent)
        setState(update_state::Idle{});
      else
        setState(update_state::Failed{std::nullopt, failure.description()});
    }
  });
}

void Updater::downloadAndStage(const UpdateInfo& info) {
  const int operation = ++operation_;
  setState(update_state::Downloading{info, 0.0});

  const QString workDirectory =
      options_.tempDirectory + u'/' + uniqueName(QStringLiteral("QuotabarUpdate-"));
  if (auto made = makeDirectories(workDirectory); !made) return failDownload(info, made.error(), {});
  // Guards an UpdateInfo that did not come from our own decoding of the answer.
  const auto fileName = safeFileName(info.fileName);
  if (!fileName || !isSecureOrLoopback(info.downloadUrl))
    return failDownload(info, UpdaterError::malformedResponse(), workDirectory);
  const QString artifact = workDirectory + u'/' + *fileName;

  auto* download = new ArtifactDownload({.network = options_.network,
                                         .url = info.downloadUrl,
                                         .filePath = artifact,
                                         .sizeBytes = info.sizeBytes,
                                         .maxBytes = options_.maxDownloadBytes,
                                         .timeoutMs = options_.downloadTimeoutMs,
                                         .now = options_.now},
                                        this);
  connect(download, &ArtifactDownload::progress, this, [this, info, operation](double p) {
    if (operation == operation_) setState(update_state::Downloading{info, p});
  });
  connect(download, &ArtifactDownload::succeeded, this,
          [this, download, info, workDirectory, artifact, operation](const QString& sha256, bool sizeKnown) {
            download->deleteLater();
            if (operation != operation_) return;
            setState(update_state::Downloading{info, sizeKnown ? 1.0 : -1.0});
            finishDownload(info, workDirectory, artifact, sha256, operation);
          });
  connect(download, &ArtifactDownload::failed, this,
          [this, download, info, workDirectory, operation](const QString& description) {
            download->deleteLater();
            if (operation == operation_) failDownload(info, UpdateFailure::platform(description), workDirectory);
          });
  download->start();
}

StagingContext Updater::stagingContext() {
  return {options_.tools, options_.bundlePath, this, options_.toolTimeoutMs, options_.maxUnpackBytes};
}

StagingExpectation Updater::expectationFor(const UpdateInfo& info) const {
  return {info.version, info.buildNumber, currentVersion(), currentBuild()};
}

void Updater::finishDownload(const UpdateInfo& info, const QString& workDirectory,
                             const QString& artifact, const QString& sha256, int operation) {
  const QString expected = info.sha256.value_or(QString()).toLower();
  if (!expected.isEmpty() && sha256 != expected)
    return failDownload(info, UpdaterError::checksumMismatch(expected, sha256), workDirectory);

  const StagingContext context = stagingContext();
  stageArtifact(context, artifact, info.contentType, workDirectory,
                [this, context, info, workDirectory, operation](const UpdateResult<QString>& staged) {
                  if (operation != operation_) return;
                  if (!staged) return failDownload(info, staged.error(), workDirectory);
                  // No way around this step: an answer without a digest still needs a signed bundle.
                  verifyStagedBundle(context, staged.value(), expectationFor(info),
                                     [this, info, workDirectory, bundle = staged.value(),
                                      operation](const UpdateResult<std::monostate>& verified) {
                                       if (operation != operation_) return;
                                       if (!verified) return failDownload(info, verified.error(), workDirectory);
                                       setState(update_state::ReadyToInstall{info, bundle});
                                     });
                });
}

void Updater::failDownload(const UpdateInfo& info, const UpdateFailure& failure,
                           const QString& workDirectory) {
  qCInfo(lcUpdater).noquote() << "update download failed:" << failure.description();
  if (!workDirectory.isEmpty()) {
    // Nothing half-staged stays behind; only the reason, for the user who goes looking.
    removeContentsExcept(workDirectory, QStringLiteral("update.log"));
    QFile log(workDirectory + QStringLiteral("/update.log"));
    if (log.open(QIODevice::WriteOnly | QIODevice::Append))
      log.write((options_.now().toString(Qt::ISODate) + QStringLiteral(" ") + info.fileName +
                 QStringLiteral(": ") + failure.description() + u'\n')
                    .toUtf8());
  }
  setState(update_state::Failed{info, failure.description()});
}

void Updater::installAndRelaunch(const UpdateInfo& info, const QString& bundleURL) {
  const int operation = ++operation_;
  setState(update_state::Installing{});
  auto fail = [this, info](const UpdateFailure& failure) {
    qCInfo(lcUpdater).noquote() << "relaunch failed:" << failure.description();
    setState(update_state::Failed{info, failure.description()});
  };
  // The staged folder sat in a temporary directory since it was checked: check it again.
  verifyStagedBundle(stagingContext(), bundleURL, expectationFor(info),
                     [this, bundleURL, operation, fail](const UpdateResult<std::monostate>& verified) {
                       if (operation != operation_) return;
                       if (!verified) return fail(verified.error());
                       const auto launched = launchRelauncher(
                           {options_.tools, options_.tempDirectory, options_.bundlePath, options_.pid()},
                           bundleURL);
                       if (!launched) return fail(launched.error());
                       qCInfo(lcUpdater).noquote() << "relauncher started in" << launched.value();
                       QTimer::singleShot(kRelaunchQuitDelayMs, this, [this] { options_.quit(); });
                     });
}

}  // namespace qb
