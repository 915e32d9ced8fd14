#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GVariant GVariant;

namespace qb::test {

// A private session bus for one test and, unless asked otherwise, a gnome-keyring-daemon
// on it whose unlocked "login" collection is the default. While it lives, this process's
// DBUS_SESSION_BUS_ADDRESS names the private bus. The bus config lists no service
// folders, so nothing is auto-started and no prompter can appear.
class PrivateKeyring {
 public:
  enum class Daemon { keyring, none };

  PrivateKeyring() = default;
  ~PrivateKeyring();
  PrivateKeyring(const PrivateKeyring&) = delete;
  PrivateKeyring& operator=(const PrivateKeyring&) = delete;

  // false with error() set when the bus or the daemon cannot be brought up.
  bool start(Daemon daemon = Daemon::keyring);
  QString error() const { return error_; }

  bool lockLogin();
  // A frozen daemon keeps its bus name but answers nothing, like a hung service.
  void freeze();

  // Direct Secret Service calls over a plain session, independent of the code under test:
  // an item {service "com.orvane.vantelo", account} in the login collection...
  bool seed(const QString& account, const QByteArray& secret);
  // ...and the secrets of every such item (locked ones are not listed).
  QList<QByteArray> secrets(const QString& account);

 private:
  bool fail(const QString& why);
  bool waitForLogin();
  GVariant* call(const char* path, const char* interface, const char* method, GVariant* args,
                 const char* replyType, int timeoutMs = 5000);
  static bool done(GVariant* reply);
  QByteArray openPlainSession();
  void stop();

  QTemporaryDir root_;
  QProcess bus_;
  QProcess daemon_;
  QByteArray address_;
  GDBusConnection* connection_ = nullptr;
  QByteArray savedAddress_ = qgetenv("DBUS_SESSION_BUS_ADDRESS");
  bool hadAddress_ = qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS");
  QString error_;
};

}  // namespace qb::test
