// Keyring on the Secret Service through libsecret, written so that no call can prompt or
// hang: no unlocking searches, no auto-started service, and a deadline on every call.
#include <chrono>
#include <optional>

#include "platform/keyring.h"
#include "platform/secret_service_glue.h"

namespace qb::platform {

QString KeyringError::describe() const {
  QString text = QStringLiteral("%1:%2 %3").arg(domain).arg(code).arg(message);
  if (!remote.isEmpty()) text += QStringLiteral(" [%1]").arg(remote);
  return text;
}

namespace {

using namespace std::chrono_literals;
using namespace secret;

constexpr char kSecretsName[] = "org.freedesktop.secrets";
constexpr char kSecretsPath[] = "/org/freedesktop/secrets";
constexpr char kSecretsInterface[] = "org.freedesktop.Secret.Service";
// After a service missed the deadline, it is not asked again for a while: each load and
// save would otherwise stall the main thread by the whole deadline, several times over.
constexpr auto kUnresponsivePause = 30s;

KeyringResult failed(KeyringError e) { return {KeyringStatus::failed, std::move(e)}; }
KeyringRead readFailed(KeyringError e) { return {KeyringStatus::failed, {}, 0, std::move(e)}; }

class SecretServiceKeyring final : public Keyring {
  // The items stored for one account, found without unlocking anything.
  struct Search {
    SecretService* service = nullptr;
    ItemList items;
    std::optional<KeyringError> error;
  };

  Search search(const Watchdog& watchdog, const QString& account, SecretSearchFlags flags) {
    Search found;
    GError* raw = nullptr;
    found.service = connect(watchdog, &raw);
    ErrorPtr error(raw);
    if (!found.service) {
      found.error = finish(watchdog, error.get());
      return found;
    }
    const Attributes attributes(account);
    // An item deleted by another process while the search loads it fails the search: look again.
    for (int attempt = 0; attempt < 3; ++attempt) {
      raw = nullptr;
      found.items.reset(secret_service_search_sync(found.service, schema(), attributes.table(), flags,
                                                   watchdog.cancellable(), &raw));
      error.reset(raw);
      if (!error || !vanished(error.get())) break;
    }
    if (error) found.error = finish(watchdog, error.get());
    return found;
  }

 public:
  KeyringRead read(const QString& account) override {
    Watchdog watchdog;
    Search found = search(
        watchdog, account,
        static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS));
    if (found.error) return readFailed(*found.error);
    SecretService* service = found.service;
    const ItemList& items = found.items;
    GError* raw = nullptr;
    ErrorPtr error;

    bool sawLocked = false;
    for (GList* l = items.get(); l; l = l->next) {
      auto* item = static_cast<SecretItem*>(l->data);
      if (secret_item_get_locked(item)) {
        sawLocked = true;
        continue;
      }
      const ValuePtr value(secret_item_get_secret(item));
      if (!value) {
        return readFailed({QString::fromUtf8(g_quark_to_string(SECRET_ERROR)),
                           SECRET_ERROR_PROTOCOL,
                           QStringLiteral("The item's secret was not returned"), {}});
      }
      gsize length = 0;
      const gchar* data = secret_value_get(value.get(), &length);
      return {KeyringStatus::ok, QByteArray(data, static_cast<qsizetype>(length)),
              static_cast<qint64>(secret_item_get_modified(item)), {}};
    }
    if (sawLocked) return readFailed(lockedError("The item is locked"));

    // Nothing visible: tell a locked default collection (which may hide the item) from
    // an item that was never stored.
    GObjectPtr<SecretCollection> collection(secret_collection_for_alias_sync(
        service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, watchdog.cancellable(), &raw));
    error.reset(raw);
    if (error) return readFailed(finish(watchdog, error.get()));
    if (collection && secret_collection_get_locked(collection.get()))
      return readFailed(lockedError("The default collection is locked"));
    return {KeyringStatus::notFound, {}, 0, {}};
  }

