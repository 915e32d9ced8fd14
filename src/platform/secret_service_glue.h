#pragma once
// What the libsecret keyring is built from: GLib ownership, our item schema, a deadline
// for each operation, error translation and a Secret Service bound to a bus of our own.
#include <gio/gio.h>
#include <libsecret/secret.h>

#include <QByteArray>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/keyring.h"

namespace qb::platform::secret {

// Every operation finishes or is cancelled within this; a missing or healthy service
// answers in a few milliseconds.
inline constexpr std::chrono::milliseconds kDeadline{500};

struct GObjectUnref {
  void operator()(gpointer p) const {
    if (p) g_object_unref(p);
  }
};
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GErrorFree {
  void operator()(GError* e) const {
    if (e) g_error_free(e);
  }
};
using ErrorPtr = std::unique_ptr<GError, GErrorFree>;

struct ItemListFree {
  void operator()(GList* l) const { g_list_free_full(l, g_object_unref); }
};
using ItemList = std::unique_ptr<GList, ItemListFree>;

struct SecretValueUnref {
  void operator()(SecretValue* v) const {
    if (v) secret_value_unref(v);
  }
};
using ValuePtr = std::unique_ptr<SecretValue, SecretValueUnref>;

// Our items: service "com.orvane.vantelo" and the account name.
const SecretSchema* schema();

// The attributes that identify one account's item; the table borrows `account_`.
class Attributes {
 public:
  explicit Attributes(const QString& account);
  ~Attributes() { g_hash_table_unref(table_); }
  Attributes(const Attributes&) = delete;
  Attributes& operator=(const Attributes&) = delete;
  GHashTable* table() const { return table_; }

 private:
  QByteArray account_;
  GHashTable* table_;
};

// Cancels the calls of one operation when they outlast the deadline. A hung service
// would otherwise hold the caller for two 25-second D-Bus timeouts.
class Watchdog {
 public:
  Watchdog() : thread_([this] { run(); }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  GCancellable* cancellable() const { return cancellable_.get(); }
  bool fired() const { return g_cancellable_is_cancelled(cancellable_.get()); }

 private:
  void run();

  GObjectPtr<GCancellable> cancellable_{g_cancellable_new()};
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;  // last: starts once the members it uses exist
};

KeyringError toError(const GError* e);
KeyringError lockedError(const char* what);
// The item went between our search and our call (another process deleted it): the
// Secret Service no longer knows its object.
bool vanished(const GError* e);

// The session bus as the desktop announces it, or nothing (never an autolaunched one).
QByteArray sessionBusAddress();
// A SecretService type whose objects never use GLib's shared session connection.
GType privateServiceType();

}  // namespace qb::platform::secret
