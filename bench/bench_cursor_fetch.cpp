// Cost of one Cursor fetchUsage against the loopback fake, and of decoding alone.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <ctime>

#include "fake_http_server.h"
#include "fake_services.h"
#include "providers/cursor_provider.h"

namespace {

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

void BM_CursorFetchUsage(benchmark::State& state) {
  qb::fake::FakeHttpServer server;
  qb::fake::installServiceRoutes(qb::Provider::cursor, server);
  const qb::CursorProvider api{QUrl(server.origin())};
  const QString session = QStringLiteral("WorkosCursorSessionToken=bench");
  const double cpuStart = cpuSeconds();
  for (auto _ : state) {
    bool done = false;
    QEventLoop loop;
    auto call = api.fetchUsage(session, [&](const qb::ApiResult<qb::UsageSnapshot>& r) {
      if (!r) state.SkipWithError("fetch failed");
      done = true;
      loop.quit();
    });
    if (!done) loop.exec();
  }
  // Process CPU includes the fake server's threads; it is an upper bound for the client.
  state.counters["cpu_ms_per_call"] =
      benchmark::Counter((cpuSeconds() - cpuStart) * 1e3 / state.iterations());
}
BENCHMARK(BM_CursorFetchUsage)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_DecodeUsageSummary(benchmark::State& state) {
  const QByteArray body = QByteArray::fromStdString(qb::fake::cursorUsageSummaryBody());
  for (auto _ : state) {
    auto summary = qb::cursor::decodeUsageSummary(qb::JsonReader::parse(body));
    benchmark::DoNotOptimize(summary);
  }
}
BENCHMARK(BM_DecodeUsageSummary)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
