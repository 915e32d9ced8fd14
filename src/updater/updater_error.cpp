#include "updater/updater_error.h"

namespace qb {

namespace {

// Always followed by the ellipsis, also after a shorter string.
QString first12(const QString& s) { return s.left(12) + QChar(0x2026); }

}  // namespace

UpdaterError UpdaterError::httpError(int status, std::optional<QString> body) {
  UpdaterError e(Kind::httpError);
  e.status_ = status;
  e.first_ = std::move(body);
  return e;
}

UpdaterError UpdaterError::checksumMismatch(QString expected, QString got) {
  UpdaterError e(Kind::checksumMismatch);
  e.first_ = std::move(expected);
  e.second_ = std::move(got);
  return e;
}

UpdaterError UpdaterError::unsupportedArtifact(QString contentType) {
  UpdaterError e(Kind::unsupportedArtifact);
  e.first_ = std::move(contentType);
  return e;
}

UpdaterError UpdaterError::bundleMismatch(QString expected, std::optional<QString> got) {
  UpdaterError e(Kind::bundleMismatch);
  e.first_ = std::move(expected);
  e.second_ = std::move(got);
  return e;
}

UpdaterError UpdaterError::signatureInvalid(QString detail) {
  UpdaterError e(Kind::signatureInvalid);
  e.first_ = std::move(detail);
  return e;
}

UpdaterError UpdaterError::installFailed(QString detail) {
  UpdaterError e(Kind::installFailed);
  e.first_ = std::move(detail);
  return e;
}

UpdaterError UpdaterError::notConfigured() { return UpdaterError(Kind::notConfigured); }

UpdaterError UpdaterError::malformedResponse() { return UpdaterError(Kind::malformedResponse); }

QString UpdaterError::description() const {
  const QString first = first_.value_or(QString());
  switch (kind_) {
    case Kind::httpError:
      if (!first.isEmpty())
        return QStringLiteral("Server responded ") + QString::number(status_) + QStringLiteral(": ") + first;
      return QStringLiteral("Server responded ") + QString::number(status_) + u'.';
    case Kind::checksumMismatch:
      return QStringLiteral("Checksum mismatch (expected ") + first12(first) +
             QStringLiteral(", got ") + first12(second_.value_or(QString())) + QStringLiteral(").");
    case Kind::unsupportedArtifact:
      return QStringLiteral("Unsupported artifact type: ") + first + u'.';
    case Kind::bundleMismatch:
      return QStringLiteral("Bundle id mismatch (expected ") + first + QStringLiteral(", got ") +
             second_.value_or(QStringLiteral("nil")) + QStringLiteral(").");
    case Kind::signatureInvalid: return QStringLiteral("Code signature invalid: ") + first;
    case Kind::installFailed: return QStringLiteral("Install failed: ") + first;
    case Kind::notConfigured:
      return QStringLiteral("Updater is not configured (KovalinApiKey missing).");
    case Kind::malformedResponse:
      return QStringLiteral("The update server returned a malformed response.");
  }
  return {};
}

QString UpdateFailure::description() const {
  if (const auto* e = std::get_if<UpdaterError>(&v_)) return e->description();
  return std::get<Platform>(v_).description;
}

}  // namespace qb
