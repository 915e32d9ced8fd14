#include "ui/provider_section_widget.h"

#include <QBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

#include "ui/badge_label.h"
#include "ui/decorated_frame.h"
#include "ui/symbol_icon.h"
#include "ui/utilization_view.h"

namespace qb::ui {

namespace {

using View = ProviderSectionView;

QLabel* label(const QString& text, TextStyle style, Tint tint, QWidget* parent,
              QFont::Weight weight = QFont::Normal) {
  auto* l = new QLabel(text, parent);
  l->setFont(textFont(style, weight));
  l->setTextFormat(Qt::PlainText);
  QPalette pal = l->palette();
  pal.setColor(QPalette::WindowText, tintColor(tint, pal));
  l->setPalette(pal);
  return l;
}

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
  nl->addWidget(label(v.name, TextStyle::subheadline, Tint::label, name, QFont::DemiBold));
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
      auto* busy = new QProgressBar(row);
      busy->setRange(0, 0);
      busy->setTextVisible(false);
      busy->setFixedSize(36, 8);
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
      break;
    }
  }
  return row;
}

void loadedBody(const View& v, const ProviderSectionWidget::Callbacks& cb, QVBoxLayout* body, QWidget* parent) {
  // Block 1: account and last update.
  auto* account = new QWidget(parent);
  auto* ah = new QHBoxLayout(account);
  ah->setContentsMargins(0, 0, 0, 0);
  auto* who = new QVBoxLayout;
  who->setSpacing(1);
  who->addWidget(label(v.account, TextStyle::caption, Tint::label, account, QFont::DemiBold));
  if (v.membership) who->addWidget(label(*v.membership, TextStyle::caption2, Tint::secondary, account));
  ah->addLayout(who, 1);
  if (v.updated) {
    auto* u = label(*v.updated, TextStyle::caption2, Tint::secondary, account);
    u->setAccessibleName(v.updatedAccessibleName);
    ah->addWidget(u, 0, Qt::AlignTop);
  }
  body->addWidget(account);

  // Block 2: utilization or the service's note.
  if (v.utilization) {
    body->addWidget(new UtilizationView(*v.utilization, parent));
  } else if (v.statusNote) {
    auto* note = label(*v.statusNote, TextStyle::caption, Tint::secondary, parent);
    note->setWordWrap(true);
    body->addWidget(note);
  }

  // Block 3: on-demand spending.
  if (v.onDemand) {
    const auto& o = *v.onDemand;
    auto* row = new DecoratedFrame(parent);
    row->setIcon(symbolPixmap(o.icon, tintColor(Tint::secondary, row->palette()), 12, row->devicePixelRatioF()),
                 12, 4);
    auto* rh = new QHBoxLayout(row);
    rh->setContentsMargins(0, 0, 0, 0);
    rh->addWidget(label(o.label, TextStyle::caption2, Tint::secondary, row, QFont::DemiBold));
    rh->addWidget(label(o.amount, TextStyle::body, Tint::label, row, QFont::DemiBold));
    rh->addStretch(1);
    body->addWidget(row);
    if (o.note) {
      body->addWidget(label(*o.note, TextStyle::caption2, Tint::secondary, parent));
    } else {
      auto* cap = new QWidget(parent);
      auto* ch = new QHBoxLayout(cap);
      ch->setContentsMargins(0, 0, 0, 0);
      ch->addWidget(label(o.capText.value_or(QString()), TextStyle::caption2, Tint::secondary, cap));
      ch->addStretch(1);
      ch->addWidget(label(o.capPercent.value_or(QString()), TextStyle::caption2, Tint::secondary, cap));
      body->addWidget(cap);
    }
  }

  // Block 4: billing cycle; its bar is painted, so assistive technology skips it.
  if (v.billing) {
    const auto& b = *v.billing;
    auto* top = new QWidget(parent);
    auto* th = new QHBoxLayout(top);
    th->setContentsMargins(0, 0, 0, 0);
    th->addWidget(label(b.label, TextStyle::caption2, Tint::secondary, top, QFont::DemiBold));
    th->addStretch(1);
    th->addWidget(label(b.daysLeft, TextStyle::caption2, Tint::secondary, top));
    body->addWidget(top);
    if (b.progress || b.start) {
      auto* cycle = new DecoratedFrame(parent);
      if (b.progress) cycle->setBar(*b.progress, tintColor(Tint::secondary, cycle->palette()));
      auto* ch = new QHBoxLayout(cycle);
      ch->setContentsMargins(0, 0, 0, 0);
      if (b.start) {
        ch->addWidget(label(*b.start, TextStyle::caption2, Tint::secondary, cycle));
        ch->addStretch(1);
        ch->addWidget(label(b.cycle.value_or(QString()), TextStyle::caption2, Tint::secondary, cycle));
        ch->addStretch(1);
        ch->addWidget(label(b.end.value_or(QString()), TextStyle::caption2, Tint::secondary, cycle));
      }
      body->addWidget(cycle);
    }
    if (b.forecast) {
      auto* pace = new QWidget(parent);
      auto* ph = new QHBoxLayout(pace);
      ph->setContentsMargins(0, 0, 0, 0);
      auto* f = label(*b.forecast, TextStyle::caption2, b.forecastColor, pace, QFont::DemiBold);
      f->setObjectName(key(v, "forecast"));
      ph->addWidget(f);
      ph->addStretch(1);
      if (b.runsOut) ph->addWidget(label(*b.runsOut, TextStyle::caption2, b.forecastColor, pace));
      body->addWidget(pace);
    }
  }

  // Block 5: actions.
  auto* actions = new QWidget(parent);
  auto* xh = new QHBoxLayout(actions);
  xh->setContentsMargins(0, 0, 0, 0);
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
  QPalette pal = out->palette();
  pal.setColor(QPalette::ButtonText, tintColor(Tint::secondary, pal));
  out->setPalette(pal);
  connectCall(out, cb.onSignOut);
  xh->addWidget(out);
  xh->addStretch(1);
  body->addWidget(actions);
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
      auto* l = label(v.bodyText, TextStyle::caption, Tint::secondary, this);
      l->setWordWrap(true);
      body->addWidget(l);
      break;
    }
    case View::Body::error: {
      auto* title = new DecoratedFrame(this);
      title->setIcon(symbolPixmap(v.errorIcon, tintColor(Tint::orange, palette()), 12, devicePixelRatioF()), 12, 4);
      auto* th = new QHBoxLayout(title);
      th->setContentsMargins(0, 0, 0, 0);
      th->addWidget(label(v.errorTitle, TextStyle::caption, Tint::orange, title, QFont::DemiBold));
      body->addWidget(title);
      auto* message = label(v.bodyText, TextStyle::caption2, Tint::secondary, this);
      message->setWordWrap(true);
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
