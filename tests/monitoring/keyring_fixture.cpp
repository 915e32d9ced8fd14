#include "keyring_fixture.h"

#include <gio/gio.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

#include "support/test_support.h"

namespace qb::test {

namespace {

constexpr char kSecrets[] = "org.freedesktop.secrets";
constexpr char kServicePath[] = "/org/freedesktop/secrets";
constexpr char kServiceInterface[] = "org.freedesktop.Secret.Service";
constexpr char kLoginPath[] = "/org/freedesktop/secrets/collection/login";

// A daemon must not outlive a test executable that crashes or is killed by a timeout.
void dieWithParent(QProcess& process) {
  process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

void endProcess(QProcess& process) {
  if (process.state() == QProcess::NotRunning) return;
  ::kill(static_cast<pid_t>(process.processId()), SIGCONT);
  process.terminate();
  if (!process.waitForFinished(2000)) {
    process.kill();
    process.waitForFinished(2000);
  }
}

QString takeError(GError* e) {
  const QString text = e ? QString::fromUtf8(e->message) : QStringLiteral("unknown error");
  if (e) g_error_free(e);
  return text;
}

GVariant* attributes(const QString& account) {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("a{ss}"));
  g_variant_builder_add(&builder, "{ss}", "service", "com.orvane.vantelo");
  g_variant_builder_add(&builder, "{ss}", "account", account.toUtf8().constData());
  return g_variant_builder_end(&builder);
}

GVariant* bytes(const QByteArray& data) {
  return g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, data.constData(),
                                   static_cast<gsize>(data.size()), 1);
}

}  // namespace

PrivateKeyring::~PrivateKeyring() {
  stop();
  if (hadAddress_)
    qputenv("DBUS_SESSION_BUS_ADDRESS", savedAddress_);
  else
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
}

bool PrivateKeyring::fail(const QString& why) {
  error_ = why;
  stop();
  return false;
}

bool PrivateKeyring::start(Daemon daemon) {
  if (!root_.isValid()) return fail(QStringLiteral("no temporary folder"));
  const QString home = root_.path() + QStringLiteral("/home"), runtime = root_.path() + QStringLiteral("/run"),
                busDir = root_.path() + QStringLiteral("/bus");
  for (const QString& dir : {home + QStringLiteral("/.local/share"), runtime, busDir})
    if (!QDir().mkpath(dir)) return fail(QStringLiteral("cannot create ") + dir);
  ::chmod(QFile::encodeName(runtime).constData(), 0700);

  // The desktop tests' bus: no service folders, so nothing is auto-started.
  const QString config = root_.path() + QStringLiteral("/bus.conf");
  writeFile(config, readFile(QStringLiteral(QUOTABAR_SOURCE_DIR "/tests/support/session-bus.conf"))
                        .replace("BUS_DIR", QFile::encodeName(busDir)));

  // As bare as `env -i`: no display, no session bus of the caller.
  QProcessEnvironment env;
  env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH", QStringLiteral("/usr/bin:/bin")));
  env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
  for (const auto& v : kHomeFolders) env.insert(QLatin1String(v[0]), home + QLatin1String(v[1]));

  bus_.setProcessEnvironment(env);
  dieWithParent(bus_);
  bus_.start(QStringLiteral("dbus-daemon"),
             {QStringLiteral("--config-file=") + config, QStringLiteral("--print-address"),
              QStringLiteral("--nofork")});
  if (!bus_.waitForStarted(5000))
    return fail(QStringLiteral("dbus-daemon did not start (is package dbus-daemon installed?): ") +
                bus_.errorString());
  QDeadlineTimer deadline(5000);
  while (!bus_.canReadLine() && !deadline.hasExpired() && bus_.state() == QProcess::Running)
    bus_.waitForReadyRead(100);
  address_ = bus_.readLine().trimmed();
  if (address_.isEmpty())
    return fail(QStringLiteral("dbus-daemon printed no address: ") +
                QString::fromUtf8(bus_.readAllStandardError()));
  qputenv("DBUS_SESSION_BUS_ADDRESS", address_);

  GError* e = nullptr;
  connection_ = g_dbus_connection_new_for_address_sync(
      address_.constData(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &e);
  if (!connection_) return fail(QStringLiteral("cannot connect to the private bus: ") + takeError(e));
  if (daemon == Daemon::none) return true;

  env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromUtf8(address_));
  daemon_.setProcessEnvironment(env);
  dieWithParent(daemon_);
  daemon_.start(QStringLiteral("gnome-keyring-daemon"),
                {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                 QStringLiteral("--components=secrets")});
  if (!daemon_.waitForStarted(5000))
    return fail(QStringLiteral("gnome-keyring-daemon did not start (is package gnome-keyring "
                               "installed?): ") +
                daemon_.errorString());
  // The password on stdin creates the login collection, unlocked, without a prompt.
  daemon_.write("quotabar-test-password");
  daemon_.waitForBytesWritten(5000);
  daemon_.closeWriteChannel();
  if (!waitForLogin())
    return fail(QStringLiteral("gnome-keyring-daemon never offered an unlocked login collection: ") +
                QString::fromUtf8(daemon_.readAllStandardError()));
  return true;
}

