#include "platform/process_runner.h"

#include <QProcess>

namespace qb::platform {

ProcessOutcome runProcess(const QString& program, const QStringList& arguments) {
  ProcessOutcome outcome;
  QProcess process;
  process.setProgram(program);
  process.setArguments(arguments);
  process.setStandardInputFile(QProcess::nullDevice());
  process.start();
  if (!process.waitForStarted(-1)) {
    outcome.startError = process.errorString();
    return outcome;
  }
  outcome.started = true;
  // waitForFinished() keeps reading both pipes into their buffers until the exit.
  process.waitForFinished(-1);
  outcome.standardOutput = process.readAllStandardOutput();
  outcome.standardError = process.readAllStandardError();
  outcome.exitStatus =
      process.exitStatus() == QProcess::NormalExit ? process.exitCode() : 128 + process.exitCode();
  return outcome;
}

}  // namespace qb::platform
