#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <optional>

#include "providers/provider.h"

namespace qb::cli {

enum Exit { ok = 0, failed = 1, usage = 2 };

QTextStream& out();
QTextStream& err();

// Prints the usage line of a command and returns the usage exit code.
int usageError(const QString& message, const QString& usageLine);

// An argument fit to echo in a message, or nothing when it may be a session value typed in
// the wrong place (it holds "=" or ";", or is long): that is never repeated.
std::optional<QString> echoable(const QString& arg);
// The same as ` "arg"` to append to a message, or nothing.
QString echoed(const QString& arg);

// The one PROVIDER argument of a command; prints the usage error when it is missing,
// extra or unknown (the caller then exits with `usage`).
std::optional<Provider> providerArgument(const QStringList& args, const QString& usageLine);

// The session value from standard input, read to its end and trimmed; never echoed.
// Nothing, with the usage error printed, when it is empty, over 1 MiB, not UTF-8 or holds
// a control character (the caller then exits with `usage`).
std::optional<QString> readSessionFromStdin(const QString& usageLine);

// Runs the event loop until `finished` is called; returns its exit code.
int runLoop(const std::function<void(std::function<void(int)> finished)>& start);

int fetchCommand(const QStringList& args);
int accountCommand(const QStringList& args);
int signinCommand(const QStringList& args);
int loginCommand(const QStringList& args);
int signoutCommand(const QStringList& args);
int statusCommand(const QStringList& args);
// Prints the status line now and again on each change until a signal or a closed output.
int watchStatus(bool json);
int updateCommand(const QStringList& args);
int historyCommand(const QStringList& args);
int demoCommand(const QStringList& args);

}  // namespace qb::cli
