#include "platform/unix_signals.h"

#include <QCoreApplication>
#include <QMap>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qb::platform {

namespace {
int fds[2] = {-1, -1};
QMap<int, std::function<void()>>& handlers() {
  static QMap<int, std::function<void()>> map;
  return map;
}

void onSignal(int signal) {
  // The signal's number travels through the pipe; only async-signal-safe calls here.
  const char byte = static_cast<char>(signal);
  [[maybe_unused]] const ssize_t n = ::write(fds[0], &byte, 1);
}

bool openPipe() {
  if (fds[0] >= 0) return true;
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0) return false;
  auto* notifier = new QSocketNotifier(fds[1], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
    char buf[16];
    ssize_t n;
    while ((n = ::read(fds[1], buf, sizeof buf)) > 0) {
      for (ssize_t i = 0; i < n; ++i) {
        const auto handler = handlers().value(buf[i]);
        if (handler) handler();
      }
    }
  });
  return true;
}
}  // namespace

void onUnixSignal(int signal, std::function<void()> handler) {
  if (!openPipe()) return;
  handlers().insert(signal, std::move(handler));
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(signal, &sa, nullptr);
}

void quitOnTerminationSignals() {
  onUnixSignal(SIGTERM, [] { QCoreApplication::quit(); });
  onUnixSignal(SIGINT, [] { QCoreApplication::quit(); });
}

}  // namespace qb::platform
