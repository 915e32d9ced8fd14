#include "updater/latest_response.h"

#include "common/web_origin.h"

namespace qb {

LatestResponse decodeLatestResponse(const JsonReader& json) {
  LatestResponse r;
  const JsonReader release = JsonReader::required(json.object("release"), json, "release");
  r.release.id = release.text("id");
  r.release.version = JsonReader::required(release.text("version"), release, "version");
  r.release.buildNumber = release.text("buildNumber");
  r.release.notes = release.text("notes");
  r.release.isYanked = release.boolean("isYanked");
  const JsonReader artifact = JsonReader::required(json.object("artifact"), json, "artifact");
  r.artifact.downloadUrl = JsonReader::required(artifact.text("downloadUrl"), artifact, "downloadUrl");
  r.artifact.fileName = JsonReader::required(artifact.text("fileName"), artifact, "fileName");
  r.artifact.contentType = JsonReader::required(artifact.text("contentType"), artifact, "contentType");
  r.artifact.sha256 = artifact.text("sha256");
  r.artifact.version = artifact.text("version");
  r.artifact.buildNumber = artifact.text("buildNumber");
  r.artifact.sizeBytes = artifact.integer("sizeBytes");
  return r;
}

std::optional<QString> safeFileName(const QString& name) {
  const QString last = name.section(u'/', -1);
  if (last.isEmpty() || last == QLatin1String(".") || last == QLatin1String("..") ||
      last.contains(QChar(0)))
    return std::nullopt;
  return last;
}

Result<UpdateInfo, UpdaterError> makeUpdateInfo(const LatestResponse& r) {
  const QUrl url(r.artifact.downloadUrl, QUrl::StrictMode);
  if (!url.isValid() || url.isRelative() || !isSecureOrLoopback(url))
    return UpdaterError::malformedResponse();
  const auto fileName = safeFileName(r.artifact.fileName);
  if (!fileName) return UpdaterError::malformedResponse();
  UpdateInfo info;
  // An artifact's own version or build, even an empty one, overrides the release's.
  info.version = r.artifact.version.value_or(r.release.version);
  info.buildNumber = r.artifact.buildNumber ? r.artifact.buildNumber : r.release.buildNumber;
  info.notes = r.release.notes;
  info.releaseId = r.release.id;
  info.downloadUrl = url;
  info.sha256 = r.artifact.sha256;
  info.fileName = *fileName;
  info.contentType = r.artifact.contentType;
  info.sizeBytes = r.artifact.sizeBytes;
  return info;
}

}  // namespace qb
