#include "ui/popover_widget.h"

#include <QApplication>
#include <QBoxLayout>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>

#include "monitoring/providers_store.h"
#include "platform/desktop/tray_host.h"
#include "ui/decorated_frame.h"
#include "ui/options_menu.h"
#include "ui/provider_section_widget.h"
#include "ui/symbol_icon.h"
#include "ui/update_banner_widget.h"
#include "updater/updater.h"

namespace qb::ui {

namespace {

void call(const std::function<void()>& f) {
  if (f) f();
}

// Marks the widgets of the list after which a row ends (a section with the divider above it).
constexpr const char* kRowEnd = "qbRowEnd";
// Kept free between the popover and the screen's edge: the icon's row where the available
// area does not leave out the panel (no window manager).
constexpr int kScreenMargin = 32;

int heightAt(QWidget* w, int width) {
  return w->hasHeightForWidth() ? w->heightForWidth(width) : w->sizeHint().height();
}

// Where each row of the list ends, laid out at `width`.
QList<int> rowBottoms(QWidget* content, int width) {
  QList<int> bottoms;
  int y = 0;
  QLayout* col = content->layout();
  for (int i = 0; i < col->count(); ++i) {
    QWidget* w = col->itemAt(i)->widget();
    if (!w) continue;
    y += heightAt(w, width);
    if (w->property(kRowEnd).toBool()) bottoms << y;
  }
  return bottoms;
}

}  // namespace

PopoverWidget::PopoverWidget(ProvidersStore& store, Updater* updater, PopoverActions actions, QWidget* parent)
    : QWidget(parent), store_(store), updater_(updater), actions_(std::move(actions)) {
  setObjectName(QStringLiteral("popover"));
  setAccessibleName(QStringLiteral("Quotabar"));
  setWindowTitle(QStringLiteral("Quotabar"));
  setFixedWidth(kWidth);
  setAutoFillBackground(true);
  applyWindowStyle(this);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  // Header: the gauge is painted beside the title, so it is no element of its own.
  auto* header = new QWidget(this);
  auto* hh = new QHBoxLayout(header);
  hh->setContentsMargins(14, 10, 14, 10);
  hh->setSpacing(8);
  auto* title = new DecoratedFrame(header);
  title->setObjectName(QStringLiteral("title"));
  auto* tl = new QHBoxLayout(title);
  tl->setContentsMargins(0, 0, 0, 0);
  auto* titleLabel = makeLabel(QString(), {.style = TextStyle::headline}, header);
  tl->addWidget(titleLabel);
  hh->addWidget(title);
  hh->addStretch(1);
  refresh_ = new QToolButton(header);
  refresh_->setObjectName(QStringLiteral("refresh"));
  refresh_->setAutoRaise(true);
  refresh_->setIconSize(QSize(16, 16));
  connect(refresh_, &QToolButton::clicked, this, [this] { call(actions_.onRefresh); });
  hh->addWidget(refresh_);
  column->addWidget(header);
  column->addWidget(makeDivider(this));

  scroll_ = new QScrollArea(this);
  scroll_->setObjectName(QStringLiteral("list"));
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setWidgetResizable(true);
  scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // No focus stop of its own (it has no name): the keys reach it through keyPressEvent.
  scroll_->setFocusPolicy(Qt::NoFocus);
  column->addWidget(scroll_);

  auto* bannerHolder = new QWidget(this);
  bannerSlot_ = new QVBoxLayout(bannerHolder);
  bannerSlot_->setContentsMargins(0, 0, 0, 0);
  bannerSlot_->setSpacing(0);
  column->addWidget(bannerHolder);
  column->addWidget(makeDivider(this));

  auto* footer = new QWidget(this);
  auto* fh = new QHBoxLayout(footer);
  fh->setContentsMargins(12, 8, 12, 8);
  options_ = new QToolButton(footer);
  options_->setObjectName(QStringLiteral("options"));
  options_->setAutoRaise(true);
  options_->setIconSize(QSize(16, 16));
  options_->setPopupMode(QToolButton::InstantPopup);
  menu_ = new QMenu(options_);
  options_->setMenu(menu_);
  fh->addWidget(options_);
  fh->addStretch(1);
  quit_ = new QToolButton(footer);
  quit_->setObjectName(QStringLiteral("quit"));
  quit_->setAutoRaise(true);
  quit_->setProperty("secondary", true);
  connect(quit_, &QToolButton::clicked, this, [this] { call(actions_.onQuit); });
  fh->addWidget(quit_);
  column->addWidget(footer);

  // Title texts do not change; the rest comes from the view-model on every render.
  const PopoverView v = popoverView(popoverInput(store_, updater_), QDateTime::currentDateTime());
  titleLabel->setText(v.title);
  quit_->setText(literalText(v.quitText));
  sameHeight({options_, quit_});

  // Tabbing into the list from outside it (the footer, backwards) brings the button in view.
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    if (now && scroll_->widget() && scroll_->widget()->isAncestorOf(now)) scroll_->ensureWidgetVisible(now);
  });
  connect(&store_, &ProvidersStore::changed, this, &PopoverWidget::scheduleRender);
  if (updater_) {
    connect(updater_, &Updater::stateChanged, this, &PopoverWidget::scheduleRender);
    connect(updater_, &Updater::lastCheckedChanged, this, &PopoverWidget::scheduleRender);
  }
  setMode(Mode::popup);
  render();
}

