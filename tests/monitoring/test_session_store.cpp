// The session store on a private Secret Service and a temporary data folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include "keyring_fixture.h"
#include "monitoring/session_store.h"
#include "platform/keyring.h"
#include "support/test_support.h"

namespace qb {
namespace {

using platform::KeyringResult;
using platform::KeyringStatus;
using test::PrivateKeyring;

// Every session value here carries this marker, so a log line holding one shows.
const QString kMarker = QStringLiteral("S3cr3t");
const QString kLegacyAccount = QStringLiteral("WorkosCursorSessionToken");
const QString kLegacyFile = QStringLiteral("session-token");
const QString kTokenStoreLog = QStringLiteral("com.orvane.vantelo.tokenstore=true");

QString account(Provider p) { return QStringLiteral("session-") + rawValue(p); }
QString fileName(Provider p) { return QStringLiteral("session-token-") + rawValue(p); }
std::optional<QString> text(const char* s) { return s ? std::optional(QString::fromUtf8(s)) : std::nullopt; }
std::optional<QByteArray> bytes(const char* s) { return s ? std::optional(QByteArray(s)) : std::nullopt; }

// Reads through to the real keyring and refuses the writes it is told to.
class RefusingKeyring final : public platform::Keyring {
 public:
  RefusingKeyring(bool update, bool remove, bool add)
      : refuseUpdate_(update), refuseDelete_(remove), refuseAdd_(add),
        previous_(platform::installKeyringForTesting(this)) {}
  ~RefusingKeyring() override { platform::installKeyringForTesting(previous_); }

  platform::KeyringRead read(const QString& a) override { return platform::systemKeyring().read(a); }
  KeyringResult update(const QString& a, const QByteArray& s) override {
    return refuseUpdate_ ? refused(1, "update refused") : platform::systemKeyring().update(a, s);
  }
  KeyringResult add(const QString& a, const QByteArray& s) override {
    return refuseAdd_ ? refused(3, "add refused") : platform::systemKeyring().add(a, s);
  }
  KeyringResult remove(const QString& a) override {
    return refuseDelete_ ? refused(2, "delete refused") : platform::systemKeyring().remove(a);
  }

 private:
  static KeyringResult refused(int code, const char* why) {
    return {KeyringStatus::failed, {QStringLiteral("test-error"), code, QString::fromUtf8(why), {}}};
  }
  bool refuseUpdate_, refuseDelete_, refuseAdd_;
  platform::Keyring* previous_;
};

mode_t modeOf(const QString& path) {
  struct stat st {};
  return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class SessionStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(keyring.start()) << qPrintable(keyring.error()); }

  QString folder() const { return home.dataHome() + QStringLiteral("/Vantelo"); }
  QString path(const QString& name) const { return folder() + u'/' + name; }
  std::optional<QByteArray> file(const QString& name) const {
    QFile f(path(name));
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    return f.readAll();
  }
  void writeFile(const QString& name, const QByteArray& bytes, qint64 modified = 0) {
    test::writeFile(path(name), bytes, modified);
  }
  // The account's secret as the Secret Service holds it; never more than one item.
  std::optional<QByteArray> item(const QString& accountName) {
    const QList<QByteArray> all = keyring.secrets(accountName);
    EXPECT_LE(all.size(), 1) << "duplicate items for " << qPrintable(accountName);
    if (all.isEmpty()) return std::nullopt;
    return all.first();
  }
  void seed(const QString& accountName, const QByteArray& secret) {
    ASSERT_TRUE(keyring.seed(accountName, secret)) << qPrintable(keyring.error());
  }
  void forget(Provider p) {
    SessionStore::remove(p);
    ASSERT_TRUE(QDir(folder()).removeRecursively());
  }

