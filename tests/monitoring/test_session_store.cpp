#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <atomic>
#include <functional>
#include <mutex>
#include <ostream>
#include <thread>

#include "keyring_fixture.h"
#include "monitoring/session_store.h"
#include "platform/keyring.h"
#include "support/test_support.h"

void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
void PrintTo(const QByteArray& b, std::ostream* os) { *os << '"' << b.toStdString() << '"'; }

namespace qb {
namespace {

using platform::KeyringResult;
using platform::KeyringStatus;
using test::PrivateKeyring;

// Every session value in these tests carries this marker, so a log line holding one shows.
const QString kMarker = QStringLiteral("S3cr3t");
const QString kLegacyAccount = QStringLiteral("WorkosCursorSessionToken");
const QString kLegacyFile = QStringLiteral("session-token");

QString account(Provider p) { return QStringLiteral("session-") + rawValue(p); }
QString fileName(Provider p) { return QStringLiteral("session-token-") + rawValue(p); }
std::optional<QString> text(const char* s) { return QString::fromUtf8(s); }

qint64 elapsedMs(const std::function<void()>& call) {
  QElapsedTimer timer;
  timer.start();
  call();
  return timer.elapsed();
}

struct LogLine {
  QtMsgType type;
  QString category;
  QString text;
};

// The store's log lines during one test.
class LogCapture {
 public:
  LogCapture() {
    current_ = this;
    previous_ = qInstallMessageHandler(&LogCapture::handle);
    QLoggingCategory::setFilterRules(QStringLiteral("com.orvane.vantelo.tokenstore=true"));
  }
  ~LogCapture() {
    qInstallMessageHandler(previous_);
    current_ = nullptr;
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  QStringList texts(QtMsgType type) const {
    QStringList out;
    for (const LogLine& line : lines) {
      if (line.type == type) out << line.text;
    }
    return out;
  }

  QList<LogLine> lines;

 private:
  static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (current_)
      current_->lines.append({type, QString::fromLatin1(context.category), message});
  }
  static inline LogCapture* current_ = nullptr;
  QtMessageHandler previous_ = nullptr;
};

// Passes reads through to the real keyring and refuses the writes it is told to.
class RefusingKeyring final : public platform::Keyring {
 public:
  bool refuseUpdate = false;
  bool refuseDelete = false;
  bool refuseAdd = false;

  platform::KeyringRead read(const QString& a) override { return platform::systemKeyring().read(a); }
  KeyringResult update(const QString& a, const QByteArray& s) override {
    return refuseUpdate ? refused(1, "update refused") : platform::systemKeyring().update(a, s);
  }
  KeyringResult add(const QString& a, const QByteArray& s) override {
    return refuseAdd ? refused(3, "add refused") : platform::systemKeyring().add(a, s);
  }
  KeyringResult remove(const QString& a) override {
    return refuseDelete ? refused(2, "delete refused") : platform::systemKeyring().remove(a);
  }

 private:
  static KeyringResult refused(int code, const char* why) {
    return {KeyringStatus::failed, {QStringLiteral("test-error"), code, QString::fromUtf8(why), {}}};
  }
};

class InstalledKeyring {
 public:
  explicit InstalledKeyring(platform::Keyring* k) : previous_(platform::installKeyringForTesting(k)) {}
  ~InstalledKeyring() { platform::installKeyringForTesting(previous_); }
  InstalledKeyring(const InstalledKeyring&) = delete;
  InstalledKeyring& operator=(const InstalledKeyring&) = delete;

 private:
  platform::Keyring* previous_;
};

class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : previous_(::umask(mask)) {}
  ~ScopedUmask() { ::umask(previous_); }
  ScopedUmask(const ScopedUmask&) = delete;
  ScopedUmask& operator=(const ScopedUmask&) = delete;

 private:
  mode_t previous_;
};

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const QByteArray& value)
      : name_(name), had_(qEnvironmentVariableIsSet(name)), saved_(qgetenv(name)) {
    qputenv(name, value);
  }
  ~ScopedEnv() {
    if (had_)
      qputenv(name_, saved_);
    else
      qunsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  bool had_;
  QByteArray saved_;
};

