#pragma once

#include <QSettings>
#include <memory>

namespace qb::platform {

// The user's preferences: one INI file in the XDG config folder
// (~/.config/Quotabar/Quotabar.ini). New keys take the "Quotabar." prefix. Four older names
// stay as the first versions wrote them, so saved choices and update bookkeeping still
// count: "refreshIntervalSeconds" (no prefix; status-bar users set it by hand too), and the
// updater's "Vantelo.Updater.lastChecked", "Vantelo.Updater.lastAutoPresentedVersion" and
// "VanteloUpdateWindow". docs/configuration.md lists every key.
std::unique_ptr<QSettings> settings();

// Writes `s` to its file. When that fails (a full disk, a read-only folder), says so once
// per file, naming `what` may be forgotten.
void saveSettings(QSettings& s, const char* what);

}  // namespace qb::platform
