#pragma once

#include <QList>
#include <QString>
#include <array>
#include <optional>

#include "monitoring/usage_monitor.h"
#include "present/tint.h"

namespace qb {

class ProvidersStore;

// One service in the onboarding window.
struct OnboardingRowView {
  Provider provider = Provider::cursor;
  QString icon;
  Tint iconColor = Tint::blue;
  QString name;
  bool beta = false;
  struct Badge {
    QString text;
    Tint color = Tint::green;
  };
  std::optional<Badge> badge;
  QString subtitle;
  std::optional<QString> email;
  bool signedIn = false;  // the button signs out; otherwise it signs in
  QString buttonText;
  QString buttonAccessibleName;
};

struct OnboardingView {
  QString windowTitle;
  QString title;
  QString intro;
  QString betaNote;
  QList<OnboardingRowView> rows;
  QString footer;
  QString doneText;
};

OnboardingView onboardingView(const std::array<UsageMonitor::State, 4>& states);
OnboardingView onboardingView(const ProvidersStore& store);

}  // namespace qb
