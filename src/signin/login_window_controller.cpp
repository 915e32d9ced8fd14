#include "signin/login_window_controller.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkCookie>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWebEngineCookieStore>
#include <QWebEngineHttpRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <utility>

#include "common/text.h"
#include "monitoring/session_signin.h"
#include "monitoring/session_store.h"
#include "widgets/paste_token_form.h"
#include "widgets/plain_text.h"
#include "widgets/style.h"

namespace qb {

Q_LOGGING_CATEGORY(lcLogin, "com.orvane.quotabar.login", QtInfoMsg)

namespace {

const char kUserAgent[] =
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) "
    "Version/17.6 Safari/605.1.15";

constexpr int kJarSettleMs = 250;

// net::ERR_ABORTED: a navigation we (or the engine) cancelled; not a page failure.
constexpr int kErrAborted = -3;

class LoginPage : public QWebEnginePage {
 public:
  using QWebEnginePage::QWebEnginePage;

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
    if (url.isEmpty()) return true;
    qCDebug(lcLogin, "Nav request: %s", qUtf8Printable(addressForLog(url)));
    return isAllowedNavigation(url);
  }
};

QPushButton* smallButton(const QString& text, QWidget* parent) {
  auto* b = new QPushButton(ui::literalText(text), parent);
  b->setFont(ui::textFont(ui::TextStyle::footnote));
  b->setAutoDefault(false);
  b->setStyleSheet(QStringLiteral("padding: 2px 6px"));
  // The buttons keep their whole text; the status line gives way.
  b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  return b;
}

}  // namespace

// A one-line label that elides instead of clipping; the whole text stays in the tooltip
// and the accessible name.
class StatusLabel : public QLabel {
 public:
  using QLabel::QLabel;
  void setStatus(const QString& text) {
    full_ = text;
    setToolTip(ui::plainToolTip(text));
    setAccessibleName(text);
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(contentsRect(), Qt::AlignVCenter | Qt::AlignLeft,
                     fontMetrics().elidedText(full_, Qt::ElideRight, contentsRect().width()));
  }

 private:
  QString full_;
};

LoginWindowController::LoginWindowController(Provider p, QWidget* parent)
    : QMainWindow(parent), provider_(p) {
  setAttribute(Qt::WA_QuitOnClose, false);
  setWindowTitle(QStringLiteral("Sign in to ") + displayName(p));
  makeWebView();

  // A main window, so assistive tools announce it as a frame rather than a bare pane.
  auto* content = new QWidget;
  setCentralWidget(content);
  auto* column = new QVBoxLayout(content);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(webView_, 1);
  column->addWidget(makeToolbar());

  resize(560, 760);
  setMinimumSize(440, 560);
  if (const QScreen* s = QGuiApplication::primaryScreen()) {
    QRect frame(QPoint(), size());
    frame.moveCenter(s->availableGeometry().center());
    move(frame.topLeft());
  }

  pollTimer_.setInterval(800);
  pollTimer_.setTimerType(Qt::PreciseTimer);
  connect(&pollTimer_, &QTimer::timeout, this, [this] {
    // One response sets its cookies one by one; a tick amid them would capture half.
    if (jarChanged_.isValid() && jarChanged_.elapsed() < kJarSettleMs) return;
    if (!gate_.finished()) tryCapture(false);
  });
}

// The page in its own off-the-record profile, whose cookie jar we mirror.
void LoginWindowController::makeWebView() {
  dataStore_ = new QWebEngineProfile(this);  // no storage name: off the record
  dataStore_->setHttpUserAgent(QString::fromLatin1(kUserAgent));
  // Connected before the first load: the store announces each cookie only once.
  connect(dataStore_->cookieStore(), &QWebEngineCookieStore::cookieAdded, this,
          &LoginWindowController::cookieAdded);
  connect(dataStore_->cookieStore(), &QWebEngineCookieStore::cookieRemoved, this,
          &LoginWindowController::cookieRemoved);

  webView_ = new QWebEngineView;
  auto* page = new LoginPage(dataStore_, webView_);  // owned by the view, deleted before the profile
  page->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
  page->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
  // Otherwise script and redirect navigations to unknown schemes never reach the policy.
  page->settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::AllowAllUnknownUrlSchemes);
  webView_->setPage(page);
  webView_->setAccessibleName(QStringLiteral("Sign-in page"));

  connect(page, &QWebEnginePage::newWindowRequested, this, [page](QWebEngineNewWindowRequest& r) {
    if (r.requestedUrl().isValid()) page->load(r.requestedUrl());
  });
  connect(page, &QWebEnginePage::loadingChanged, this, &LoginWindowController::pageLoadingChanged);
}

