#pragma once

#include <QString>
#include <optional>

#include "common/json_reader.h"
#include "updater/update_info.h"
#include "updater/updater_error.h"

namespace qb {

// The update server's answer to the latest-release request (its JSON key names).
struct LatestResponse {
  struct Release {
    std::optional<QString> id;
    QString version;
    std::optional<QString> buildNumber;
    std::optional<QString> notes;
    std::optional<bool> isYanked;  // accepted, no effect
  };
  struct Artifact {
    QString downloadUrl;
    QString fileName;
    QString contentType;
    std::optional<QString> sha256;
    std::optional<QString> version;
    std::optional<QString> buildNumber;
    std::optional<qint64> sizeBytes;
  };
  Release release;
  Artifact artifact;
};

// Strict decode; throws DecodeError with the decoder's message.
LatestResponse decodeLatestResponse(const JsonReader& json);

// The release the answer offers, or malformedResponse when the download address is not
// an https URL (http only to a loopback host) or the file name is no usable name.
Result<UpdateInfo, UpdaterError> makeUpdateInfo(const LatestResponse& response);

// The last path component of a server-given file name, or nothing for "", "." and "..",
// so the artifact always lands inside the work directory.
std::optional<QString> safeFileName(const QString& name);

}  // namespace qb