  test::TempHome home;
  PrivateKeyring keyring;
  test::LogCapture logs{kTokenStoreLog, kMarker};
};

TEST_F(SessionStoreTest, ReadsTheNewerUsableCopyAndRestoresTheOther) {
  enum FileKind { none, regular, fifo, huge };
  struct Case {
    const char* name;
    const char* keyring;  // nullptr: no item
    FileKind kind;
    const char* fileBytes;
    qint64 fileTime;  // 0: now
    const char* expected;
    const char* keyringAfter;
    const char* fileAfter;
  };
  const Case cases[] = {
      {"keyring only, trimmed; the missing file copy restored", "  \t x=S3cr3t \n", none, nullptr, 0, "x=S3cr3t",
       "  \t x=S3cr3t \n", "x=S3cr3t"},
      {"file only restores the keyring", nullptr, regular, "w=S3cr3t\n", 0, "w=S3cr3t", "w=S3cr3t",
       "w=S3cr3t\n"},
      {"keyring newer than the file", "k=S3cr3t", regular, "f=S3cr3t", 946684800, "k=S3cr3t",
       "k=S3cr3t", "k=S3cr3t"},
      {"file newer than the keyring", "k=S3cr3t", regular, "f=S3cr3t", 4102444800, "f=S3cr3t",
       "f=S3cr3t", "f=S3cr3t"},
      // Both copies pass the same check: blank, not UTF-8 and control characters are the file rows'.
      {"keyring item with a line break inside", "a=S3cr3t\r\nX-Evil: yes", regular, "f=S3cr3t", 0,
       "f=S3cr3t", "f=S3cr3t", "f=S3cr3t"},
      {"blank file", nullptr, regular, "  \r\n\t", 0, nullptr, nullptr, "  \r\n\t"},
      {"file not UTF-8", nullptr, regular, "f=\xc3(S3cr3t", 0, nullptr, nullptr, "f=\xc3(S3cr3t"},
      {"file with a control character inside", nullptr, regular, "f=S3cr3t\x01x", 0, nullptr, nullptr,
       "f=S3cr3t\x01x"},
      {"a FIFO where the file belongs", nullptr, fifo, nullptr, 0, nullptr, nullptr, nullptr},
      {"a file over 64 KiB", nullptr, huge, nullptr, 0, nullptr, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    forget(Provider::codex);
    if (c.keyring) seed(account(Provider::codex), c.keyring);
    if (c.kind == regular) writeFile(fileName(Provider::codex), c.fileBytes, c.fileTime);
    if (c.kind == fifo) {
      ASSERT_TRUE(QDir().mkpath(folder()));
      ASSERT_EQ(::mkfifo(QFile::encodeName(path(fileName(Provider::codex))).constData(), 0600), 0);
    }
    if (c.kind == huge) writeFile(fileName(Provider::codex), "h=" + QByteArray(64 * 1024, 'x'));
    EXPECT_EQ(SessionStore::load(Provider::codex), text(c.expected));
    EXPECT_EQ(item(account(Provider::codex)), bytes(c.keyringAfter));
    if (c.kind == none || c.kind == regular) {
      EXPECT_EQ(file(fileName(Provider::codex)), bytes(c.fileAfter));
    }
  }
}

TEST_F(SessionStoreTest, SaveKeepsOneValuePerServiceAndRefusesBadValues) {
  // A folder made by hand or by an older version, open to others, is closed.
  ASSERT_TRUE(QDir().mkpath(folder()) && ::chmod(QFile::encodeName(folder()).constData(), 0755) == 0);
  for (Provider p : allProviders) SessionStore::save(QStringLiteral(" \n v=S3cr3t-%1\n").arg(rawValue(p)), p);
  SessionStore::save(QStringLiteral("c=S3cr3t-2"), Provider::claude);
  for (const char* bad : {"", "  \n\t", "a=S3cr3t\r\nX-Evil: yes", "a=S3cr3t\r\n\r\nGET /smuggled HTTP/1.1"}) {
    SessionStore::save(QString::fromUtf8(bad), Provider::claude);
    EXPECT_FALSE(SessionStore::saveChecked(QString::fromUtf8(bad), Provider::claude)) << bad;
  }
  for (Provider p : allProviders) {
    const QByteArray value = p == Provider::claude ? "c=S3cr3t-2" : "v=S3cr3t-" + rawValue(p).toUtf8();
    EXPECT_EQ(SessionStore::load(p), QString::fromUtf8(value));
    EXPECT_EQ(item(account(p)), value);
    EXPECT_EQ(file(fileName(p)), value);  // the bytes alone: no newline
  }
  EXPECT_EQ(modeOf(folder()), mode_t(0700));
  EXPECT_EQ(modeOf(path(fileName(Provider::codex))), mode_t(0600));

  // Missing parents are made private too, whatever the umask.
  ASSERT_TRUE(QDir(home.path() + QStringLiteral("/.local")).removeRecursively());
  const mode_t umask = ::umask(0);
  SessionStore::save(QStringLiteral("v=S3cr3t"), Provider::codex);
  ::umask(umask);
  for (const QString& made : {home.path() + QStringLiteral("/.local"), home.dataHome(), folder()})
    EXPECT_EQ(modeOf(made), mode_t(0700)) << qPrintable(made);
}

TEST_F(SessionStoreTest, CursorValuesEndAsCookiePairsAndLegacyCopiesMoveOnce) {
  enum class Where { keyring, file, legacyKeyring, legacyFile };
  struct Case {
    Provider provider;
    Where where;
    QByteArray stored;
    QString expected;
  };
  const QString pair = QStringLiteral("WorkosCursorSessionToken=S3cr3t-tok");
  const QString header = QStringLiteral("WorkosCursorSessionToken=S3cr3t-a; __cf_bm=S3cr3t-b");
  const Case cases[] = {
      {Provider::cursor, Where::keyring, "S3cr3t-tok", pair},
      {Provider::cursor, Where::file, "S3cr3t-tok\n", pair},
      {Provider::cursor, Where::legacyKeyring, "S3cr3t-tok", pair},
      {Provider::cursor, Where::legacyFile, " S3cr3t-tok\n", pair},
      {Provider::cursor, Where::legacyFile, header.toUtf8(), header},
      {Provider::cursor, Where::keyring, header.toUtf8(), header},
      {Provider::claude, Where::keyring, "S3cr3t-bare", QStringLiteral("S3cr3t-bare")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored.toStdString());
    forget(c.provider);
    switch (c.where) {
      case Where::keyring: seed(account(c.provider), c.stored); break;
      case Where::file: writeFile(fileName(c.provider), c.stored); break;
      case Where::legacyKeyring: seed(kLegacyAccount, c.stored); break;
      case Where::legacyFile: writeFile(kLegacyFile, c.stored); break;
    }
    EXPECT_EQ(SessionStore::load(c.provider), c.expected);
    EXPECT_EQ(item(account(c.provider)), c.expected.toUtf8());
    EXPECT_EQ(item(kLegacyAccount), std::nullopt);
    EXPECT_FALSE(QFile::exists(path(kLegacyFile)));
    if (c.where != Where::keyring) {
      EXPECT_EQ(file(fileName(c.provider)), c.expected.toUtf8());
    }
  }

  // Legacy places belong to Cursor alone.
  forget(Provider::claude);
  seed(kLegacyAccount, "S3cr3t-legacy");
  writeFile(kLegacyFile, "S3cr3t-legacy-file");
  for (Provider p : {Provider::windsurf, Provider::codex, Provider::claude}) EXPECT_FALSE(SessionStore::load(p));
  EXPECT_EQ(item(kLegacyAccount), QByteArray("S3cr3t-legacy"));

  // A migration whose new file copy cannot be written keeps the legacy copy.
  SessionStore::remove(Provider::cursor);
  writeFile(kLegacyFile, "S3cr3t-only");
  ASSERT_TRUE(QDir().mkpath(path(fileName(Provider::cursor)) + QStringLiteral("/blocked")));
  EXPECT_EQ(SessionStore::load(Provider::cursor), QStringLiteral("WorkosCursorSessionToken=S3cr3t-only"));
  EXPECT_EQ(file(kLegacyFile), QByteArray("S3cr3t-only"));

  // Sign-out removes the legacy places too, or the next load would sign the user in again.
  ASSERT_TRUE(QDir(path(fileName(Provider::cursor))).removeRecursively());
  seed(kLegacyAccount, "S3cr3t-legacy");
  EXPECT_TRUE(SessionStore::removeChecked(Provider::cursor));
  EXPECT_EQ(SessionStore::load(Provider::cursor), std::nullopt);
}

TEST_F(SessionStoreTest, AFailedSaveOrSignOutChangesNothingAndLeavesNoTemporaryFile) {
  SessionStore::save(QStringLiteral("w=S3cr3t"), Provider::windsurf);
  seed(account(Provider::claude), "c=S3cr3t-old");
  // Where the file copy goes, a folder: it can be neither written nor removed (as on a full disk).
  ASSERT_TRUE(QDir().mkpath(path(fileName(Provider::claude)) + QStringLiteral("/keep")));
  const SessionStore::Outcome blocked = SessionStore::saveChecked(QStringLiteral("c=S3cr3t"), Provider::claude);
  EXPECT_FALSE(blocked);
  EXPECT_TRUE(blocked.reason.contains(path(fileName(Provider::claude)))) << qPrintable(blocked.reason);
  EXPECT_EQ(logs.of(QtWarningMsg).filter(QStringLiteral("File save failed: ")).size(), 1);
  EXPECT_FALSE(SessionStore::removeChecked(Provider::claude));
  EXPECT_EQ(item(account(Provider::claude)), QByteArray("c=S3cr3t-old"));

  // Temporary copies a kill left: sign-out removes its service's, start-up those over a minute old.
  writeFile(QStringLiteral(".session-token-windsurf.Ab12Cd"), "w=S3cr3t");
  writeFile(QStringLiteral(".session-token-codex.Xy34Zw"), "x=S3cr3t", 946684800);
  writeFile(QStringLiteral(".session-token-codex.Fr56Sh"), "x=S3cr3t");
  EXPECT_TRUE(SessionStore::removeChecked(Provider::windsurf));
  SessionStore::removeStaleLeftovers();
  EXPECT_EQ(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral(".session-token-codex.Fr56Sh")});
}

TEST_F(SessionStoreTest, KeyringWriteFailuresAreLoggedAndTheFileStillServes) {
  struct Case {
    bool existing, refuseUpdate, refuseDelete, refuseAdd;
    const char* logged;
  };
  const Case cases[] = {
      {false, true, true, false,
       "Keychain SecItemUpdate=test-error:1 update refused / SecItemDelete=test-error:2 delete "
       "refused for session-claude; falling back to file-only."},
      {false, false, false, true, "Keychain SecItemAdd(session-claude) failed: test-error:3 add refused"},
      {true, true, false, true,
       "Keychain SecItemAdd-after-delete(session-claude) failed: test-error:3 add refused"},
      // A newer value saved while the keyring refuses every write wins over the stale item.
      {true, true, true, true, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.logged);
    forget(Provider::claude);
    if (c.existing) seed(account(Provider::claude), "c=S3cr3t-old");
    logs.lines.clear();
    {
      const RefusingKeyring refusing(c.refuseUpdate, c.refuseDelete, c.refuseAdd);
      EXPECT_TRUE(SessionStore::saveChecked(QStringLiteral("c=S3cr3t-new"), Provider::claude));
    }
    if (c.logged) {
      EXPECT_EQ(logs.of(QtWarningMsg).value(0), QString::fromUtf8(c.logged));
    }
    EXPECT_EQ(file(fileName(Provider::claude)), QByteArray("c=S3cr3t-new"));
    EXPECT_EQ(SessionStore::load(Provider::claude), QStringLiteral("c=S3cr3t-new"));
    EXPECT_EQ(item(account(Provider::claude)), QByteArray("c=S3cr3t-new"));
  }
}

TEST(SessionStoreKeyringTrouble, TheFileServesQuicklyAndSignOutTellsTheTruth) {
  enum Trouble { locked, hung, noService, noBus };
  for (const Trouble trouble : {locked, hung, noService, noBus}) {
    SCOPED_TRACE(trouble);
    const test::TempHome home;
    PrivateKeyring keyring;
    const bool noKeyring = trouble == noService || trouble == noBus;
    ASSERT_TRUE(keyring.start(noKeyring ? PrivateKeyring::Daemon::none : PrivateKeyring::Daemon::keyring));
    if (!noKeyring) SessionStore::save(QStringLiteral("s=S3cr3t-1"), Provider::codex);
    if (trouble == locked) {
      ASSERT_TRUE(keyring.lockLogin());
    }
    if (trouble == hung) keyring.freeze();
    if (trouble == noBus) qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    const test::LogCapture logs(kTokenStoreLog, kMarker);

    QElapsedTimer clock;
    clock.start();
    SessionStore::save(QStringLiteral("s=S3cr3t-2"), Provider::codex);
    EXPECT_EQ(SessionStore::load(Provider::codex), QStringLiteral("s=S3cr3t-2"));
    const SessionStore::Outcome out = SessionStore::removeChecked(Provider::codex);
    // Nothing can linger in a keyring that is not there; a locked or hung one may keep it,
    // and then the file copy stays too: a failed sign-out changes nothing.
    EXPECT_EQ(out.ok, noKeyring) << qPrintable(out.reason);
    EXPECT_EQ(SessionStore::load(Provider::codex).has_value(), !noKeyring);
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(logs.of(QtInfoMsg).value(0).startsWith(QStringLiteral("Keychain SecItemCopyMatching(session-codex) failed: ")));
  }
}

}  // namespace
}  // namespace qb
