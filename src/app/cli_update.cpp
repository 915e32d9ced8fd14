// Placeholder until the updater lands.
#include "app/cli_common.h"

namespace qb::cli {

int updateCommand(const QStringList&) {
  err() << "quotabar update: not available in this build" << Qt::endl;
  return Exit::failed;
}

}  // namespace qb::cli
