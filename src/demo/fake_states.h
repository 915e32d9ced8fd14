#pragma once

#include <QDateTime>
#include <QStringList>
#include <optional>

#include "fake_http_server.h"
#include "providers/provider.h"

namespace qb::fake {

// Named states a service can be put in for the demo and the tests:
//   "normal"   the plain answers of fake_services.cpp (Cursor in cents, beta accounts with a note)
//   "requests" Cursor on a request plan at a warning level, on-demand on without a cap
//   "critical" Cursor past its plan and over its on-demand cap
//   "error"    every endpoint answers 500 (Cursor shows the error; the beta clients fall
//              back to their note, as they do for any failure)
//   "expired"  every endpoint answers 401 (signed out while a session is stored)
//   "slow"     the normal answers after 20 seconds (loading)
// Nothing connected needs no state: it is the absence of stored sessions.
QStringList stateNames();

// Installs the routes of `state` for the service; false for an unknown name.
bool installStateRoutes(const QString& state, Provider p, FakeHttpServer& server);

// "NAME" sets every service, "PROVIDER=NAME" one; false for an unknown provider or state.
bool parseStateOption(const QString& option, QString (&states)[4]);

// Cursor's usage summary with a thirty-day billing cycle that began `startDaysAgo` days
// before the process first asked (the cycle stays put while it runs).
std::string cursorUsageBody(const std::string& planJson, const std::string& onDemandJson, int startDaysAgo = 16);
QDateTime cycleAnchor();

// Cursor's figures in a state that has them ("normal", "requests", "critical", "slow"):
// the summary's plan and on-demand objects and the same figures as numbers.
struct CursorFigures {
  std::string plan, onDemand;
  double percent = 0, used = 0, limit = 0;
  bool cents = false;
  double onDemandCents = 0;
};
std::optional<CursorFigures> cursorFigures(const QString& state);

}  // namespace qb::fake
