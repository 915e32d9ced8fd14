#pragma once

#include <QString>
#include <QStringList>

#include "platform/tool_table.h"
#include "updater/updater_error.h"

namespace qb {

// What staging needs to know about the system it runs on.
struct StagingContext {
  const platform::ToolTable* tools = nullptr;
  QString runningBundle;  // its identifier and its keyring are the reference
};

inline constexpr const char* kFallbackBundleIdentifier = "com.orvane.vantelo";

// Runs a tool to its end (blocking) and returns its standard output as text; a non-zero
// exit fails with installFailed naming the tool, its status and its trimmed error output.
UpdateResult<QString> runTool(const QString& path, const QStringList& arguments);

// The first *.app entry of the folder, else the first one anywhere below it.
UpdateResult<QString> findAppBundle(const QString& directory);

// Unpacks a zip archive or copies the application out of a disk image; the staged bundle.
UpdateResult<QString> stageArtifact(const StagingContext& context, const QString& artifact,
                                    const QString& contentType, const QString& workDirectory);

UpdateResult<QString> stageFromDiskImage(const StagingContext& context, const QString& image,
                                         const QString& workDirectory);

// Failures are ignored, like a failed detach.
void detachDiskImage(const StagingContext& context, const QString& mountPoint);

// Same bundle identifier as the running application, then a valid signature.
UpdateStatus verifyStagedBundle(const StagingContext& context, const QString& bundle);

}  // namespace qb
