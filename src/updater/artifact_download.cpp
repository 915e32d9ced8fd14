#include "updater/artifact_download.h"

#include <QNetworkAccessManager>
#include <algorithm>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "common/network_rules.h"
#include "common/web_origin.h"
#include "updater/update_origin.h"

namespace qb {

ArtifactDownload::ArtifactDownload(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)), buffer_(kFlushBytes) {
  if (!options_.now) options_.now = [] { return QDateTime::currentDateTimeUtc(); };
}

ArtifactDownload::~ArtifactDownload() {
  if (reply_) {
    reply_->disconnect(this);
    reply_->abort();
    reply_->deleteLater();
  }
}

void ArtifactDownload::start() {
  QNetworkRequest request(options_.url);
  prepareUpdateRequest(request);
  QNetworkReply* reply = options_.network->get(request);
  reply_ = reply;
  // Bounded: Qt stops reading the socket while this much waits unread.
  reply->setReadBufferSize(kReadBufferBytes);
  // Nothing secret travels with the download, so any https (or loopback) target will do.
  guardRedirects(reply, [](const QUrl& target) { return isSecureOrLoopback(target); });
  armIdleTimeout(reply, options_.timeoutMs);
  connect(reply, &QNetworkReply::readyRead, this, &ArtifactDownload::onReadyRead);
  connect(reply, &QNetworkReply::finished, this, &ArtifactDownload::onFinished);
}

bool ArtifactDownload::ensureOpen() {
  if (opened_) return true;
  opened_ = true;
  const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
  const qint64 announced = length.isValid() ? length.toLongLong() : 0;
  total_ = announced >= 1 ? announced : options_.sizeBytes.value_or(0);
  limit_ = options_.sizeBytes && *options_.sizeBytes >= 0 ? *options_.sizeBytes : options_.maxBytes;
  if (announced > limit_) {
    fail(tooLarge());
    return false;
  }

  // Created empty first; only the open decides.
  { QFile(options_.filePath).open(QIODevice::WriteOnly | QIODevice::Truncate); }
  file_.setFileName(options_.filePath);
  if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
    fail(file_.errorString());
    return false;
  }
  return true;
}

bool ArtifactDownload::flush() {
  if (file_.write(buffer_.data(), used_) != used_) {
    const QString why = file_.errorString();
    file_.close();
    fail(why);
    return false;
  }
  digest_.update(buffer_.data(), used_);
  received_ += used_;
  used_ = 0;
  return true;
}

void ArtifactDownload::onReadyRead() {
  if (done_ || !reply_) return;
  if (!ensureOpen()) return;
  while (reply_ && reply_->bytesAvailable() > 0) {
    const qint64 n = reply_->read(buffer_.data() + used_, kFlushBytes - used_);
    if (n <= 0) break;
    used_ += n;
    if (received_ + used_ > limit_) {
      if (file_.isOpen()) file_.close();
      return fail(tooLarge());
    }
    if (used_ < kFlushBytes) continue;
    if (!flush()) return;
    const QDateTime now = options_.now();
    if (!lastReport_ || lastReport_->msecsTo(now) > kReportIntervalMs) {
      lastReport_ = now;
      Q_EMIT progress(total_ >= 1 ? std::min(1.0, double(received_) / double(total_)) : -1.0);
    }
  }
}

void ArtifactDownload::onFinished() {
  if (done_ || !reply_) return;
  // The status code is not examined: whatever body arrives must pass the later checks.
  const ReplyOutcome replied = replyOutcome(reply_);
  if (replied.kind == ReplyOutcome::Kind::transport) {
    const QString why = replied.failure;
    if (file_.isOpen()) file_.close();
    return fail(why);
  }
  onReadyRead();
  if (done_) return;
  if (!ensureOpen()) return;
  if (used_ > 0 && !flush()) return;
  file_.close();
  if (file_.error() != QFileDevice::NoError) return fail(file_.errorString());
  done_ = true;
  reply_->deleteLater();
  Q_EMIT succeeded(digest_.finalHex(), total_ > 0);
}

QString ArtifactDownload::tooLarge() const {
  return QStringLiteral("The download is larger than %1 bytes.").arg(limit_);
}

void ArtifactDownload::fail(const QString& description) {
  if (done_) return;
  done_ = true;
  if (reply_) {
    reply_->disconnect(this);
    reply_->abort();
    reply_->deleteLater();
  }
  Q_EMIT failed(description);
}

}  // namespace qb
