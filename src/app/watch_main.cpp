// quotabar-watch: `quotabar status --waybar|--json --watch` in a process of its own on QtCore
// and QtNetwork alone, so a status bar's long-running watcher stays small. `quotabar` hands
// over to it with the same arguments.
#include <QCoreApplication>
#include <QLoggingCategory>
#include <cstdio>

#include "app/cli_common.h"
#include "providers/service_origin.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Quotabar"));
  QCoreApplication::setOrganizationName(QStringLiteral("Quotabar"));
  const QStringList originErrors = qb::applyOriginOverrides();
  for (const QString& e : originErrors) std::fprintf(stderr, "%s\n", qPrintable(e));
  if (!originErrors.isEmpty()) return qb::cli::Exit::usage;
  QLoggingCategory::setFilterRules(QStringLiteral("com.orvane.*=false"));
  return qb::cli::watchStatus(app.arguments().contains(QStringLiteral("--json")));
}
