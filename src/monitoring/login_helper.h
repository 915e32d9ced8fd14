#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include "monitoring/signin_protocol.h"
#include "providers/provider.h"

class QProcess;

namespace qb {

// The caller's handle on one service's quotabar-signin process: started on the first
// present(), told to show its window again on later ones, never blocking.
class LoginHelper : public QObject {
  Q_OBJECT

 public:
  explicit LoginHelper(Provider p, QObject* parent = nullptr);
  ~LoginHelper() override;

  Provider provider() const { return provider_; }
  // The helper's log goes to our standard error (the command line's choice); else nowhere.
  void setCommandLineLog(bool on) { commandLineLog_ = on; }
  bool isRunning() const;
  // The last failure was a missing helper or missing libraries of it: a caller offers the
  // paste path instead of the window.
  bool unavailable() const { return unavailable_; }
  qint64 processId() const;

  void present();

  // The helper beside the running executable, or $QUOTABAR_SIGNIN_HELPER.
  static QString helperPath();

 Q_SIGNALS:
  void succeeded(const QString& who);
  void windowClosed();
  void failed(const QString& line);
  void shown();
  void pageLoaded();

 private:
  void start();
  void readLines();
  void readErrors();
  void passErrors(const QByteArray& bytes);
  QString unavailableText(const QString& why) const;
  void onFinished(int exitCode, int exitStatus);
  void fail(const QString& line);

  Provider provider_;
  QPointer<QProcess> process_;
  signin_protocol::LineBuffer lines_;
  QString errorLine_;
  QByteArray heldErrors_;
  static constexpr qsizetype kMaxHeldErrors = 64 * 1024;
  bool heardFrom_ = false;  // the helper wrote to its standard output
  bool unavailable_ = false;
  bool commandLineLog_ = false;
  bool done_ = false;  // success or failure reported; a later present() starts afresh
};

}  // namespace qb
