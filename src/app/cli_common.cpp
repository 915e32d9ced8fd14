#include "app/cli_common.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>
#include <cstdio>

namespace qb::cli {

QTextStream& out() {
  static QTextStream stream(stdout);
  return stream;
}

QTextStream& err() {
  static QTextStream stream(stderr);
  return stream;
}

int usageError(const QString& message, const QString& usageLine) {
  if (!message.isEmpty()) err() << message << '\n';
  err() << "usage: " << usageLine << Qt::endl;
  return usage;
}

std::optional<Provider> providerArgument(const QStringList& args, const QString& usageLine) {
  if (args.size() != 1) {
    usageError(QString(), usageLine);
    return std::nullopt;
  }
  if (auto p = providerFromRaw(args.first())) return p;
  usageError(QStringLiteral("unknown provider \"%1\" (cursor, windsurf, codex or claude)").arg(args.first()),
             usageLine);
  return std::nullopt;
}

QString readSessionFromStdin() {
  QFile in;
  if (!in.open(stdin, QIODevice::ReadOnly)) return {};
  // A pasted cookie is small; cap the read so a stray pipe cannot exhaust memory.
  return QString::fromUtf8(in.read(1 << 20)).trimmed();
}

int runLoop(const std::function<void(std::function<void(int)>)>& start) {
  int code = failed;
  bool done = false;
  QTimer::singleShot(0, qApp, [&] {
    start([&](int c) {
      if (done) return;
      done = true;
      code = c;
      out().flush();
      err().flush();
      QCoreApplication::exit(c);
    });
  });
  QCoreApplication::exec();
  return code;
}

}  // namespace qb::cli
