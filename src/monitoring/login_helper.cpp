#include "monitoring/login_helper.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <cstdio>
#include <utility>

namespace qb {

LoginHelper::LoginHelper(Provider p, QObject* parent) : QObject(parent), provider_(p) {}

LoginHelper::~LoginHelper() {
  if (!process_) return;
  process_->disconnect(this);
  if (process_->state() == QProcess::NotRunning) {
    delete process_;
    return;
  }
  // Closing its input is the helper's signal to quit. Not waited for here: the process
  // object outlives this handle until the helper ends, and kills one that lingers.
  QProcess* process = process_;
  process->setParent(nullptr);
  process->closeWriteChannel();
  connect(process, &QProcess::finished, process, &QObject::deleteLater);
  QTimer::singleShot(3000, process, [process] { process->kill(); });
}

QString LoginHelper::helperPath() {
  const QString overridden = qEnvironmentVariable("QUOTABAR_SIGNIN_HELPER");
  if (!overridden.isEmpty()) return overridden;
  return QCoreApplication::applicationDirPath() + QStringLiteral("/quotabar-signin");
}

bool LoginHelper::isRunning() const { return process_ && process_->state() != QProcess::NotRunning; }

qint64 LoginHelper::processId() const { return process_ ? process_->processId() : 0; }

void LoginHelper::present() {
  if (isRunning()) {
    process_->write(QByteArray(signin_protocol::present) + '\n');
    return;
  }
  start();
}

void LoginHelper::start() {
  done_ = false;
  unavailable_ = false;
  heardFrom_ = false;
  heldErrors_.clear();
  errorLine_.clear();
  lines_ = {};
  const QString path = helperPath();
  const QFileInfo info(path);
  if (!info.isFile() || !info.isExecutable()) {
    unavailable_ = true;
    // Reported after present() returns, so a caller connecting afterwards still hears it.
    QTimer::singleShot(0, this, [this] {
      fail(unavailableText(QStringLiteral("The sign-in window is not installed")));
    });
    return;
  }
  delete process_;
  auto* process = new QProcess(this);
  process_ = process;
  process->setProgram(path);
  process->setArguments({rawValue(provider_)});
  // Standard error is read (not forwarded) so a loader's failure can be told in one line.
  process->setProcessChannelMode(QProcess::SeparateChannels);
  if (commandLineLog_ && qEnvironmentVariableIsEmpty("QT_LOGGING_RULES")) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("com.orvane.*=false"));
    process->setProcessEnvironment(env);
  }
  connect(process, &QProcess::readyReadStandardOutput, this, &LoginHelper::readLines);
  connect(process, &QProcess::readyReadStandardError, this, &LoginHelper::readErrors);
  connect(process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
    if (e == QProcess::FailedToStart)
      fail(QStringLiteral("Could not start the sign-in window (%1): %2")
               .arg(helperPath(), process_ ? process_->errorString() : QString()));
  });
  connect(process, &QProcess::finished, this,
          [this](int code, QProcess::ExitStatus status) { onFinished(code, status); });
  process->start(QIODevice::ReadWrite);
  process->write(QByteArray(signin_protocol::present) + '\n');
}

void LoginHelper::readLines() {
  if (!process_) return;
  namespace sp = signin_protocol;
  const QByteArray bytes = process_->readAllStandardOutput();
  if (!bytes.isEmpty() && !heardFrom_) {
    heardFrom_ = true;
    passErrors(std::exchange(heldErrors_, QByteArray()));
  }
  lines_.append(bytes);
  while (const auto line = lines_.next()) {
    const sp::Message m = sp::parse(*line);
    if (m.word == sp::signedIn) {
      if (!done_) {
        done_ = true;
        Q_EMIT succeeded(m.text);
      }
    } else if (m.word == sp::closed) {
      if (!done_) Q_EMIT windowClosed();
    } else if (m.word == sp::shown) {
      Q_EMIT shown();
    } else if (m.word == sp::loaded) {
      Q_EMIT pageLoaded();
    } else if (m.word == sp::error) {
      errorLine_ = m.text;
    }
  }
  if (lines_.overflowed()) {
    process_->kill();
    fail(QStringLiteral("The sign-in window sent an overlong line and was stopped"));
  }
}

// Until the helper has said something, its standard error is held back: a dynamic loader
// that cannot find the web engine's libraries writes there and exits 127, and the caller
// tells that in one line of its own. Afterwards the helper's messages pass straight through.
void LoginHelper::readErrors() {
  if (!process_) return;
  const QByteArray bytes = process_->readAllStandardError();
  if (heardFrom_) return passErrors(bytes);
  heldErrors_.append(bytes);
  if (heldErrors_.size() > kMaxHeldErrors) {
    heardFrom_ = true;
    passErrors(std::exchange(heldErrors_, QByteArray()));
  }
}

// The tray's log never carries the helper's (a page's addresses); a command line run passes
// it on to the terminal.
void LoginHelper::passErrors(const QByteArray& bytes) {
  if (bytes.isEmpty() || !commandLineLog_) return;
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
  std::fflush(stderr);
}

QString LoginHelper::unavailableText(const QString& why) const {
  return why + QStringLiteral(": apt-get install quotabar-signin, or paste a cookie with "
                              "\"quotabar signin %1\"")
                   .arg(rawValue(provider_));
}

void LoginHelper::onFinished(int exitCode, int exitStatus) {
  readLines();
  readErrors();
  // 127 before a word: the loader did not find a library (or the program's interpreter).
  if (!done_ && exitStatus == QProcess::NormalExit && exitCode == 127 && !heardFrom_) {
    unavailable_ = true;
    heldErrors_.clear();
    return fail(unavailableText(QStringLiteral("The sign-in window cannot start (its web engine "
                                               "libraries are missing)")));
  }
  passErrors(std::exchange(heldErrors_, QByteArray()));
  if (done_) return;
  if (!errorLine_.isEmpty()) return fail(errorLine_);
  if (exitStatus != QProcess::NormalExit)
    return fail(QStringLiteral("The sign-in window for %1 crashed").arg(displayName(provider_)));
  fail(QStringLiteral("The sign-in window for %1 ended without signing in (exit code %2)")
           .arg(displayName(provider_))
           .arg(exitCode));
}

void LoginHelper::fail(const QString& line) {
  if (done_) return;
  done_ = true;
  Q_EMIT failed(line);
}

}  // namespace qb
