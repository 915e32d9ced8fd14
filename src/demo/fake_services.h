#pragma once

#include "fake_http_server.h"
#include "providers/provider.h"

namespace qb::fake {

// Plausible answers of one service's endpoints. A request whose Cookie header carries
// none of the service's session cookie names gets 401, like the real sites.
void installServiceRoutes(Provider p, FakeHttpServer& server);

// Canned bodies, shared with tests and benchmarks.
std::string cursorAuthMeBody();
std::string cursorUsageSummaryBody();

}  // namespace qb::fake
