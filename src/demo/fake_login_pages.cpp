#include "fake_login_pages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace qb::fake {

namespace {

std::string sessionName(Provider p) { return cookieNames(p).first().toStdString(); }

std::string page(const std::string& title, const std::string& body) {
  return "<!doctype html><html><head><meta charset=\"utf-8\"><title>" + title +
         "</title><style>body{margin:0;font:20px sans-serif}"
         // Large blocks at fixed heights, so a test can click them by position.
         ".b{display:block;box-sizing:border-box;width:100%;height:100px;margin:0;border:0;"
         "border-bottom:2px solid #fff;background:#2a6df4;color:#fff;font:20px sans-serif;"
         "text-align:center;line-height:100px;text-decoration:none;cursor:pointer}</style>"
         "</head><body>" +
         body + "</body></html>";
}

Reply redirect(const std::string& location, std::vector<std::string> cookies) {
  Reply r = Reply::text("", 302);
  r.headers.emplace_back("Location", location);
  for (std::string& c : cookies) r.headers.emplace_back("Set-Cookie", std::move(c));
  return r;
}

}  // namespace

std::string fakeLoginSession(Provider p) {
  return sessionName(p) + "=demo-" + rawValue(p).toStdString() + "; fake_prefs=dark; fake_trail=1";
}

void installLoginPages(Provider p, FakeHttpServer& server) {
  const std::string loginPath = loginURL(p).path().toStdString();
  const std::string name = sessionName(p);
  // __Secure- names are refused without the Secure flag; loopback counts as secure.
  const std::string secure = name.rfind("__Secure-", 0) == 0 ? "; Secure" : "";
  const int port = server.port();

  server.route(loginPath, Reply::text(page("Sign in",
      "<form action=\"/fake-login/submit\"><button class=\"b\">Sign in</button></form>"
      "<form action=\"/fake-login/stale\"><button class=\"b\">Sign in with an expired session"
      "</button></form>"
      "<a class=\"b\" href=\"#\" onclick=\"window.open('/fake-login/submit');return false\">"
      "Sign in in a pop-up window</a>"
      "<a class=\"b\" href=\"quotabar-demo://open\">Open in the desktop app</a>"), 200));

  server.route("/fake-login/submit", [=](const RecordedRequest&) {
    return redirect("http://localhost:" + std::to_string(port) + "/fake-login/elsewhere",
                    {name + "=demo-" + rawValue(p).toStdString() + "; Path=/; HttpOnly" + secure,
                     "fake_prefs=dark; Path=/", "fake_trail=1; Path=/fake-login"});
  });
  // Reached as "localhost": a cookie of another host, which the capture must leave out.
  server.route("/fake-login/elsewhere", [=](const RecordedRequest&) {
    return redirect("http://127.0.0.1:" + std::to_string(port) + "/fake-login/done",
                    {"fake_tracker=1; Path=/"});
  });
  server.route("/fake-login/stale", [=](const RecordedRequest&) {
    // Back to the login page, as a site does when its session cookie is no good.
    return redirect(loginPath, {name + "-expired=old; Path=/" + secure});
  });
  server.route("/fake-login/done",
               Reply::text(page("Signed in", "<h1>Signed in</h1><p>Welcome back.</p>"), 200));
  server.route("/fake-login/requests", [&server](const RecordedRequest&) {
    QJsonArray seen;
    for (const RecordedRequest& r : server.requests()) {
      if (r.path.rfind("/api/", 0) != 0) continue;
      seen.append(QJsonObject{{QStringLiteral("path"), QString::fromStdString(r.path)},
                              {QStringLiteral("cookie"), QString::fromStdString(r.header("Cookie"))}});
    }
    return Reply::json(QJsonDocument(seen).toJson(QJsonDocument::Compact).toStdString());
  });
}

}  // namespace qb::fake
