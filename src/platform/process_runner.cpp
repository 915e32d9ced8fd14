#include "platform/process_runner.h"

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace qb::platform {

ToolProcess::ToolProcess(QString program, QStringList arguments, ProcessLimits limits, QObject* parent)
    : QObject(parent), program_(std::move(program)), arguments_(std::move(arguments)), limits_(std::move(limits)) {
  deadline_.setSingleShot(true);
  connect(&deadline_, &QTimer::timeout, this,
          [this] { stop(QStringLiteral("it ran longer than %1 seconds").arg(limits_.timeoutMs / 1000.0)); });
  connect(&watch_, &QTimer::timeout, this, [this] {
    if (const QString reason = limits_.watch(); !reason.isEmpty()) stop(reason);
  });
  connect(&process_, &QProcess::readyReadStandardOutput, this, &ToolProcess::readOutput);
  connect(&process_, &QProcess::readyReadStandardError, this, &ToolProcess::readError);
  connect(&process_, &QProcess::finished, this, &ToolProcess::finish);
  connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart || done_) return;
    done_ = true;
    deadline_.stop();
    watch_.stop();
    outcome_.startError = process_.errorString();
    Q_EMIT finished(outcome_);
  });
}

ToolProcess::~ToolProcess() {
  if (process_.state() != QProcess::NotRunning && process_.processId() > 0) {
    process_.disconnect(this);
    ::kill(-pid_t(process_.processId()), SIGKILL);
    process_.waitForFinished(2000);
  }
}

void ToolProcess::start() {
  process_.setProgram(program_);
  process_.setArguments(arguments_);
  process_.setStandardInputFile(QProcess::nullDevice());
  const qint64 maxFile = limits_.maxFileBytes;
  process_.setChildProcessModifier([maxFile] {
    ::setsid();  // no controlling terminal; its own process group for the kill
    if (maxFile > 0) {
      const rlimit limit{rlim_t(maxFile), rlim_t(maxFile)};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
  });
  deadline_.start(limits_.timeoutMs);
  if (limits_.watch) watch_.start(limits_.watchIntervalMs);
  process_.start();
}

void ToolProcess::stop(const QString& reason) {
  if (done_ || process_.state() == QProcess::NotRunning || process_.processId() <= 0) return;
  if (outcome_.stopReason.isEmpty()) outcome_.stopReason = reason;
  deadline_.stop();
  watch_.stop();
  ::kill(-pid_t(process_.processId()), SIGKILL);
}

void ToolProcess::readOutput() {
  const QByteArray bytes = process_.readAllStandardOutput();
  const qsizetype room = limits_.maxOutputBytes - outcome_.standardOutput.size();
  if (room > 0) outcome_.standardOutput += bytes.left(room);
}

void ToolProcess::readError() {
  outcome_.standardError += process_.readAllStandardError();
  if (outcome_.standardError.size() > limits_.maxErrorBytes)
    outcome_.standardError = outcome_.standardError.right(limits_.maxErrorBytes);
}

void ToolProcess::finish() {
  if (done_) return;
  done_ = true;
  deadline_.stop();
  watch_.stop();
  readOutput();
  readError();
  outcome_.started = true;
  outcome_.exitStatus =
      process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : 128 + process_.exitCode();
  if (process_.exitStatus() == QProcess::CrashExit && process_.exitCode() == SIGXFSZ &&
      limits_.maxFileBytes > 0 && outcome_.stopReason.isEmpty())
    outcome_.stopReason = limits_.tooLargeReason;
  Q_EMIT finished(outcome_);
}

}  // namespace qb::platform
