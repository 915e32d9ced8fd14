#pragma once

#include <QStringList>

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

// Cursor's usage summary with a thirty-day billing cycle that began `startDaysAgo` days ago.
std::string cursorUsageBody(const std::string& planJson, const std::string& onDemandJson, int startDaysAgo = 16);

}  // namespace qb::fake
