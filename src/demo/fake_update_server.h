#pragma once

// The update server on loopback: the latest-release endpoint for one application and
// any number of artifact files, with every request recorded.

#include <QString>
#include <QUrl>
#include <optional>
#include <string>

#include "fake_http_server.h"

namespace qb::fake {

// One answer of the latest-release endpoint; absent fields are left out of the JSON.
struct ReleaseFields {
  std::string version = "2.0.0";
  std::optional<std::string> id = "rel_1";
  std::optional<std::string> buildNumber;
  std::optional<std::string> notes;
  std::optional<bool> isYanked;
  std::string downloadUrl;
  std::string fileName = "Quotabar.zip";
  std::string contentType = "application/zip";
  std::optional<std::string> sha256;
  std::optional<std::string> artifactVersion;
  std::optional<std::string> artifactBuildNumber;
  std::optional<long long> sizeBytes;
};

std::string latestJson(const ReleaseFields& fields);

class FakeUpdateServer {
 public:
  static constexpr const char* kOrgId = "C7pLr2QwZs9TnV4kXb8M";

  explicit FakeUpdateServer(std::string appId = "vantelo");

  FakeHttpServer& http() { return http_; }
  QUrl origin() const { return QUrl(http_.origin()); }
  std::string latestPath() const;

  // Answers the latest-release request.
  void answerLatest(Reply reply);
  void offer(const ReleaseFields& fields) { answerLatest(Reply::json(latestJson(fields))); }

  // Serves `bytes` at /artifacts/NAME and returns its URL.
  std::string serveArtifact(const std::string& name, std::string bytes,
                            std::string contentType = "application/zip");
  std::string serveArtifact(const std::string& name, Reply reply);

  std::size_t latestRequests() const { return http_.count(latestPath()); }

 private:
  FakeHttpServer http_;
  std::string appId_;
};

}  // namespace qb::fake
