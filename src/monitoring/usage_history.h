#pragma once

#include <QList>
#include <QObject>
#include <array>
#include <functional>
#include <memory>

#include "monitoring/history_journal.h"

namespace qb {

// Adds a sample to a series kept in memory: its first sample and the latest of each hour.
void appendThinned(QList<UsageSample>& series, const UsageSample& s);

// This process's usage history: the file is written and read on a thread of its own, so a
// slow, busy or full disk never holds up a poll or the main thread; each service's latest
// billing cycle is kept here for the chart and the forecast.
class UsageHistory : public QObject {
  Q_OBJECT

 public:
  explicit UsageHistory(QString path, QObject* parent = nullptr);
  // Finishes the writes already asked for.
  ~UsageHistory() override;

  void record(const UsageSample& s);
  // The service's latest cycle as far as read back (other processes' rows included).
  const QList<UsageSample>& cycle(Provider p) const { return cycles_[static_cast<int>(p)]; }
  // Runs `done` on this object's thread once everything asked before is done and read back.
  void whenIdle(std::function<void()> done);

 Q_SIGNALS:
  void changed();

 private:
  class Worker;
  void merge(Provider p, const QList<UsageSample>& rows);

  std::array<QList<UsageSample>, 4> cycles_;
  std::unique_ptr<Worker> worker_;
};

}  // namespace qb
