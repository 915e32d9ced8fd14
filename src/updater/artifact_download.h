#pragma once

#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "updater/sha256.h"

class QNetworkAccessManager;
class QNetworkReply;

namespace qb {

// Streams one artifact to a file: bytes gather in a single 128 KiB buffer that is
// written and fed to the digest each time it fills, so the file is never held in memory.
// The reply's own read buffer is bounded too, which keeps the socket from racing ahead.
class ArtifactDownload : public QObject {
  Q_OBJECT
 public:
  static constexpr qsizetype kFlushBytes = 131072;
  static constexpr qint64 kReadBufferBytes = 256 * 1024;
  static constexpr qint64 kReportIntervalMs = 150;

  struct Options {
    QNetworkAccessManager* network = nullptr;
    QUrl url;
    QString filePath;
    std::optional<qint64> sizeBytes;  // the size the server announced beforehand
    qint64 maxBytes = qint64(1) << 30;  // without sizeBytes: no more than this
    int timeoutMs = 60'000;           // without any data
    std::function<QDateTime()> now;
  };

  explicit ArtifactDownload(Options options, QObject* parent = nullptr);
  ~ArtifactDownload() override;

  void start();

  qint64 received() const { return received_; }

 Q_SIGNALS:
  // A throttled progress report at a flush point: a fraction, or -1.0 without a size.
  void progress(double fraction);
  // The whole body is on disk; `sha256` is the digest of exactly the bytes written.
  void succeeded(const QString& sha256, bool sizeKnown);
  void failed(const QString& description);

 private:
  void onReadyRead();
  void onFinished();
  bool ensureOpen();
  bool flush();
  void fail(const QString& description);
  QString tooLarge() const;

  Options options_;
  QPointer<QNetworkReply> reply_;
  QTimer idle_;
  QFile file_;
  bool opened_ = false;
  bool done_ = false;
  QString stopReason_;
  std::vector<char> buffer_;
  qsizetype used_ = 0;
  qint64 received_ = 0;
  qint64 total_ = 0;
  qint64 limit_ = 0;
  std::optional<QDateTime> lastReport_;
  Sha256 digest_;
};

}  // namespace qb