  KeyringResult update(const QString& account, const QByteArray& secret) override {
    Watchdog watchdog;
    Search found = search(watchdog, account, SECRET_SEARCH_ALL);
    if (found.error) return failed(*found.error);
    const ItemList& items = found.items;
    GError* raw = nullptr;
    ErrorPtr error;
    if (!items) return {KeyringStatus::notFound, {}};
    for (GList* l = items.get(); l; l = l->next) {
      if (secret_item_get_locked(static_cast<SecretItem*>(l->data)))
        return failed(lockedError("The item is locked"));
    }
    const ValuePtr value(secretValue(secret));
    for (GList* l = items.get(); l; l = l->next) {
      if (!secret_item_set_secret_sync(static_cast<SecretItem*>(l->data), value.get(),
                                       watchdog.cancellable(), &raw)) {
        error.reset(raw);
        if (vanished(error.get())) return {KeyringStatus::notFound, {}};  // the caller adds
        return failed(finish(watchdog, error.get()));
      }
    }
    return {KeyringStatus::ok, {}};
  }

  KeyringResult add(const QString& account, const QByteArray& secret) override {
    Watchdog watchdog;
    GError* raw = nullptr;
    SecretService* service = connect(watchdog, &raw);
    ErrorPtr error(raw);
    if (!service) return failed(finish(watchdog, error.get()));

    GObjectPtr<SecretCollection> collection(secret_collection_for_alias_sync(
        service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, watchdog.cancellable(), &raw));
    error.reset(raw);
    if (error) return failed(finish(watchdog, error.get()));
    if (!collection) {
      return failed({QString::fromUtf8(g_quark_to_string(SECRET_ERROR)),
                     SECRET_ERROR_NO_SUCH_OBJECT, QStringLiteral("There is no default keyring"),
                     {}});
    }
    // Unlocking would prompt; a locked keyring refuses the write instead.
    if (secret_collection_get_locked(collection.get()))
      return failed(lockedError("The default collection is locked"));

    const Attributes attributes(account);
    const ValuePtr value(secretValue(secret));
    // No label: the item is its service and account (the keyring adds only xdg:schema).
    GObjectPtr<SecretItem> item(secret_item_create_sync(
        collection.get(), schema(), attributes.table(), "", value.get(),
        SECRET_ITEM_CREATE_REPLACE, watchdog.cancellable(), &raw));
    error.reset(raw);
    if (!item) return failed(finish(watchdog, error.get()));
    return {KeyringStatus::ok, {}};
  }

  KeyringResult remove(const QString& account) override {
    Watchdog watchdog;
    Search found = search(watchdog, account, SECRET_SEARCH_ALL);
    if (found.error) return failed(*found.error);
    const ItemList& items = found.items;
    GError* raw = nullptr;
    ErrorPtr error;
    if (!items) return {KeyringStatus::notFound, {}};
    bool sawLocked = false;
    for (GList* l = items.get(); l; l = l->next) {
      auto* item = static_cast<SecretItem*>(l->data);
      if (secret_item_get_locked(item)) {
        sawLocked = true;
        continue;
      }
      if (!secret_item_delete_sync(item, watchdog.cancellable(), &raw)) {
        error.reset(raw);
        if (vanished(error.get())) continue;  // gone is what was asked
        return failed(finish(watchdog, error.get()));
      }
    }
    if (sawLocked) return failed(lockedError("The item is locked"));
    return {KeyringStatus::ok, {}};
  }

 private:
  static SecretValue* secretValue(const QByteArray& secret) {
    return secret_value_new(secret.constData(), secret.size(), "text/plain");
  }

