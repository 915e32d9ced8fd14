#include "fake_services.h"

#include "fake_login_pages.h"

namespace qb::fake {

namespace {

bool signedIn(Provider p, const RecordedRequest& req) {
  const std::string cookie = req.header("Cookie");
  for (const QString& name : cookieNames(p)) {
    if (cookie.find(name.toStdString() + "=") != std::string::npos) return true;
  }
  return false;
}

void guarded(Provider p, FakeHttpServer& server, const std::string& path, std::string body) {
  server.route(path, [p, body = std::move(body)](const RecordedRequest& req) {
    if (!signedIn(p, req)) return Reply::json(R"({"error":"not_authenticated"})", 401);
    return Reply::json(body);
  });
}

}  // namespace

std::string cursorAuthMeBody() {
  return R"({"email":"ada@example.com","email_verified":true,"name":"Ada Lovelace",)"
         R"("sub":"user_01HQ7Z3K","membershipType":"pro","subscriptionStatus":"active"})";
}

std::string cursorUsageSummaryBody() {
  return R"({"billingCycleStart":"2026-11-20T00:00:00.000Z",)"
         R"("billingCycleEnd":"2026-12-20T00:00:00.000Z","membershipType":"pro",)"
         R"("limitType":"user","isUnlimited":false,)"
         R"("autoModelSelectedDisplayMessage":"You've used 24% of your included Auto usage",)"
         R"("namedModelSelectedDisplayMessage":"You've used 58% of your included API usage",)"
         R"("individualUsage":{"plan":{"enabled":true,"used":1160,"limit":2000,"remaining":840,)"
         R"("breakdown":{"included":2000,"bonus":0,"total":2000},"autoPercentUsed":24.0,)"
         R"("apiPercentUsed":58.0,"totalPercentUsed":58.0},)"
         R"("onDemand":{"enabled":true,"used":1523,"limit":5000,"remaining":3477}},)"
         R"("teamUsage":{}})";
}

void installServiceRoutes(Provider p, FakeHttpServer& server) {
  installLoginPages(p, server);
  switch (p) {
    case Provider::cursor:
      guarded(p, server, "/api/auth/me", cursorAuthMeBody());
      guarded(p, server, "/api/usage-summary", cursorUsageSummaryBody());
      break;
    case Provider::windsurf:
      // The first candidate endpoint is gone on this deployment, like on the real site.
      server.route("/api/account/me", Reply::text("<html>Not Found</html>", 404));
      guarded(p, server, "/api/me",
              R"({"email":"ada@example.com","name":"ada","displayName":"Ada Lovelace",)"
              R"("tier":"Pro"})");
      break;
    case Provider::codex:
      server.route("/api/auth/session", [p](const RecordedRequest& req) {
        if (!signedIn(p, req)) return Reply::json("{}");  // the real endpoint answers an empty object
        return Reply::json(R"({"user":{"id":"user-8f2","email":"ada@example.com",)"
                           R"("name":"Ada Lovelace","picture":null},)"
                           R"("expires":"2027-01-05T10:00:00.000Z","accessToken":"redacted"})");
      });
      break;
    case Provider::claude:
      guarded(p, server, "/api/auth/current_account",
              R"({"email_address":"ada@example.com","full_name":"Ada Lovelace",)"
              R"("organizations":[{"name":"Personal","settings":{"billable_status":"active"}}]})");
      break;
  }
}

}  // namespace qb::fake
