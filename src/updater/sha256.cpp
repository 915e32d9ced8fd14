#include "updater/sha256.h"

#include <QFile>
#include <openssl/evp.h>

namespace qb {

struct Sha256::Context {
  EVP_MD_CTX* md = EVP_MD_CTX_new();
  ~Context() { EVP_MD_CTX_free(md); }
};

Sha256::Sha256() : ctx_(std::make_unique<Context>()) {
  if (!ctx_->md || EVP_DigestInit_ex(ctx_->md, EVP_sha256(), nullptr) != 1) std::abort();
}

Sha256::~Sha256() = default;

void Sha256::update(const char* data, qsizetype size) {
  if (size > 0) EVP_DigestUpdate(ctx_->md, data, static_cast<size_t>(size));
}

QString Sha256::finalHex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(ctx_->md, digest, &length);
  return QString::fromLatin1(
      QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length)).toHex());
}

QString Sha256::hexOf(const QByteArray& bytes) {
  Sha256 digest;
  digest.update(bytes);
  return digest.finalHex();
}

std::optional<QString> Sha256::hexOfFile(const QString& path, QString* error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
    if (error) *error = file.errorString();
    return std::nullopt;
  }
  Sha256 digest;
  QByteArray buffer(128 * 1024, Qt::Uninitialized);
  for (;;) {
    const qint64 n = file.read(buffer.data(), buffer.size());
    if (n < 0) {
      if (error) *error = file.errorString();
      return std::nullopt;
    }
    if (n == 0) break;
    digest.update(buffer.constData(), n);
  }
  return digest.finalHex();
}

}  // namespace qb
