#include "ui/provider_section_widget.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include "ui/badge_label.h"
#include "ui/cycle_chart_widget.h"
#include "ui/decorated_frame.h"
#include "ui/spinner.h"
#include "ui/symbol_icon.h"
#include "ui/utilization_view.h"

namespace qb::ui {

namespace {

using View = ProviderSectionView;

// Most of a section is fine print, some of it a little bolder; notes wrap.
constexpr LabelLook kFinePrint{.style = TextStyle::caption2, .tint = Tint::secondary};
constexpr LabelLook kFinePrintBold{.style = TextStyle::caption2, .tint = Tint::secondary,
                                   .weight = QFont::DemiBold};
constexpr LabelLook kNote{.style = TextStyle::caption, .tint = Tint::secondary, .wrap = true};
constexpr LabelLook kErrorTitle{.style = TextStyle::caption, .tint = Tint::orange, .weight = QFont::DemiBold};

QPushButton* smallButton(const QString& text, const QString& accessibleName, bool prominent,
                         QWidget* parent) {
  auto* b = new QPushButton(literalText(text), parent);
  b->setFont(textFont(TextStyle::caption));
  b->setAccessibleName(accessibleName);
  b->setProperty("prominent", prominent);
  b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  // Small: as wide as the text, not the style's minimum push-button width.
  b->setFixedWidth(b->fontMetrics().horizontalAdvance(text) + 24);
  return b;
}

QString key(const View& v, const char* what) {
  return QLatin1String(what) + QLatin1Char('-') + rawValue(v.provider);
}

void connectCall(QAbstractButton* b, const std::function<void()>& f) {
  QObject::connect(b, &QAbstractButton::clicked, b, [f] {
    if (f) f();
  });
}

QWidget* header(const View& v, const ProviderSectionWidget::Callbacks& cb, QWidget* parent) {
  auto* row = new QWidget(parent);
  auto* h = new QHBoxLayout(row);
  h->setContentsMargins(0, 0, 0, 0);
  h->setSpacing(6);
  const qreal dpr = parent->devicePixelRatioF();
  auto* name = new DecoratedFrame(row);
  name->setIcon(symbolPixmap(v.icon, tintColor(v.iconColor, row->palette()), 16, dpr), 16, 6);
  auto* nl = new QHBoxLayout(name);
  nl->setContentsMargins(0, 0, 0, 0);
  nl->addWidget(makeLabel(v.name, {.style = TextStyle::subheadline, .weight = QFont::DemiBold}, name));
  h->addWidget(name);
  if (v.beta) h->addWidget(BadgeLabel::beta(row));
  h->addStretch(1);

  auto* pin = new QToolButton(row);
  pin->setObjectName(key(v, "pin"));
  pin->setAutoRaise(true);
  pin->setCheckable(true);
  pin->setChecked(v.pin.on);
  pin->setIcon(symbolIcon(v.pin.icon, tintColor(v.pin.color, row->palette())));
  pin->setIconSize(QSize(16, 16));
  pin->setToolTip(v.pin.toolTip);
  pin->setAccessibleName(v.pin.accessibleName);
  pin->setAccessibleDescription(v.pin.toolTip);
  // The store decides the mark; a click only asks for it.
  QObject::connect(pin, &QToolButton::clicked, pin, [pin, on = v.pin.on, f = cb.onSetPrimary] {
    pin->setChecked(on);
    if (f) f();
  });
  h->addWidget(pin);

  switch (v.action) {
    case View::Action::none: break;
    case View::Action::progress: {
      auto* busy = new Spinner(16, row);
      busy->setAccessibleName(v.actionAccessibleName);
      h->addWidget(busy);
      break;
    }
    case View::Action::signIn:
    case View::Action::retry: {
      const bool signIn = v.action == View::Action::signIn;
      auto* b = smallButton(v.actionText, v.actionAccessibleName, signIn, row);
      b->setObjectName(key(v, signIn ? "signIn" : "retry"));
      connectCall(b, signIn ? cb.onSignIn : cb.onRetry);
      h->addWidget(b);
      sameHeight({pin, b});
      break;
    }
  }
  return row;
}

// A row of its own for a line of texts side by side.
QHBoxLayout* rowOf(QWidget* row) {
  auto* h = new QHBoxLayout(row);
  h->setContentsMargins(0, 0, 0, 0);
  return h;
}

void addAccount(const View& v, QVBoxLayout* body, QWidget* parent) {
  auto* account = new QWidget(parent);
  auto* ah = rowOf(account);
  auto* who = new QVBoxLayout;
  who->setSpacing(1);
  who->addWidget(makeLabel(v.account, {.style = TextStyle::caption, .weight = QFont::DemiBold}, account));
  if (v.membership) who->addWidget(makeLabel(*v.membership, kFinePrint, account));
  ah->addLayout(who, 1);
  if (v.updated) {
    auto* u = makeLabel(*v.updated, kFinePrint, account);
    u->setAccessibleName(v.updatedAccessibleName);
    ah->addWidget(u, 0, Qt::AlignTop);
  }
  body->addWidget(account);
}

// Utilization or the service's note.
void addUsage(const View& v, QVBoxLayout* body, QWidget* parent) {
  if (v.utilization) {
    body->addWidget(new UtilizationView(*v.utilization, parent));
  } else if (v.statusNote) {
    body->addWidget(makeLabel(*v.statusNote, kNote, parent));
  }
}

void addOnDemand(const View::OnDemand& o, QVBoxLayout* body, QWidget* parent) {
  auto* row = new DecoratedFrame(parent);
  row->setIcon(symbolPixmap(o.icon, tintColor(Tint::secondary, row->palette()), 12, row->devicePixelRatioF()),
               12, 4);
  auto* rh = rowOf(row);
  rh->addWidget(makeLabel(o.label, kFinePrintBold, row));
  rh->addWidget(makeLabel(o.amount, {.weight = QFont::DemiBold}, row));
  rh->addStretch(1);
  body->addWidget(row);
  if (o.note) {
    body->addWidget(makeLabel(*o.note, kFinePrint, parent));
  } else {
    auto* cap = new QWidget(parent);
    auto* ch = rowOf(cap);
    ch->addWidget(makeLabel(o.capText.value_or(QString()), kFinePrint, cap));
    ch->addStretch(1);
    ch->addWidget(makeLabel(o.capPercent.value_or(QString()), kFinePrint, cap));
    body->addWidget(cap);
  }
}

// The billing cycle; its bar is painted, so assistive technology skips it.
void addBilling(const View& v, QVBoxLayout* body, QWidget* parent) {
  const View::Billing& b = *v.billing;
  auto* top = new QWidget(parent);
  auto* th = rowOf(top);
  th->addWidget(makeLabel(b.label, kFinePrintBold, top));
  th->addStretch(1);
  th->addWidget(makeLabel(b.daysLeft, kFinePrint, top));
  body->addWidget(top);
  if (b.chart) {
    auto* chart = new CycleChartWidget(*b.chart, parent);
    chart->setObjectName(key(v, "chart"));
    body->addWidget(chart);
  }
  if (b.progress || b.start) {
    auto* cycle = new DecoratedFrame(parent);
    if (b.progress) cycle->setBar(*b.progress, tintColor(Tint::secondary, cycle->palette()));
    auto* ch = rowOf(cycle);
    if (b.start) {
      ch->addWidget(makeLabel(*b.start, kFinePrint, cycle));
      ch->addStretch(1);
      ch->addWidget(makeLabel(b.cycle.value_or(QString()), kFinePrint, cycle));
      ch->addStretch(1);
      ch->addWidget(makeLabel(b.end.value_or(QString()), kFinePrint, cycle));
    }
    body->addWidget(cycle);
  }
  if (b.forecast) {
    auto* pace = new QWidget(parent);
    auto* ph = rowOf(pace);
    const LabelLook forecast{.style = TextStyle::caption2, .tint = b.forecastColor, .weight = QFont::DemiBold};
    auto* f = makeLabel(*b.forecast, forecast, pace);
    f->setObjectName(key(v, "forecast"));
    ph->addWidget(f);
    ph->addStretch(1);
    if (b.runsOut) ph->addWidget(makeLabel(*b.runsOut, {.style = TextStyle::caption2, .tint = b.forecastColor}, pace));
    body->addWidget(pace);
  }
}

void addActions(const View& v, const ProviderSectionWidget::Callbacks& cb, QVBoxLayout* body, QWidget* parent) {
  auto* actions = new QWidget(parent);
  auto* xh = rowOf(actions);
  xh->setSpacing(12);
  auto* dash = smallButton(v.dashboardText, v.dashboardAccessibleName, false, actions);
  dash->setObjectName(key(v, "dashboard"));
  QObject::connect(dash, &QPushButton::clicked, dash, [url = v.dashboardUrl, f = cb.onOpenURL] {
    if (f) f(url);
  });
  xh->addWidget(dash);
  auto* out = new QToolButton(actions);
  out->setObjectName(key(v, "signOut"));
  out->setAutoRaise(true);
  out->setText(literalText(v.signOutText));
  out->setFont(textFont(TextStyle::caption));
  out->setAccessibleName(v.signOutAccessibleName);
  out->setProperty("secondary", true);
  connectCall(out, cb.onSignOut);
  xh->addWidget(out);
  xh->addStretch(1);
  body->addWidget(actions);
}

// A signed-in service, block under block: account, usage, on-demand spending, billing
// cycle, actions.
void loadedBody(const View& v, const ProviderSectionWidget::Callbacks& cb, QVBoxLayout* body, QWidget* parent) {
  addAccount(v, body, parent);
  addUsage(v, body, parent);
  if (v.onDemand) addOnDemand(*v.onDemand, body, parent);
  if (v.billing) addBilling(v, body, parent);
  addActions(v, cb, body, parent);
}

}  // namespace

ProviderSectionWidget::ProviderSectionWidget(const ProviderSectionView& v, Callbacks cb, QWidget* parent)
    : QWidget(parent) {
  setObjectName(QStringLiteral("section-") + rawValue(v.provider));
  setAccessibleName(v.name);
  auto* body = new QVBoxLayout(this);
  body->setContentsMargins(16, 12, 16, 12);
  body->setSpacing(8);
  body->addWidget(header(v, cb, this));
  switch (v.body) {
    case View::Body::checking:
    case View::Body::loading:
    case View::Body::signedOut: {
      body->addWidget(makeLabel(v.bodyText, kNote, this));
      break;
    }
    case View::Body::error: {
      auto* title = new DecoratedFrame(this);
      title->setIcon(symbolPixmap(v.errorIcon, tintColor(Tint::orange, palette()), 12, devicePixelRatioF()), 12, 4);
      auto* th = new QHBoxLayout(title);
      th->setContentsMargins(0, 0, 0, 0);
      th->addWidget(makeLabel(v.errorTitle, kErrorTitle, title));
      body->addWidget(title);
      auto* message = makeLabel(v.bodyText, {.style = TextStyle::caption2, .tint = Tint::secondary, .wrap = true},
                                this);
      // At most three lines of the message.
      message->setMaximumHeight(message->fontMetrics().lineSpacing() * 3 + 2);
      body->addWidget(message);
      auto* again = smallButton(v.signInAgainText, v.signInAgainText, false, this);
      again->setObjectName(key(v, "signInAgain"));
      connectCall(again, cb.onSignIn);
      body->addWidget(again);
      break;
    }
    case View::Body::loaded: loadedBody(v, cb, body, this); break;
  }
}

}  // namespace qb::ui
