#include "ui/onboarding_window.h"

#include <QBoxLayout>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>

#include "monitoring/providers_store.h"
#include "present/onboarding_view.h"
#include "ui/badge_label.h"
#include "ui/decorated_frame.h"
#include "ui/symbol_icon.h"

namespace qb::ui {

namespace {
constexpr LabelLook kNote{.style = TextStyle::caption, .tint = Tint::secondary, .wrap = true};
}  // namespace

OnboardingWindow::OnboardingWindow(ProvidersStore& store, std::function<void(Provider)> onSignIn, QWidget* parent)
    : QWidget(parent, Qt::Window), store_(store), onSignIn_(std::move(onSignIn)) {
  setObjectName(QStringLiteral("onboarding"));
  const OnboardingView v = onboardingView(store_);
  setWindowTitle(v.windowTitle);
  setFixedSize(520, 560);
  setWindowFlag(Qt::WindowMaximizeButtonHint, false);
  applyWindowStyle(this);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  auto* header = new QWidget(this);
  auto* hv = new QVBoxLayout(header);
  hv->setContentsMargins(24, 24, 24, 16);
  hv->setSpacing(6);
  hv->addWidget(makeLabel(v.title, {.style = TextStyle::title, .weight = QFont::DemiBold}, header));
  hv->addWidget(makeLabel(v.intro, {.style = TextStyle::callout, .tint = Tint::secondary, .wrap = true}, header));
  hv->addWidget(makeLabel(v.betaNote, kNote, header));
  column->addWidget(header);
  column->addWidget(makeDivider(this));

  auto* scroll = new QScrollArea(this);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setFocusPolicy(Qt::NoFocus);  // no unnamed focus stop; the buttons are the stops
  auto* list = new QWidget(scroll);
  rows_ = new QVBoxLayout(list);
  rows_->setContentsMargins(0, 0, 0, 0);
  rows_->setSpacing(0);
  scroll->setWidget(list);
  column->addWidget(scroll, 1);
  column->addWidget(makeDivider(this));

  auto* footer = new QWidget(this);
  auto* fh = new QHBoxLayout(footer);
  fh->setContentsMargins(24, 12, 24, 12);
  fh->addWidget(makeLabel(v.footer, {.style = TextStyle::caption, .tint = Tint::secondary}, footer));
  fh->addStretch(1);
  auto* done = new QPushButton(literalText(v.doneText), footer);
  done->setObjectName(QStringLiteral("done"));
  done->setProperty("prominent", true);
  done->setMinimumSize(80, 30);
  done->setAutoDefault(true);
  connect(done, &QPushButton::clicked, this, &QWidget::close);
  done_ = done;
  fh->addWidget(done);
  column->addWidget(footer);

  connect(&store_, &ProvidersStore::changed, this, [this] {
    if (renderPending_) return;
    renderPending_ = true;
    QTimer::singleShot(0, this, [this] {
      renderPending_ = false;
      render();
    });
  });
  render();
}

void OnboardingWindow::render() {
  const OnboardingView v = onboardingView(store_);
  QWidget* list = rows_->parentWidget();
  const QString focusName = list->isAncestorOf(focusWidget()) ? focusWidget()->objectName() : QString();
  while (QLayoutItem* item = rows_->takeAt(0)) {
    if (QWidget* w = item->widget()) {
      w->setParent(nullptr);
      w->deleteLater();
    }
    delete item;
  }
  QWidget* previous = nullptr;
  for (int i = 0; i < v.rows.size(); ++i) {
    const OnboardingRowView& r = v.rows[i];
    if (i > 0) {
      rows_->addWidget(makeDivider(list, 24));
    }
    auto* row = new QWidget(list);
    row->setObjectName(QStringLiteral("row-") + rawValue(r.provider));
    auto* rh = new QHBoxLayout(row);
    rh->setContentsMargins(24, 14, 24, 14);
    rh->setSpacing(14);
    // The service icon is painted in a 32-point frame beside the text block.
    auto* block = new DecoratedFrame(row);
    block->setIcon(symbolPixmap(r.icon, tintColor(r.iconColor, palette()), 26, devicePixelRatioF()), 32, 14, true);
    auto* bv = new QVBoxLayout(block);
    bv->setContentsMargins(0, 0, 0, 0);
    bv->setSpacing(4);
    auto* nameLine = new QHBoxLayout;
    nameLine->setSpacing(6);
    nameLine->addWidget(makeLabel(r.name, {.style = TextStyle::headline}, block));
    if (r.beta) nameLine->addWidget(BadgeLabel::beta(block));
    if (r.badge) {
      auto* badge = new BadgeLabel(r.badge->text, r.badge->color, BadgeLabel::Style::outlined, block);
      badge->setAccessibleName(r.badge->text);
      nameLine->addWidget(badge);
    }
    nameLine->addStretch(1);
    bv->addLayout(nameLine);
    bv->addWidget(makeLabel(r.subtitle, kNote, block));
    if (r.email) {
      auto* email = makeLabel(*r.email, {.style = TextStyle::caption2, .tint = Tint::secondary}, block);
      QFont mono = email->font();
      mono.setFamily(QStringLiteral("monospace"));
      mono.setStyleHint(QFont::Monospace);
      email->setFont(mono);
      bv->addWidget(email);
    }
    rh->addWidget(block, 1);
    auto* button = new QPushButton(literalText(r.buttonText), row);
    button->setObjectName((r.signedIn ? QStringLiteral("signOut-") : QStringLiteral("signIn-")) + rawValue(r.provider));
    button->setAccessibleName(r.buttonAccessibleName);
    button->setProperty("prominent", !r.signedIn);
    button->setFont(textFont(TextStyle::caption));
    // Return presses the focused button; "Done" takes it only when no button has the focus.
    button->setAutoDefault(true);
    const Provider p = r.provider;
    QPointer<ProvidersStore> store(&store_);
    if (r.signedIn) {
      connect(button, &QPushButton::clicked, this, [store, p] {
        if (store) store->monitor(p)->signOut();
      });
    } else {
      connect(button, &QPushButton::clicked, this, [this, p] {
        if (onSignIn_) onSignIn_(p);
      });
    }
    rh->addWidget(button, 0, Qt::AlignTop);
    rows_->addWidget(row);
    if (previous) setTabOrder(previous, button);
    previous = button;
  }
  rows_->addStretch(1);
  if (previous) setTabOrder(previous, done_);
  if (!focusName.isEmpty()) {
    if (auto* again = list->findChild<QWidget*>(focusName)) again->setFocus();
  }
}

void OnboardingWindow::keyPressEvent(QKeyEvent* event) {
  // "Done" is the default action: Return presses it (a focused button took its own), Escape
  // closes too.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void OnboardingWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::PaletteChange || !rows_) return;
  // A theme switch: the colours are baked into the style sheet, the texts' own palettes and
  // the icons.
  applyWindowStyle(this);
  retint(this);
  render();
}

void OnboardingWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // It opens on "Done", the default action.
  done_->setFocus();
  if (placed_) return;
  placed_ = true;
  if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
}

}  // namespace qb::ui
