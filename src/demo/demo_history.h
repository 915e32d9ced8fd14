#pragma once

#include <QList>
#include <QString>

#include "monitoring/history_journal.h"

namespace qb::fake {

// Cursor's history in the stand-in's current cycle: hourly samples over its first sixteen
// days that speed up towards the end and reach the figures of `state`; none for a state
// without figures.
QList<UsageSample> demoHistory(const QString& state);

// Writes it into the history file at `path`; false when the file cannot take it.
bool writeDemoHistory(const QString& path, const QString& state);

}  // namespace qb::fake
