#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QUrl>
#include <optional>

#include "monitoring/usage_monitor.h"
#include "present/cycle_chart.h"
#include "present/status_item_display.h"
#include "present/tint.h"

namespace qb {

Tint iconTint(Provider p);
Tint levelTint(UsageLevel level);

// One service in the popover: header, body by the monitor's state, actions.
struct ProviderSectionView {
  Provider provider = Provider::cursor;
  QString icon;
  Tint iconColor = Tint::blue;
  QString name;
  bool beta = false;

  struct Pin {
    bool on = false;
    QString icon;
    Tint color = Tint::secondary;
    QString toolTip;
    QString accessibleName;
    QString accessibleValue;  // "On" / "Off"
  } pin;

  // The header's state action.
  enum class Action { none, progress, signIn, retry };
  Action action = Action::none;
  QString actionText;
  QString actionAccessibleName;

  enum class Body { checking, loading, signedOut, error, loaded };
  Body body = Body::checking;
  QString bodyText;  // the line of checking / loading / signed out; the error message

  // error
  QString errorTitle;
  QString errorIcon;
  QString signInAgainText;

  // loaded, block 1
  QString account;
  std::optional<QString> membership;
  std::optional<QString> updated;
  QString updatedAccessibleName;
  // block 2
  std::optional<QString> statusNote;
  struct Utilization {
    QString label;
    QString percentText;
    Tint color = Tint::green;
    double barValue = 0;  // 0 to 100
    QString accessibleName;
    QString accessibleValue;
    std::optional<QString> planText;
    std::optional<QString> remainingText;
  };
  std::optional<Utilization> utilization;
  // block 3
  struct OnDemand {
    QString icon;
    QString label;
    QString amount;
    std::optional<QString> note;       // without a cap
    std::optional<QString> capText;    // "Hard limit $50.00"
    std::optional<QString> capPercent; // "30% of cap"
  };
  std::optional<OnDemand> onDemand;
  // block 4
  struct Billing {
    QString label;
    QString daysLeft;
    std::optional<double> progress;  // 0 to 1
    std::optional<QString> start, cycle, end;
    // The pace forecast under the cycle, and when the plan runs out at that pace.
    std::optional<QString> forecast;
    Tint forecastColor = Tint::secondary;
    std::optional<QString> runsOut;
    // The cycle drawn from the usage history, under the cycle's dates.
    std::optional<CycleChart> chart;
  };
  std::optional<Billing> billing;
  // block 5
  QString dashboardText;
  QString dashboardAccessibleName;
  QUrl dashboardUrl;
  QString signOutText;
  QString signOutAccessibleName;
};

struct SectionInput {
  Provider provider = Provider::cursor;
  UsageMonitor::State state;
  std::optional<QDateTime> lastUpdated;
  bool isPrimary = false;
  QList<UsageSample> history = {};  // the service's latest recorded cycle
};

ProviderSectionView providerSectionView(const SectionInput& input, const QDateTime& now,
                                        const QLocale& locale = QLocale());

}  // namespace qb
