#pragma once

#include <QString>

#include "platform/tool_table.h"
#include "updater/updater_error.h"

namespace qb {

// The shell word for a path: single quotes, each inner single quote written as '\''.
QString shellQuote(const QString& path);

// DST's folder + DST's name without its extension + ".old.app": where the old application
// goes once the new one is in place.
QString backupPathFor(const QString& bundle);
// The same + ".new.app": where the new application is copied before it is swapped in.
QString stagingPathFor(const QString& bundle);

struct RelaunchPaths {
  QString log;
  QString src;  // the staged bundle
  QString dst;  // the running bundle
  QString bak;
};

// The relauncher script: it waits for `pid` to end, copies SRC beside DST, swaps the copy
// and DST in one atomic step (the old bundle then at BAK), removes the old bundle and opens
// the application again: the new one or, after a failure, the old one, never moved. No line
// break after the last line.
QString relauncherScript(const platform::ToolTable& tools, const RelaunchPaths& paths, qint64 pid);

// At start-up: removes what an interrupted swap left beside the running bundle (the staged
// copy, the old bundle), unless a relauncher is still at work there.
void removeSwapLeftovers(const QString& bundle);

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
