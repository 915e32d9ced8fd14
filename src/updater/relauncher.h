#pragma once

#include <QString>

#include "platform/tool_table.h"
#include "updater/updater_error.h"

namespace qb {

// The shell word for a path: single quotes, each inner single quote written as '\''.
QString shellQuote(const QString& path);

// DST's folder + DST's name without its extension + ".old.app".
QString backupPathFor(const QString& bundle);

struct RelaunchPaths {
  QString log;
  QString src;  // the staged bundle
  QString dst;  // the running bundle
  QString bak;
};

// The relauncher script: it waits for `pid` to end, moves DST aside, copies SRC into its
// place, restores the old bundle when the copy fails and opens the application again,
// the new one or, after a failure, the old one. No line break after the last line.
QString relauncherScript(const platform::ToolTable& tools, const RelaunchPaths& paths, qint64 pid);

struct RelaunchSetup {
  const platform::ToolTable* tools = nullptr;
  QString tempDirectory;
  QString runningBundle;
  qint64 pid = 0;
};

// Writes the script into a fresh "QuotabarRelauncher-<UUID>" folder and starts it
// detached; the folder on success. Refuses up front when the running bundle cannot be
// replaced, so the application is never quit for a swap that cannot happen.
UpdateResult<QString> launchRelauncher(const RelaunchSetup& setup, const QString& stagedBundle);

}  // namespace qb
