#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace qb::platform {

struct ProcessOutcome {
  bool started = false;
  QString startError;  // why it could not be started
  int exitStatus = -1;  // the exit code, or 128 + the signal for a killed process
  QByteArray standardOutput;
  QByteArray standardError;
};

// Runs a program with the arguments unchanged (no shell, the environment as it is) and
// waits for it to exit, blocking the calling thread. Both output pipes are drained while
// it runs, so a talkative tool never stalls on a full pipe; standard input is empty.
ProcessOutcome runProcess(const QString& program, const QStringList& arguments);

}  // namespace qb::platform
