#include "present/status_item_display.h"

#include <cmath>

#include "monitoring/providers_store.h"
#include "present/pace_forecast.h"

namespace qb {

namespace {

QString gaugeImage(double p) {
  if (p < 10) return QStringLiteral("gauge.with.dots.needle.0percent");
  if (p < 40) return QStringLiteral("gauge.with.dots.needle.33percent");
  if (p < 70) return QStringLiteral("gauge.with.dots.needle.50percent");
  if (p < 90) return QStringLiteral("gauge.with.dots.needle.67percent");
  return QStringLiteral("gauge.with.dots.needle.100percent");
}

QString colorName(double p) {
  switch (usageLevel(p)) {
    case UsageLevel::normal: return QStringLiteral("labelColor");
    case UsageLevel::warning: return QStringLiteral("systemYellowColor");
    case UsageLevel::critical: return QStringLiteral("systemRedColor");
  }
  return {};
}

}  // namespace

QString shortTimeWithoutSeconds(const QLocale& locale) {
  // Some locales' short form still carries seconds (the C locale's is "HH:mm:ss"). Drop
  // each seconds field with the separator before it, outside quoted literal text.
  const QString format = locale.timeFormat(QLocale::ShortFormat);
  QString out;
  bool quoted = false;
  for (qsizetype i = 0; i < format.size(); ++i) {
    const QChar c = format.at(i);
    if (c == u'\'') quoted = !quoted;
    if (quoted || (c != u's' && c != u'z')) {
      out += c;
      continue;
    }
    while (!out.isEmpty() && !out.back().isLetter() && out.back() != u'\'') out.chop(1);
  }
  return out;
}

StatusItemDisplay statusItemDisplay(const StatusItemInput& in, const QLocale& locale) {
  StatusItemDisplay d;
  if (in.connected.isEmpty()) {
    d.image = QStringLiteral("person.crop.circle.badge.questionmark");
    d.title = QStringLiteral(" Sign in");
    d.tooltip = QStringLiteral("Quotabar \u2014 click to connect an AI provider");
    return d;
  }
  const auto& state = in.primaryState;
  const bool loaded = state.kind == UsageMonitor::State::Kind::loaded && state.snapshot;
  const std::optional<double> percent =
      loaded ? displayablePercent(state.snapshot->usagePercent()) : std::nullopt;
  if (!percent) {
    const auto n = in.connected.size();
    d.image = QStringLiteral("person.crop.circle.badge.checkmark");
    d.tooltip = QStringLiteral("Quotabar \u2014 %1 provider%2 connected")
                    .arg(n)
                    .arg(n == 1 ? QString() : QStringLiteral("s"));
    return d;
  }
  const double p = *percent;
  const UsageSnapshot& s = *state.snapshot;
  d.percent = p;
  d.image = gaugeImage(p);
  d.title = QStringLiteral(" %1%").arg(static_cast<qint64>(std::round(p)));
  d.titleColor = colorName(p);
  QStringList parts{displayName(in.primary)};
  if (s.email) parts << *s.email;
  parts << QString::asprintf("Utilization %.1f%%", p);
  if (s.onDemandUsedCents && *s.onDemandUsedCents / 100 > 0)
    parts << QString::asprintf("On-demand $%.2f", *s.onDemandUsedCents / 100);
  if (const auto f = paceForecast(s, in.now, locale, in.history)) {
    parts << f->text;
    if (f->runsOutText) parts << *f->runsOutText;
  }
  if (in.lastUpdated)
    parts << QStringLiteral("Updated ") + locale.toString(in.lastUpdated->toLocalTime().time(),
                                                          shortTimeWithoutSeconds(locale));
  d.tooltip = parts.join(QStringLiteral(" \u2022 "));
  return d;
}

StatusItemDisplay statusItemDisplay(const ProvidersStore& store, const QLocale& locale) {
  const UsageMonitor* primary = store.primaryMonitor();
  return statusItemDisplay(
      StatusItemInput{store.connectedProviders(), primary->provider(), primary->state(),
                      primary->lastUpdated(), QDateTime::currentDateTime(),
                      store.recordedCycle(primary->provider())},
      locale);
}

}  // namespace qb
