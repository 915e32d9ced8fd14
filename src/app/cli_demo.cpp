#include <QDir>
#include <QFileInfo>
#include <unistd.h>

#include "app/cli_common.h"
#include "platform/bundle.h"

namespace qb::cli {

// Hands over to the bundle's demo script (it starts the local services and a copy of the
// app in a folder of its own); the script becomes this process, so Ctrl-C reaches it.
int demoCommand(const QStringList& args) {
  if (!args.isEmpty()) return usageError(QStringLiteral("demo takes no arguments"), QStringLiteral("quotabar demo"));
  const QString bundle = platform::runningBundlePath();
  const QString script = bundle + QStringLiteral("/Contents/Resources/demo.sh");
  if (bundle.isEmpty() || !QFileInfo(script).isFile()) {
    err() << "quotabar demo: this copy has no demo (" << script << " is missing)" << Qt::endl;
    return Exit::failed;
  }
  const QByteArray scriptPath = QFile::encodeName(script);
  const QByteArray bundlePath = QFile::encodeName(bundle);
  char* const argv[] = {const_cast<char*>("/bin/bash"), const_cast<char*>(scriptPath.constData()),
                        const_cast<char*>(bundlePath.constData()), nullptr};
  ::execv("/bin/bash", argv);
  err() << "quotabar demo: cannot start /bin/bash" << Qt::endl;
  return Exit::failed;
}

}  // namespace qb::cli