// A Secret Service call on the private bus; nullptr with error() set when it fails.
GVariant* PrivateKeyring::call(const char* path, const char* interface, const char* method,
                               GVariant* args, const char* replyType, int timeoutMs) {
  GError* e = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(connection_, kSecrets, path, interface, method, args,
                                                G_VARIANT_TYPE(replyType),
                                                G_DBUS_CALL_FLAGS_NO_AUTO_START, timeoutMs, nullptr, &e);
  if (!reply) error_ = takeError(e);
  return reply;
}

bool PrivateKeyring::done(GVariant* reply) {
  if (reply) g_variant_unref(reply);
  return reply != nullptr;
}

bool PrivateKeyring::waitForLogin() {
  for (QDeadlineTimer deadline(10'000); !deadline.hasExpired();) {
    if (GVariant* reply = call(kServicePath, kServiceInterface, "ReadAlias",
                               g_variant_new("(s)", "default"), "(o)", 1000)) {
      const gchar* path = nullptr;
      g_variant_get(reply, "(&o)", &path);
      const bool ready = qstrcmp(path, kLoginPath) == 0;
      g_variant_unref(reply);
      if (ready) return true;
    }
    if (daemon_.waitForFinished(10)) return false;
  }
  return false;
}

bool PrivateKeyring::lockLogin() {
  const char* const login[] = {kLoginPath, nullptr};
  return done(call(kServicePath, kServiceInterface, "Lock", g_variant_new("(^ao)", login), "(aoo)"));
}

void PrivateKeyring::freeze() {
  if (daemon_.state() != QProcess::Running) return;
  const auto pid = static_cast<pid_t>(daemon_.processId());
  ::kill(pid, SIGSTOP);
  // The signal lands asynchronously; wait until the daemon really is stopped.
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  for (QDeadlineTimer deadline(2000); !deadline.hasExpired() && stat.open(QIODevice::ReadOnly);) {
    const QByteArray line = stat.readAll();
    stat.close();
    if (line.mid(line.lastIndexOf(')') + 2, 1) == "T") return;
    ::usleep(1000);
  }
}

QByteArray PrivateKeyring::openPlainSession() {
  GVariant* reply = call(kServicePath, kServiceInterface, "OpenSession",
                         g_variant_new("(sv)", "plain", g_variant_new_string("")), "(vo)");
  if (!reply) return {};
  GVariant* output = nullptr;
  const gchar* session = nullptr;
  g_variant_get(reply, "(v&o)", &output, &session);
  const QByteArray path(session);
  g_variant_unref(output);
  g_variant_unref(reply);
  return path;
}

bool PrivateKeyring::seed(const QString& account, const QByteArray& secret) {
  const QByteArray session = openPlainSession();
  if (session.isEmpty()) return false;
  GVariantBuilder properties;
  g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&properties, "{sv}", "org.freedesktop.Secret.Item.Label", g_variant_new_string(""));
  g_variant_builder_add(&properties, "{sv}", "org.freedesktop.Secret.Item.Attributes", attributes(account));
  GVariant* value = g_variant_new("(o@ay@ays)", session.constData(), bytes({}), bytes(secret), "text/plain");
  return done(call(kLoginPath, "org.freedesktop.Secret.Collection", "CreateItem",
                   g_variant_new("(a{sv}@(oayays)b)", &properties, value, TRUE), "(oo)"));
}

QList<QByteArray> PrivateKeyring::secrets(const QString& account) {
  QList<QByteArray> out;
  const QByteArray session = openPlainSession();
  GVariant* found = session.isEmpty() ? nullptr
                                      : call(kServicePath, kServiceInterface, "SearchItems",
                                             g_variant_new("(@a{ss})", attributes(account)), "(aoao)");
  if (!found) return out;
  GVariant* unlocked = g_variant_get_child_value(found, 0);
  GVariant* reply = call(kServicePath, kServiceInterface, "GetSecrets",
                         g_variant_new("(@aoo)", unlocked, session.constData()), "(a{o(oayays)})");
  g_variant_unref(unlocked);
  g_variant_unref(found);
  if (!reply) return out;
  GVariantIter* iter = nullptr;
  g_variant_get(reply, "(a{o(oayays)})", &iter);
  const gchar* item = nullptr;
  GVariant* secret = nullptr;
  while (g_variant_iter_loop(iter, "{&o@(oayays)}", &item, &secret)) {
    GVariant* data = g_variant_get_child_value(secret, 2);
    gsize length = 0;
    const auto* p = static_cast<const char*>(g_variant_get_fixed_array(data, &length, 1));
    out.append(QByteArray(p, static_cast<qsizetype>(length)));
    g_variant_unref(data);
  }
  g_variant_iter_free(iter);
  g_variant_unref(reply);
  return out;
}

void PrivateKeyring::stop() {
  if (connection_) {
    g_dbus_connection_close_sync(connection_, nullptr, nullptr);
    g_object_unref(connection_);
    connection_ = nullptr;
  }
  endProcess(daemon_);
  endProcess(bus_);
}

}  // namespace qb::test
