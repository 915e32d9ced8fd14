#include "ui/update_window.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/settings.h"
#include "ui/decorated_frame.h"
#include "ui/release_notes_view.h"
#include "ui/spinner.h"
#include "ui/symbol_icon.h"
#include "updater/updater.h"

namespace qb::ui {

namespace {

// Named as the first versions wrote it, so saved values still count (platform/settings.h).
constexpr const char* kGeometryKey = "VanteloUpdateWindow";

constexpr LabelLook kSmallPrint{.style = TextStyle::caption2, .tint = Tint::secondary, .wrap = true};

QFrame* divider() { return makeDivider(nullptr); }

QWidget* icon(const QString& symbol, Tint tint, int size) {
  auto* l = new QLabel;
  l->setPixmap(symbolPixmap(symbol, tintColor(tint, l->palette()), size, l->devicePixelRatioF()));
  l->setAlignment(Qt::AlignCenter);
  l->setAccessibleName(QString());  // decorative
  return l;
}

QWidget* versionColumn(const QString& caption, const QString& version, const QString& build,
                       Qt::Alignment align) {
  auto* w = new QWidget;
  auto* col = new QVBoxLayout(w);
  col->setContentsMargins(0, 0, 0, 0);
  auto* head = makeLabel(caption.toUpper(), kSmallPrint);
  QFont f = head->font();
  f.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
  head->setFont(f);
  head->setAlignment(align);
  auto* value = makeLabel(QString(), {.style = TextStyle::largeTitle, .weight = QFont::Bold, .wrap = true});
  value->setTextFormat(Qt::RichText);
  QString text = version.toHtmlEscaped();
  if (!build.isEmpty())
    text += QStringLiteral(" <span style=\"font-size:%1pt\">(%2)</span>")
                .arg(textFont(TextStyle::headline).pointSizeF())
                .arg(build.toHtmlEscaped());
  value->setText(text);
  value->setAlignment(align);
  value->setAccessibleName(build.isEmpty() ? version : version + QStringLiteral(" (") + build + u')');
  col->addWidget(head);
  col->addWidget(value);
  return w;
}

QWidget* transitionRow(const VersionTransitionView& t) {
  auto* w = new QWidget;
  auto* row = new QHBoxLayout(w);
  row->setContentsMargins(0, 6, 0, 6);
  row->addWidget(versionColumn(QStringLiteral("Installed"), t.installedVersion, t.installedBuild,
                               Qt::AlignLeft));
  row->addStretch();
  row->addWidget(icon(QStringLiteral("arrow.right"), Tint::accent, 16));
  row->addStretch();
  row->addWidget(versionColumn(QStringLiteral("Update"), t.updateVersion, t.updateBuild, Qt::AlignRight));
  return w;
}

QWidget* chipRow(const QList<UpdateChip>& chips) {
  auto* w = new QWidget;
  auto* row = new QHBoxLayout(w);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(6);
  for (const UpdateChip& c : chips) {
    auto* chip = new QWidget;
    chip->setObjectName(QStringLiteral("chip"));
    const QColor tint = tintColor(Tint::secondary, chip->palette());
    chip->setStyleSheet(QStringLiteral("#chip { background: rgba(%1,%2,%3,26); border-radius: 8px; }")
                            .arg(tint.red()).arg(tint.green()).arg(tint.blue()));
    auto* inner = new QHBoxLayout(chip);
    inner->setContentsMargins(6, 2, 6, 2);
    inner->setSpacing(3);
    inner->addWidget(icon(c.symbol, Tint::secondary, 11));
    inner->addWidget(makeLabel(c.text, {.style = TextStyle::caption2, .wrap = true}));
    chip->setAccessibleName(c.text);
    row->addWidget(chip);
  }
  row->addStretch();
  return w;
}

}  // namespace

UpdateWindow::UpdateWindow(Updater& updater, Options options, QWidget* parent)
    : QWidget(parent, Qt::Window), updater_(&updater), options_(std::move(options)) {
  if (!options_.now) options_.now = [] { return QDateTime::currentDateTimeUtc(); };
  setWindowTitle(QStringLiteral("Quotabar Update"));
  setMinimumSize(420, 360);
  applyWindowStyle(this);
  resize(460, 480);
  if (const QByteArray g = platform::settings()->value(QLatin1String(kGeometryKey)).toByteArray();
      !g.isEmpty())
    placed_ = restoreGeometry(g);

  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(0, 0, 0, 0);
  root->setSpacing(0);

  auto* header = new QWidget;
  auto* headerRow = new QHBoxLayout(header);
  headerRow->setContentsMargins(16, 12, 16, 12);
  auto* appIconLabel = new QLabel;
  appIconLabel->setPixmap(appIcon().pixmap(48));
  headerRow->addWidget(appIconLabel);
  auto* titles = new QVBoxLayout;
  titles->addWidget(
      makeLabel(QStringLiteral("Quotabar"), {.style = TextStyle::title, .weight = QFont::Bold, .wrap = true}));
  channel_ = makeLabel(QString(), {.style = TextStyle::footnote, .tint = Tint::secondary, .wrap = true});
  titles->addWidget(channel_);
  headerRow->addLayout(titles, 1);
  root->addWidget(header);
  root->addWidget(divider());

  auto* scroll = new QScrollArea;
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setFocusPolicy(Qt::NoFocus);  // no unnamed focus stop; the notes box is one
  auto* bodyHost = new QWidget;
  body_ = new QVBoxLayout(bodyHost);
  body_->setContentsMargins(20, 20, 20, 20);
  scroll->setWidget(bodyHost);
  root->addWidget(scroll, 1);
  root->addWidget(divider());

  auto* footer = new QWidget;
  buttons_ = new QHBoxLayout(footer);
  buttons_->setContentsMargins(16, 10, 16, 10);
  lastChecked_ = makeLabel(QString(), {.style = TextStyle::caption2, .tint = Tint::secondary});
  root->addWidget(footer);

  connect(&updater, &Updater::stateChanged, this, &UpdateWindow::render);
  connect(&updater, &Updater::lastCheckedChanged, this, &UpdateWindow::render);
  render();
}

void UpdateWindow::present() {
  render();
  show();
  raise();
  activateWindow();
}

void UpdateWindow::presentAndCheck() {
  present();
  // Next turn: the window draws before the check starts.
  QTimer::singleShot(0, this, [this] {
    if (updater_) updater_->check(false);
  });
}

void UpdateWindow::render() {
  if (!updater_) return;
  const Updater& u = *updater_;
  renderView(updateWindowView({u.state(), u.lastChecked(), u.channel(), u.currentVersion(), u.currentBuild()},
                              options_.now()));
}

void UpdateWindow::renderView(const UpdateWindowView& view) {
  view_ = view;
  channel_->setText(view_.channelLine);
  clearBody();
  switch (view_.body) {
    case UpdateWindowView::Body::status: renderStatus(); break;
    case UpdateWindowView::Body::spinner: renderSpinner(); break;
    case UpdateWindowView::Body::release: renderRelease(); break;
  }
  renderFooter();
}

void UpdateWindow::clearBody() {
  // Old pieces go at once from the screen; deletion waits, as one of them may be the
  // button whose click got us here.
  while (QLayoutItem* item = body_->takeAt(0)) {
    if (QWidget* w = item->widget()) {
      w->hide();
      if (w != notesSection_) w->deleteLater();
    }
    delete item;
  }
}

void UpdateWindow::renderStatus() {
  // Centred across the whole width, the texts wrapping there.
  auto* col = new QWidget;
  auto* l = new QVBoxLayout(col);
  l->setContentsMargins(0, 0, 0, 0);
  l->addWidget(icon(view_.statusSymbol, view_.statusColor, 38));
  auto* title = makeLabel(view_.statusTitle, {.style = TextStyle::headline, .weight = QFont::Bold, .wrap = true});
  title->setAlignment(Qt::AlignHCenter);
  auto* subtitle = makeLabel(view_.statusSubtitle, {.tint = Tint::secondary, .wrap = true});
  subtitle->setAlignment(Qt::AlignHCenter);
  subtitle->setTextInteractionFlags(Qt::TextSelectableByMouse);
  l->addWidget(title);
  l->addWidget(subtitle);
  body_->addStretch();
  body_->addWidget(col);
  body_->addStretch();
}

void UpdateWindow::renderSpinner() {
  auto* busy = new Spinner(32);
  busy->setAccessibleName(view_.spinnerText);
  auto* text = makeLabel(view_.spinnerText, {.tint = Tint::secondary, .wrap = true});
  text->setAlignment(Qt::AlignHCenter);
  body_->addStretch();
  body_->addWidget(busy, 0, Qt::AlignHCenter);
  body_->addWidget(text);
  body_->addStretch();
}

void UpdateWindow::renderRelease() {
  const TextStyle headline = view_.headlineEmphasised ? TextStyle::title2 : TextStyle::title3;
  body_->addWidget(makeLabel(view_.headline, {.style = headline, .weight = QFont::Bold, .wrap = true}));
  if (view_.transition) body_->addWidget(transitionRow(*view_.transition));
  if (!view_.chips.isEmpty()) body_->addWidget(chipRow(view_.chips));
  if (view_.showProgress) {
    auto* bar = new QProgressBar;
    bar->setTextVisible(false);
    if (view_.progress) {
      bar->setRange(0, 1000);
      bar->setValue(static_cast<int>(*view_.progress * 1000.0));
    } else {
      bar->setRange(0, 0);
    }
    bar->setAccessibleName(view_.progressText);
    body_->addWidget(bar);
    body_->addWidget(makeLabel(view_.progressText, kSmallPrint));
  }
  if (!view_.caption.isEmpty()) body_->addWidget(makeLabel(view_.caption, kSmallPrint));
  if (view_.showNotes) showNotes(view_);
  body_->addStretch();
}

void UpdateWindow::renderFooter() {
  while (QLayoutItem* item = buttons_->takeAt(0)) {
    if (QWidget* w = item->widget(); w && w != lastChecked_) {
      w->hide();
      w->deleteLater();
    }
    delete item;
  }
  lastChecked_->setText(view_.lastChecked);
  lastChecked_->setVisible(!view_.lastChecked.isEmpty());
  buttons_->addWidget(lastChecked_);
  buttons_->addStretch();
  for (const UpdateWindowButton& b : view_.buttons) {
    auto* button = new QPushButton(literalText(b.text));
    button->setAccessibleName(b.text);
    button->setEnabled(b.enabled);
    button->setDefault(b.isDefault);
    // Return presses the button that has the focus, whichever it is.
    button->setAutoDefault(true);
    button->setProperty("prominent", b.prominent);
    const UpdateWindowAction action = b.action;
    connect(button, &QPushButton::clicked, this, [this, action] { trigger(action); });
    buttons_->addWidget(button);
    if (b.isDefault && b.enabled) button->setFocus();
  }
}

// Kept across renders and filled only when the notes change: a download's progress
// reports neither lay the notes out again nor reset their scroll position.
void UpdateWindow::showNotes(const UpdateWindowView& v) {
  if (!notesSection_) {
    notesSection_ = new QWidget;
    auto* col = new QVBoxLayout(notesSection_);
    col->setContentsMargins(0, 8, 0, 0);
    col->addWidget(
        makeLabel(QStringLiteral("What's new"), {.style = TextStyle::footnote, .weight = QFont::Bold, .wrap = true}));
    notesFallback_ = makeLabel(QString(), {.tint = Tint::secondary, .wrap = true});
    notesBox_ = new ReleaseNotesView;
    col->addWidget(notesFallback_);
    col->addWidget(notesBox_);
  }
  const bool none = v.notes.trimmed().isEmpty();
  notesFallback_->setText(v.notesFallback);
  notesFallback_->setVisible(none);
  notesBox_->setVisible(!none);
  if (!none) notesBox_->setNotes(v.notes);
  body_->addWidget(notesSection_, 1);  // the notes take what the window has to spare
  notesSection_->show();
}

void UpdateWindow::trigger(UpdateWindowAction action) {
  if (!updater_) return;
  const auto state = updater_->state();
  switch (action) {
    case UpdateWindowAction::none: return;
    case UpdateWindowAction::check: updater_->check(false); return;
    case UpdateWindowAction::later: close(); return;
    case UpdateWindowAction::download:
      if (const auto* a = std::get_if<update_state::Available>(&state)) {
        const UpdateInfo info = a->info;
        // Next turn, so the click returns before the network starts.
        QTimer::singleShot(0, this, [this, info] {
          if (updater_) updater_->downloadAndStage(info);
        });
      }
      return;
    case UpdateWindowAction::install:
      if (const auto* r = std::get_if<update_state::ReadyToInstall>(&state))
        updater_->installAndRelaunch(r->info, r->bundleURL);
      return;
  }
}

void UpdateWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  // A focused button took its Return already: this one reaches the default button.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    for (const UpdateWindowButton& b : view_.buttons) {
      if (b.isDefault && b.enabled) {
        trigger(b.action);
        return;
      }
    }
    return;
  }
  QWidget::keyPressEvent(event);
}

void UpdateWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (placed_) return;
  placed_ = true;
  if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
}

void UpdateWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // A theme switch: the texts' colours are baked into their palettes, the icons' into them.
  if (event->type() == QEvent::PaletteChange && lastChecked_) {
    applyWindowStyle(this);
    retint(this);
    renderView(view_);
  }
}

void UpdateWindow::closeEvent(QCloseEvent* event) {
  platform::settings()->setValue(QLatin1String(kGeometryKey), saveGeometry());
  // Accepted: a closed widget is only hidden, and a refused close would veto the
  // application's quit (the relaunch after an update among them).
  event->accept();
}

}  // namespace qb::ui
