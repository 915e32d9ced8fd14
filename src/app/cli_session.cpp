// `quotabar signin|signout|status`: the headless front end over the same model the tray uses.
#include <QJsonDocument>

#include "app/cli_common.h"
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
          err() << "Couldn't validate that token\n" << r.reason << Qt::endl;
          return finished(Exit::failed);
        case SessionSignIn::Outcome::notStored:
          err() << "Couldn't store the session: " << r.reason << Qt::endl;
          return finished(Exit::failed);
        case SessionSignIn::Outcome::signedIn:
          out() << "Signed in to " << displayName(*provider) << " as " << r.who << Qt::endl;
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
    err() << "Couldn't sign out of " << displayName(*provider) << ": " << removed.reason << Qt::endl;
    return Exit::failed;
  }
  out() << "Signed out of " << displayName(*provider) << Qt::endl;
  return Exit::ok;
}

int statusCommand(const QStringList& args) {
  const QString usageLine = QStringLiteral("quotabar status [--json|--waybar]");
  if (args.size() > 1 || (args.size() == 1 && args.first() != QLatin1String("--json") &&
                          args.first() != QLatin1String("--waybar")))
    return usageError(QString(), usageLine);
  const QString format = args.value(0);

  ProvidersStore store(ProvidersStore::Polling::off);
  return runLoop([&](std::function<void(int)> finished) {
    store.refreshAll([&, finished] {
      if (format == QLatin1String("--json")) {
        out() << QJsonDocument(statusToJson(store)).toJson(QJsonDocument::Compact) << Qt::endl;
      } else if (format == QLatin1String("--waybar")) {
        out() << QJsonDocument(waybarJson(store)).toJson(QJsonDocument::Compact) << Qt::endl;
      } else {
        for (const QString& line : statusLines(store)) out() << line << '\n';
        out().flush();
      }
      finished(Exit::ok);
    });
  });
}

}  // namespace qb::cli