void PopoverWidget::setMode(Mode mode) {
  mode_ = mode;
  const bool wasVisible = isVisible();
  if (mode == Mode::window) {
    setWindowFlags(Qt::Window);
  } else if (platform::waylandSession()) {
    // A grabbing popup without a transient parent fails on Wayland, and under XWayland its
    // grab misses clicks on Wayland windows: a tool window that closes on deactivation.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
  } else {
    setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
  }
  if (wasVisible) show();
}

void PopoverWidget::scheduleRender() {
  // Hidden, it waits for its next showing: an idle tray polls without building widgets.
  if (!isVisible()) {
    stale_ = true;
    return;
  }
  if (renderPending_) return;
  renderPending_ = true;
  // Several changes in one turn render once; the timer dies with the widget.
  QTimer::singleShot(0, this, [this] {
    renderPending_ = false;
    render();
  });
}

QWidget* PopoverWidget::buildList(const PopoverView& v) {
  // In the window from the start, so its buttons are measured in the window's style.
  auto* content = new QWidget(scroll_);
  content->setObjectName(QStringLiteral("listContent"));
  auto* col = new QVBoxLayout(content);
  col->setContentsMargins(0, 0, 0, 0);
  col->setSpacing(0);
  if (v.empty) {
    auto* box = new QWidget(content);
    auto* b = new QVBoxLayout(box);
    b->setContentsMargins(16, 16, 16, 16);
    b->setSpacing(12);
    b->addWidget(makeLabel(v.emptyTitle, {.weight = QFont::DemiBold}, box));
    b->addWidget(makeLabel(v.emptyMessage, {.style = TextStyle::callout, .tint = Tint::secondary, .wrap = true}, box));
    auto* connectButton = new QPushButton(literalText(v.emptyButton), box);
    connectButton->setObjectName(QStringLiteral("connectProviders"));
    connectButton->setProperty("prominent", true);
    connectButton->setMinimumHeight(30);
    connect(connectButton, &QPushButton::clicked, this, [this] { call(actions_.onConnectProviders); });
    b->addWidget(connectButton);
    box->setProperty(kRowEnd, true);
    col->addWidget(box);
    return content;
  }
  for (int i = 0; i < v.sections.size(); ++i) {
    const ProviderSectionView& s = v.sections[i];
    if (i > 0) col->addWidget(makeDivider(content, 16));
    const Provider p = s.provider;
    QPointer<ProvidersStore> store(&store_);
    ProviderSectionWidget::Callbacks cb;
    cb.onSignIn = [this, p] { if (actions_.onSignIn) actions_.onSignIn(p); };
    cb.onSignOut = [this, p] { if (actions_.onSignOut) actions_.onSignOut(p); };
    cb.onSetPrimary = [store, p] { if (store) store->setPreferredPrimary(p); };
    cb.onRetry = [store, p] { if (store) store->monitor(p)->refresh(); };
    cb.onOpenURL = [this](const QUrl& url) { openURL(actions_, url); };
    auto* section = new ProviderSectionWidget(s, std::move(cb), content);
    section->setProperty(kRowEnd, true);
    col->addWidget(section);
  }
  col->addWidget(makeDivider(content, 16));
  auto* more = new QToolButton(content);
  more->setObjectName(QStringLiteral("connectMore"));
  more->setAutoRaise(true);
  more->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  more->setIcon(symbolIcon(v.connectMoreIcon, tintColor(Tint::accent, palette())));
  more->setText(literalText(v.connectMoreText));
  more->setAccessibleName(v.connectMoreAccessibleName);
  connect(more, &QToolButton::clicked, this, [this] { call(actions_.onConnectProviders); });
  auto* holder = new QWidget(content);
  auto* h = new QHBoxLayout(holder);
  h->setContentsMargins(12, 6, 12, 6);
  h->addWidget(more);
  h->addStretch(1);
  holder->setProperty(kRowEnd, true);
  col->addWidget(holder);
  return content;
}

void PopoverWidget::catchUp() {
  if (stale_) render();
}

void PopoverWidget::setVisible(bool visible) {
  if (visible) catchUp();
  QWidget::setVisible(visible);
}

