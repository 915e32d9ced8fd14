#pragma once

#include <QDir>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <ostream>
#include <utility>

namespace qb::test {

// Runs the event loop until `done` holds or `timeoutMs` passes; returns `done()`.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10'000);

// Runs the event loop for `ms` milliseconds.
void spin(int ms);

// HOME and the XDG folders, each with its place under a home.
inline constexpr const char* kHomeFolders[4][2] = {
    {"HOME", ""}, {"XDG_DATA_HOME", "/.local/share"}, {"XDG_CONFIG_HOME", "/.config"}, {"XDG_CACHE_HOME", "/.cache"}};

// A private HOME with XDG folders for one test; restores the environment afterwards.
class TempHome {
 public:
  TempHome();
  ~TempHome();
  QString path() const { return dir_.path(); }
  QString dataHome() const { return dir_.path() + QStringLiteral("/.local/share"); }

 private:
  QTemporaryDir dir_;
  QByteArray saved_[4];
};

// The log lines while it lives, of the categories `rules` turns on (QLoggingCategory's
// filter rules); none of them may hold `secret`.
class LogCapture {
 public:
  explicit LogCapture(const QString& rules = {}, const QString& secret = {});
  ~LogCapture();
  QStringList of(QtMsgType wanted) const;
  QList<std::pair<QtMsgType, QString>> lines;

 private:
  QString secret_;
  bool filtered_;
  QtMessageHandler previous_;
};

// Runs a program to completion with `input` on stdin; returns the exit code.
struct ProcessResult {
  int exitCode = -1;
  QString out;
  QString err;
};
ProcessResult runProgram(const QString& program, const QStringList& args, const QByteArray& input,
                         const QStringList& extraEnv = {}, int timeoutMs = 30'000);

// Writes a file, its folders made as needed, last modified `modified` seconds after the epoch
// (0: now); reads one (empty when it cannot).
void writeFile(const QString& path, const QByteArray& bytes, qint64 modified = 0);
QByteArray readFile(const QString& path);

// The built quotabar executable inside the bundle layout.
QString quotabarExecutable();

}  // namespace qb::test

#include <optional>

#include "providers/provider_api.h"

namespace qb::test {

// Starts a client call and runs the event loop until it completes.
template <class T>
ApiResult<T> await(const std::function<CallHandle(Completion<T>)>& start, int timeoutMs = 10'000) {
  std::optional<ApiResult<T>> result;
  CallHandle call = start([&result](const ApiResult<T>& r) { result = r; });
  waitUntil([&] { return result.has_value(); }, timeoutMs);
  if (!result) return ProviderAPIError::transport(QStringLiteral("test: no completion"));
  return *result;
}

inline ApiResult<UsageSnapshot> fetchUsage(const ProviderAPI& api, const QString& session) {
  return await<UsageSnapshot>(
      [&](Completion<UsageSnapshot> done) { return api.fetchUsage(session, std::move(done)); });
}

inline ApiResult<AccountInfo> fetchAccount(const ProviderAPI& api, const QString& session) {
  return await<AccountInfo>(
      [&](Completion<AccountInfo> done) { return api.fetchAccount(session, std::move(done)); });
}

}  // namespace qb::test

// Readable failure messages for Qt strings (found by argument-dependent lookup).
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QByteArray& b, std::ostream* os) { *os << '"' << b.toStdString() << '"'; }
QT_END_NAMESPACE
