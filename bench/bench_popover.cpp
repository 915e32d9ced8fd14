// Cost of one popover rebuild (view-model alone, and view-model plus widgets) with four
// services in their usual states, and the resident memory once it has been shown.
//   QT_QPA_PLATFORM=offscreen build/bench/bench_popover [--runs N]
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>

#include "popover_rig.h"
#include "ui/popover_widget.h"

namespace {
long residentKiB() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
  return -1;
}
}  // namespace

int main(int argc, char** argv) {
  qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
  QApplication app(argc, argv);
  int runs = 200;
  if (argc == 3 && QByteArray(argv[1]) == "--runs") runs = std::max(1, QByteArray(argv[2]).toInt());
  qb::test::PopoverRig rig({"normal", "normal", "error", "normal"});
  if (!rig.startAndSettle()) return 1;
  qb::Updater* updater = rig.withUpdate();
  qb::ui::PopoverWidget popover(rig.store(), updater, {});
  popover.show();

  QElapsedTimer t;
  t.start();
  const QDateTime now = QDateTime::currentDateTime();
  for (int i = 0; i < runs * 50; ++i) qb::popoverView(qb::popoverInput(rig.store(), updater), now);
  const double viewUs = t.nsecsElapsed() / 1000.0 / (runs * 50);
  t.restart();
  for (int i = 0; i < runs; ++i) {
    popover.render();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  const double renderMs = t.nsecsElapsed() / 1e6 / runs;
  std::printf("view-model: %.1f us per popover\nrender: %.2f ms per popover (%d runs)\nRSS: %ld KiB\n",
              viewUs, renderMs, runs, residentKiB());
  return 0;
}
