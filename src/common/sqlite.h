#pragma once

#include <QString>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace qb::sql {

// A thin wrapper of SQLite's C API: one connection and its prepared statements. Every call
// leaves the result code and message of the last step on the connection.
class Database {
 public:
  Database() = default;
  ~Database() { close(); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Opens the file read-write (creating it with `create`); never follows a symbolic link.
  bool open(const QString& path, bool create);
  // `checkpoint` false leaves the write-ahead log as it is: for a file that was moved away,
  // whose log name may belong to a new file by now.
  void close(bool checkpoint = true);
  bool isOpen() const { return db_ != nullptr; }

  // Runs statements that return no rows (results of a pragma are ignored).
  bool exec(const char* sql);
  // The first column of the first row of a query, as text; nothing on an error.
  std::optional<QString> value(const char* sql);

  int code() const { return code_; }  // the primary result code (SQLITE_OK, SQLITE_FULL, ...)
  const QString& error() const { return error_; }
  int changes() const;
  bool inTransaction() const;
  // The file was renamed or deleted since it was opened.
  bool hasMoved() const;

 private:
  friend class Statement;
  bool check(int rc);

  sqlite3* db_ = nullptr;
  int code_ = 0;
  QString error_;
};

// A prepared statement with numbered parameters (?1, ?2, ...).
class Statement {
 public:
  Statement(Database& db, const char* sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return stmt_ != nullptr; }
  Statement& bind(int index, qint64 value);
  Statement& bind(int index, double value);
  Statement& bind(int index, const QString& value);
  Statement& bind(int index, std::optional<double> value);
  Statement& bind(int index, std::optional<qint64> value);

  // One step: true with a row, false when done or on an error (the database's code says).
  bool next();
  // Steps to the end; false on an error.
  bool run();

  // Column values; nothing for NULL or a value of another kind.
  std::optional<double> real(int column) const;
  std::optional<qint64> integer(int column) const;
  std::optional<QString> text(int column) const;

 private:
  Database& db_;
  sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace qb::sql
