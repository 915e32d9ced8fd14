#include "monitoring/usage_history.h"

#include <QDateTime>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace qb {

void appendThinned(QList<UsageSample>& series, const UsageSample& s) {
  const auto hour = [](const UsageSample& x) { return x.atMs / HistoryJournal::kHourMs; };
  if (series.size() >= 2 && hour(series.last()) == hour(s)) {
    series.last() = s;
  } else {
    series.append(s);
  }
}

// One thread and its queue of jobs, run in order; the journal is only touched there.
class UsageHistory::Worker {
 public:
  explicit Worker(QString path) : journal(std::move(path)), thread_([this] { loop(); }) {}
  ~Worker() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }

  void post(std::function<void()> job) {
    {
      const std::lock_guard lock(mutex_);
      jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
  }

  HistoryJournal journal;
  // The newest row read back per service.
  std::array<qint64, 4> seen{};

 private:
  void loop() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) break;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job();
    }
    // At the end the log is folded into the file; that too stays off the caller's thread.
    journal.close();
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once the rest exists
};

UsageHistory::UsageHistory(QString path, QObject* parent)
    : QObject(parent), worker_(std::make_unique<Worker>(std::move(path))) {
  Worker* w = worker_.get();
  // Without rows yet, only those after this moment count: a sample taken while the file
  // was still opening (a busy or large file) is among them.
  w->post([this, w, born = QDateTime::currentMSecsSinceEpoch() - 1] {
    w->journal.open();
    for (Provider p : allProviders) {
      QList<UsageSample> thin;
      for (const UsageSample& s : w->journal.latestCycle(p)) appendThinned(thin, s);
      w->seen[static_cast<int>(p)] = thin.isEmpty() ? born : thin.last().atMs;
      if (!thin.isEmpty()) QMetaObject::invokeMethod(this, [this, p, thin] { merge(p, thin); }, Qt::QueuedConnection);
    }
  });
}

// The worker finishes its queue before the object goes; its answers, posted to this
// object, go with it.
UsageHistory::~UsageHistory() { worker_.reset(); }

void UsageHistory::record(const UsageSample& s) {
  Worker* w = worker_.get();
  w->post([this, w, s] {
    w->journal.record(s);
    qint64& seen = w->seen[static_cast<int>(s.provider)];
    const QList<UsageSample> rows = w->journal.since(s.provider, seen);
    if (rows.isEmpty()) return;
    seen = rows.last().atMs;
    QMetaObject::invokeMethod(this, [this, p = s.provider, rows] { merge(p, rows); }, Qt::QueuedConnection);
  });
}

void UsageHistory::whenIdle(std::function<void()> done) {
  worker_->post([this, done = std::move(done)] { QMetaObject::invokeMethod(this, done, Qt::QueuedConnection); });
}

void UsageHistory::merge(Provider p, const QList<UsageSample>& rows) {
  QList<UsageSample>& series = cycles_[static_cast<int>(p)];
  for (const UsageSample& s : rows) {
    // A row of another billing cycle starts the series again.
    if (!series.isEmpty() && series.last().cycleStartMs != s.cycleStartMs) series.clear();
    appendThinned(series, s);
  }
  Q_EMIT changed();
}

}  // namespace qb
