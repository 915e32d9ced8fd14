#include "present/onboarding_view.h"

#include "monitoring/providers_store.h"
#include "present/provider_section_view.h"

namespace qb {

OnboardingView onboardingView(const std::array<UsageMonitor::State, 4>& states) {
  using Kind = UsageMonitor::State::Kind;
  OnboardingView v;
  v.windowTitle = QStringLiteral("Connect AI Providers");
  v.title = QStringLiteral("Welcome to Quotabar");
  v.intro = QStringLiteral(
      "Sign in to any of the AI tools below to see your usage right from your tray. You can "
      "connect as many as you like \u2014 sign-ins are kept separately in your keyring.");
  v.betaNote = QStringLiteral(
      "Providers marked BETA capture your session so you stay signed in, but detailed numeric "
      "usage isn't surfaced yet \u2014 they link straight to the vendor's dashboard instead.");
  v.footer = QStringLiteral("You can revisit this screen any time from the tray.");
  v.doneText = QStringLiteral("Done");
  for (Provider p : allProviders) {
    const UsageMonitor::State& s = states[static_cast<int>(p)];
    OnboardingRowView r;
    r.provider = p;
    r.icon = systemImage(p);
    r.iconColor = iconTint(p);
    r.name = displayName(p);
    r.beta = isBeta(p);
    r.subtitle = subtitle(p);
    r.signedIn = s.kind == Kind::loaded || s.kind == Kind::unknown || s.kind == Kind::loading;
    if (r.signedIn) r.badge = OnboardingRowView::Badge{QStringLiteral("Connected"), Tint::green};
    if (s.kind == Kind::error)
      r.badge = OnboardingRowView::Badge{QStringLiteral("Sign in needed again"), Tint::orange};
    if (s.kind == Kind::loaded && s.snapshot && s.snapshot->email) r.email = s.snapshot->email;
    r.buttonText = r.signedIn ? QStringLiteral("Sign out") : QStringLiteral("Sign in");
    r.buttonAccessibleName = (r.signedIn ? QStringLiteral("Sign out of ") : QStringLiteral("Sign in to ")) + r.name;
    v.rows.append(r);
  }
  return v;
}

OnboardingView onboardingView(const ProvidersStore& store) {
  std::array<UsageMonitor::State, 4> states;
  for (const UsageMonitor* m : store.monitors()) states[static_cast<int>(m->provider())] = m->state();
  return onboardingView(states);
}

}  // namespace qb
