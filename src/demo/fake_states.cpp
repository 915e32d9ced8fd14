#include "fake_states.h"

#include <QDateTime>

#include "fake_services.h"

namespace qb::fake {

QStringList stateNames() {
  return {QStringLiteral("normal"), QStringLiteral("requests"), QStringLiteral("critical"),
          QStringLiteral("error"), QStringLiteral("expired"), QStringLiteral("slow")};
}

bool parseStateOption(const QString& option, QString (&states)[4]) {
  const qsizetype eq = option.indexOf(QLatin1Char('='));
  const QString name = option.mid(eq + 1);
  if (!stateNames().contains(name)) return false;
  if (eq < 0) {
    for (QString& s : states) s = name;
    return true;
  }
  const std::optional<Provider> p = providerFromRaw(option.left(eq));
  if (!p) return false;
  states[static_cast<int>(*p)] = name;
  return true;
}

QDateTime cycleAnchor() {
  // Fixed for the life of the process: the service keeps one cycle start, as the real one does.
  static const QDateTime anchor = QDateTime::currentDateTimeUtc();
  return anchor;
}

std::string cursorUsageBody(const std::string& plan, const std::string& onDemand, int startDaysAgo) {
  // Sixteen days (by default) into a thirty-day cycle, whatever the date: the pace of
  // each state gives a forecast.
  const QDateTime start = cycleAnchor().addDays(-startDaysAgo);
  const std::string s = start.toString(Qt::ISODateWithMs).toStdString();
  const std::string e = start.addDays(30).toString(Qt::ISODateWithMs).toStdString();
  return R"({"billingCycleStart":")" + s + R"(","billingCycleEnd":")" + e +
         R"(","membershipType":"pro","limitType":"user","isUnlimited":false,)"
         R"("individualUsage":{"plan":)" + plan + R"(,"onDemand":)" + onDemand + R"(},"teamUsage":{}})";
}

std::optional<CursorFigures> cursorFigures(const QString& state) {
  static const std::pair<const char*, CursorFigures> figures[] = {
      {"normal",
       {R"({"enabled":true,"used":1160,"limit":2000,"remaining":840,"totalPercentUsed":58.0,"apiPercentUsed":58.0})",
        R"({"enabled":true,"used":1523,"limit":5000,"remaining":3477})", 58.0, 1160, 2000, true, 1523}},
      {"requests",
       {R"({"enabled":true,"used":361,"limit":500,"remaining":139,"totalPercentUsed":72.2})",
        R"({"enabled":true,"used":0})", 72.2, 361, 500, false, 0}},
      {"critical",
       {R"({"enabled":true,"used":2150,"limit":2000,"remaining":0,"totalPercentUsed":107.5})",
        R"({"enabled":true,"used":6240,"limit":5000,"remaining":0})", 107.5, 2150, 2000, true, 6240}},
  };
  // Held back, the service still has the figures of a normal day.
  const QString name = state == QLatin1String("slow") ? QStringLiteral("normal") : state;
  for (const auto& [n, f] : figures) {
    if (name == QLatin1String(n)) return f;
  }
  return std::nullopt;
}

namespace {

// Every path the service's client asks for.
std::vector<std::string> paths(Provider p) {
  switch (p) {
    case Provider::cursor: return {"/api/auth/me", "/api/usage-summary"};
    case Provider::windsurf: return {"/api/account/me", "/api/me", "/api/user"};
    case Provider::codex: return {"/api/auth/session"};
    case Provider::claude: return {"/api/auth/current_account"};
  }
  return {};
}

void cursorUsage(FakeHttpServer& server, std::string plan, std::string onDemand) {
  server.route("/api/usage-summary", [plan = std::move(plan), onDemand = std::move(onDemand)](const RecordedRequest& r) {
    if (r.header("Cookie").find("WorkosCursorSessionToken=") == std::string::npos)
      return Reply::json(R"({"error":"not_authenticated"})", 401);
    return Reply::json(cursorUsageBody(plan, onDemand));
  });
}

}  // namespace

bool installStateRoutes(const QString& state, Provider p, FakeHttpServer& server) {
  if (!stateNames().contains(state)) return false;
  installServiceRoutes(p, server);
  const std::optional<CursorFigures> figures = cursorFigures(state);
  if (p == Provider::cursor && figures && state != QLatin1String("slow")) {
    cursorUsage(server, figures->plan, figures->onDemand);
  } else if (state == QLatin1String("error")) {
    for (const auto& path : paths(p))
      server.route(path, Reply::text("upstream unavailable", 500, "text/plain"));
  } else if (state == QLatin1String("expired")) {
    for (const auto& path : paths(p)) server.route(path, Reply::json(R"({"error":"expired"})", 401));
  } else if (state == QLatin1String("slow") && p == Provider::cursor) {
    // Held back longer than a glance, shorter than the client's idle timeout.
    Reply me = Reply::json(cursorAuthMeBody());
    me.delayMs = 15'000;
    server.route("/api/auth/me", me);
    Reply usage = Reply::json(cursorUsageBody(figures->plan, figures->onDemand));
    usage.delayMs = 15'000;
    server.route("/api/usage-summary", usage);
  }
  return true;
}

}  // namespace qb::fake
