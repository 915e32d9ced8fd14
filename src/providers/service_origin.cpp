#include "providers/service_origin.h"

#include <array>

namespace qb {

namespace {

std::array<QUrl, 4>& origins() {
  static std::array<QUrl, 4> table{defaultOrigin(Provider::cursor), defaultOrigin(Provider::windsurf),
                                   defaultOrigin(Provider::codex), defaultOrigin(Provider::claude)};
  return table;
}

}  // namespace

QString originVariable(Provider p) {
  return QStringLiteral("QUOTABAR_ORIGIN_") + rawValue(p).toUpper();
}

QStringList applyOriginOverrides() {
  QStringList errors;
  for (Provider p : allProviders) {
    const QByteArray name = originVariable(p).toLatin1();
    QString error;
    if (auto origin = originFromEnvironment(name.constData(), defaultOrigin(p), &error))
      setConfiguredOrigin(p, *origin);
    else
      errors << error;
  }
  return errors;
}

QUrl defaultOrigin(Provider p) {
  switch (p) {
    case Provider::cursor: return QUrl(QStringLiteral("https://cursor.com"));
    case Provider::windsurf: return QUrl(QStringLiteral("https://windsurf.com"));
    case Provider::codex: return QUrl(QStringLiteral("https://chatgpt.com"));
    case Provider::claude: return QUrl(QStringLiteral("https://claude.ai"));
  }
  return {};
}

QUrl configuredOrigin(Provider p) { return origins()[static_cast<int>(p)]; }

void setConfiguredOrigin(Provider p, const QUrl& origin) { origins()[static_cast<int>(p)] = origin; }

}  // namespace qb
