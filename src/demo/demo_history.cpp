#include "demo_history.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>

#include "fake_states.h"

namespace qb::fake {

QList<UsageSample> demoHistory(const QString& state) {
  const std::optional<CursorFigures> f = cursorFigures(state);
  if (!f) return {};
  // The cycle cursorUsageBody() answers with.
  const QDateTime start = cycleAnchor().addDays(-16);
  const qint64 startMs = start.toMSecsSinceEpoch();
  constexpr int kHours = 16 * 24;
  QList<UsageSample> out;
  for (int h = 0; h < kHours; ++h) {
    // Quiet at first, then faster: the recent pace says more than the cycle's average.
    const double share = std::pow(double(h + 1) / kHours, 2);
    UsageSample s;
    s.provider = Provider::cursor;
    s.atMs = startMs + qint64(h) * HistoryJournal::kHourMs + 30 * 60'000;
    s.percent = std::round(f->percent * share * 10) / 10;
    s.used = std::round(f->used * share);
    s.limit = f->limit;
    s.cents = f->cents;
    s.cycleStartMs = startMs;
    s.cycleEndMs = start.addDays(30).toMSecsSinceEpoch();
    s.onDemandCents = std::round(f->onDemandCents * share * share);
    out.append(s);
  }
  return out;
}

bool writeDemoHistory(const QString& path, const QString& state) {
  // The data folder; the journal makes its own folder in it, private.
  QDir().mkpath(QFileInfo(QFileInfo(path).absolutePath()).absolutePath());
  HistoryJournal journal(path);
  if (journal.open() != HistoryJournal::Access::writable) return false;
  for (const UsageSample& s : demoHistory(state)) {
    if (journal.record(s) == HistoryJournal::Outcome::dropped) return false;
  }
  return true;
}

}  // namespace qb::fake
