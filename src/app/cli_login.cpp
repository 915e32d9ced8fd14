// `quotabar login PROVIDER`: the service's sign-in window through the quotabar-signin helper.
#include "app/cli_common.h"
#include "common/text.h"
#include "monitoring/login_helper.h"

namespace qb::cli {

int loginCommand(const QStringList& args) {
  const QString usageLine = QStringLiteral("quotabar login PROVIDER");
  const auto provider = providerArgument(args, usageLine);
  if (!provider) return Exit::usage;
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
      !qgetenv("QT_QPA_PLATFORM").startsWith("offscreen")) {
    err() << "No display: the sign-in window needs a graphical session (paste a cookie with "
             "\"quotabar signin "
          << rawValue(*provider) << "\" instead)" << Qt::endl;
    return Exit::failed;
  }

  LoginHelper helper(*provider);
  helper.setCommandLineLog(true);
  return runLoop([&](std::function<void(int)> finished) {
    QObject::connect(&helper, &LoginHelper::succeeded, [&, finished](const QString& who) {
      out() << "Signed in to " << displayName(*provider) << " as " << terminalText(who) << Qt::endl;
      finished(Exit::ok);
    });
    QObject::connect(&helper, &LoginHelper::windowClosed, [&, finished] {
      err() << "Sign-in window closed; not signed in to " << displayName(*provider) << Qt::endl;
      finished(Exit::failed);
    });
    QObject::connect(&helper, &LoginHelper::failed, [finished](const QString& line) {
      err() << terminalText(line) << Qt::endl;
      finished(Exit::failed);
    });
    helper.present();
  });
}

}  // namespace qb::cli
