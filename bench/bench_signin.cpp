// Resident memory of a sign-in's caller before, during and after the sign-in, of the
// helper's process tree, and the time from present() to the login page shown. Needs a
// display, xdotool and fake-services' origins; bench/signin.sh sets all that up.
//   bench_signin [--cycles N]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <cstdio>

#include "monitoring/login_helper.h"
#include "providers/service_origin.h"

namespace {

double rssMiB(qint64 pid) {
  QFile f(QStringLiteral("/proc/%1/status").arg(pid));
  if (!f.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : f.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
  }
  return 0;
}

// The helper and every process below it (the web engine's zygotes and renderers).
double treeMiB(qint64 root) {
  QMap<qint64, qint64> parent;
  for (const QString& d : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    bool ok = false;
    const qint64 pid = d.toLongLong(&ok);
    if (!ok) continue;
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) continue;
    const QByteArray stat = f.readAll();
    parent[pid] = stat.mid(stat.lastIndexOf(')') + 2).split(' ').value(1).toLongLong();
  }
  double sum = 0;
  for (auto it = parent.begin(); it != parent.end(); ++it) {
    for (qint64 p = it.key(); p > 1; p = parent.value(p, 0)) {
      if (p == root) {
        sum += rssMiB(it.key());
        break;
      }
    }
  }
  return sum;
}

QString run(const QStringList& args) {
  QProcess p;
  p.start(QStringLiteral("xdotool"), args);
  p.waitForFinished(5000);
  return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

void clickSignIn() {
  const QString wid = run({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                           QStringLiteral("^Sign in to Cursor$")}).split(u'\n').first();
  QMap<QString, int> g;
  for (const QString& kv : run({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), wid}).split(u'\n'))
    g[kv.section(u'=', 0, 0)] = kv.section(u'=', 1).toInt();
  run({QStringLiteral("mousemove"), QString::number(g[QStringLiteral("X")] + 280),
       QString::number(g[QStringLiteral("Y")] + 50), QStringLiteral("click"), QStringLiteral("1")});
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  qb::applyOriginOverrides();
  int cycles = 3;
  const QStringList args = app.arguments();
  if (args.size() == 3 && args[1] == QLatin1String("--cycles")) cycles = qMax(1, args[2].toInt());
  const qint64 self = QCoreApplication::applicationPid();
  std::printf("caller before: %.1f MiB\n", rssMiB(self));

  int done = 0;
  std::function<void()> cycle = [&] {
    auto* helper = new qb::LoginHelper(qb::Provider::cursor, &app);
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(helper, &qb::LoginHelper::pageLoaded, [=] {
      std::printf("cycle %d: page shown after %lld ms; caller %.1f MiB; helper tree %.1f MiB (helper %.1f)\n",
                  done + 1, clock->elapsed(), rssMiB(self), treeMiB(helper->processId()),
                  rssMiB(helper->processId()));
      std::fflush(stdout);
      QTimer::singleShot(300, helper, clickSignIn);
    });
    QObject::connect(helper, &qb::LoginHelper::succeeded, [&, helper, clock] {
      QTimer::singleShot(1000, &app, [&, helper, clock] {
        std::printf("cycle %d: signed in; caller after %.1f MiB (helper running: %s)\n", done + 1,
                    rssMiB(self), helper->isRunning() ? "yes" : "no");
        std::fflush(stdout);
        delete helper;
        delete clock;
        if (++done < cycles) cycle(); else QCoreApplication::quit();
      });
    });
    QObject::connect(helper, &qb::LoginHelper::failed, [](const QString& line) {
      std::printf("failed: %s\n", qPrintable(line));
      QCoreApplication::exit(1);
    });
    helper->present();
  };
  QTimer::singleShot(0, &app, cycle);
  return QCoreApplication::exec();
}
