#include "present/status_report.h"

#include <QJsonArray>
#include <cmath>

#include "monitoring/providers_store.h"
#include "common/text.h"
#include "present/pace_forecast.h"
#include "present/snapshot_json.h"

namespace qb {

QJsonObject displayToJson(const StatusItemDisplay& d) {
  QJsonObject o{{QStringLiteral("image"), d.image},
                {QStringLiteral("title"), d.title},
                {QStringLiteral("tooltip"), d.tooltip}};
  if (d.titleColor) o.insert(QStringLiteral("titleColor"), *d.titleColor);
  return o;
}

QJsonObject statusToJson(const ProvidersStore& store) {
  const QDateTime now = QDateTime::currentDateTime();
  QJsonArray providers;
  for (const UsageMonitor* m : store.monitors()) {
    QJsonObject o{{QStringLiteral("provider"), m->id()},
                  {QStringLiteral("state"), QLatin1String(stateName(m->state().kind))}};
    if (m->state().snapshot) o.insert(QStringLiteral("snapshot"), snapshotToJson(*m->state().snapshot));
    if (m->state().kind == UsageMonitor::State::Kind::error)
      o.insert(QStringLiteral("error"), m->state().error);
    if (m->lastUpdated()) o.insert(QStringLiteral("lastUpdated"), isoUtc(*m->lastUpdated()));
    const QList<UsageSample> history = store.recordedCycle(m->provider());
    if (const auto f = m->state().snapshot ? paceForecast(*m->state().snapshot, now, QLocale(), history)
                                           : std::nullopt) {
      o.insert(QStringLiteral("forecastPercent"), std::round(f->percent * 10) / 10);
      o.insert(QStringLiteral("forecastBasis"), QLatin1String(basisName(f->basis)));
      if (f->runsOutAt) o.insert(QStringLiteral("runsOutAt"), isoUtc(*f->runsOutAt));
    }
    providers.append(o);
  }
  return {{QStringLiteral("display"), displayToJson(statusItemDisplay(store))},
          {QStringLiteral("providers"), providers}};
}

QJsonObject waybarJson(const ProvidersStore& store) {
  const StatusItemDisplay d = statusItemDisplay(store);
  QString text = d.title;
  if (text.startsWith(u' ')) text.remove(0, 1);
  // waybar reads both as Pango markup, which also refuses control characters.
  auto bar = [](const QString& t) { return markupEscaped(terminalText(t)); };
  QJsonObject o{{QStringLiteral("text"), bar(text)}, {QStringLiteral("tooltip"), bar(d.tooltip)}};
  const QList<Provider> connected = store.connectedProviders();
  QStringList failures;
  for (Provider p : connected) {
    const UsageMonitor::State& s = store.monitor(p)->state();
    if (s.kind == UsageMonitor::State::Kind::error) failures << displayName(p) + QStringLiteral(": ") + s.error;
  }
  if (connected.isEmpty()) {
    o.insert(QStringLiteral("class"), QStringLiteral("disconnected"));
  } else if (failures.size() == connected.size()) {
    // Nothing could be read: a class of its own, so the bar does not look normal.
    o.insert(QStringLiteral("class"), QStringLiteral("error"));
    if (text.isEmpty()) o.insert(QStringLiteral("text"), QStringLiteral("error"));
    o.insert(QStringLiteral("tooltip"), bar(failures.join(u'\n')));
  } else {
    o.insert(QStringLiteral("class"),
             QLatin1String(usageLevelName(d.percent ? usageLevel(*d.percent) : UsageLevel::normal)));
  }
  if (d.percent) o.insert(QStringLiteral("percentage"), static_cast<qint64>(std::round(*d.percent)));
  return o;
}

QStringList statusLines(const ProvidersStore& store) {
  QStringList lines;
  for (const UsageMonitor* m : store.monitors()) {
    const auto& s = m->state();
    QString detail;
    if (s.kind == UsageMonitor::State::Kind::error) {
      detail = s.error;
    } else if (s.snapshot) {
      if (const auto p = displayablePercent(s.snapshot->usagePercent()))
        detail = QString::asprintf("%.1f%%", *p);
      else
        detail = s.snapshot->statusNote.value_or(QString());
      if (s.snapshot->email) detail += QStringLiteral(" (%1)").arg(*s.snapshot->email);
    }
    lines << QStringLiteral("%1: %2%3")
                 .arg(displayName(m->provider()), QLatin1String(stateName(s.kind)),
                      detail.isEmpty() ? QString() : QStringLiteral(" \u2014 ") + detail.trimmed());
  }
  const StatusItemDisplay d = statusItemDisplay(store);
  lines << QStringLiteral("Tray: %1%2").arg(d.title.isEmpty() ? QString() : d.title.trimmed() + QStringLiteral(" \u2014 "), d.tooltip);
  return lines;
}

}  // namespace qb