// The status line and the log follow the page's loads.
void LoginWindowController::pageLoadingChanged(const QWebEngineLoadingInfo& info) {
  const QUrl current = webView_->url();
  switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
      progress_->setVisible(true);
      statusLabel_->setStatus(QStringLiteral("Loading ") +
                              (current.host().isEmpty() ? QStringLiteral("\u2026") : current.host()));
      break;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
      progress_->setVisible(false);
      statusLabel_->setStatus(current.isEmpty() ? QStringLiteral("Loaded") : current.toString());
      qCInfo(lcLogin, "Loaded %s", qUtf8Printable(addressForLog(current)));
      Q_EMIT pageLoaded();
      break;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
      progress_->setVisible(false);
      break;
    case QWebEngineLoadingInfo::LoadFailedStatus: {
      progress_->setVisible(false);
      if (info.errorCode() == kErrAborted) break;
      statusLabel_->setStatus(QStringLiteral("Error: ") + info.errorString());
      const auto d = info.errorDomain();
      const bool provisional = d == QWebEngineLoadingInfo::ConnectionErrorDomain ||
                               d == QWebEngineLoadingInfo::DnsErrorDomain ||
                               d == QWebEngineLoadingInfo::CertificateErrorDomain;
      if (provisional)
        qCCritical(lcLogin, "didFailProvisional: %s", qUtf8Printable(info.errorString()));
      else
        qCCritical(lcLogin, "didFail: %s", qUtf8Printable(info.errorString()));
      break;
    }
  }
}

// Under the page: the busy bar and the status line, then Reload, capture and paste.
QWidget* LoginWindowController::makeToolbar() {
  progress_ = new QProgressBar;
  progress_->setRange(0, 0);  // indeterminate
  progress_->setTextVisible(false);
  progress_->setFixedWidth(40);
  progress_->setMaximumHeight(10);
  progress_->setAccessibleName(QStringLiteral("Busy"));

  statusLabel_ = new StatusLabel;
  statusLabel_->setStatus(QStringLiteral("Loading ") + cookieDomain(provider_) + QStringLiteral("\u2026"));
  statusLabel_->setFont(ui::textFont(ui::TextStyle::footnote));
  statusLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  statusLabel_->setMinimumWidth(40);

  auto* reload = smallButton(QStringLiteral("Reload"), this);
  auto* capture = smallButton(QStringLiteral("I'm signed in \u2014 capture session"), this);
  auto* paste = smallButton(QStringLiteral("Paste token instead"), this);
  connect(reload, &QPushButton::clicked, this, &LoginWindowController::reloadWebView);
  connect(capture, &QPushButton::clicked, this, &LoginWindowController::captureSessionManually);
  connect(paste, &QPushButton::clicked, this, &LoginWindowController::promptPasteToken);

  auto* toolbar = new QWidget;
  toolbar->setMinimumHeight(32);
  toolbar_ = new QBoxLayout(QBoxLayout::LeftToRight, toolbar);
  toolbar_->setContentsMargins(10, 6, 10, 6);
  toolbar_->setSpacing(10);
  auto* statusRow = new QHBoxLayout;
  statusRow->setSpacing(10);
  statusRow->addWidget(progress_);
  statusRow->addWidget(statusLabel_, 1);
  auto* buttonRow = new QHBoxLayout;
  buttonRow->setSpacing(10);
  buttonRow->addStretch(1);
  buttonRow->addWidget(reload);
  buttonRow->addWidget(capture);
  buttonRow->addWidget(paste);
  buttonRow_ = buttonRow;
  toolbar_->addLayout(statusRow, 1);
  toolbar_->addLayout(buttonRow);
  return toolbar;
}

LoginWindowController::~LoginWindowController() {
  // The view's page must go before the profile it was made with.
  delete webView_;
}

void LoginWindowController::present(std::function<void(const QString&)> onSuccess) {
  onSuccess_ = std::move(onSuccess);
  gate_.reset();
  loadLogin();
  show();
  raise();
  activateWindow();
  startPolling();
}

