// The usage history's figures (docs/history.md), in a temporary folder:
//   - CPU of recording one poll of four services (the write transaction and the read-back),
//     when every figure changed and when none did;
//   - building the chart's geometry and the forecast from a year of hourly rows;
//   - the file's size after a simulated year of hourly rows for four services, and the time
//     its check takes when it is opened;
//   - the longest the main thread is held by the history while another process keeps the
//     file locked for two seconds.
//   build/bench/bench_history [--runs N]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <thread>

#include "common/sqlite.h"
#include "monitoring/usage_history.h"
#include "present/cycle_chart.h"

namespace {

using qb::Provider;
using qb::UsageSample;
constexpr qint64 kHour = qb::HistoryJournal::kHourMs;

double threadCpuUs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Cursor-like figures an hour apart: a thirty-day cycle, the percentage climbing through it.
UsageSample sampleAt(Provider p, qint64 atMs, qint64 yearStartMs) {
  const qint64 cycle = 30 * 24 * kHour;
  const qint64 cycleStart = yearStartMs + (atMs - yearStartMs) / cycle * cycle;
  UsageSample s;
  s.provider = p;
  s.atMs = atMs;
  s.percent = std::round(double(atMs - cycleStart) / cycle * 1000 + static_cast<int>(p)) / 10;
  s.used = *s.percent * 20;
  s.limit = 2000;
  s.cents = true;
  s.cycleStartMs = cycleStart;
  s.cycleEndMs = cycleStart + cycle;
  s.onDemandCents = 0;
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int runs = 200;
  if (argc == 3 && QByteArray(argv[1]) == "--runs") runs = std::max(1, QByteArray(argv[2]).toInt());
  QTemporaryDir dir;
  const qint64 now = QDateTime::currentMSecsSinceEpoch() / kHour * kHour;
  const qint64 yearStart = now - 365 * 24 * kHour;

  // A year of hourly rows for four services, as the tray would have written them.
  const QString yearFile = dir.path() + QStringLiteral("/year/history.sqlite");
  QList<UsageSample> cursorYear;
  {
    qb::HistoryJournal journal(yearFile);
    journal.open();
    for (qint64 t = yearStart; t < now; t += kHour) {
      for (Provider p : qb::allProviders) journal.record(sampleAt(p, t, yearStart));
      cursorYear.append(sampleAt(Provider::cursor, t, yearStart));
    }
  }
  QElapsedTimer opening;
  opening.start();
  qb::HistoryJournal reopened(yearFile);
  reopened.open();
  const double openMs = opening.nsecsElapsed() / 1e6;
  std::printf("file after a year of hourly rows for four services: %.2f MB (%lld rows); opening it "
              "with its check: %.1f ms\n",
              QFileInfo(yearFile).size() / 1e6, static_cast<long long>(cursorYear.size() * 4), openMs);

  // One poll of four services, on the thread that writes.
  qint64 pollAt = now + kHour;
  for (const bool changed : {true, false}) {
    std::vector<double> cpu;
    for (int i = 0; i < runs; ++i, pollAt += (changed ? kHour : 60'000)) {
      const double t0 = threadCpuUs();
      for (Provider p : qb::allProviders) {
        UsageSample s = sampleAt(p, pollAt, yearStart);
        if (!changed) {
          s.percent = 50;
          s.used = 1000;
        }
        reopened.record(s);
        reopened.since(p, pollAt - 1);
      }
      cpu.push_back(threadCpuUs() - t0);
    }
    std::printf("recording one poll of four services (%s): %.0f us CPU (median of %d)\n",
                changed ? "every figure changed" : "nothing changed", median(cpu), runs);
  }

  // The chart and the forecast of the current cycle, from the whole year.
  qb::UsageSnapshot s;
  s.provider = Provider::cursor;
  s.billingStart = QDateTime::fromMSecsSinceEpoch(*cursorYear.last().cycleStartMs);
  s.billingEnd = QDateTime::fromMSecsSinceEpoch(*cursorYear.last().cycleEndMs);
  s.totalPercentUsed = cursorYear.last().percent;
  const QDateTime at = QDateTime::fromMSecsSinceEpoch(now);
  std::vector<double> chartMs;
  size_t points = 0;
  for (int i = 0; i < std::max(runs / 10, 5); ++i) {
    QElapsedTimer t;
    t.start();
    const auto forecast = qb::paceForecast(s, at, QLocale(), cursorYear);
    const auto chart = qb::cycleChart(s, cursorYear, at, forecast);
    chartMs.push_back(t.nsecsElapsed() / 1e6);
    points = chart ? size_t(chart->usage.size()) : 0;
  }
  std::printf("chart geometry and forecast from a year of rows (%lld): %.2f ms (median; %zu points drawn)\n",
              static_cast<long long>(cursorYear.size()), median(chartMs), points);

  // The main thread while another writer holds the file for two seconds.
  const QString busyFile = dir.path() + QStringLiteral("/busy/history.sqlite");
  std::vector<double> heldUs, heldCpuUs;
  {
    qb::UsageHistory history(busyFile);
    bool idle = false;
    history.whenIdle([&] { idle = true; });
    while (!idle) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::thread holder([&] {
      qb::sql::Database other;
      other.open(busyFile, false);
      other.exec("BEGIN IMMEDIATE");
      std::this_thread::sleep_for(std::chrono::seconds(2));
      other.exec("ROLLBACK");
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    QElapsedTimer wall;
    wall.start();
    for (int i = 0; wall.elapsed() < 3000; ++i) {
      QElapsedTimer call;
      call.start();
      const double cpu0 = threadCpuUs();
      for (Provider p : qb::allProviders) history.record(sampleAt(p, now + i * kHour, yearStart));
      QCoreApplication::processEvents();
      heldUs.push_back(call.nsecsElapsed() / 1e3);
      heldCpuUs.push_back(threadCpuUs() - cpu0);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    holder.join();
  }
  std::printf("main thread per poll while another writer locked the file for 2 s: median %.0f us, "
              "longest %.0f us wall, %.0f us CPU (%zu polls)\n",
              median(heldUs), *std::max_element(heldUs.begin(), heldUs.end()),
              *std::max_element(heldCpuUs.begin(), heldCpuUs.end()), heldUs.size());
  return 0;
}
