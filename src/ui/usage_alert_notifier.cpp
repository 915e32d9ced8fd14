#include "ui/usage_alert_notifier.h"

#include <QPointer>

#include "monitoring/providers_store.h"
#include "platform/notifier.h"
#include "platform/settings.h"
#include "present/usage_alerts.h"

namespace qb::ui {

namespace {

QString key(Provider p, const char* field) {
  return QStringLiteral("Quotabar.alerts.%1.%2").arg(rawValue(p), QLatin1String(field));
}

AlertMemory readMemory(const QSettings& s, Provider p) {
  return {s.value(key(p, "band"), 0).toInt(), s.value(key(p, "cycle")).toString(),
          s.value(key(p, "signedIn"), false).toBool()};
}

void writeMemory(QSettings& s, Provider p, const AlertMemory& m) {
  s.setValue(key(p, "band"), m.band);
  s.setValue(key(p, "cycle"), m.cycle);
  s.setValue(key(p, "signedIn"), m.signedIn);
  platform::saveSettings(s, "the usage-alert memory");
}

}  // namespace

UsageAlertNotifier::UsageAlertNotifier(ProvidersStore& store, platform::Notifier& notifier,
                                       std::function<std::unique_ptr<QSettings>()> settings,
                                       Actions actions, QObject* parent)
    : QObject(parent), notifier_(notifier), settings_(std::move(settings)), actions_(std::move(actions)) {
  for (UsageMonitor* m : store.monitors()) {
    connect(m, &UsageMonitor::changed, this, [this, m] { consider(*m, false); });
    connect(m, &UsageMonitor::sessionRefused, this, [this, m] { consider(*m, true); });
  }
}

void UsageAlertNotifier::consider(const UsageMonitor& monitor, bool refused) {
  using Kind = UsageMonitor::State::Kind;
  if (!refused && monitor.state().kind != Kind::loaded) return;
  const Provider p = monitor.provider();
  const QDateTime now = QDateTime::currentDateTime();
  // A poll that neither tells nor changes what this object last remembered needs no look
  // at the settings (switched off, the memory follows all the same).
  std::optional<AlertMemory>& seen = seen_[static_cast<int>(p)];
  if (seen && !refused) {
    const AlertDecision unchanged = usageAlert({p, monitor.state(), false, true}, *seen, now);
    if (!unchanged.notice && unchanged.memory == *seen) return;
  }
  // Read afresh otherwise: another start of the app may have told it already.
  const std::unique_ptr<QSettings> settings = settings_();
  const AlertMemory before = readMemory(*settings, p);
  const AlertDecision d = usageAlert({p, monitor.state(), refused, usageAlertsEnabled(*settings)}, before, now);
  if (d.memory != before) writeMemory(*settings, p, d.memory);
  seen = d.memory;
  if (!d.notice) return;
  const Notice& n = *d.notice;
  QPointer<UsageAlertNotifier> self(this);
  notifier_.send({n.summary, n.body, static_cast<int>(n.urgency), {{QStringLiteral("default"), n.actionText}, {n.actionKey, n.actionText}}},
                 [self, p, signIn = n.actionKey == QLatin1String("signin")](const QString&) {
                   if (!self) return;
                   if (signIn && self->actions_.signIn) self->actions_.signIn(p);
                   if (!signIn && self->actions_.openPopover) self->actions_.openPopover();
                 },
                 {});
}

}  // namespace qb::ui
