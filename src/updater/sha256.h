#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

namespace qb {

// Incremental SHA-256 on libcrypto's EVP interface (it uses the CPU's SHA instructions).
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void update(const char* data, qsizetype size);
  void update(const QByteArray& bytes) { update(bytes.constData(), bytes.size()); }
  // 64 lower-case hexadecimal digits; the object is spent afterwards.
  QString finalHex();

  static QString hexOf(const QByteArray& bytes);
  // The digest of a file read in pieces, or nothing with the reason in `error`.
  static std::optional<QString> hexOfFile(const QString& path, QString* error);

 private:
  struct Context;
  std::unique_ptr<Context> ctx_;
};

}  // namespace qb
