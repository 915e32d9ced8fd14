// Placeholder until sessions land: signin, signout and status.
#include "app/cli_common.h"

namespace qb::cli {

int signinCommand(const QStringList&) {
  err() << "quotabar signin: not available in this build" << Qt::endl;
  return Exit::failed;
}

int signoutCommand(const QStringList&) {
  err() << "quotabar signout: not available in this build" << Qt::endl;
  return Exit::failed;
}

int statusCommand(const QStringList&) {
  err() << "quotabar status: not available in this build" << Qt::endl;
  return Exit::failed;
}

}  // namespace qb::cli
