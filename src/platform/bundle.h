#pragma once

#include <QString>
#include <QVariantMap>

namespace qb::platform {

// The application installs as a self-contained folder, Quotabar.app, with
// Contents/Info.plist, Contents/bin/quotabar, Contents/Resources/ and
// Contents/_CodeSignature/.

// The *.app folder two levels above an executable folder ("X.app/Contents/bin"),
// or empty when the executable does not live in one.
QString bundleForExecutableDir(const QString& executableDir);

// The bundle of the running executable, or empty.
QString runningBundlePath();

QString infoPlistPath(const QString& bundle);

// The top-level dictionary of the bundle's Info.plist; empty when the file is missing,
// unreadable or not a dictionary.
QVariantMap readInfoDictionary(const QString& bundle);

// The public keyring that update signatures are checked against.
QString updateKeyringPath(const QString& bundle);

// The executable a relaunch starts, relative to the bundle.
inline constexpr const char* kBundleExecutable = "Contents/bin/quotabar";

}  // namespace qb::platform
