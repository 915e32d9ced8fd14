#pragma once

#include <QString>

namespace qb::platform {

// The user's login-start entry, ~/.config/autostart/com.orvane.quotabar.desktop, starting
// `executable`. It waits for the panel, so the tray icon has a host when it appears.
QString autostartEntryPath();
bool autostartEnabled();
// Writes or removes the entry; true when the file now says what was asked.
bool setAutostartEnabled(bool enabled, const QString& executable);
QString autostartEntry(const QString& executable);

}  // namespace qb::platform
