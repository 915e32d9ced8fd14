#pragma once

#include <QString>
#include <QStringList>

namespace qb::platform {

struct CommandLine {
  QString program;
  QStringList arguments;
  bool operator==(const CommandLine&) const = default;
};

// How a staged bundle's signature is checked.
enum class SignatureScheme {
  codesign,     // the verify command alone decides
  gpgManifest,  // gpgv over Contents/_CodeSignature/CodeResources, then every entry checked
};

// The operating-system tools of an update, as data. Argument templates hold placeholders
// in braces ({archive}, {dir}, {image}, {mount}, {bundle}, {src}, {dst}, {keyring},
// {signature}, {data}); each stands for one path and may sit inside a larger argument.
// The relauncher script and every tool command line are pure functions of a table, so
// the macOS table can be checked against the documented command lines beside the Linux one.
struct ToolTable {
  QString platform;      // the "platform" query value of the update request
  CommandLine unzip;     // {archive} into {dir}
  CommandLine copy;      // bundle {src} to {dst}
  CommandLine attach;    // disk image {image} at {mount}
  CommandLine detach;    // {mount}; no program: the mount folder is removed instead
  CommandLine quarantine;  // {bundle}; no program: nothing to remove
  SignatureScheme signature = SignatureScheme::gpgManifest;
  CommandLine verify;    // codesign: {bundle}; gpgManifest: {keyring} {signature} {data}
  QString interpreter;   // runs the relauncher script
  // Relauncher script lines that name a tool (the rest of the script is fixed text).
  QString scriptLock;        // waits for the lock on file descriptor 9 (the bundle's folder)
  QString scriptCopy;        // copies "$SRC" to "$NEW"; a condition
  QString scriptQuarantine;  // its whole line, for "$DST"
  QString scriptOpen;        // starts the application at "$DST"
  QString executable;        // the application's executable, relative to the bundle
  QString swap;              // our program that swaps two folders in one step, ditto
};

const ToolTable& macosTools();
const ToolTable& linuxTools();
// The table of the system this build runs on.
const ToolTable& hostTools();

// Fills the placeholders of a template; unknown placeholders stay as written.
CommandLine expand(const CommandLine& pattern, const QList<QPair<QString, QString>>& values);

CommandLine unzipCommand(const ToolTable& t, const QString& archive, const QString& dir);
CommandLine copyCommand(const ToolTable& t, const QString& src, const QString& dst);
CommandLine attachCommand(const ToolTable& t, const QString& image, const QString& mount);
CommandLine detachCommand(const ToolTable& t, const QString& mount);
CommandLine quarantineCommand(const ToolTable& t, const QString& bundle);
CommandLine codesignCommand(const ToolTable& t, const QString& bundle);
CommandLine gpgvCommand(const ToolTable& t, const QString& keyring, const QString& signature,
                        const QString& data);

}  // namespace qb::platform
