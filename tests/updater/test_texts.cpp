// Every user-facing text of the update error type.
#include <gtest/gtest.h>

#include "updater/updater_error.h"

namespace qb {
namespace {

TEST(UpdaterTexts, EveryDescription) {
  const QString e = QString(QChar(0x2026));
  const struct {
    UpdaterError error;
    QString text;
  } rows[] = {
      {UpdaterError::httpError(500, QStringLiteral("maintenance")),
       QStringLiteral("Server responded 500: maintenance")},
      {UpdaterError::httpError(500, QString()), QStringLiteral("Server responded 500.")},
      {UpdaterError::httpError(502, std::nullopt), QStringLiteral("Server responded 502.")},
      {UpdaterError::httpError(503, QStringLiteral("%1 %2")), QStringLiteral("Server responded 503: %1 %2")},
      {UpdaterError::checksumMismatch(QStringLiteral("0123456789abcdef0123"),
                                      QStringLiteral("fedcba9876543210fedc")),
       QStringLiteral("Checksum mismatch (expected 0123456789ab") + e +
           QStringLiteral(", got fedcba987654") + e + QStringLiteral(").")},
      // The ellipsis is written after a shorter string too.
      {UpdaterError::checksumMismatch(QStringLiteral("abc"), QString()),
       QStringLiteral("Checksum mismatch (expected abc") + e + QStringLiteral(", got ") + e +
           QStringLiteral(").")},
      {UpdaterError::unsupportedArtifact(QStringLiteral("text/plain")),
       QStringLiteral("Unsupported artifact type: text/plain.")},
      {UpdaterError::bundleMismatch(QStringLiteral("com.orvane.vantelo"), QStringLiteral("com.example.x")),
       QStringLiteral("Bundle id mismatch (expected com.orvane.vantelo, got com.example.x).")},
      {UpdaterError::bundleMismatch(QStringLiteral("com.orvane.vantelo"), std::nullopt),
       QStringLiteral("Bundle id mismatch (expected com.orvane.vantelo, got nil).")},
      {UpdaterError::signatureInvalid(QStringLiteral("codesign --verify failed for staged bundle")),
       QStringLiteral("Code signature invalid: codesign --verify failed for staged bundle")},
      {UpdaterError::installFailed(QStringLiteral("No .app bundle found inside the downloaded archive.")),
       QStringLiteral("Install failed: No .app bundle found inside the downloaded archive.")},
      {UpdaterError::notConfigured(), QStringLiteral("Updater is not configured (KovalinApiKey missing).")},
      {UpdaterError::malformedResponse(),
       QStringLiteral("The update server returned a malformed response.")},
  };
  for (const auto& r : rows) EXPECT_EQ(r.error.description(), r.text);
  EXPECT_EQ(UpdateFailure::platform(QStringLiteral("The request timed out.")).description(),
            QStringLiteral("The request timed out."));
}

}  // namespace
}  // namespace qb
