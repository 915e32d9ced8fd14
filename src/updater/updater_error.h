#pragma once

#include <QString>
#include <optional>
#include <variant>

#include "common/result.h"

namespace qb {

// Every failure the update subsystem names itself; description() is the text the user sees.
class UpdaterError {
 public:
  enum class Kind {
    httpError,
    checksumMismatch,
    unsupportedArtifact,
    bundleMismatch,
    signatureInvalid,
    installFailed,
    notConfigured,
    malformedResponse,
  };

  static UpdaterError httpError(int status, std::optional<QString> body);
  static UpdaterError checksumMismatch(QString expected, QString got);
  static UpdaterError unsupportedArtifact(QString contentType);
  static UpdaterError bundleMismatch(QString expected, std::optional<QString> got);
  static UpdaterError signatureInvalid(QString detail);
  static UpdaterError installFailed(QString detail);
  static UpdaterError notConfigured();
  static UpdaterError malformedResponse();

  Kind kind() const { return kind_; }
  QString description() const;

 private:
  explicit UpdaterError(Kind kind) : kind_(kind) {}

  Kind kind_;
  int status_ = 0;
  std::optional<QString> first_;  // body, expected, content type or detail
  std::optional<QString> second_;  // got
};

// What stopped an update step: one of our errors, or the platform's own description
// (network, file system, a tool that could not start, the JSON decoder).
class UpdateFailure {
 public:
  UpdateFailure(UpdaterError error) : v_(std::move(error)) {}  // NOLINT: implicit by design
  static UpdateFailure platform(QString description) { return UpdateFailure(Platform{std::move(description)}); }

  const UpdaterError* updaterError() const { return std::get_if<UpdaterError>(&v_); }
  QString description() const;

 private:
  struct Platform {
    QString description;
  };
  explicit UpdateFailure(Platform p) : v_(std::move(p)) {}

  std::variant<UpdaterError, Platform> v_;
};

template <class T>
using UpdateResult = Result<T, UpdateFailure>;
using UpdateStatus = Result<std::monostate, UpdateFailure>;

}  // namespace qb
