#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <optional>

namespace qb {

// A signed bundle carries Contents/_CodeSignature/CodeResources, one line per file, link
// and folder of the bundle outside _CodeSignature (empty folders included), sorted by the
// bytes of the path:
//   TYPE MODE DIGEST  PATH
// TYPE is "f", "l" or "d"; MODE four octal digits (a link: 0777; otherwise within 0755,
// a folder at least 0700); DIGEST 64 lower-case hex digits of the file's bytes or of the
// link's target text, or 64 "-" for a folder. CodeResources.sig beside it is a detached
// OpenPGP signature of that file. packaging/sign-bundle.sh writes both
// (packaging/bundle-signature.md).
inline constexpr const char* kCodeSignatureDir = "Contents/_CodeSignature";
inline constexpr const char* kCodeResources = "Contents/_CodeSignature/CodeResources";
inline constexpr const char* kCodeResourcesSig = "Contents/_CodeSignature/CodeResources.sig";

struct ManifestEntry {
  char type = 'f';  // 'f', 'l' or 'd'
  int mode = 0;     // permission bits
  QByteArray digest;  // empty for a folder
  bool operator==(const ManifestEntry&) const = default;
};

using Manifest = QMap<QByteArray, ManifestEntry>;  // relative path -> entry

// Reads a manifest; nothing (and the reason) when a line is malformed, a path is absolute
// or climbs with "..", a mode is outside the allowed bits, or the lines are not strictly
// sorted.
std::optional<Manifest> parseManifest(const QByteArray& text, QString* why);

// The manifest the bundle's current contents give. Fails on anything but files, folders
// and links inside the bundle: a link leading outside it, a device or pipe, a name with a
// line break, or a _CodeSignature folder holding more than its two files.
std::optional<Manifest> scanBundle(const QString& bundle, QString* why);

// Whether a link at `linkPath` (relative to the bundle) with `target` stays inside it.
bool linkStaysInside(const QByteArray& linkPath, const QByteArray& target);

// Compares the signed manifest with the bundle: every entry's type and digest, and the
// owner's permission bits (the unpacking user's umask may change the others); the first
// difference goes to `why`.
bool manifestMatches(const Manifest& signedManifest, const Manifest& actual, QString* why);

// Sets every file and folder to its signed mode, so no bit the archive carried survives.
bool applyManifestModes(const QString& bundle, const Manifest& manifest, QString* why);

}  // namespace qb
