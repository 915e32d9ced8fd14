#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QLoggingCategory>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QMainWindow>
#include <functional>
#include <memory>

#include "providers/provider.h"
#include "providers/provider_api.h"
#include "providers/session_capture.h"

class QBoxLayout;
class QLabel;
class QLayout;
class QNetworkCookie;
class QProgressBar;
class QWebEngineLoadingInfo;
class QWebEngineProfile;
class QWebEngineView;

namespace qb {

Q_DECLARE_LOGGING_CATEGORY(lcLogin)

class StatusLabel;

// One service's sign-in window: its own off-the-record browser profile, a live mirror of
// that profile's cookie jar, the cookie poll, manual capture and the paste dialog.
class LoginWindowController : public QMainWindow {
  Q_OBJECT

 public:
  explicit LoginWindowController(Provider p, QWidget* parent = nullptr);
  ~LoginWindowController() override;

  // `onSuccess` receives who signed in (never the session value).
  void present(std::function<void(const QString& who)> onSuccess);

  void reloadWebView();
  void captureSessionManually();
  void promptPasteToken();

 Q_SIGNALS:
  void closedWithoutSuccess();
  void pageLoaded();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void makeWebView();
  QWidget* makeToolbar();
  void pageLoadingChanged(const QWebEngineLoadingInfo& info);
  void loadLogin();
  void startPolling();
  void stopPolling();
  bool tryCapture(bool manual);
  void validateAndFinish(const QString& value);
  void finish(const QString& value, const AccountInfo& account);
  void alert(const QString& message, const QString& informative);
  void cookieAdded(const QNetworkCookie& cookie);
  void cookieRemoved(const QNetworkCookie& cookie);

  Provider provider_;
  QWebEngineProfile* dataStore_ = nullptr;
  QWebEngineView* webView_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QBoxLayout* toolbar_ = nullptr;  // one line when it fits, else the buttons under the status
  QLayout* buttonRow_ = nullptr;
  StatusLabel* statusLabel_ = nullptr;
  std::function<void(const QString&)> onSuccess_;
  QTimer pollTimer_;
  CaptureGate gate_;
  QList<JarCookie> jar_;  // arrival order, one entry per name, domain and path
  QElapsedTimer jarChanged_;
  QString pendingPaste_;
  std::unique_ptr<ProviderAPI> api_;
  CallHandle call_;
};

}  // namespace qb
