#include "fake_update_server.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace qb::fake {

namespace {

void put(QJsonObject& o, const char* key, const std::optional<std::string>& v) {
  if (v) o.insert(QLatin1String(key), QString::fromStdString(*v));
}

}  // namespace

std::string latestJson(const ReleaseFields& f) {
  QJsonObject release;
  put(release, "id", f.id);
  release.insert(QStringLiteral("version"), QString::fromStdString(f.version));
  put(release, "buildNumber", f.buildNumber);
  put(release, "notes", f.notes);
  if (f.isYanked) release.insert(QStringLiteral("isYanked"), *f.isYanked);
  QJsonObject artifact;
  artifact.insert(QStringLiteral("downloadUrl"), QString::fromStdString(f.downloadUrl));
  artifact.insert(QStringLiteral("fileName"), QString::fromStdString(f.fileName));
  artifact.insert(QStringLiteral("contentType"), QString::fromStdString(f.contentType));
  put(artifact, "sha256", f.sha256);
  put(artifact, "version", f.artifactVersion);
  put(artifact, "buildNumber", f.artifactBuildNumber);
  if (f.sizeBytes) artifact.insert(QStringLiteral("sizeBytes"), static_cast<qint64>(*f.sizeBytes));
  QJsonObject top;
  top.insert(QStringLiteral("release"), release);
  top.insert(QStringLiteral("artifact"), artifact);
  return QJsonDocument(top).toJson(QJsonDocument::Compact).toStdString();
}

FakeUpdateServer::FakeUpdateServer(std::string appId) : appId_(std::move(appId)) {}

std::string FakeUpdateServer::latestPath() const {
  return std::string("/distributionApi/v1/organizations/") + kOrgId + "/applications/" + appId_ +
         "/latest";
}

void FakeUpdateServer::answerLatest(Reply reply) { http_.route(latestPath(), std::move(reply)); }

std::string FakeUpdateServer::serveArtifact(const std::string& name, std::string bytes,
                                            std::string contentType) {
  Reply reply = Reply::text(std::move(bytes), 200, std::move(contentType));
  return serveArtifact(name, std::move(reply));
}

std::string FakeUpdateServer::serveArtifact(const std::string& name, Reply reply) {
  const std::string path = "/artifacts/" + name;
  http_.route(path, std::move(reply));
  return http_.url(path);
}

}  // namespace qb::fake
