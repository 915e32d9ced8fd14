#pragma once

#include "fake_http_server.h"
#include "providers/provider.h"

namespace qb::fake {

// A service's login page on its login path, for signing in through the real web view:
// a form that sets the session cookie (with an unrelated cookie, one on another path and
// one on another host) and redirects to a signed-in page; a variant whose cookie the
// service refuses; a pop-up variant; and a link to a custom scheme.
// "/fake-login/requests" lists the Cookie header of every API request seen so far.
void installLoginPages(Provider p, FakeHttpServer& server);

// The session value a successful fake sign-in stores.
std::string fakeLoginSession(Provider p);

}  // namespace qb::fake