// Looks at every file of a folder the moment it is created, written or moved in, and
// records any that others could read or write at that moment.
class PermissionWatch {
 public:
  explicit PermissionWatch(const QString& dir)
      : fd_(inotify_init1(IN_CLOEXEC | IN_NONBLOCK)),
        dirFd_(::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    ok_ = fd_ >= 0 && dirFd_ >= 0 &&
          inotify_add_watch(fd_, QFile::encodeName(dir).constData(),
                            IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO) >= 0;
    if (ok_) thread_ = std::thread([this] { run(); });
  }
  ~PermissionWatch() {
    stop();
    if (fd_ >= 0) ::close(fd_);
    if (dirFd_ >= 0) ::close(dirFd_);
  }
  PermissionWatch(const PermissionWatch&) = delete;
  PermissionWatch& operator=(const PermissionWatch&) = delete;

  bool ok() const { return ok_; }
  void stop() {
    if (!thread_.joinable()) return;
    stopping_ = true;
    thread_.join();
  }
  int seen() const { return seen_; }
  QStringList exposed() const {
    std::lock_guard lock(mutex_);
    return exposed_;
  }

 private:
  void run() {
    alignas(inotify_event) char buffer[8192];
    // Drain once more after the stop request so no late event is missed.
    for (bool last = false; !last;) {
      last = stopping_;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, last ? 0 : 5) <= 0) continue;
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        if (event->len == 0) continue;
        struct stat st {};
        if (::fstatat(dirFd_, event->name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        ++seen_;
        if ((st.st_mode & 077) != 0) {
          std::lock_guard lock(mutex_);
          exposed_ << QStringLiteral("%1 mode %2").arg(QString::fromUtf8(event->name))
                          .arg(st.st_mode & 0777, 0, 8);
        }
      }
    }
  }

  int fd_;
  int dirFd_;
  bool ok_ = false;
  std::atomic<bool> stopping_{false};
  std::atomic<int> seen_{0};
  mutable std::mutex mutex_;
  QStringList exposed_;
  std::thread thread_;
};

mode_t modeOf(const QString& path) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

class SessionStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(keyring_.start()) << qPrintable(keyring_.error()); }

  void TearDown() override {
    for (const LogLine& line : logs_.lines)
      EXPECT_FALSE(line.text.contains(kMarker)) << "a session value was logged: " << qPrintable(line.text);
  }

  QString folder() const { return home_.dataHome() + QStringLiteral("/Vantelo"); }
  QString path(const QString& name) const { return folder() + u'/' + name; }

  std::optional<QByteArray> file(const QString& name) const {
    QFile f(path(name));
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    return f.readAll();
  }

  void writeFile(const QString& name, const QByteArray& bytes) {
    ASSERT_TRUE(QDir().mkpath(folder()));
    QFile f(path(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
  }

  // The account's secret as the Secret Service holds it; at most one item may exist.
  std::optional<QByteArray> item(const QString& accountName) {
    const QList<QByteArray> all = keyring_.secrets(accountName);
    EXPECT_LE(all.size(), 1) << "duplicate items for " << qPrintable(accountName);
    if (all.isEmpty()) return std::nullopt;
    return all.first();
  }

  void seed(const QString& accountName, const QByteArray& secret) {
    ASSERT_TRUE(keyring_.seed(accountName, secret)) << qPrintable(keyring_.error());
  }

  void forgetCursor() {
    SessionStore::remove(Provider::cursor);
    platform::systemKeyring().remove(kLegacyAccount);
    QFile::remove(path(kLegacyFile));
  }

  QStringList warnings() const {
    QStringList out;
    for (const LogLine& line : logs_.lines) {
      if (line.type == QtWarningMsg && line.category == QLatin1String("com.orvane.vantelo.tokenstore"))
        out << line.text;
    }
    return out;
  }

  test::TempHome home_;
  PrivateKeyring keyring_;
  LogCapture logs_;
};

// --- round trip and read order ---

TEST_F(SessionStoreTest, EachProviderKeepsItsOwnValueInBothCopiesUntilRemoved) {
  for (Provider p : allProviders)
    SessionStore::save(QStringLiteral("  \n name=S3cr3t-%1; other=x\n").arg(rawValue(p)), p);

  for (Provider p : allProviders) {
    SCOPED_TRACE(rawValue(p).toStdString());
    const QString value = QStringLiteral("name=S3cr3t-%1; other=x").arg(rawValue(p));
    EXPECT_EQ(SessionStore::load(p), value);
    EXPECT_EQ(item(account(p)), value.toUtf8());
    EXPECT_EQ(file(fileName(p)), value.toUtf8());  // the bytes alone: no newline
  }

  SessionStore::remove(Provider::codex);
  EXPECT_EQ(SessionStore::load(Provider::codex), std::nullopt);
  EXPECT_EQ(item(account(Provider::codex)), std::nullopt);
  EXPECT_FALSE(QFile::exists(path(fileName(Provider::codex))));
  for (Provider p : {Provider::cursor, Provider::windsurf, Provider::claude})
    EXPECT_TRUE(SessionStore::load(p)) << qPrintable(rawValue(p));
}

TEST_F(SessionStoreTest, SavingAgainReplacesTheOneItemAndTheFile) {
  SessionStore::save(QStringLiteral("c=S3cr3t-1"), Provider::claude);
  SessionStore::save(QStringLiteral("c=S3cr3t-2"), Provider::claude);
  EXPECT_EQ(keyring_.secrets(account(Provider::claude)), QList<QByteArray>{"c=S3cr3t-2"});
  EXPECT_EQ(file(fileName(Provider::claude)), QByteArray("c=S3cr3t-2"));
  EXPECT_EQ(SessionStore::load(Provider::claude), text("c=S3cr3t-2"));
}

TEST_F(SessionStoreTest, KeyringValueIsReturnedTrimmedAndNothingIsRewritten) {
  seed(account(Provider::codex), "  \t x=S3cr3t \n");
  EXPECT_EQ(SessionStore::load(Provider::codex), text("x=S3cr3t"));
  EXPECT_EQ(item(account(Provider::codex)), QByteArray("  \t x=S3cr3t \n"));
  EXPECT_FALSE(QFile::exists(path(fileName(Provider::codex))));
}

TEST_F(SessionStoreTest, KeyringCopyIsReadBeforeTheFileAndTheLegacyPlaces) {
  seed(account(Provider::cursor), "WorkosCursorSessionToken=S3cr3t-keyring");
  writeFile(fileName(Provider::cursor), "WorkosCursorSessionToken=S3cr3t-file");
  seed(kLegacyAccount, "S3cr3t-legacy");
  writeFile(kLegacyFile, "S3cr3t-legacy-file");

  EXPECT_EQ(SessionStore::load(Provider::cursor), text("WorkosCursorSessionToken=S3cr3t-keyring"));
  EXPECT_EQ(file(fileName(Provider::cursor)), QByteArray("WorkosCursorSessionToken=S3cr3t-file"));
  EXPECT_EQ(item(kLegacyAccount), QByteArray("S3cr3t-legacy"));
  EXPECT_TRUE(QFile::exists(path(kLegacyFile)));
}

TEST_F(SessionStoreTest, FileCopyServesAndRestoresTheKeyringItem) {
  writeFile(fileName(Provider::windsurf), "w=S3cr3t\n");
  EXPECT_EQ(SessionStore::load(Provider::windsurf), text("w=S3cr3t"));
  EXPECT_EQ(item(account(Provider::windsurf)), QByteArray("w=S3cr3t"));
  EXPECT_EQ(file(fileName(Provider::windsurf)), QByteArray("w=S3cr3t\n"));
}

TEST_F(SessionStoreTest, BlankOrUndecodableCopiesCountAsAbsent) {
  struct Case {
    const char* name;
    std::optional<QByteArray> keyring;
    std::optional<QByteArray> file;
    std::optional<QString> expected;
  };
  const Case cases[] = {
      {"blank keyring item", QByteArray(" \n\t"), QByteArray("f=S3cr3t"), text("f=S3cr3t")},
      {"keyring item not UTF-8", QByteArray("k=\xff\xfeS3cr3t"), QByteArray("f=S3cr3t"), text("f=S3cr3t")},
      {"blank file", std::nullopt, QByteArray("  \r\n\t"), std::nullopt},
      {"file not UTF-8", std::nullopt, QByteArray("f=\xc3(S3cr3t"), std::nullopt},
      {"both blank", QByteArray("   "), QByteArray("\n"), std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SessionStore::remove(Provider::codex);
    if (c.keyring) seed(account(Provider::codex), *c.keyring);
    if (c.file) writeFile(fileName(Provider::codex), *c.file);
    EXPECT_EQ(SessionStore::load(Provider::codex), c.expected);
    // A value found in the file restores the keyring copy over the unusable one.
    if (c.expected) {
      EXPECT_EQ(item(account(Provider::codex)), c.expected->toUtf8());
    }
  }
}

// --- Cursor: bare tokens and the legacy places ---

TEST_F(SessionStoreTest, CursorValueFoundAnywhereEndsAsACookiePairInBothCopies) {
  enum class Where { keyring, file, legacyKeyring, legacyFile };
  struct Case {
    const char* name;
    Where where;
    QByteArray stored;
    QString expected;
  };
  const QString pair = QStringLiteral("WorkosCursorSessionToken=S3cr3t-tok");
  const Case cases[] = {
      {"bare token in the keyring", Where::keyring, "S3cr3t-tok", pair},
      {"bare token in the file", Where::file, "S3cr3t-tok\n", pair},
      {"bare token in the legacy keyring account", Where::legacyKeyring, "S3cr3t-tok", pair},
      {"bare token in the legacy file", Where::legacyFile, " S3cr3t-tok\n", pair},
      {"cookie pair in the legacy keyring account", Where::legacyKeyring,
       "WorkosCursorSessionToken=S3cr3t-pair", QStringLiteral("WorkosCursorSessionToken=S3cr3t-pair")},
      {"cookie pair in the legacy file", Where::legacyFile, "WorkosCursorSessionToken=S3cr3t-pair",
       QStringLiteral("WorkosCursorSessionToken=S3cr3t-pair")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    forgetCursor();
    switch (c.where) {
      case Where::keyring: seed(account(Provider::cursor), c.stored); break;
      case Where::file: writeFile(fileName(Provider::cursor), c.stored); break;
      case Where::legacyKeyring: seed(kLegacyAccount, c.stored); break;
      case Where::legacyFile: writeFile(kLegacyFile, c.stored); break;
    }
    EXPECT_EQ(SessionStore::load(Provider::cursor), c.expected);
    EXPECT_EQ(item(account(Provider::cursor)), c.expected.toUtf8());
    EXPECT_EQ(file(fileName(Provider::cursor)), c.expected.toUtf8());
    EXPECT_EQ(item(kLegacyAccount), std::nullopt);
    EXPECT_FALSE(QFile::exists(path(kLegacyFile)));
    // Once migrated, the value reads back the same without the legacy places.
    EXPECT_EQ(SessionStore::load(Provider::cursor), c.expected);
  }
}

TEST_F(SessionStoreTest, ValuesHoldingAnEqualsSignAndOtherProvidersValuesAreNeverRewritten) {
  struct Case {
    Provider provider;
    const char* value;
  };
  const Case cases[] = {
      {Provider::cursor, "WorkosCursorSessionToken=S3cr3t-a; __cf_bm=S3cr3t-b"},
      {Provider::cursor, "S3cr3t-padded=="},
      {Provider::claude, "S3cr3t-claude-token"},
      {Provider::windsurf, "S3cr3t-windsurf-token"},
      {Provider::codex, "S3cr3t-codex-token"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    const QString value = QString::fromUtf8(c.value);
    SessionStore::save(value, c.provider);
    EXPECT_EQ(SessionStore::load(c.provider), value);
    EXPECT_EQ(item(account(c.provider)), value.toUtf8());
    EXPECT_EQ(file(fileName(c.provider)), value.toUtf8());
  }
}

TEST_F(SessionStoreTest, LegacyPlacesAreNeverReadForOtherProviders) {
  seed(kLegacyAccount, "S3cr3t-legacy");
  writeFile(kLegacyFile, "S3cr3t-legacy-file");
  for (Provider p : {Provider::windsurf, Provider::codex, Provider::claude}) {
    EXPECT_EQ(SessionStore::load(p), std::nullopt) << qPrintable(rawValue(p));
    EXPECT_EQ(item(account(p)), std::nullopt);
  }
  EXPECT_EQ(item(kLegacyAccount), QByteArray("S3cr3t-legacy"));
  EXPECT_EQ(file(kLegacyFile), QByteArray("S3cr3t-legacy-file"));
  EXPECT_EQ(item(account(Provider::cursor)), std::nullopt);
  EXPECT_FALSE(QFile::exists(path(fileName(Provider::cursor))));
}

TEST_F(SessionStoreTest, BlankSaveLeavesTheStoredValueInPlace) {
  SessionStore::save(QStringLiteral("c=S3cr3t"), Provider::claude);
  for (const char* blank : {"", "   ", "\n\t \r\n"}) {
    SessionStore::save(QString::fromUtf8(blank), Provider::claude);
    EXPECT_EQ(item(account(Provider::claude)), QByteArray("c=S3cr3t"));
    EXPECT_EQ(file(fileName(Provider::claude)), QByteArray("c=S3cr3t"));
  }
  // Nothing blank is ever stored for a provider that had no value either.
  SessionStore::save(QStringLiteral(" "), Provider::codex);
  EXPECT_EQ(item(account(Provider::codex)), std::nullopt);
  EXPECT_FALSE(QFile::exists(path(fileName(Provider::codex))));
}

// --- keyring failures ---

TEST_F(SessionStoreTest, KeyringWriteFailuresAreLoggedAndTheFileStillGetsTheValue) {
  struct Case {
    const char* name;
    bool existing;
    bool refuseUpdate, refuseDelete, refuseAdd;
    const char* logged;  // nullptr: nothing
    std::optional<QByteArray> keyringAfter;
  };
  const Case cases[] = {
      {"update and delete refused", false, true, true, false,
       "Keychain SecItemUpdate=test-error:1 update refused / SecItemDelete=test-error:2 delete "
       "refused for session-claude; falling back to file-only.",
       std::nullopt},
      {"no item and the add refused", false, false, false, true,
       "Keychain SecItemAdd(session-claude) failed: test-error:3 add refused", std::nullopt},
      {"update refused, the add after the delete refused", true, true, false, true,
       "Keychain SecItemAdd-after-delete(session-claude) failed: test-error:3 add refused",
       std::nullopt},
      {"update refused, delete and add work", true, true, false, false, nullptr,
       QByteArray("c=S3cr3t-new")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SessionStore::remove(Provider::claude);
    if (c.existing) seed(account(Provider::claude), "c=S3cr3t-old");
    logs_.lines.clear();
    {
      RefusingKeyring refusing;
      refusing.refuseUpdate = c.refuseUpdate;
      refusing.refuseDelete = c.refuseDelete;
      refusing.refuseAdd = c.refuseAdd;
      const InstalledKeyring installed(&refusing);
      SessionStore::save(QStringLiteral("c=S3cr3t-new"), Provider::claude);
    }
    EXPECT_EQ(warnings(), c.logged ? QStringList{QString::fromUtf8(c.logged)} : QStringList{});
    EXPECT_EQ(file(fileName(Provider::claude)), QByteArray("c=S3cr3t-new"));
    EXPECT_EQ(item(account(Provider::claude)), c.keyringAfter);
    // With the keyring working again, the next load serves the value and restores the item.
    EXPECT_EQ(SessionStore::load(Provider::claude), text("c=S3cr3t-new"));
    EXPECT_EQ(item(account(Provider::claude)), QByteArray("c=S3cr3t-new"));
  }
}

TEST_F(SessionStoreTest, LockedKeyringFallsBackToTheFileWithinASecond) {
  SessionStore::save(QStringLiteral("x=S3cr3t-1"), Provider::codex);
  ASSERT_TRUE(keyring_.lockLogin()) << qPrintable(keyring_.error());
  logs_.lines.clear();

  std::optional<QString> loaded;
  EXPECT_LT(elapsedMs([&] { loaded = SessionStore::load(Provider::codex); }), 1000);
  EXPECT_EQ(loaded, text("x=S3cr3t-1"));
  const QStringList infos = logs_.texts(QtInfoMsg);
  ASSERT_FALSE(infos.isEmpty());
  EXPECT_TRUE(infos.first().startsWith(QStringLiteral("Keychain SecItemCopyMatching(session-codex) failed: ")))
      << qPrintable(infos.first());
  EXPECT_TRUE(infos.first().contains(QStringLiteral("locked"))) << qPrintable(infos.first());

  EXPECT_LT(elapsedMs([] { SessionStore::save(QStringLiteral("x=S3cr3t-2"), Provider::codex); }), 1000);
  EXPECT_EQ(file(fileName(Provider::codex)), QByteArray("x=S3cr3t-2"));
  EXPECT_LT(elapsedMs([&] { loaded = SessionStore::load(Provider::codex); }), 1000);
  EXPECT_EQ(loaded, text("x=S3cr3t-2"));
  EXPECT_LT(elapsedMs([&] { loaded = SessionStore::load(Provider::windsurf); }), 1000);
  EXPECT_EQ(loaded, std::nullopt);
}

TEST_F(SessionStoreTest, HungKeyringIsCutOffAndTheFileServes) {
  SessionStore::save(QStringLiteral("h=S3cr3t-1"), Provider::claude);
  keyring_.freeze();
  logs_.lines.clear();

  std::optional<QString> loaded;
  EXPECT_LT(elapsedMs([&] { loaded = SessionStore::load(Provider::claude); }), 1000);
  EXPECT_EQ(loaded, text("h=S3cr3t-1"));
  EXPECT_LT(elapsedMs([] { SessionStore::save(QStringLiteral("h=S3cr3t-2"), Provider::claude); }), 1000);
  EXPECT_EQ(file(fileName(Provider::claude)), QByteArray("h=S3cr3t-2"));
  EXPECT_LT(elapsedMs([&] { loaded = SessionStore::load(Provider::claude); }), 1000);
  EXPECT_EQ(loaded, text("h=S3cr3t-2"));
  const QStringList infos = logs_.texts(QtInfoMsg);
  ASSERT_FALSE(infos.isEmpty());
  EXPECT_TRUE(infos.first().contains(QStringLiteral("did not answer"))) << qPrintable(infos.first());
}

TEST(SessionStoreWithoutKeyring, FileCopyServesQuicklyWithNoBusOrNoSecretService) {
  for (const bool busRuns : {false, true}) {
    SCOPED_TRACE(busRuns ? "bus without a Secret Service" : "no bus");
    const test::TempHome home;
    PrivateKeyring bus;
    std::optional<ScopedEnv> noBus;
    if (busRuns)
      ASSERT_TRUE(bus.start(PrivateKeyring::Daemon::none)) << qPrintable(bus.error());
    else
      noBus.emplace("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    LogCapture logs;

    std::optional<QString> loaded;
    EXPECT_LT(elapsedMs([] { SessionStore::save(QStringLiteral("n=S3cr3t"), Provider::codex); }), 1000);
    EXPECT_LT(elapsedMs([&] { loaded = SessionStore::load(Provider::codex); }), 1000);
    EXPECT_EQ(loaded, text("n=S3cr3t"));
    EXPECT_LT(elapsedMs([] { SessionStore::remove(Provider::codex); }), 1000);
    EXPECT_LT(elapsedMs([&] { loaded = SessionStore::load(Provider::codex); }), 1000);
    EXPECT_EQ(loaded, std::nullopt);

    const QStringList infos = logs.texts(QtInfoMsg);
    ASSERT_FALSE(infos.isEmpty());
    EXPECT_TRUE(infos.first().startsWith(QStringLiteral("Keychain SecItemCopyMatching(session-codex) failed: ")))
        << qPrintable(infos.first());
    for (const LogLine& line : logs.lines) EXPECT_FALSE(line.text.contains(kMarker)) << qPrintable(line.text);
  }
}

// --- files ---

TEST_F(SessionStoreTest, FolderAndFilesArePrivateFromTheFirstInstantWhateverTheUmask) {
  for (const mode_t mask : {mode_t(0), mode_t(0277)}) {
    SCOPED_TRACE(mask);
    ASSERT_TRUE(QDir(folder()).removeRecursively());
    const ScopedUmask umask(mask);

    SessionStore::save(QStringLiteral("a=S3cr3t"), Provider::windsurf);
    EXPECT_EQ(modeOf(folder()), mode_t(0700));
    EXPECT_EQ(modeOf(path(fileName(Provider::windsurf))), mode_t(0600));

    // A file a user loosened by hand is private again after the next write.
    writeFile(fileName(Provider::claude), "c=S3cr3t-old");
    ASSERT_EQ(::chmod(QFile::encodeName(path(fileName(Provider::claude))).constData(), 0644), 0);

    // A bare Cursor token, so that the migration and the normalising rewrite write too.
    SessionStore::remove(Provider::cursor);
    writeFile(kLegacyFile, "S3cr3t-bare");
    ASSERT_EQ(::chmod(QFile::encodeName(path(kLegacyFile)).constData(), 0600), 0);

    PermissionWatch watch(folder());
    ASSERT_TRUE(watch.ok());
    for (int i = 0; i < 10; ++i) {
      for (Provider p : {Provider::windsurf, Provider::codex, Provider::claude})
        SessionStore::save(QStringLiteral("v=S3cr3t-%1").arg(i), p);
    }
    EXPECT_EQ(SessionStore::load(Provider::cursor), text("WorkosCursorSessionToken=S3cr3t-bare"));
    watch.stop();

    EXPECT_GT(watch.seen(), 0);
    EXPECT_EQ(watch.exposed(), QStringList{});
    for (Provider p : allProviders)
      EXPECT_EQ(modeOf(path(fileName(p))), mode_t(0600)) << qPrintable(rawValue(p));
  }
}

TEST_F(SessionStoreTest, FailedFileWriteIsLoggedLeavesNoTemporaryFileAndKeepsTheKeyringCopy) {
  // A directory where the file belongs: the final rename cannot replace it.
  ASSERT_TRUE(QDir().mkpath(path(fileName(Provider::claude)) + QStringLiteral("/keep")));
  SessionStore::save(QStringLiteral("c=S3cr3t"), Provider::claude);

  const QStringList logged = warnings();
  ASSERT_EQ(logged.size(), 1);
  EXPECT_TRUE(logged.first().startsWith(QStringLiteral("File save failed: "))) << qPrintable(logged.first());
  EXPECT_EQ(QDir(folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{fileName(Provider::claude)});
  EXPECT_EQ(item(account(Provider::claude)), QByteArray("c=S3cr3t"));
  EXPECT_EQ(SessionStore::load(Provider::claude), text("c=S3cr3t"));
}

TEST_F(SessionStoreTest, WithoutADataFolderOnlyTheKeyringIsUsedAndNothingIsLogged) {
  const QString blocker = home_.path() + QStringLiteral("/not-a-folder");
  QFile f(blocker);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  const ScopedEnv dataHome("XDG_DATA_HOME", QFile::encodeName(blocker + QStringLiteral("/share")));

  SessionStore::save(QStringLiteral("c=S3cr3t"), Provider::claude);
  EXPECT_EQ(item(account(Provider::claude)), QByteArray("c=S3cr3t"));
  EXPECT_EQ(SessionStore::load(Provider::claude), text("c=S3cr3t"));
  SessionStore::remove(Provider::claude);
  EXPECT_EQ(item(account(Provider::claude)), std::nullopt);
  EXPECT_EQ(SessionStore::load(Provider::claude), std::nullopt);
  EXPECT_TRUE(logs_.lines.isEmpty());
}

}  // namespace
}  // namespace qb
