#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

namespace qb::platform {

struct ProcessOutcome {
  bool started = false;
  QString startError;  // why it could not be started
  int exitStatus = -1;  // the exit code, or 128 + the signal for a killed process
  QByteArray standardOutput;  // its first maxOutputBytes
  QByteArray standardError;   // its last maxErrorBytes
  QString stopReason;         // set when we ended it: the time limit or the watch's reason
};

struct ProcessLimits {
  int timeoutMs = 300'000;
  qsizetype maxOutputBytes = 1024 * 1024;
  qsizetype maxErrorBytes = 4096;
  qint64 maxFileBytes = 0;  // largest file it may write (RLIMIT_FSIZE); 0: no limit
  QString tooLargeReason;   // the stop reason when it goes past maxFileBytes
  // Polled while it runs; a non-empty answer ends the tool with that reason.
  std::function<QString()> watch;
  int watchIntervalMs = 100;
};

// Runs one program without blocking the event loop: the arguments unchanged (no shell,
// the environment as it is), standard input from /dev/null, in a session of its own so
// it has no terminal to prompt on, killed with its process group past the time limit.
// Both pipes are drained while it runs, into bounded buffers.
class ToolProcess : public QObject {
  Q_OBJECT
 public:
  ToolProcess(QString program, QStringList arguments, ProcessLimits limits, QObject* parent = nullptr);
  ~ToolProcess() override;

  void start();

 Q_SIGNALS:
  // Exactly once, after start().
  void finished(const qb::platform::ProcessOutcome& outcome);

 private:
  void stop(const QString& reason);
  void readOutput();
  void readError();
  void finish();

  QString program_;
  QStringList arguments_;
  ProcessLimits limits_;
  QProcess process_;
  QTimer deadline_;
  QTimer watch_;
  ProcessOutcome outcome_;
  bool done_ = false;
};

}  // namespace qb::platform
