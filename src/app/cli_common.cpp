#include "app/cli_common.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "common/text.h"
#include "monitoring/session_store.h"

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

std::optional<QString> echoable(const QString& arg) {
  if (arg.size() > 32 || arg.contains(u'=') || arg.contains(u';')) return std::nullopt;
  return terminalText(arg);
}

QString echoed(const QString& arg) {
  const std::optional<QString> shown = echoable(arg);
  return shown ? QStringLiteral(" \"%1\"").arg(*shown) : QString();
}

std::optional<Provider> providerArgument(const QStringList& args, const QString& usageLine) {
  if (args.size() != 1) {
    usageError(QString(), usageLine);
    return std::nullopt;
  }
  if (auto p = providerFromRaw(args.first())) return p;
  const std::optional<QString> shown = echoable(args.first());
  usageError(shown ? QStringLiteral("unknown provider \"%1\" (cursor, windsurf, codex or claude)").arg(*shown)
                   : QStringLiteral("unknown provider (cursor, windsurf, codex or claude); a session goes on "
                                    "standard input, never on the command line"),
             usageLine);
  return std::nullopt;
}

std::optional<QString> readSessionFromStdin(const QString& usageLine) {
  // A pasted cookie is small; the cap keeps a stray pipe from filling memory.
  constexpr qsizetype kMax = 1 << 20;
  QByteArray bytes;
  char chunk[65536];
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      usageError(QStringLiteral("cannot read standard input: %1").arg(QString::fromLocal8Bit(std::strerror(errno))),
                 usageLine);
      return std::nullopt;
    }
    if (n == 0) break;
    bytes.append(chunk, n);
    if (bytes.size() > kMax) {
      usageError(QStringLiteral("the session value on standard input is larger than 1 MiB"), usageLine);
      return std::nullopt;
    }
  }
  const std::optional<QString> text = strictUtf8(bytes);
  if (!text) {
    usageError(QStringLiteral("the session value on standard input is not UTF-8 text"), usageLine);
    return std::nullopt;
  }
  if (text->trimmed().isEmpty()) {
    usageError(QStringLiteral("paste the cookie value or Cookie header on standard input"), usageLine);
    return std::nullopt;
  }
  if (const std::optional<QString> why = SessionStore::refusal(*text)) {
    usageError(*why, usageLine);
    return std::nullopt;
  }
  return text->trimmed();
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
