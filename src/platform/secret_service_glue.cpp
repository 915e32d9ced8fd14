#include "platform/secret_service_glue.h"

#include <sys/stat.h>

namespace qb::platform::secret {

namespace {

constexpr char kService[] = "com.orvane.vantelo";

// libsecret 0.20 binds every service object to GLib's shared session connection (its
// constructor sets g-bus-type). That connection ends the process when the bus goes away
// and keeps the first bus address for good, so the service is rebound to a connection of
// our own before it initialises, and told never to auto-start a keyring.
GObjectClass* secretServiceClass = nullptr;

GObject* rebindToOwnConnection(GType type, guint count, GObjectConstructParam* params) {
  GObject* object = secretServiceClass->constructor(type, count, params);
  g_object_set(object, "g-bus-type", G_BUS_TYPE_NONE, "g-flags",
               G_DBUS_PROXY_FLAGS_DO_NOT_AUTO_START, nullptr);
  return object;
}

}  // namespace

const SecretSchema* schema() {
  static const SecretSchema s = [] {
    SecretSchema v{};
    v.name = "com.orvane.vantelo.Session";
    // Match on service and account only: items written by other tools carry no
    // xdg:schema, and matching on it hides items of a keyring locked since start-up.
    v.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
    v.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
    v.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
    return v;
  }();
  return &s;
}

Attributes::Attributes(const QString& account)
    : account_(account.toUtf8()), table_(g_hash_table_new(g_str_hash, g_str_equal)) {
  g_hash_table_insert(table_, const_cast<char*>("service"), const_cast<char*>(kService));
  g_hash_table_insert(table_, const_cast<char*>("account"), account_.data());
}

void Watchdog::run() {
  std::unique_lock lock(mutex_);
  if (!wake_.wait_for(lock, kDeadline, [this] { return done_; }))
    g_cancellable_cancel(cancellable_.get());
}

KeyringError toError(const GError* e) {
  KeyringError out;
  out.domain = QString::fromUtf8(g_quark_to_string(e->domain));
  out.code = e->code;
  if (gchar* remote = g_dbus_error_get_remote_error(e)) {
    out.remote = QString::fromUtf8(remote);
    g_free(remote);
    GError* copy = g_error_copy(e);
    g_dbus_error_strip_remote_error(copy);
    out.message = QString::fromUtf8(copy->message);
    g_error_free(copy);
  } else {
    out.message = QString::fromUtf8(e->message);
  }
  return out;
}

KeyringError lockedError(const char* what) {
  return {QString::fromUtf8(g_quark_to_string(SECRET_ERROR)), SECRET_ERROR_IS_LOCKED,
          QString::fromUtf8(what), {}};
}

bool vanished(const GError* e) {
  return g_error_matches(e, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD) ||
         g_error_matches(e, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_OBJECT) ||
         g_error_matches(e, SECRET_ERROR, SECRET_ERROR_NO_SUCH_OBJECT);
}

// The session bus as the desktop announces it. GLib's own lookup falls back to
// autolaunching a bus through dbus-launch when a display is set; that bus and the keyring
// it may start outlive the app and can prompt.
QByteArray sessionBusAddress() {
  if (keyringSwitchedOff()) return {};
  const QByteArray announced = qgetenv("DBUS_SESSION_BUS_ADDRESS");
  if (!announced.isEmpty()) return announced;
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (runtime.isEmpty()) return {};
  const QByteArray socket = runtime + "/bus";
  struct stat st {};
  if (::stat(socket.constData(), &st) != 0 || !S_ISSOCK(st.st_mode)) return {};
  gchar* escaped = g_dbus_address_escape_value(socket.constData());
  const QByteArray address = QByteArray("unix:path=") + escaped;
  g_free(escaped);
  return address;
}

GType privateServiceType() {
  static const GType type = [] {
    GTypeQuery parent{};
    g_type_query(SECRET_TYPE_SERVICE, &parent);
    return g_type_register_static_simple(
        SECRET_TYPE_SERVICE, "QuotabarPrivateSecretService", parent.class_size,
        [](gpointer klass, gpointer) {
          secretServiceClass = G_OBJECT_CLASS(g_type_class_peek_parent(klass));
          G_OBJECT_CLASS(klass)->constructor = rebindToOwnConnection;
        },
        parent.instance_size, nullptr, GTypeFlags(0));
  }();
  return type;
}

}  // namespace qb::platform::secret
