#include "present/snapshot_json.h"

#include <cmath>

namespace qb {

namespace {

void put(QJsonObject& o, const char* key, const std::optional<QString>& v) {
  if (v) o.insert(QLatin1String(key), *v);
}

void put(QJsonObject& o, const char* key, const std::optional<double>& v) {
  // JSON has no infinity or NaN; such a value is shown as null rather than invented.
  if (v) o.insert(QLatin1String(key), std::isfinite(*v) ? QJsonValue(*v) : QJsonValue());
}

void put(QJsonObject& o, const char* key, const std::optional<QDateTime>& v) {
  if (v) o.insert(QLatin1String(key), isoUtc(*v));
}

}  // namespace

QString isoUtc(const QDateTime& t) { return t.toUTC().toString(Qt::ISODateWithMs); }

QJsonObject snapshotToJson(const UsageSnapshot& s) {
  QJsonObject o;
  o.insert(QLatin1String("provider"), rawValue(s.provider));
  put(o, "email", s.email);
  put(o, "membership", s.membership);
  put(o, "billingStart", s.billingStart);
  put(o, "billingEnd", s.billingEnd);
  put(o, "totalPercentUsed", s.totalPercentUsed);
  put(o, "autoPercentUsed", s.autoPercentUsed);
  put(o, "apiPercentUsed", s.apiPercentUsed);
  put(o, "planUsed", s.planUsed);
  put(o, "planLimit", s.planLimit);
  put(o, "planRemaining", s.planRemaining);
  o.insert(QLatin1String("isCentsBased"), s.isCentsBased);
  put(o, "onDemandUsedCents", s.onDemandUsedCents);
  put(o, "onDemandLimitCents", s.onDemandLimitCents);
  o.insert(QLatin1String("onDemandEnabled"), s.onDemandEnabled);
  put(o, "statusNote", s.statusNote);
  put(o, "usagePercent", s.usagePercent());
  return o;
}

QJsonObject accountToJson(const AccountInfo& a) {
  QJsonObject o;
  put(o, "email", a.email);
  put(o, "name", a.name);
  put(o, "plan", a.plan);
  return o;
}

}  // namespace qb
