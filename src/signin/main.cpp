// quotabar-signin PROVIDER: one service's sign-in window in a process of its own, so the
// web engine's memory and crashes stay away from the tray. Talks to its caller in lines
// on standard input and output (monitoring/signin_protocol.h); exits after success or when
// its input closes.
#include <QApplication>
#include <QIcon>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

#include "monitoring/signin_protocol.h"
#include "providers/service_origin.h"
#include "signin/login_window_controller.h"

namespace {

namespace sp = qb::signin_protocol;

void say(const char* word, const QString& text = QString()) {
  const QByteArray line = sp::format(word, text);
  std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
  std::fflush(stdout);
}

bool hasDisplay() {
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
         platform.startsWith("offscreen") || platform.startsWith("vnc");
}

}  // namespace

int main(int argc, char** argv) {
  const auto provider = argc == 2 ? qb::providerFromRaw(QString::fromLocal8Bit(argv[1])) : std::nullopt;
  if (!provider) {
    say(sp::error, QStringLiteral("usage: quotabar-signin cursor|windsurf|codex|claude"));
    return 2;
  }
  if (!hasDisplay()) {
    say(sp::error, QStringLiteral("No display: the sign-in window needs a graphical session "
                                  "(paste a cookie with \"quotabar signin %1\" instead)")
                       .arg(qb::rawValue(*provider)));
    return 1;
  }
  const QStringList originErrors = qb::applyOriginOverrides();
  if (!originErrors.isEmpty()) {
    say(sp::error, originErrors.join(QStringLiteral("; ")));
    return 2;
  }

  // The engine's start-up report is noise for the caller; QT_LOGGING_RULES still wins.
  QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quotabar"));
  QApplication::setOrganizationName(QStringLiteral("Quotabar"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/app/quotabar.svg")));
  // A closed window keeps the process and its cookie jar for the next present.
  QApplication::setQuitOnLastWindowClosed(false);

  qb::LoginWindowController window(*provider);
  bool loadedOnce = false;
  QObject::connect(&window, &qb::LoginWindowController::closedWithoutSuccess, [] { say(sp::closed); });
  QObject::connect(&window, &qb::LoginWindowController::pageLoaded, [&loadedOnce] {
    if (!loadedOnce) say(sp::loaded);
    loadedOnce = true;
  });

  auto present = [&window] {
    window.present([](const QString& who) {
      say(sp::signedIn, who);
      QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    });
    say(sp::shown);
  };

  // Standard input: one command a line; end of input means the caller is gone.
  sp::LineBuffer lines;
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char buf[512];
    const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n <= 0) {
      input.setEnabled(false);
      QCoreApplication::exit(0);
      return;
    }
    lines.append(QByteArray(buf, static_cast<qsizetype>(n)));
    while (const auto line = lines.next()) {
      if (sp::parse(*line).word == sp::present) present();
    }
  });
  return QApplication::exec();
}
