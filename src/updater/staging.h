#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "platform/process_runner.h"
#include "platform/tool_table.h"
#include "updater/updater_error.h"

namespace qb {

// What staging needs to know about the system it runs on, and its bounds.
struct StagingContext {
  const platform::ToolTable* tools = nullptr;
  QString runningBundle;  // its identifier, keyring and version are the reference
  QObject* owner = nullptr;  // when it goes, pending steps do nothing
  int toolTimeoutMs = 300'000;
  qint64 maxUnpackBytes = qint64(1) << 30;
  int maxUnpackEntries = 100'000;
};

// What the staged bundle must be: the offered release, newer than the running one.
struct StagingExpectation {
  QString version;
  std::optional<QString> build;
  QString runningVersion;
  QString runningBuild;
};

inline constexpr const char* kFallbackBundleIdentifier = "com.orvane.vantelo";

template <class T>
using Then = std::function<void(const UpdateResult<T>&)>;

// Runs a tool without blocking and hands its standard output as text to `done`; a
// non-zero exit fails with installFailed naming the tool, its status and the end of its
// trimmed error output; a tool we stopped names the reason.
void runTool(const StagingContext& context, const platform::CommandLine& line,
             const platform::ProcessLimits& limits, Then<QString> done);

// The first *.app entry of the folder, else the first one anywhere below it.
UpdateResult<QString> findAppBundle(const QString& directory);

// Unpacks a zip archive or copies the application out of a disk image; the staged bundle.
void stageArtifact(const StagingContext& context, const QString& artifact, const QString& contentType,
                   const QString& workDirectory, Then<QString> done);

// Same bundle identifier as the running application, a valid signature, the offered
// version and newer than the running one.
void verifyStagedBundle(const StagingContext& context, const QString& bundle,
                        const StagingExpectation& expected, Then<std::monostate> done);

}  // namespace qb
