// `quotabar status --waybar|--json --watch`: one long-running process for status bars.
#include <QCoreApplication>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <poll.h>
#include <thread>
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

// Lines go out on a thread of their own: a reader that stopped reading blocks that thread in
// write(), never the event loop, so a signal still ends the watcher at once; and only the
// newest line waits, never a backlog. A failed write (the reader has gone) ends it too.
class LineWriter {
 public:
  LineWriter() {
    if (::pipe2(gone_, O_CLOEXEC | O_NONBLOCK) != 0) gone_[0] = gone_[1] = -1;
    notifier_ = new QSocketNotifier(gone_[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier_, &QSocketNotifier::activated, qApp, [] { QCoreApplication::exit(Exit::ok); });
    // Detached: at exit it may still sit in write(), and the process takes it along.
    std::thread([s = state_, gone = gone_[1]] {
      for (;;) {
        QByteArray line;
        {
          std::unique_lock lock(s->mutex);
          s->wake.wait(lock, [&] { return !s->next.isNull(); });
          line = std::exchange(s->next, QByteArray());
        }
        if (!writeAll(line)) {
          [[maybe_unused]] const ssize_t n = ::write(gone, "x", 1);
          return;
        }
      }
    }).detach();
  }
  // Replaces a line not yet started.
  void post(QByteArray line) {
    const std::lock_guard lock(state_->mutex);
    state_->next = std::move(line);
    state_->wake.notify_one();
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable wake;
    QByteArray next;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
  int gone_[2] = {-1, -1};
  QSocketNotifier* notifier_ = nullptr;
};

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
  LineWriter writer;
  QByteArray last;
  bool started = false;
  auto printLine = [&] {
    started = true;
    if (stdoutClosed()) return QCoreApplication::exit(Exit::ok);
    const QByteArray line =
        terminalJson(QJsonDocument(json ? statusToJson(store) : waybarJson(store)).toJson(QJsonDocument::Compact)) + '\n';
    if (line == last) return;
    writer.post(line);
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