void PopoverWidget::render() {
  stale_ = false;
  const PopoverView v = popoverView(popoverInput(store_, updater_), QDateTime::currentDateTime());
  QWidget* focused = QApplication::focusWidget();
  const QString focusName = focused && isAncestorOf(focused) ? focused->objectName() : QString();

  // Icons are drawn in the palette's colours: every render follows a theme switch.
  if (auto* title = findChild<DecoratedFrame*>(QStringLiteral("title")))
    title->setIcon(symbolPixmap(v.headerIcon, tintColor(Tint::accent, palette()), 16, devicePixelRatioF()), 16, 8);
  refresh_->setIcon(symbolIcon(v.refreshIcon, tintColor(Tint::label, palette())));
  refresh_->setEnabled(v.refreshEnabled);
  refresh_->setToolTip(v.refreshHelp);
  refresh_->setAccessibleName(v.refreshHelp);
  refresh_->setAccessibleDescription(v.refreshHelp);

  while (QLayoutItem* item = bannerSlot_->takeAt(0)) {
    if (QWidget* w = item->widget()) {
      w->setParent(nullptr);
      w->deleteLater();
    }
    delete item;
  }
  if (v.banner) {
    bannerSlot_->addWidget(makeDivider(bannerSlot_->parentWidget()));
    bannerSlot_->addWidget(new UpdateBannerWidget(*v.banner, actions_.onShowUpdateDetails,
                                                  bannerSlot_->parentWidget()));
  }

  const int scrolled = scroll_->verticalScrollBar()->value();
  if (QWidget* old = scroll_->takeWidget()) {
    old->hide();
    old->setParent(nullptr);
    old->deleteLater();
  }
  QWidget* content = buildList(v);
  scroll_->setWidget(content);
  scroll_->setFixedHeight(std::max(0, listHeight(content)));
  scroll_->verticalScrollBar()->setValue(scrolled);

  options_->setIcon(symbolIcon(v.optionsIcon, tintColor(Tint::secondary, palette())));
  options_->setAccessibleName(v.optionsAccessibleName);
  if (!menu_->isVisible()) fillOptionsMenu(menu_, v.menu, store_, actions_);
  quit_->setText(literalText(v.quitText));

  chainTabOrder();
  adjustSize();
  if (!focusName.isEmpty()) {
    if (auto* again = findChild<QWidget*>(focusName); again && again->isEnabled()) again->setFocus();
  }
}

int PopoverWidget::listHeight(QWidget* content) {
  // The room is what the screen leaves beside the popover's other parts.
  scroll_->setFixedHeight(0);
  layout()->invalidate();
  const int others = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(kWidth)
                                                   : layout()->totalSizeHint().height();
  const QScreen* s = screen();
  const int room = s ? s->availableGeometry().height() - others - kScreenMargin : kFallbackListHeight;
  const QList<int> all = rowBottoms(content, kWidth);
  if (all.isEmpty() || all.last() <= room) return all.isEmpty() ? 0 : all.last();
  // Scrolling: the rows are laid out beside the scroll bar.
  return visibleListHeight(rowBottoms(content, kWidth - scroll_->verticalScrollBar()->sizeHint().width()), room);
}

void PopoverWidget::chainTabOrder() {
  // Rebuilt parts are created after the footer; put the chain back in reading order.
  QList<QWidget*> chain{refresh_};
  for (QWidget* w : scroll_->widget()->findChildren<QWidget*>()) {
    if (w->focusPolicy() & Qt::TabFocus) chain << w;
  }
  for (QWidget* w : bannerSlot_->parentWidget()->findChildren<QWidget*>()) {
    if (w->focusPolicy() & Qt::TabFocus) chain << w;
  }
  chain << options_ << quit_;
  for (int i = 1; i < chain.size(); ++i) setTabOrder(chain[i - 1], chain[i]);
}

void PopoverWidget::keyPressEvent(QKeyEvent* event) {
  QScrollBar* bar = scroll_->verticalScrollBar();
  switch (event->key()) {
    case Qt::Key_Escape:
      // As a window (no tray host) it is the app's only window: Escape does not close it.
      if (mode_ != Mode::popup) break;
      close();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      // As in the other windows: neither a borderless button nor a push button outside a
      // dialog takes Return itself, so it climbs to here.
      auto* button = qobject_cast<QAbstractButton*>(focusWidget());
      if (!button || !button->isEnabled() || !isAncestorOf(button)) break;
      auto* tool = qobject_cast<QToolButton*>(button);
      if (tool && tool->menu()) {
        tool->showMenu();
      } else {
        button->click();
      }
      return;
    }
    case Qt::Key_PageUp: bar->triggerAction(QAbstractSlider::SliderPageStepSub); return;
    case Qt::Key_PageDown: bar->triggerAction(QAbstractSlider::SliderPageStepAdd); return;
    case Qt::Key_Home: bar->triggerAction(QAbstractSlider::SliderToMinimum); return;
    case Qt::Key_End: bar->triggerAction(QAbstractSlider::SliderToMaximum); return;
    default: break;
  }
  QWidget::keyPressEvent(event);
}

void PopoverWidget::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  Q_EMIT closed();
}

void PopoverWidget::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // The Wayland stand-in for a popup closes once another window takes the focus.
  if (event->type() == QEvent::ActivationChange && mode_ == Mode::popup && !isActiveWindow() &&
      windowType() == Qt::Tool && isVisible())
    close();
  if (event->type() == QEvent::PaletteChange) {
    // A theme switch: colours are baked into icons and the style sheet.
    applyWindowStyle(this);
    scheduleRender();
  }
}

}  // namespace qb::ui