void LoginWindowController::loadLogin() {
  QWebEngineHttpRequest request(loginURL(provider_));
  request.setHeader(QByteArrayLiteral("Referer"), webOrigin(provider_).toString().toUtf8());
  statusLabel_->setStatus(QStringLiteral("Loading ") + cookieDomain(provider_) + QStringLiteral("\u2026"));
  progress_->setVisible(true);
  webView_->load(request);
  qCInfo(lcLogin, "Login WebView loading %s for %s", qUtf8Printable(addressForLog(request.url())),
         qUtf8Printable(rawValue(provider_)));
}

void LoginWindowController::reloadWebView() {
  if (webView_->url().isEmpty())
    loadLogin();
  else
    webView_->reload();
}

void LoginWindowController::startPolling() { pollTimer_.start(); }

void LoginWindowController::stopPolling() { pollTimer_.stop(); }

void LoginWindowController::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  // The buttons keep their whole text: at narrow widths they go under the status line.
  constexpr int kStatusRoom = 180;
  const bool oneLine = width() >= buttonRow_->sizeHint().width() + kStatusRoom + 30;
  toolbar_->setDirection(oneLine ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
}

void LoginWindowController::closeEvent(QCloseEvent* event) {
  stopPolling();
  event->accept();
  if (!gate_.finished()) Q_EMIT closedWithoutSuccess();
}

void LoginWindowController::cookieAdded(const QNetworkCookie& c) {
  cookieRemoved(c);
  jar_ << JarCookie{QString::fromUtf8(c.name()), QString::fromUtf8(c.value()), c.domain(), c.path()};
}

void LoginWindowController::cookieRemoved(const QNetworkCookie& c) {
  jarChanged_.start();
  const QString name = QString::fromUtf8(c.name());
  jar_.removeIf([&](const JarCookie& j) {
    return j.name == name && j.domain == c.domain() && j.path == c.path();
  });
}

bool LoginWindowController::tryCapture(bool manual) {
  if (gate_.finished()) return true;
  const QString domain = cookieDomain(provider_);
  const auto captured = captureSession(jar_, domain, cookieNames(provider_), manual);
  if (!captured) return false;
  if (!gate_.mayStart(captured->header, manual)) return true;
  qCInfo(lcLogin, "Captured session on %s via %s (%d cookies)", qUtf8Printable(domain),
         qUtf8Printable(captured->anchorName), captured->cookieCount);
  validateAndFinish(captured->header);
  return true;
}

void LoginWindowController::validateAndFinish(const QString& value) {
  gate_.started();
  statusLabel_->setStatus(QStringLiteral("Validating token\u2026"));
  progress_->setVisible(true);
  api_ = makeAPI(provider_);
  QPointer<LoginWindowController> self(this);
  call_ = api_->fetchAccount(value, [self, value](const ApiResult<AccountInfo>& r) {
    if (!self) return;
    if (r) {
      self->finish(value, r.value());
    } else {
      self->gate_.failed(value);
      self->progress_->setVisible(false);
      self->alert(QStringLiteral("Couldn't validate that token"), r.error().description());
    }
    const QString pasted = std::exchange(self->pendingPaste_, QString());
    if (!pasted.isEmpty() && !self->gate_.finished()) self->validateAndFinish(pasted);
  });
}

void LoginWindowController::finish(const QString& value, const AccountInfo& account) {
  if (const SessionStore::Outcome stored = SessionStore::saveChecked(value, provider_); !stored) {
    gate_.failed(value);
    progress_->setVisible(false);
    alert(QStringLiteral("Couldn't save that token"), stored.reason);
    return;
  }
  if (!gate_.succeeded()) return;
  stopPolling();
  if (onSuccess_) onSuccess_(accountLine(account));
  close();
}

void LoginWindowController::captureSessionManually() {
  if (!tryCapture(true) && !gate_.finished())
    alert(QStringLiteral("No session cookie found yet"), noSessionFoundText(cookieDomain(provider_)));
}

void LoginWindowController::alert(const QString& message, const QString& informative) {
  // The poll and the page keep running behind it; the informative text may be a server's
  // error body.
  ui::openPlainWarning(this, message, informative);
}

void LoginWindowController::promptPasteToken() {
  auto* form = new ui::PasteTokenForm(provider_, this);
  // The form closes at once; the status line below the page tells how the check goes.
  connect(form, &ui::PasteTokenForm::submitted, this, [this, form](const QString& value) {
    form->accept();
    if (value.isEmpty() || gate_.finished()) return;
    // Pasted while a capture is still validating: checked right after it, not dropped.
    if (gate_.busy()) pendingPaste_ = value;
    else validateAndFinish(value);
  });
  form->open();
}

}  // namespace qb
