// Service origins and what a sign-in captures: cookies by domain, the session header, the pages
// a sign-in window may open.
#include <gtest/gtest.h>

#include "providers/service_origin.h"
#include "providers/session_capture.h"

namespace qb {
namespace {

TEST(SessionCapture, DomainMatchKeepsLabelBoundaries) {
  struct Case {
    const char* cookie;
    const char* domain;
    bool match;
  } cases[] = {
      {"cursor.com", "cursor.com", true},       {".cursor.com", "cursor.com", true},
      {"www.cursor.com", "cursor.com", true},   {".cursor.com", "app.cursor.com", true},
      {"com", "cursor.com", true},              {"CURSOR.com", "cursor.com", true},
      {"evilcursor.com", "cursor.com", false},  {"cursor.com.evil.io", "cursor.com", false},
      {"ursor.com", "cursor.com", false},       {"example.org", "cursor.com", false},
      {".", "cursor.com", false},               {"", "cursor.com", false},
      {"127.0.0.1", "127.0.0.1", true},         {"localhost", "127.0.0.1", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(cookieDomainMatches(QString::fromLatin1(c.cookie), QString::fromLatin1(c.domain)), c.match)
        << c.cookie << " vs " << c.domain;
}

TEST(SessionCapture, AnchorAndHeaderFollowTheRules) {
  const QString d = QStringLiteral("chatgpt.com");
  const QStringList names = cookieNames(Provider::codex);
  auto jar = [](std::initializer_list<JarCookie> l) { return QList<JarCookie>(l); };
  struct Case {
    const char* what;
    QList<JarCookie> jar;
    bool manual;
    const char* header;  // nullptr: nothing captured
    const char* anchor;
  } cases[] = {
      {"split cookie anchors by prefix; store order, other domains and empty values left out",
       jar({{"cf", "1", ".chatgpt.com", "/"},
            {"__Secure-next-auth.session-token.0", "abc", "chatgpt.com", "/"},
            {"ads", "9", "doubleclick.net", "/"},
            {"_oai_session", "", "chatgpt.com", "/"},
            {"lang", "en", "auth.chatgpt.com", "/x"}}),
       false, "cf=1; __Secure-next-auth.session-token.0=abc; lang=en",
       "__Secure-next-auth.session-token.0"},
      {"an anchor with an empty value is no anchor",
       jar({{"__Secure-next-auth.session-token", "", "chatgpt.com", "/"}, {"cf", "1", "chatgpt.com", "/"}}),
       false, nullptr, nullptr},
      {"the first anchor in store order wins, whichever name it carries",
       jar({{"_oai_session", "s", "chatgpt.com", "/"}, {"__Secure-1PSID", "p", "chatgpt.com", "/"}}),
       false, "_oai_session=s; __Secure-1PSID=p", "_oai_session"},
      {"an anchor on a lookalike domain does not count",
       jar({{"__Secure-1PSID", "p", "notchatgpt.com", "/"}}), true, nullptr, nullptr},
      {"manual capture without a named cookie takes every usable cookie",
       jar({{"cf", "1", "chatgpt.com", "/"}, {"x", "2", "chatgpt.com", "/"}}), true, "cf=1; x=2", "cf"},
      {"automatic capture without a named cookie finds nothing",
       jar({{"cf", "1", "chatgpt.com", "/"}}), false, nullptr, nullptr},
      {"manual capture with no usable cookie finds nothing",
       jar({{"cf", "", "chatgpt.com", "/"}, {"y", "1", "example.org", "/"}}), true, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    const auto got = captureSession(c.jar, d, names, c.manual);
    ASSERT_EQ(got.has_value(), c.header != nullptr) << c.what;
    if (!got) continue;
    EXPECT_EQ(got->header, QString::fromLatin1(c.header)) << c.what;
    EXPECT_EQ(got->anchorName, QString::fromLatin1(c.anchor)) << c.what;
    EXPECT_EQ(got->cookieCount, got->header.count(QStringLiteral("; ")) + 1) << c.what;
  }
}

TEST(SessionCapture, PasteInstructionsNameTheDomainAndFirstCookie) {
  const QString text = pasteInstructions(QStringLiteral("claude.ai"), {QStringLiteral("sessionKey")});
  EXPECT_TRUE(text.contains(QStringLiteral("Cookies \u2192 claude.ai \u2192 copy the value of \"sessionKey\".\nFirefox: F12")));
  EXPECT_TRUE(pasteInstructions(QStringLiteral("x.test"), {}).contains(QStringLiteral("\"session\"")));
  // Under an origin override the texts and the capture domain follow the override's host.
  setConfiguredOrigin(Provider::cursor, QUrl(QStringLiteral("http://127.0.0.1:8123")));
  EXPECT_TRUE(pasteInstructions(Provider::cursor).contains(QStringLiteral("open https://127.0.0.1 in")));
  EXPECT_EQ(loginURL(Provider::cursor).toString(), QStringLiteral("http://127.0.0.1:8123/loginDeepControl"));
  setConfiguredOrigin(Provider::cursor, defaultOrigin(Provider::cursor));
}

TEST(SessionCapture, OnlyWebSchemesMayNavigate) {
  for (const char* ok : {"https://cursor.com/x", "HTTP://127.0.0.1:1/", "about:blank",
                         "data:text/html,hi", "relative/path"})
    EXPECT_TRUE(isAllowedNavigation(QUrl(QString::fromLatin1(ok)))) << ok;
  for (const char* bad : {"cursor://open", "mailto:a@b.c", "itms-apps://x", "file:///etc/passwd",
                          "javascript:alert(1)"})
    EXPECT_FALSE(isAllowedNavigation(QUrl(QString::fromLatin1(bad)))) << bad;
}

TEST(SessionCapture, GateRunsOneAttemptAndRetriesOnlyAChangedHeader) {
  CaptureGate gate;
  const QString stale = QStringLiteral("K=stale"), fresh = QStringLiteral("K=fresh");
  ASSERT_TRUE(gate.mayStart(stale, false));
  gate.started();
  EXPECT_FALSE(gate.mayStart(stale, false)) << "a tick while validating starts nothing";
  EXPECT_FALSE(gate.mayStart(fresh, true)) << "nor does a manual capture";
  gate.failed(stale);
  EXPECT_FALSE(gate.mayStart(stale, false)) << "the same failed header is not retried by a tick";
  EXPECT_TRUE(gate.mayStart(stale, true)) << "manual capture and paste always validate";
  EXPECT_TRUE(gate.mayStart(fresh, false));
  gate.started();
  EXPECT_TRUE(gate.succeeded());
  EXPECT_FALSE(gate.succeeded()) << "success is reported once";
  EXPECT_FALSE(gate.mayStart(QStringLiteral("K=other"), true));
  gate.reset();
  EXPECT_TRUE(gate.mayStart(fresh, false));
}

TEST(Origins, OnlyHttpsOrLoopbackHttpOriginsAreAccepted) {
  struct Case {
    const char* text;
    const char* origin;  // nullptr: refused
  } cases[] = {
      {"http://127.0.0.1:8123", "http://127.0.0.1:8123"},
      {"http://localhost:9/", "http://localhost:9"},
      {"http://[::1]:80", "http://[::1]:80"},
      {"https://cursor.example", "https://cursor.example"},
      {"http://cursor.example", nullptr},
      {"http://10.0.0.1:80", nullptr},
      {"ftp://127.0.0.1", nullptr},
      {"https://host/path", nullptr},
      {"https://user:pw@host", nullptr},
      {"127.0.0.1:8000", nullptr},
      {"not a url", nullptr},
  };
  for (const auto& c : cases) {
    QString why;
    const auto origin = parseOrigin(QString::fromLatin1(c.text), &why);
    if (c.origin) {
      ASSERT_TRUE(origin) << c.text << ": " << why.toStdString();
      EXPECT_EQ(origin->toString(), QString::fromLatin1(c.origin));
    } else {
      EXPECT_FALSE(origin) << c.text;
      EXPECT_FALSE(why.isEmpty());
    }
  }
}

TEST(Origins, ARefusedOverrideNamesItsVariableAndKeepsTheDefault) {
  qputenv("QUOTABAR_ORIGIN_WINDSURF", "http://windsurf.example");
  const QStringList errors = applyOriginOverrides();
  qunsetenv("QUOTABAR_ORIGIN_WINDSURF");
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors.first().startsWith(QStringLiteral("QUOTABAR_ORIGIN_WINDSURF=")));
  EXPECT_TRUE(errors.first().contains(QStringLiteral("loopback")));
  EXPECT_EQ(webOrigin(Provider::windsurf), defaultOrigin(Provider::windsurf));
}

}  // namespace
}  // namespace qb
