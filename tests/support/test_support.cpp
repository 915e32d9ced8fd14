#include "support/test_support.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>

namespace qb::test {

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return done();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
  return true;
}

void spin(int ms) { waitUntil([] { return false; }, ms); }

TempHome::TempHome() {
  for (int i = 0; i < 4; ++i) {
    saved_[i] = qgetenv(kHomeFolders[i][0]);
    const QString folder = dir_.path() + QLatin1String(kHomeFolders[i][1]);
    QDir().mkpath(folder);
    qputenv(kHomeFolders[i][0], folder.toUtf8());
  }
  QStandardPaths::setTestModeEnabled(false);
}

TempHome::~TempHome() {
  for (int i = 0; i < 4; ++i) saved_[i].isNull() ? qunsetenv(kHomeFolders[i][0]) : qputenv(kHomeFolders[i][0], saved_[i]);
}

namespace {
LogCapture* capturing = nullptr;
}  // namespace

LogCapture::LogCapture(const QString& rules, const QString& secret)
    : secret_(secret),
      filtered_(!rules.isEmpty()),
      previous_(qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (capturing) capturing->lines.append({type, message});
      })) {
  capturing = this;
  if (filtered_) QLoggingCategory::setFilterRules(rules);
}

LogCapture::~LogCapture() {
  qInstallMessageHandler(previous_);
  capturing = nullptr;
  if (filtered_) QLoggingCategory::setFilterRules(QStringLiteral("com.orvane.*=false"));  // as the test main has it
  if (secret_.isEmpty()) return;
  for (const auto& [type, line] : lines) EXPECT_FALSE(line.contains(secret_)) << qPrintable(line);
}

QStringList LogCapture::of(QtMsgType wanted) const {
  QStringList out;
  for (const auto& [type, line] : lines)
    if (type == wanted) out << line;
  return out;
}

ProcessResult runProgram(const QString& program, const QStringList& args, const QByteArray& input,
                         const QStringList& extraEnv, int timeoutMs) {
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const QString& kv : extraEnv) {
    const qsizetype eq = kv.indexOf(u'=');
    if (eq < 0)
      env.remove(kv);
    else
      env.insert(kv.left(eq), kv.mid(eq + 1));
  }
  process.setProcessEnvironment(env);
  process.start(program, args);
  ProcessResult result;
  if (!process.waitForStarted(timeoutMs)) return result;
  process.write(input);
  process.closeWriteChannel();
  // Keep the event loop turning so in-process fake servers and timers stay live.
  waitUntil([&] { return process.state() == QProcess::NotRunning; }, timeoutMs);
  if (process.state() != QProcess::NotRunning) {
    process.kill();
    process.waitForFinished();
    return result;
  }
  result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  result.out = QString::fromUtf8(process.readAllStandardOutput());
  result.err = QString::fromUtf8(process.readAllStandardError());
  return result;
}

void writeFile(const QString& path, const QByteArray& bytes, qint64 modified) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  ASSERT_EQ(file.write(bytes), bytes.size());
  if (modified != 0) {
    ASSERT_TRUE(file.flush() && file.setFileTime(QDateTime::fromSecsSinceEpoch(modified), QFileDevice::FileModificationTime));
  }
}

QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString quotabarExecutable() {
  return qEnvironmentVariable("QUOTABAR_BUNDLE_BIN") + QStringLiteral("/quotabar");
}

}  // namespace qb::test
