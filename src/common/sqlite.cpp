#include "common/sqlite.h"

#include <QFile>
#include <sqlite3.h>

namespace qb::sql {

bool Database::check(int rc) {
  code_ = rc & 0xff;
  const bool good = code_ == SQLITE_OK || code_ == SQLITE_ROW || code_ == SQLITE_DONE;
  error_ = good ? QString() : QString::fromUtf8(db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc));
  return good;
}

bool Database::open(const QString& path, bool create) {
  close();
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOFOLLOW;
  const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, flags, nullptr);
  if (check(rc)) return true;
  close(false);
  code_ = rc & 0xff;
  return false;
}

void Database::close(bool checkpoint) {
  if (!db_) return;
  if (!checkpoint) sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  sqlite3_close_v2(db_);
  db_ = nullptr;
}

bool Database::exec(const char* sql) {
  if (!db_) return check(SQLITE_MISUSE);
  return check(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr));
}

std::optional<QString> Database::value(const char* sql) {
  Statement s(*this, sql);
  if (!s.next()) return std::nullopt;
  if (const auto t = s.text(0)) return t;
  if (const auto i = s.integer(0)) return QString::number(*i);
  return QString();
}

int Database::changes() const { return db_ ? sqlite3_changes(db_) : 0; }

bool Database::inTransaction() const { return db_ && !sqlite3_get_autocommit(db_); }

bool Database::hasMoved() const {
  int moved = 0;
  return db_ && sqlite3_file_control(db_, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved;
}

Statement::Statement(Database& db, const char* sql) : db_(db) {
  if (!db.db_) {
    db.check(SQLITE_MISUSE);
    return;
  }
  if (!db.check(sqlite3_prepare_v2(db.db_, sql, -1, &stmt_, nullptr))) stmt_ = nullptr;
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::bind(int index, qint64 value) {
  if (stmt_) db_.check(sqlite3_bind_int64(stmt_, index, value));
  return *this;
}

Statement& Statement::bind(int index, double value) {
  if (stmt_) db_.check(sqlite3_bind_double(stmt_, index, value));
  return *this;
}

Statement& Statement::bind(int index, const QString& value) {
  const QByteArray utf8 = value.toUtf8();
  if (stmt_) db_.check(sqlite3_bind_text(stmt_, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT));
  return *this;
}

Statement& Statement::bind(int index, std::optional<double> value) {
  if (!value) {
    if (stmt_) db_.check(sqlite3_bind_null(stmt_, index));
    return *this;
  }
  return bind(index, *value);
}

Statement& Statement::bind(int index, std::optional<qint64> value) {
  if (!value) {
    if (stmt_) db_.check(sqlite3_bind_null(stmt_, index));
    return *this;
  }
  return bind(index, *value);
}

bool Statement::next() {
  if (!stmt_) return false;
  const int rc = sqlite3_step(stmt_);
  db_.check(rc);
  return rc == SQLITE_ROW;
}

bool Statement::run() {
  while (next()) {
  }
  return db_.code() == SQLITE_DONE || db_.code() == SQLITE_OK;
}

std::optional<double> Statement::real(int column) const {
  const int type = sqlite3_column_type(stmt_, column);
  if (type != SQLITE_FLOAT && type != SQLITE_INTEGER) return std::nullopt;
  return sqlite3_column_double(stmt_, column);
}

std::optional<qint64> Statement::integer(int column) const {
  if (sqlite3_column_type(stmt_, column) != SQLITE_INTEGER) return std::nullopt;
  return sqlite3_column_int64(stmt_, column);
}

std::optional<QString> Statement::text(int column) const {
  if (sqlite3_column_type(stmt_, column) != SQLITE_TEXT) return std::nullopt;
  const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
  return QString::fromUtf8(bytes, sqlite3_column_bytes(stmt_, column));
}

}  // namespace qb::sql
