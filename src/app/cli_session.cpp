// `quotabar signin|signout|status`: the headless front end over the same model the tray uses.
#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <unistd.h>
#include <vector>

#include "app/cli_common.h"
#include "common/text.h"
#include "monitoring/providers_store.h"
#include "monitoring/session_signin.h"
#include "monitoring/session_store.h"
#include "present/status_report.h"

namespace qb::cli {

int signinCommand(const QStringList& args) {
  const QString usageLine = QStringLiteral("quotabar signin PROVIDER < cookie");
  const auto provider = providerArgument(args, usageLine);
  if (!provider) return Exit::usage;
  const std::optional<QString> read = readSessionFromStdin(usageLine);
  if (!read) return Exit::usage;
  const QString session = *read;

  // The same check and store as the paste dialog.
  CallHandle call;
  return runLoop([&](std::function<void(int)> finished) {
    call = signInWithSession(*provider, session, [&, finished](const SessionSignIn& r) {
      switch (r.outcome) {
        case SessionSignIn::Outcome::refused:
          err() << "Couldn't validate that token\n" << terminalText(r.reason) << Qt::endl;
          return finished(Exit::failed);
        case SessionSignIn::Outcome::notStored:
          err() << "Couldn't store the session: " << terminalText(r.reason) << Qt::endl;
          return finished(Exit::failed);
        case SessionSignIn::Outcome::signedIn:
          out() << "Signed in to " << displayName(*provider) << " as " << terminalText(r.who) << Qt::endl;
          return finished(Exit::ok);
      }
    });
  });
}

int signoutCommand(const QStringList& args) {
  const QString usageLine = QStringLiteral("quotabar signout PROVIDER");
  const auto provider = providerArgument(args, usageLine);
  if (!provider) return Exit::usage;
  if (const SessionStore::Outcome removed = SessionStore::removeChecked(*provider); !removed) {
    err() << "Couldn't sign out of " << displayName(*provider) << ": " << terminalText(removed.reason) << Qt::endl;
    return Exit::failed;
  }
  out() << "Signed out of " << displayName(*provider) << Qt::endl;
  return Exit::ok;
}

namespace {

// The lean watcher beside this executable takes over, with the same command line (so a
// bar's `pkill -f 'quotabar status --waybar --watch'` still finds it). Returns only when
// it is not there.
void handOverToWatcher() {
  const QString helper = QCoreApplication::applicationDirPath() + QStringLiteral("/quotabar-watch");
  if (!QFileInfo(helper).isExecutable()) return;
  QList<QByteArray> args;
  for (const QString& a : QCoreApplication::arguments()) args << QFile::encodeName(a);
  std::vector<char*> argv;
  for (QByteArray& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  ::execv(QFile::encodeName(helper).constData(), argv.data());
}

}  // namespace

int statusCommand(const QStringList& args) {
  const QString usageLine = QStringLiteral("quotabar status [--json|--waybar] [--watch]");
  QStringList rest = args;
  const bool watch = rest.removeAll(QStringLiteral("--watch")) > 0;
  if (rest.size() > 1 || (rest.size() == 1 && rest.first() != QLatin1String("--json") &&
                          rest.first() != QLatin1String("--waybar")) ||
      (watch && rest.isEmpty()))
    return usageError(watch && rest.isEmpty() ? QStringLiteral("--watch needs --json or --waybar") : QString(),
                      usageLine);
  const QString format = rest.value(0);
  if (watch) {
    handOverToWatcher();
    return watchStatus(format == QLatin1String("--json"));
  }

  ProvidersStore store(ProvidersStore::Polling::off);
  store.keepHistory();
  return runLoop([&](std::function<void(int)> finished) {
    store.refreshAll([&, finished] {
      if (format == QLatin1String("--json")) {
        out() << terminalJson(QJsonDocument(statusToJson(store)).toJson(QJsonDocument::Compact)) << Qt::endl;
      } else if (format == QLatin1String("--waybar")) {
        out() << terminalJson(QJsonDocument(waybarJson(store)).toJson(QJsonDocument::Compact)) << Qt::endl;
      } else {
        for (const QString& line : statusLines(store)) out() << terminalText(line) << '\n';
        out().flush();
      }
      finished(Exit::ok);
    });
  });
}

}  // namespace qb::cli
