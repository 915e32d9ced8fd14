// Cost of one refreshAll() of four services against the loopback fakes, and the resident
// memory of a process holding the store with four monitors polling.
// Usage: bench_store [path/to/fake-services] (defaults to the build tree's copy).
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <ctime>

#include "monitoring/providers_store.h"
#include "monitoring/session_store.h"
#include "providers/service_origin.h"

namespace {

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

double wallSeconds() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

long residentKiB() {
  QFile f(QStringLiteral("/proc/self/status"));
  if (!f.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
  return -1;
}

void runFor(int ms) {
  QTimer::singleShot(ms, qApp, &QCoreApplication::quit);
  QCoreApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QString fakes = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                 : QCoreApplication::applicationDirPath() + QStringLiteral("/../Quotabar.app/Contents/bin/fake-services");
  QTemporaryDir home;
  qputenv("XDG_DATA_HOME", home.path().toUtf8());
  qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
  qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");  // file copy only

  QProcess server;
  server.start(fakes, {});
  if (!server.waitForStarted() || !server.waitForReadyRead(5000)) {
    std::fprintf(stderr, "cannot start %s\n", qPrintable(fakes));
    return 1;
  }
  while (server.canReadLine() || server.waitForReadyRead(1000)) {
    const QString line = QString::fromUtf8(server.readLine()).trimmed();
    for (qb::Provider p : qb::allProviders)
      if (line.startsWith(qb::originVariable(p) + u'='))
        qb::setConfiguredOrigin(p, QUrl(line.section(u'=', 1)));
    if (line.startsWith(QStringLiteral("QUOTABAR_ORIGIN_CLAUDE"))) break;
  }
  const char* sessions[] = {"WorkosCursorSessionToken=b", "windsurf_session=b",
                            "__Secure-next-auth.session-token=b", "sessionKey=b"};
  for (qb::Provider p : qb::allProviders)
    qb::SessionStore::save(QString::fromLatin1(sessions[static_cast<int>(p)]), p);

  const long idleKiB = residentKiB();
  {
    qb::ProvidersStore store;
    const int rounds = 200;
    const double wall0 = wallSeconds(), cpu0 = cpuSeconds();
    for (int i = 0; i < rounds; ++i) {
      bool done = false;
      store.refreshAll([&] {
        done = true;
        QCoreApplication::quit();
      });
      if (!done) QCoreApplication::exec();
    }
    const double wall = (wallSeconds() - wall0) / rounds, cpu = (cpuSeconds() - cpu0) / rounds;
    std::printf("refreshAll (4 services, 5 requests): wall %.3f ms, cpu %.3f ms per call (%d calls)\n",
                wall * 1e3, cpu * 1e3, rounds);

    // Hold the store with every monitor polling at the 15-second floor for a minute.
    store.setRefreshIntervalSeconds(15);
    const double cpuIdle0 = cpuSeconds();
    runFor(60'000);
    std::printf("polling for 60 s (4 monitors, 15 s period): cpu %.1f ms, RSS %ld KiB "
                "(process before the store: %ld KiB)\n",
                (cpuSeconds() - cpuIdle0) * 1e3, residentKiB(), idleKiB);
  }
  server.terminate();
  server.waitForFinished();
  return 0;
}
