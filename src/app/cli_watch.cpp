// `quotabar status --waybar|--json --watch`: one long-running process for status bars.
#include <QCoreApplication>
#include <QJsonDocument>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <poll.h>
#include <unistd.h>

#include "app/cli_common.h"
#include "common/text.h"
#include "monitoring/providers_store.h"
#include "platform/unix_signals.h"
#include "present/status_report.h"

namespace qb::cli {

namespace {

// The reader of standard output has gone (the bar quit).
bool stdoutClosed() {
  pollfd p{STDOUT_FILENO, 0, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLERR | POLLHUP | POLLNVAL));
}

bool writeAll(const QByteArray& bytes) {
  qsizetype done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(STDOUT_FILENO, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += n;
  }
  return true;
}

bool settled(const ProvidersStore& store) {
  using Kind = UsageMonitor::State::Kind;
  for (const UsageMonitor* m : store.monitors()) {
    if (m->state().kind == Kind::unknown || m->state().kind == Kind::loading) return false;
  }
  return true;
}

constexpr int kFirstLineLatestMs = 10'000;
constexpr int kReaderCheckMs = 5'000;

}  // namespace

int watchStatus(bool json) {
  // A closed pipe shows as EPIPE from write(), not as a signal that kills us.
  ::signal(SIGPIPE, SIG_IGN);
  ProvidersStore store(ProvidersStore::Polling::on);
  store.keepHistory();
  QByteArray last;
  bool started = false;
  auto printLine = [&] {
    started = true;
    if (stdoutClosed()) return QCoreApplication::exit(Exit::ok);
    const QByteArray line =
        terminalJson(QJsonDocument(json ? statusToJson(store) : waybarJson(store)).toJson(QJsonDocument::Compact)) + '\n';
    if (line == last) return;
    if (!writeAll(line)) return QCoreApplication::exit(Exit::ok);
    last = line;
  };
  QObject::connect(&store, &ProvidersStore::changed, &store, [&] {
    // The first line waits for the first answers (or kFirstLineLatestMs), not for a poll.
    if (started || settled(store)) printLine();
  });
  QTimer first;
  first.setSingleShot(true);
  QObject::connect(&first, &QTimer::timeout, &store, [&] {
    if (!started) printLine();
  });
  QTimer reader;
  reader.setTimerType(Qt::VeryCoarseTimer);
  QObject::connect(&reader, &QTimer::timeout, &store, [] {
    if (stdoutClosed()) QCoreApplication::exit(Exit::ok);
  });

  platform::quitOnTerminationSignals();
  // A click on the bar: every stored session now, so one signed in since is picked up too.
  platform::onUnixSignal(SIGUSR1, [&store] { store.startAll(); });
  QTimer::singleShot(0, &store, [&] {
    store.startAll();
    first.start(kFirstLineLatestMs);
    reader.start(kReaderCheckMs);
    if (settled(store)) printLine();
  });
  return QCoreApplication::exec();
}

}  // namespace qb::cli