  // The Secret Service on the current session bus, connected on first use and kept
  // while it keeps answering. nullptr with `error` set when there is none.
  SecretService* connect(const Watchdog& watchdog, GError** error) {
    const QByteArray address = sessionBusAddress();
    if (address != address_ || (bus_ && g_dbus_connection_is_closed(bus_.get()))) {
      disconnect();
      address_ = address;
      unresponsiveUntil_.reset();
    }
    if (address.isEmpty()) {
      g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "No session bus is announced");
      return nullptr;
    }
    // An address GLib cannot use ("disabled:", an unknown transport) names no bus: no keyring.
    if (GError* unusable = nullptr; !g_dbus_is_supported_address(address.constData(), &unusable)) {
      g_set_error(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "No usable session bus: %s", unusable->message);
      g_error_free(unusable);
      return nullptr;
    }
    if (unresponsiveUntil_) {
      if (std::chrono::steady_clock::now() < *unresponsiveUntil_) {
        g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT,
                            "The Secret Service did not answer in time a moment ago");
        return nullptr;
      }
      unresponsiveUntil_.reset();
    }
    if (!bus_) {
      // A connection of our own, not GLib's shared one: that one ends the process when
      // the bus goes away, and would stay bound to the first address it saw.
      bus_.reset(g_dbus_connection_new_for_address_sync(
          address.constData(),
          static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                            G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
          nullptr, watchdog.cancellable(), error));
      if (!bus_) return nullptr;
    }
    // Asking the bus first keeps a missing service cheap and never activates one.
    GVariant* reply = g_dbus_connection_call_sync(
        bus_.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", kSecretsName), G_VARIANT_TYPE("(b)"),
        G_DBUS_CALL_FLAGS_NO_AUTO_START, static_cast<int>(kDeadline.count()),
        watchdog.cancellable(), error);
    if (!reply) return nullptr;
    gboolean owned = FALSE;
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
    if (!owned) {
      service_.reset();
      g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN,
                  "%s is not on the session bus", kSecretsName);
      return nullptr;
    }
    if (!service_) {
      gpointer service = g_initable_new(privateServiceType(), watchdog.cancellable(), error,
                                        "g-connection", bus_.get(), "flags",
                                        SECRET_SERVICE_OPEN_SESSION, nullptr);
      if (!service) return nullptr;
      service_.reset(SECRET_SERVICE(service));
    }
    return service_.get();
  }

  // Turns a failure into its description and decides what to keep: a locked keyring is
  // a normal answer; anything else may mean a stale session (a restarted keyring), so the
  // next call opens a new one.
  KeyringError finish(const Watchdog& watchdog, const GError* error) {
    KeyringError out = toError(error);
    if (watchdog.fired()) {
      unresponsiveUntil_ = std::chrono::steady_clock::now() + kUnresponsivePause;
      out.message = QStringLiteral("The Secret Service did not answer within %1 ms (%2)")
                        .arg(kDeadline.count())
                        .arg(out.message);
    }
    // A missing bus or service holds nothing; a hung one may.
    out.noService = !watchdog.fired() && (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND) ||
                                          g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN));
    const bool locked = g_error_matches(error, SECRET_ERROR, SECRET_ERROR_IS_LOCKED) ||
                        out.remote == QLatin1String("org.freedesktop.Secret.Error.IsLocked");
    if (!locked) service_.reset();
    return out;
  }

  void disconnect() {
    service_.reset();
    // Closed now rather than when the last pending callback lets go of it.
    if (bus_) g_dbus_connection_close(bus_.get(), nullptr, nullptr, nullptr);
    bus_.reset();
  }

  QByteArray address_;
  GObjectPtr<GDBusConnection> bus_;
  GObjectPtr<SecretService> service_;
  std::optional<std::chrono::steady_clock::time_point> unresponsiveUntil_;
};

Keyring* installed = nullptr;

}  // namespace

bool keyringSwitchedOff() { return qgetenv("QUOTABAR_KEYRING") == "off"; }

Keyring& systemKeyring() {
  static SecretServiceKeyring instance;
  return instance;
}

Keyring& keyring() { return installed ? *installed : systemKeyring(); }

Keyring* installKeyringForTesting(Keyring* keyring) {
  Keyring* previous = installed;
  installed = keyring;
  return previous;
}

}  // namespace qb::platform
